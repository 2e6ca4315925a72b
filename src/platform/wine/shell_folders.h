#pragma once
#include <string>
#include <vector>

namespace platform::wine {

// The current user's shell folders as the prefix records them (HKCU ...\Explorer\Shell Folders):
// the Windows path of each, upper-cased, in the order the profile's own folders are preferred
// (Desktop, Documents, Downloads, Music, Pictures, Videos, Templates, then the rest by name).
// Read from user.reg with the environment values' cache; empty when the prefix has none.
std::vector<std::wstring> ShellFolderPaths();

}  // namespace platform::wine
