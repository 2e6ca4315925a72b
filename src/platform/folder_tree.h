#pragma once
#include <string>

// Folder operations every part uses, over the file interface (platform/file_system.h): the same
// policy for every backend. Paths are Windows paths; narrow ones are UTF-8.
namespace platform {

// Makes one folder level unless an entry of that name exists. 0 or the system status code.
long EnsureFolder(const std::string& path);
// Deletes a folder with everything in it; failures are ignored. Links inside it are removed as
// links, never followed.
void DeleteFolderTree(const std::wstring& path);
// Clears the read-only attribute of a file; true if the attributes were changed.
bool ClearReadOnly(const std::wstring& path);
// Whether the path is a file (not a folder) that opens for reading.
bool IsReadableFile(const std::wstring& path);

}  // namespace platform
