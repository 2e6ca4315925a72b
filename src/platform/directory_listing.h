#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

// What a DirectorySearch is made of: the entries come from the backend's listing, everything
// else (handing them out, the name matching Windows does) is shared by both backends.
namespace platform {

// Each backend: the entries a search pattern (folder + "\" + name pattern) finds, in the order
// the search hands them out, and the search's status (see DirectorySearch::status()).
Status ListDirectory(const std::wstring& pattern, std::vector<FindData>& entries);

// Windows name matching: '*' any run, '?' one character, letters compared upper-cased. A pattern
// ending in ".*" also matches names without an extension ("*.*" matches "README", "setup.*"
// matches "setup").
bool MatchFileName(std::wstring_view pattern, std::wstring_view name);

}  // namespace platform
