#include "project/ini_folder_table.h"

void CINIFolderTable::RecordINIFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  table_.emplace(folder, folder);
}

bool CINIFolderTable::RelocateINIFolder(const std::wstring& oldFolder, const std::wstring& newFolder) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = table_.find(oldFolder);
  if (found == table_.end()) return false;
  found->second = newFolder;
  return true;
}

std::map<std::wstring, std::wstring> CINIFolderTable::GetINIFolderTable() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return table_;
}

void CINIFolderTable::ClearINIFolderTable() {
  std::lock_guard<std::mutex> lock(mutex_);
  table_.clear();
}
