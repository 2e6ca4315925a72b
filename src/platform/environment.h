#pragma once
#include <string>

#include "core/work_paths.h"

namespace platform {

// The value of a Windows environment variable as a program running on the machine sees it
// (GetEnvironmentVariableW). Under Wine the values come from the prefix's registry and layout,
// never from the Linux process environment. The name is compared without regard to case.
// An unset variable gives an empty string. Supported under Wine at least: windir, programfiles,
// userprofile, allusersprofile, appdata, localappdata, temp, tmp, systemdrive, systemroot.
std::wstring GetEnvironmentValue(const std::wstring& name);

// The seven values the token form and the folder mapping rely on, as GetEnvironmentValue gives
// them; a value of 1024 characters or more reads as unset, as a fixed buffer would cut it. The
// start-up stores them in EnvironmentValues (core/work_paths.h) before any worker runs.
EnvironmentValueSet ReadEnvironmentValues();

}  // namespace platform
