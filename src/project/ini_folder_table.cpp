#include "project/ini_folder_table.h"

#include <mutex>

namespace {
std::mutex g_mutex;
std::map<std::wstring, std::wstring> g_table;
}  // namespace

void RecordINIFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_table.emplace(folder, folder);
}

bool RelocateINIFolder(const std::wstring& oldFolder, const std::wstring& newFolder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto found = g_table.find(oldFolder);
  if (found == g_table.end()) return false;
  found->second = newFolder;
  return true;
}

std::map<std::wstring, std::wstring> GetINIFolderTable() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_table;
}

void ClearINIFolderTable() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_table.clear();
}
