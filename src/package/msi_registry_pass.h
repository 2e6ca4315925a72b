#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "package/package_names.h"
#include "project/change_types.h"

class CMsiFilesPass;
class CXMLDocumentHandler;
struct MsiBuildState;

// The registry, INI, shortcut and icon pass of the package build: a Registry row for each
// captured value as it reads now (in the registry components of its view), the IniFile and
// RemoveIniFile rows of the captured INI changes, and the Shortcut rows with their components,
// the RemoveFile rows of their folders and the Icon rows of their icons. Folders come from the
// directories pass, which also tells which files went into the package.
class CMsiRegistryPass {
 public:
  CMsiRegistryPass(MsiBuildState& state, CMsiFilesPass& files) : state_(state), files_(files) {}
  CMsiRegistryPass(const CMsiRegistryPass&) = delete;
  CMsiRegistryPass& operator=(const CMsiRegistryPass&) = delete;

  // Where a captured key lies: the key as the package writes it (changed in place) and the view
  // it belongs to; `machine64` says whether the keys are those of a 64-bit machine.
  static CPackageNames::Bitness RegistryPlace(const std::wstring& rootName, std::wstring& key, bool machine64);
  // The root name and the key below it of a captured key path.
  static void SplitKeyPath(const std::wstring& path, std::wstring& rootName, std::wstring& key);

  // The values and the shortcuts the pass works on (read from the project by the builder).
  std::vector<RegValueRecord>& registryEntries() { return registryEntries_; }
  ShortcutList& shortcuts() { return shortcuts_; }

  // The component of registry values of one view (made on first use).
  std::string RegistryComponent(CPackageNames::Bitness bitness);
  void PopulateRegistryTables();
  // Reads the value of `entry` on this machine into entry.extra as Registry table text. 0 when
  // it is to be packaged; otherwise the value is left out (a warning says why).
  long QueryKey(const std::wstring& rootName, RegValueRecord& entry);
  void PopulateINIAndRemoveINITable(const CXMLDocumentHandler& project);
  void PopulateShortcutTables();
  // The Icon row key of an icon file ("Icon%d", made on first use); empty when there is no icon
  // or it cannot be read.
  std::string GetIconId(const std::wstring& iconPath);

  // Forgets what the closed build made (its icons, registry components and removed folders).
  void Clear();

 private:
  MsiBuildState& state_;
  CMsiFilesPass& files_;
  std::vector<RegValueRecord> registryEntries_;
  ShortcutList shortcuts_;
  std::map<std::wstring, int> iconIds_;  // IconIds
  std::set<std::string> registryComponents_;
  std::set<std::wstring> removedFolders_;
};
