#pragma once
#include <map>
#include <string>
#include <vector>

#include "core/strings.h"
#include "platform/registry.h"

// Where every file of the system lives. Filled once by SetupWorkPaths at start-up; only the three
// setters change them later. Narrow values are UTF-8, all paths are Windows paths.

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

extern std::string ProgramFolder;        // folder of the program file, no trailing backslash
extern std::string ExtractedIconFolder;  // ProgramFolder + "\ExtractedIcon"
extern EnvironmentValueSet EnvironmentValues;
extern std::string WorkFolder;       // the "temp" value
extern std::string OutputFolder;     // given output folder, else ProgramFolder
extern std::string PackageFileName;  // given package file name, else empty
extern std::wstring FileChangesPath;
extern std::wstring RegChangesPath;
extern std::wstring INIChangesPath;
extern std::wstring ProjectFilePath;
extern std::wstring RulesFilePath;
extern std::wstring TemplateProjectPath;
extern std::wstring ConfigFilePath;
extern std::wstring INIBackupFolder;

// Root names (short and long), compared on the letters A-Z without regard to case.
extern std::map<std::wstring, platform::RootKey, AsciiCaseInsensitiveLess> RootKeyTable;
// "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD", "REG_QWORD", in this order.
extern std::vector<std::wstring> RegTypeNames;
enum RegTypeIndex { kRegTypeSz = 0, kRegTypeExpandSz, kRegTypeBinary, kRegTypeDword, kRegTypeQword };

void SetupWorkPaths(const std::wstring& outputFolder, const std::wstring& packageFileName);
void SetOutputFolder(const std::wstring& folder);
void SetPackageFileName(const std::wstring& name);
void SetProjectFilePath(const std::wstring& path);

// Makes one folder level unless an entry of that name exists. 0 or the system status code.
long EnsureFolder(const std::string& path);
// Deletes a folder with everything in it; failures are ignored.
void DeleteFolderTree(const std::wstring& path);
// Clears the read-only attribute of a file; true if the attributes were changed.
bool ClearReadOnly(const std::wstring& path);

// Converts a path to and from the token form ("%PROGRAMFILES%\...", "%WINDIR%\...", ...), in place.
void ToTokenForm(std::wstring& text);
void FromTokenForm(std::wstring& text);
