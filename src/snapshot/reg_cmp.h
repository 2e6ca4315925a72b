#pragma once
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "project/change_types.h"
#include "snapshot/ivelk_reg_callback.h"

class CLogger;

// Compares the first and the second registry snapshot of one starting key (files written by
// CRegSnapshot) in one forward pass over both files, and reports every added, modified and deleted
// key and value to an IVelkRegCallback. Optionally writes a difference file in the snapshot's own
// text format. Both files are mapped read-only; besides the mappings only the values of the current
// key are held, so memory does not grow with the size of the registry.
//
// Keys are matched by their path, component by component, in the collation the registry
// enumerates in (platform::CompareRegistryNames), which is the order the snapshot was written in:
// a key's whole subtree comes before its next sibling. A key's values are matched by name as the
// registry matches names (letter case ignored), whatever their order inside the key.
class CRegCmp {
 public:
  CRegCmp();
  ~CRegCmp();
  CRegCmp(const CRegCmp&) = delete;
  CRegCmp& operator=(const CRegCmp&) = delete;

  void SetCallback(IVelkRegCallback* callback) { callback_ = callback; }

  // Compares two snapshot files (Windows paths); writes the difference file when a path is known.
  // An empty path keeps the path stored by an earlier call. True when both snapshot files could
  // be opened; false (nothing reported, no difference file) otherwise.
  bool CompareFiles(const std::wstring& firstFile, const std::wstring& secondFile,
                    const std::wstring& differenceFile);

 private:
  // One file being read: its text and the key block under the read position.
  struct Side {
    platform::MappedFile map;
    std::u16string_view text;
    size_t pos = 0;
    bool has = false;                          // a key block is current
    std::u16string_view key;                   // its key line, brackets included
    std::vector<std::u16string_view> values;   // its value lines, in file order
    std::u16string_view body;                  // the raw text between its key line and the next
    std::wstring wideKey;                      // `key` as wide text, made when first reported
    bool wideKeyValid = false;
    bool orderWarned = false;
    const std::wstring* path = nullptr;
  };

  // A value line taken apart.
  struct ValueParts {
    std::u16string_view line;
    std::u16string_view nameField;  // the quoted name with its quotes, or "@"
    std::u16string_view nameKey;    // the name without quotes ("" for the default value)
    std::u16string_view rest;       // everything after the name field (type and data)
    std::u16string_view typeText;   // the decimal type number
  };

  bool OpenSnapshot(Side& side, const std::wstring& path);
  bool OpenDifference(const std::wstring& path);
  void ReadBlock(Side& side);
  bool ReadLine(Side& side, std::u16string_view& line);

  int CompareKeys(std::u16string_view a, std::u16string_view b);
  bool IsBelow(std::u16string_view key, std::u16string_view ancestor);
  int CompareNames(std::u16string_view a, std::u16string_view b);

  void CompareBlocks();
  void OnAddedKey();
  void OnDeletedKey();

  // Headings and pieces of the difference file; true when a new heading was written.
  bool Heading(std::u16string_view key, int kind);
  void ReportKeyOnly(const wchar_t* category, Side& side);
  void ReportValue(const wchar_t* category, Side& side, const ValueParts& value);
  void Report(const wchar_t* category, Side& side, std::u16string_view nameField, std::u16string_view typeText);

  void WriteDifference(std::u16string_view text);
  void FlushDifference();

  static ValueParts ParseValue(std::u16string_view line);
  static std::wstring TypeName(std::u16string_view typeText);

  Side one_;
  Side two_;
  std::FILE* difference_ = nullptr;
  std::wstring firstPath_;
  std::wstring secondPath_;
  std::wstring differencePath_;
  std::string differenceBuffer_;
  bool differenceFailed_ = false;

  std::u16string_view lastHeadingKey_;
  int lastHeadingKind_ = -1;
  RegValueRecord record_;

  // Reused buffers of the slow path.
  std::vector<ValueParts> partsOne_;
  std::vector<ValueParts> partsTwo_;
  std::vector<std::wstring> namesOne_;
  std::vector<std::wstring> namesTwo_;
  std::vector<size_t> orderOne_;
  std::vector<size_t> orderTwo_;
  std::wstring nameA_;
  std::wstring nameB_;

  IVelkRegCallback* callback_ = nullptr;
  CLogger* logger_ = nullptr;
};
