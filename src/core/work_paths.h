#pragma once
#include <map>
#include <string>
#include <vector>

#include "core/strings.h"
#include "platform/registry.h"

// The machine's environment values and the path helpers every part uses. The paths of a run are
// in its work context (core/work_context.h).

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

// The machine's environment values, read by ReadEnvironmentValues (CWorkContext::Setup) at
// start-up before any worker runs, and only read afterwards.
extern EnvironmentValueSet EnvironmentValues;
void ReadEnvironmentValues();

// Root names (short and long), compared on the letters A-Z without regard to case.
extern const std::map<std::wstring, platform::RootKey, AsciiCaseInsensitiveLess> RootKeyTable;
// "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD", "REG_QWORD", in this order.
extern const std::vector<std::wstring> RegTypeNames;
enum RegTypeIndex { kRegTypeSz = 0, kRegTypeExpandSz, kRegTypeBinary, kRegTypeDword, kRegTypeQword };

// Makes one folder level unless an entry of that name exists. 0 or the system status code.
long EnsureFolder(const std::string& path);
// Deletes a folder with everything in it; failures are ignored.
void DeleteFolderTree(const std::wstring& path);
// Clears the read-only attribute of a file; true if the attributes were changed.
bool ClearReadOnly(const std::wstring& path);
// Whether the path is a file (not a folder) that opens for reading.
bool IsReadableFile(const std::wstring& path);

// Converts a path to and from the token form ("%PROGRAMFILES%\...", "%WINDIR%\...", ...), in place.
void ToTokenForm(std::wstring& text);
void FromTokenForm(std::wstring& text);
