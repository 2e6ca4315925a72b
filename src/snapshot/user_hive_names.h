#pragma once
#include <string>
#include <vector>

// The names of the direct subkeys of HKEY_USERS (the hives loaded at start-up, such as ".DEFAULT"),
// in enumeration order. Filled once by the interactive start-up, on the main thread, before any
// worker runs; read afterwards (GetEquivalentKeys) without change.
extern std::vector<std::wstring> UserHiveNames;

// Fills UserHiveNames from the registry: the subkeys of HKEY_USERS, enumerated by index. When
// HKEY_USERS cannot be opened or queried the list stays empty. Returns the number of names.
size_t FillUserHiveNames();
