#pragma once
#include <string>
#include <vector>

#include "core/strings.h"

// The machine's environment values, the token form and the registry type names every part uses.
// The paths of a run are in its work context (core/work_context.h); the folder operations are on
// the platform side (platform/folder_tree.h), and so are the root names (platform::RootKeyTable).

// The environment values the token form and the folder mapping rely on, as programs on the
// machine see them. An unset variable gives an empty value.
struct EnvironmentValueSet {
  std::wstring windir;
  std::wstring programfiles;
  std::wstring userprofile;
  std::wstring allusersprofile;
  std::wstring appdata;
  std::wstring temp;
  std::wstring systemdrive;
};

// The machine's environment values, stored at start-up (platform::ReadEnvironmentValues, through
// SetupWorkContext) before any worker runs, and only read afterwards.
extern EnvironmentValueSet EnvironmentValues;

// "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD", "REG_QWORD", in this order.
extern const std::vector<std::wstring> RegTypeNames;
enum RegTypeIndex { kRegTypeSz = 0, kRegTypeExpandSz, kRegTypeBinary, kRegTypeDword, kRegTypeQword };

// Converts a path to and from the token form ("%PROGRAMFILES%\...", "%WINDIR%\...", ...), in place.
void ToTokenForm(std::wstring& text);
void FromTokenForm(std::wstring& text);
