#pragma once
#include <array>
#include <cstdint>
#include <string>

// The version information of a file: the fixed block (the 52-byte fixed-file-information record)
// and twelve texts of the string table that suits the user's language. Used to propose the
// product name, version and company of a setup program.
class CFileVersionInfo {
 public:
  // The twelve texts, in this order.
  enum Text {
    kCompanyName,
    kFileDescription,
    kFileVersion,
    kInternalName,
    kLegalCopyright,
    kOriginalFileName,
    kProductName,
    kProductVersion,
    kComments,
    kLegalTrademarks,
    kPrivateBuild,
    kSpecialBuild,
    kTextCount
  };
  static constexpr size_t kFixedBlockSize = 52;

  CFileVersionInfo() { Reset(); }

  // Reads the version information of the file at a Windows path. False when the file has none,
  // cannot be read, or its fixed block is not exactly 52 bytes; the object is then reset.
  bool Create(const std::wstring& filePath);
  // Zeroes the fixed block and empties the texts.
  void Reset();

  // The fixed block as stored in the file (little-endian fields).
  const std::array<uint8_t, kFixedBlockSize>& GetFixedBlock() const { return fixed_; }
  // Fields of the fixed block: file and product version as (major << 48 | minor << 32 | build << 16
  // | revision).
  uint64_t GetFileVersion() const;
  uint64_t GetProductVersion() const;
  // The key of the string table the texts came from ("040904B0"), empty when none was chosen.
  const std::wstring& GetTableKey() const { return tableKey_; }

  const std::wstring& GetText(Text which) const { return texts_[which]; }
  const std::wstring& GetCompanyName() const { return texts_[kCompanyName]; }
  const std::wstring& GetFileDescription() const { return texts_[kFileDescription]; }
  const std::wstring& GetFileVersionText() const { return texts_[kFileVersion]; }
  const std::wstring& GetInternalName() const { return texts_[kInternalName]; }
  const std::wstring& GetLegalCopyright() const { return texts_[kLegalCopyright]; }
  const std::wstring& GetOriginalFileName() const { return texts_[kOriginalFileName]; }
  const std::wstring& GetProductName() const { return texts_[kProductName]; }
  const std::wstring& GetProductVersionText() const { return texts_[kProductVersion]; }
  const std::wstring& GetComments() const { return texts_[kComments]; }
  const std::wstring& GetLegalTrademarks() const { return texts_[kLegalTrademarks]; }
  const std::wstring& GetPrivateBuild() const { return texts_[kPrivateBuild]; }
  const std::wstring& GetSpecialBuild() const { return texts_[kSpecialBuild]; }

  // The name under which a text is stored in the file ("CompanyName", ...).
  static const wchar_t* TextName(Text which);

  // Chooses the translation whose texts are read: the entry whose language equals `userLanguage`;
  // else the first whose language has the same low 8 bits (the primary language); else the first
  // whose low 8 bits are 0 (neutral); else the first whose low 8 bits are 9 (English); else the
  // first entry. Returns the index, or -1 for an empty table.
  static int ChooseTranslation(const uint32_t* entries, size_t count, uint16_t userLanguage);

 private:
  std::array<uint8_t, kFixedBlockSize> fixed_{};
  std::array<std::wstring, kTextCount> texts_;
  std::wstring tableKey_;
};
