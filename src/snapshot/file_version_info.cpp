#include "snapshot/file_version_info.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "core/logger.h"
#include "core/strings.h"
#include "platform/version_resource.h"

namespace {

const wchar_t* const kTextNames[CFileVersionInfo::kTextCount] = {
    L"CompanyName",    L"FileDescription", L"FileVersion", L"InternalName",
    L"LegalCopyright", L"OriginalFileName", L"ProductName", L"ProductVersion",
    L"Comments",       L"LegalTrademarks", L"PrivateBuild", L"SpecialBuild"};

uint32_t Field(const std::array<uint8_t, CFileVersionInfo::kFixedBlockSize>& b, size_t offset) {
  return static_cast<uint32_t>(b[offset]) | (static_cast<uint32_t>(b[offset + 1]) << 8) |
         (static_cast<uint32_t>(b[offset + 2]) << 16) | (static_cast<uint32_t>(b[offset + 3]) << 24);
}

}  // namespace

const wchar_t* CFileVersionInfo::TextName(Text which) {
  return which >= 0 && which < kTextCount ? kTextNames[which] : L"";
}

void CFileVersionInfo::Reset() {
  fixed_.fill(0);
  for (std::wstring& t : texts_) t.clear();
  tableKey_.clear();
}

uint64_t CFileVersionInfo::GetFileVersion() const {
  // dwFileVersionMS at 8, dwFileVersionLS at 12.
  return (static_cast<uint64_t>(Field(fixed_, 8)) << 32) | Field(fixed_, 12);
}

uint64_t CFileVersionInfo::GetProductVersion() const {
  // dwProductVersionMS at 16, dwProductVersionLS at 20.
  return (static_cast<uint64_t>(Field(fixed_, 16)) << 32) | Field(fixed_, 20);
}

int CFileVersionInfo::ChooseTranslation(const uint32_t* entries, size_t count, uint16_t userLanguage) {
  if (!entries || count == 0) return -1;
  auto language = [entries](size_t i) { return static_cast<uint16_t>(entries[i] & 0xFFFF); };
  for (size_t i = 0; i < count; ++i) {
    if (language(i) == userLanguage) return static_cast<int>(i);
  }
  for (size_t i = 0; i < count; ++i) {
    if ((language(i) & 0xFF) == (userLanguage & 0xFF)) return static_cast<int>(i);
  }
  for (size_t i = 0; i < count; ++i) {
    if ((language(i) & 0xFF) == 0) return static_cast<int>(i);
  }
  for (size_t i = 0; i < count; ++i) {
    if ((language(i) & 0xFF) == 9) return static_cast<int>(i);
  }
  return 0;
}

bool CFileVersionInfo::Create(const std::wstring& filePath) {
  CLogger* logger = CLogger::GetInstance();
  bool ok = false;
  {
    CTraceScope trace(logger, "CFileVersionInfo::Create");
    Reset();
    platform::FileVersionResource resource;
    const platform::Status status = platform::ReadFileVersionResource(filePath, resource);
    if (status != platform::kSuccess) {
      logger->Write(2, FormatText("CFileVersionInfo::Create no version information in %s (status %ld)",
                                  WideToUtf8(filePath).c_str(), status));
    } else if (resource.fixedBlock.size() != kFixedBlockSize) {
      logger->Write(2, FormatText("CFileVersionInfo::Create fixed block of %s is %lu bytes, not 52",
                                  WideToUtf8(filePath).c_str(), static_cast<unsigned long>(resource.fixedBlock.size())));
    } else {
      std::memcpy(fixed_.data(), resource.fixedBlock.data(), kFixedBlockSize);
      const int chosen = ChooseTranslation(resource.translations.data(), resource.translations.size(),
                                           platform::UserDefaultLanguage());
      if (chosen >= 0) {
        const uint32_t entry = resource.translations[static_cast<size_t>(chosen)];
        wchar_t key[9];
        std::swprintf(key, 9, L"%04X%04X", static_cast<unsigned>(entry & 0xFFFF),
                      static_cast<unsigned>(entry >> 16));
        tableKey_ = key;
      } else if (!resource.stringTables.empty()) {
        // No translation table: the texts of the only (or first) string table are still the
        // file's texts, rather than none at all.
        tableKey_ = resource.stringTables.front().key;
      }
      if (!tableKey_.empty()) {
        for (int i = 0; i < kTextCount; ++i) resource.QueryString(tableKey_, kTextNames[i], texts_[static_cast<size_t>(i)]);
      }
      ok = true;
    }
    if (!ok) Reset();
  }
  CLogger::ReleaseInstance(logger);
  return ok;
}
