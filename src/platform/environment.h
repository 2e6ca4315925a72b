#pragma once
#include <string>

namespace platform {

// The value of a Windows environment variable as a program running on the machine sees it
// (GetEnvironmentVariableW). Under Wine the values come from the prefix's registry and layout,
// never from the Linux process environment. The name is compared without regard to case.
// An unset variable gives an empty string. Supported under Wine at least: windir, programfiles,
// userprofile, allusersprofile, appdata, localappdata, temp, tmp, systemdrive, systemroot.
std::wstring GetEnvironmentValue(const std::wstring& name);

}  // namespace platform
