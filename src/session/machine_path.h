#pragma once
#include <string>

// Paths as a user types them, on the command line or in the wizard: "C:\..." or "\\server\..." is
// a Windows path already; anything else is a host path and is seen through the machine's drives.
bool IsWindowsPath(const std::string& path);
std::wstring ToMachinePath(const std::string& path);
