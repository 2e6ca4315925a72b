#pragma once
#include <string>
#include <vector>

// Fills `names` with the names of the direct subkeys of HKEY_USERS (the hives loaded at start-up,
// such as ".DEFAULT"), in enumeration order: the work context's UserHiveNames, filled by the
// session's start before any worker runs. When HKEY_USERS cannot be opened or queried the list
// stays empty. Returns the number of names.
size_t FillUserHiveNames(std::vector<std::wstring>& names);
