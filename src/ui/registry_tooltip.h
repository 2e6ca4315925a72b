#pragma once
#include <string>

// The tooltip of a registry key of the review: its values as the machine holds them now, read
// live: "Values:" and one line per value (name or "(Default)", then ": " and the text of a string,
// the number of a DWORD, or "..." for any other type and for data longer than 150 bytes), at most
// 20 values and "\n..." after them; "No values" for a key without values; "Can't read key" when
// the key cannot be opened.
std::wstring RegistryKeyTooltip(const std::wstring& keyPath);
