#pragma once
#include <string>

// Names a setup can create through the \\?\ form of a path but the Windows Installer cannot:
// reserved device names (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an extension)
// and names ending in a dot or a space (Windows strips those). Such a file cannot be put back by
// a package: it is left out with a warning rather than installed under another name or breaking
// the installation.

// True when every step of the full Windows path (after the drive) can be installed; otherwise
// false and, when `why` is given, the reason naming the step.
bool IsInstallablePath(const std::wstring& path, std::string* why = nullptr);
