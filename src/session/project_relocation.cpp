#include "session/project_relocation.h"

#include <algorithm>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "project/ini_folder_table.h"
#include "session/capture_session.h"
#include "session/ui_manager.h"

namespace {

std::wstring Expanded(std::wstring path) {
  FromTokenForm(path);
  return path;
}

std::wstring TokenForm(std::wstring path) {
  ToTokenForm(path);
  return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return FoldAsciiUpper(a) == FoldAsciiUpper(b); }

// The part of `path` after `folder` ("\rest", or empty for the folder itself) when the path is
// the folder or lies below it, compared by whole components.
bool Below(const std::wstring& path, const std::wstring& folder, std::wstring& rest) {
  if (folder.empty() || path.size() < folder.size()) return false;
  if (FoldAsciiUpper(std::wstring_view(path).substr(0, folder.size())) != FoldAsciiUpper(folder)) return false;
  if (path.size() > folder.size() && path[folder.size()] != L'\\') return false;
  rest = path.substr(folder.size());
  return true;
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

std::wstring ParentOf(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring NameOf(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool FileExists(const std::wstring& path) {
  const uint32_t attributes = platform::GetAttributes(path);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) == 0;
}

bool FolderExists(const std::wstring& path) {
  const uint32_t attributes = platform::GetAttributes(path);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) != 0;
}

bool IsIconFile(const std::wstring& path) {
  const size_t at = FoldAsciiLower(path).find(L".ico");
  return at != std::wstring::npos && at > 0;
}

}  // namespace

CProjectRelocation::CProjectRelocation(CCaptureSession& session) : manager_(session.Manager()) {}

bool CProjectRelocation::KeyExists(const std::wstring& keyPath) {
  const size_t slash = keyPath.find(L'\\');
  const std::wstring rootName = keyPath.substr(0, slash);
  const auto root = platform::RootKeyTable.find(rootName);
  if (root == platform::RootKeyTable.end()) return false;
  platform::RegistryKey key;
  return key.Open(root->second, slash == std::wstring::npos ? std::wstring() : keyPath.substr(slash + 1)) ==
         platform::kSuccess;
}

bool CProjectRelocation::Load(const std::wstring& projectFilePath) {
  changed_ = false;
  const bool loaded = manager_.ParseProjectFile(projectFilePath) == 1;
  if (!loaded) {
    // A project that does not load shows nothing (and has nothing missing).
    LoadedProjectLists& lists = manager_.ProjectLists();
    lists = LoadedProjectLists();
  }
  Check();
  return loaded;
}

void CProjectRelocation::Check() {
  const LoadedProjectLists& lists = manager_.ProjectLists();
  files_.clear();
  keys_.clear();
  missingFiles_.clear();
  missingKeys_.clear();
  totalFileCount_ = 0;
  for (const FolderFileMap* map : {&lists.addedFiles, &lists.modifiedFiles}) {
    for (const auto& [folder, paths] : *map) {
      const std::wstring realFolder = Expanded(folder);
      if (paths.empty()) files_.push_back({realFolder, std::wstring(), false});
      for (const std::wstring& path : paths) {
        const bool missing = !FileExists(WithoutTrailingSeparators(Expanded(path)));
        files_.push_back({realFolder, NameOf(path), missing});
        ++totalFileCount_;
        if (missing) missingFiles_[folder].push_back(path);
      }
    }
  }
  for (const RegKeyMap* map : {&lists.addedKeys, &lists.modifiedKeys}) {
    for (const auto& [key, values] : *map) {
      const bool missing = !KeyExists(key);
      keys_.push_back({key, missing});
      if (missing && std::find(missingKeys_.begin(), missingKeys_.end(), key) == missingKeys_.end()) {
        missingKeys_.push_back(key);
      }
    }
  }
}

std::vector<CProjectRelocation::FileItem> CProjectRelocation::Files(bool missingOnly) const {
  if (!missingOnly) return files_;
  std::vector<FileItem> missing;
  std::copy_if(files_.begin(), files_.end(), std::back_inserter(missing), [](const FileItem& item) { return item.missing; });
  return missing;
}

std::vector<CProjectRelocation::KeyItem> CProjectRelocation::Keys(bool missingOnly) const {
  if (!missingOnly) return keys_;
  std::vector<KeyItem> missing;
  std::copy_if(keys_.begin(), keys_.end(), std::back_inserter(missing), [](const KeyItem& item) { return item.missing; });
  return missing;
}

size_t CProjectRelocation::CountMissingFiles() const {
  size_t count = 0;
  for (const auto& [folder, paths] : missingFiles_) count += paths.size();
  return count;
}

int CProjectRelocation::RelocateFolders(const std::vector<std::wstring>& checkedPaths, const std::wstring& chosenFolder) {
  const std::wstring chosen = WithoutTrailingSeparators(chosenFolder);
  if (chosen.empty()) return 0;
  int found = 0;
  for (const std::wstring& checkedPath : checkedPaths) {
    const std::wstring checked = WithoutTrailingSeparators(checkedPath);
    RelocateINIFolders(checked, chosen);
    // A copy: relocated files leave the missing lists.
    const auto missing = missingFiles_;
    for (const auto& [folder, paths] : missing) {
      for (const std::wstring& path : paths) {
        const std::wstring real = WithoutTrailingSeparators(Expanded(path));
        std::wstring rest;
        std::wstring moved;
        if (SamePath(real, checked)) {
          moved = chosen + L"\\" + NameOf(real);  // a ticked file: it lies directly in the chosen folder
        } else if (Below(real, checked, rest)) {
          moved = chosen + rest;
        } else {
          continue;
        }
        if (!FileExists(moved) || !RelocateFile(path, moved)) continue;
        FollowShortcuts(real, moved);
        ++found;
      }
    }
    MoveEmptyFolders(checked, chosen);
  }
  if (found > 0) changed_ = true;
  Check();
  return found;
}

bool CProjectRelocation::RelocateFile(const std::wstring& projectPath, const std::wstring& newPath) {
  LoadedProjectLists& lists = manager_.ProjectLists();
  const std::wstring newFolder = TokenForm(ParentOf(newPath));
  const std::wstring newProjectPath = newFolder + L"\\" + NameOf(newPath);
  for (FolderFileMap* map : {&lists.addedFiles, &lists.modifiedFiles}) {
    for (auto entry = map->begin(); entry != map->end(); ++entry) {
      std::vector<std::wstring>& paths = entry->second;
      const auto at = std::find(paths.begin(), paths.end(), projectPath);
      if (at == paths.end()) continue;
      paths.erase(at);
      // A folder whose files all moved goes with them (an empty folder of the project would be
      // created empty at its old place).
      if (paths.empty()) map->erase(entry);
      std::vector<std::wstring>& target = (*map)[newFolder];
      if (std::find(target.begin(), target.end(), newProjectPath) == target.end()) target.push_back(newProjectPath);
      return true;
    }
  }
  return false;
}

void CProjectRelocation::FollowShortcuts(const std::wstring& oldPath, const std::wstring& newPath) {
  const std::wstring name = NameOf(oldPath);
  if (FoldAsciiLower(name).find(L".exe") == std::wstring::npos) return;
  const std::wstring oldFolder = ParentOf(oldPath);
  for (ShortcutRecord& shortcut : manager_.ProjectLists().shortcuts) {
    if (!SamePath(shortcut.exeName, name)) continue;
    // A shortcut that names its target's full path must name this program.
    if (!shortcut.target.empty() && !SamePath(Expanded(shortcut.target), oldPath)) continue;
    if (!shortcut.target.empty()) shortcut.target = TokenForm(newPath);
    if (!shortcut.workingFolder.empty() && SamePath(Expanded(shortcut.workingFolder), oldFolder)) {
      shortcut.workingFolder = TokenForm(ParentOf(newPath));
    }
    // The icon follows the program, unless it is an icon file (kept in the project itself) or
    // another program file that is there on this machine.
    const bool ownIcon = shortcut.icon.empty() || SamePath(shortcut.icon, oldPath);
    if (ownIcon || (!IsIconFile(shortcut.icon) && !FileExists(shortcut.icon))) shortcut.icon = newPath;
  }
}

void CProjectRelocation::MoveEmptyFolders(const std::wstring& oldFolder, const std::wstring& newFolder) {
  LoadedProjectLists& lists = manager_.ProjectLists();
  for (FolderFileMap* map : {&lists.addedFiles, &lists.modifiedFiles}) {
    std::vector<std::wstring> moving;
    for (const auto& [folder, paths] : *map) {
      std::wstring rest;
      if (paths.empty() && !FolderExists(Expanded(folder)) && Below(Expanded(folder), oldFolder, rest) &&
          FolderExists(newFolder + rest)) {
        moving.push_back(folder);
      }
    }
    for (const std::wstring& folder : moving) {
      std::wstring rest;
      Below(Expanded(folder), oldFolder, rest);
      map->erase(folder);
      map->emplace(TokenForm(newFolder + rest), std::vector<std::wstring>());
      changed_ = true;
    }
  }
}

void CProjectRelocation::RelocateINIFolders(const std::wstring& oldFolder, const std::wstring& newFolder) {
  for (const auto& [folder, mapped] : manager_.INIFolders().GetINIFolderTable()) {
    std::wstring rest;
    if (Below(folder, oldFolder, rest)) manager_.INIFolders().RelocateINIFolder(folder, newFolder + rest);
  }
}

int CProjectRelocation::RelocateKeys(const std::vector<std::wstring>& checkedPaths, const std::wstring& chosenKey) {
  const std::wstring chosen = WithoutTrailingSeparators(chosenKey);
  if (chosen.empty() || !KeyExists(chosen)) return -1;
  LoadedProjectLists& lists = manager_.ProjectLists();
  int relocated = 0;
  for (const std::wstring& checkedPath : checkedPaths) {
    const std::wstring checked = WithoutTrailingSeparators(checkedPath);
    const std::vector<std::wstring> missing = missingKeys_;
    for (const std::wstring& key : missing) {
      std::wstring rest;
      if (!Below(key, checked, rest)) continue;
      const std::wstring moved = chosen + rest;
      if (!rest.empty() && !KeyExists(moved)) continue;
      RegKeyMap* map = lists.addedKeys.count(key) != 0      ? &lists.addedKeys
                       : lists.modifiedKeys.count(key) != 0 ? &lists.modifiedKeys
                                                            : nullptr;
      if (map == nullptr) continue;
      std::vector<RegValueRecord> values = std::move((*map)[key]);
      map->erase(key);
      std::vector<RegValueRecord>& target = (*map)[moved];
      for (RegValueRecord& value : values) {
        const bool present = std::any_of(target.begin(), target.end(), [&](const RegValueRecord& kept) {
          return FoldAsciiUpper(kept.valueName) == FoldAsciiUpper(value.valueName);
        });
        if (present) continue;
        value.key = moved;
        target.push_back(std::move(value));
      }
      missingKeys_.erase(std::find(missingKeys_.begin(), missingKeys_.end(), key));
      ++relocated;
    }
  }
  if (relocated > 0) changed_ = true;
  Check();
  return relocated;
}

COperationResult CProjectRelocation::WriteBack() {
  // WriteProjectFile writes the project's shortcuts as it was parsed; the relocated ones replace
  // them afterwards.
  const ShortcutList shortcuts = manager_.ProjectLists().shortcuts;
  const IconMap icons = manager_.ProjectLists().icons;
  const std::string path = WideToUtf8(manager_.Context().ProjectFilePath);
  if (manager_.WriteProjectFile() != 1) return COperationResult::Failure("the project file " + path + " was not written");
  if (manager_.ReplaceShortcutsInProjectFile(shortcuts, icons) != 1) {
    return COperationResult::Failure("the shortcuts of the project file " + path + " were not written");
  }
  manager_.ProjectLists().shortcuts = shortcuts;
  return COperationResult::Success();
}
