#pragma once
#include <map>
#include <mutex>
#include <string>

// The INI folder table of one session: for every INI file the project reader meets, the file's
// folder (expanded from token form) mapped to itself; relocating a folder in the project view
// maps it to its new place. UpdateINIDirectories applies it when the project is written back.
// Access is guarded by the object's lock.
class CINIFolderTable {
 public:
  CINIFolderTable() = default;
  CINIFolderTable(const CINIFolderTable&) = delete;
  CINIFolderTable& operator=(const CINIFolderTable&) = delete;

  // Enters a folder mapped to itself unless it is already present (a relocation made earlier in
  // this run is kept).
  void RecordINIFolder(const std::wstring& folder);
  // Maps an entered folder to a new folder; false when the folder is not in the table.
  bool RelocateINIFolder(const std::wstring& oldFolder, const std::wstring& newFolder);
  std::map<std::wstring, std::wstring> GetINIFolderTable() const;
  void ClearINIFolderTable();

 private:
  mutable std::mutex mutex_;
  std::map<std::wstring, std::wstring> table_;
};
