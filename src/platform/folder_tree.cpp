#include "platform/folder_tree.h"

#include <cstdio>

#include "core/strings.h"
#include "platform/file_system.h"

namespace platform {

long EnsureFolder(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  if (PathExists(wide)) return 0;
  return MakeFolder(wide);
}

void DeleteFolderTree(const std::wstring& path) {
  std::wstring folder = path;
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  {
    DirectorySearch search(folder + L"*.*");
    FindData entry;
    while (search.Next(entry)) {
      if (entry.name == L"." || entry.name == L"..") continue;
      const std::wstring child = folder + entry.name;
      if ((entry.attributes & kAttrDirectory) && !(entry.attributes & kAttrReparsePoint)) {
        DeleteFolderTree(child);
      } else if (entry.attributes & kAttrDirectory) {
        RemoveFolder(child);  // a link: remove the link, never what it points to
      } else if (RemoveFile(child) == kAccessDenied) {
        // A read-only file would keep the whole tree alive: clear the flag and try once more.
        if (ClearReadOnly(child)) RemoveFile(child);
      }
    }
  }
  folder.pop_back();
  RemoveFolder(folder);
}

bool ClearReadOnly(const std::wstring& path) {
  uint32_t attributes = GetAttributes(path);
  if (attributes == kInvalidAttributes) return false;
  return SetAttributes(path, attributes & ~kAttrReadOnly) == kSuccess;
}

bool IsReadableFile(const std::wstring& path) {
  const uint32_t attributes = GetAttributes(path);
  if (attributes == kInvalidAttributes || (attributes & kAttrDirectory) != 0) return false;
  std::FILE* file = OpenFileStream(path, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

}  // namespace platform
