#pragma once
#include <functional>
#include <string>
#include <vector>

#include "project/change_types.h"

class CIncludeExcludeRules;

// Sets aside what belongs to the original setup's own removal: the uninstall entry it adds
// ("...\Microsoft\Windows\CurrentVersion\Uninstall\<name>" under HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER, in either registry view) and the uninstaller that entry names (its
// UninstallString or QuietUninstallString). The package registers and removes itself through the
// Windows Installer, so its own entry must be the only one. The items become ordinary excluded
// changes with a reason (CIncludeExcludeRules::ExclusionReason), which the review can include again.
// Runs after the comparisons and before the change files are written.
class CUninstallSetAside {
 public:
  // A string value of a key (a full key path beginning with the root's long name); empty when the
  // key or value is missing or not a string.
  using ValueReader = std::function<std::wstring(const std::wstring& keyPath, const std::wstring& valueName)>;
  // Whether a file exists at a Windows path.
  using FileTest = std::function<bool(const std::wstring& path)>;

  // Reads the machine's registry and file system.
  CUninstallSetAside();
  CUninstallSetAside(ValueReader reader, FileTest exists);

  static constexpr const wchar_t* kEntryReason =
      L"The original setup's uninstall entry: the package registers its own with the Windows Installer";
  static constexpr const wchar_t* kUninstallerReason =
      L"The original setup's uninstaller, named by its uninstall entry: the package is removed by the "
      L"Windows Installer";

  // The uninstall entry a key path lies in (the key path up to and including the entry's name,
  // as written), or empty when it lies in none.
  static std::wstring EntryOf(const std::wstring& keyPath);
  // The program a command line starts: the quoted part, else the shortest leading run of words
  // that names an existing file (also with ".exe" added), as Windows tries them, else the first word.
  std::wstring ProgramOf(const std::wstring& commandLine) const;

  // Moves the keys of uninstall entries from the added and modified maps into `excludedKeys`, and
  // the uninstallers they name (with their data files of the same name, as unins000.dat beside
  // unins000.exe) from the added and modified files into `excludedFiles`, recording
  // the reasons in `reasons`. Returns the keys and files moved, in the order they were moved.
  std::vector<std::wstring> Apply(RegKeyMap& addedKeys, RegKeyMap& modifiedKeys, RegKeyMap& excludedKeys,
                                  FolderFileMap& addedFiles, FolderFileMap& modifiedFiles, FolderFileMap& excludedFiles,
                                  CIncludeExcludeRules& reasons) const;

 private:
  void MoveFile(const std::wstring& program, FolderFileMap& from, FolderFileMap& excludedFiles,
                std::vector<std::wstring>& moved, CIncludeExcludeRules& reasons) const;

  ValueReader reader_;
  FileTest exists_;
};
