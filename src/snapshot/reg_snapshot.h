#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/status.h"

class CLogger;

// Writes one registry snapshot file: the subtree below one starting key, in the snapshot text
// format that CRegCmp reads back. The file is UTF-16LE without byte-order mark:
//   U+00FE U+00FF "Windows Registry Snapshot" CR LF
//   then per key, depth-first and pre-order, siblings in the registry's enumeration order:
//   "[" root "\" path "]" CR LF, one line per value ("name"="type"="data" or @="type"="data"),
//   and an empty line.
// Nothing is escaped. One object per file: open, TakeFirstSnapShot, destroy (closes the file).
class CRegSnapshot {
 public:
  CRegSnapshot();
  ~CRegSnapshot();
  CRegSnapshot(const CRegSnapshot&) = delete;
  CRegSnapshot& operator=(const CRegSnapshot&) = delete;

  // Creates or truncates the output file (a Windows path). False when it cannot be created; the
  // walk may still run, its writes then fail (logged once).
  bool File_Open_Create(const std::wstring& fileName);

  // Writes the header line and the whole subtree below `startPath` of `root`. `rootName` is
  // written into every key line exactly as given ("HKLM", "HKEY_LOCAL_MACHINE", ...). Returns
  // the status of the last key operation of the walk.
  platform::Status TakeFirstSnapShot(const std::wstring& rootName, platform::RootKey root,
                                     const std::wstring& startPath);

  // One key block and, recursively, the blocks of all subkeys.
  platform::Status GetSnapShot(platform::RootKey root, const std::wstring& path);

  // Reads the values of an open key into the value list, in enumeration order.
  platform::Status GetValues_Vect(const platform::RegistryKey& key, const std::wstring& path,
                                  uint32_t maxNameLength, uint32_t maxDataSize, uint32_t valueCount);

  // Writes `count` UTF-16 code units.
  void WriteFile_Unicode(const char16_t* chars, size_t count);

  // The data text of a value as the snapshot writes it; `known` is false for a type outside the
  // format's table (the text is then empty).
  static std::u16string DataText(uint32_t type, const std::vector<uint8_t>& data, bool& known);

  // One value of the current key.
  struct ValueEntry {
    std::wstring name;
    std::u16string dataText;
    uint32_t type = 0;
    uint32_t size = 0;
  };

 private:
  void WriteText(const std::u16string& text) { WriteFile_Unicode(text.data(), text.size()); }
  void LogError(int level, const std::string& text);

  platform::RootKey root_ = platform::RootKey::LocalMachine;
  std::wstring rootName_;
  CLogger* logger_ = nullptr;
  std::wstring fileName_;
  std::FILE* file_ = nullptr;
  std::wstring startPath_;
  std::vector<ValueEntry> values_;
  std::u16string line_;
  std::string bytes_;
  std::string rootNameNarrow_;
  bool writeFailureLogged_ = false;
  unsigned long failedWrites_ = 0;
};
