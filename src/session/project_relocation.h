#pragma once
#include <map>
#include <string>
#include <vector>

#include "core/operation_result.h"

class CCaptureSession;
class CUIManager;

// A saved project checked against the machine the program runs on, and moved to it: which of
// the project's files and registry keys are missing here, and the relocation of missing folders
// and keys to their places on this machine. Works on the project the manager has loaded
// (CUIManager::ParseProjectFile); relocations change the manager's lists in memory, WriteBack
// writes them into the project file.
//
// Paths given and returned are real paths (expanded from token form). Folder and key paths are
// compared without regard to the case of the letters A-Z, as whole components: a relocation of
// C:\App never touches C:\Apple. User-interface thread only.
class CProjectRelocation {
 public:
  // One file of the project, or a folder the project lists without files (`file` empty).
  struct FileItem {
    std::wstring folder;
    std::wstring file;
    bool missing = false;
  };
  struct KeyItem {
    std::wstring key;
    bool missing = false;
  };

  explicit CProjectRelocation(CUIManager& manager) : manager_(manager) {}
  // On the session's own manager (the wizard's way in).
  explicit CProjectRelocation(CCaptureSession& session);

  // Parses the project file into the manager and checks it (Check). False when it does not load
  // (the manager logs it): nothing is listed then, and nothing is missing.
  bool Load(const std::wstring& projectFilePath);
  // Checks every file of the added and modified file lists and every key of the added and
  // modified registry lists against this machine; the counters and the missing lists start again.
  // Deleted items are no part of it: a package does not install them.
  void Check();

  // What the trees show: every item, or the missing ones only (files: added folders first, then
  // the modified ones; each in map order).
  std::vector<FileItem> Files(bool missingOnly) const;
  std::vector<KeyItem> Keys(bool missingOnly) const;

  int TotalFileCount() const { return totalFileCount_; }
  int MissingFileCount() const { return static_cast<int>(CountMissingFiles()); }
  int TotalKeyCount() const { return static_cast<int>(keys_.size()); }
  int MissingKeyCount() const { return static_cast<int>(missingKeys_.size()); }
  bool AnythingMissing() const { return MissingFileCount() > 0 || MissingKeyCount() > 0; }
  // Folder (token form, as the project stores it) -> its missing files (project form).
  const std::map<std::wstring, std::vector<std::wstring>>& MissingFiles() const { return missingFiles_; }
  const std::vector<std::wstring>& MissingKeys() const { return missingKeys_; }

  // Whether a relocation found something since the project was loaded or ClearChanged.
  bool Changed() const { return changed_; }
  void ClearChanged() { changed_ = false; }

  // Relocates the missing files below the ticked paths (folders, or single files) into
  // `chosenFolder`: a missing file below a ticked folder is looked for at the same place below the
  // chosen folder (a ticked file directly in it). Found files take their new path in the project's
  // file lists; the shortcuts of a found program follow it (target, working folder, and an icon
  // taken from the program itself); folders the project lists without files move with a ticked
  // folder when they exist at the new place. The INI folder table maps the ticked folders and
  // those below them to their new places, so that the project's INI files follow when the project
  // is written back. Files not found stay missing. Returns the number of files found.
  int RelocateFolders(const std::vector<std::wstring>& checkedPaths, const std::wstring& chosenFolder);
  // Relocates the missing keys at and below the ticked keys to the key chosen on this machine: a
  // missing key that is ticked itself becomes the chosen key, one below a ticked key the same key
  // below the chosen one, with its values. The chosen key must open (else nothing changes and -1
  // is returned), a key below it must exist too (else it stays missing). A value the project has
  // already under the new key is kept as it is. Returns the number of keys relocated.
  int RelocateKeys(const std::vector<std::wstring>& checkedPaths, const std::wstring& chosenKey);

  // Writes the project back (the manager's lists, the INI folder table applied) and its shortcuts
  // as the relocations left them.
  COperationResult WriteBack();

  // Whether a registry key path ("HKEY_LOCAL_MACHINE\SOFTWARE\...", short root names too) opens
  // for reading on this machine.
  static bool KeyExists(const std::wstring& keyPath);

 private:
  size_t CountMissingFiles() const;
  bool RelocateFile(const std::wstring& projectPath, const std::wstring& newPath);
  void FollowShortcuts(const std::wstring& oldPath, const std::wstring& newPath);
  void MoveEmptyFolders(const std::wstring& oldFolder, const std::wstring& newFolder);
  void RelocateINIFolders(const std::wstring& oldFolder, const std::wstring& newFolder);

  CUIManager& manager_;
  bool changed_ = false;
  int totalFileCount_ = 0;
  std::vector<FileItem> files_;
  std::vector<KeyItem> keys_;
  std::map<std::wstring, std::vector<std::wstring>> missingFiles_;
  std::vector<std::wstring> missingKeys_;
};
