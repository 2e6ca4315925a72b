#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/wine_prefix.h"

// An independent look at what a program wrote into a Wine prefix, for the round trips on real
// installers: the state of a prefix is taken with plain means (a walk of drive_c, Wine's registry
// files read as text, INI files and shortcuts read from their bytes), not with the program's own
// capture engine, so that the engine is judged by something that does not share its faults.
//
// Typical use:
//   PrefixState before, after;
//   before.Take(prefix, error);  ... run a setup (and wait for the prefix's server) ...
//   after.Take(prefix, error);
//   std::vector<PrefixItem> wrote = DiffPrefixStates(before, after);
// and, for two such lists, ComparePrefixItems(expected, actual).
//
// Places are Windows paths and keys ("C:\Program Files\App\a.txt",
// "HKEY_LOCAL_MACHINE\Software\App|Name", "C:\windows\win.ini|Section|Key"); they are compared
// without regard to letter case, as Windows does.

// One thing a program wrote, or removed.
struct PrefixItem {
  // "file", "folder" (a new empty folder), "link" (a host symbolic link), "value", "key" (a new
  // key without values), "ini" (an entry of an INI file that existed before), "shortcut" (.lnk).
  std::string kind;
  std::string place;
  // Files: size and content hash. Values: type and data. INI entries: the value text. Shortcuts:
  // target and arguments. "<deleted>" for an item that went away.
  std::string content;

  std::string Text() const { return kind + " " + place + " = " + content; }
};

class PrefixState {
 public:
  // Reads the state of the prefix at `prefix` (its drive_c and system.reg, user.reg, userdef.reg).
  // No Wine server of the prefix may be running, or the registry files may be stale. False (with
  // the reason in `error`) when the prefix cannot be read.
  bool Take(const std::filesystem::path& prefix, std::string& error);

 private:
  friend std::vector<PrefixItem> DiffPrefixStates(const PrefixState& before, const PrefixState& after);

  struct Entry {
    std::string place;  // as found (letter case kept)
    char type = 'f';    // 'f' file, 'd' folder, 'l' symbolic link
    uint64_t size = 0;
    int64_t modified = 0;  // nanoseconds
    uint64_t inode = 0;
    bool empty = false;  // folders: nothing inside
    std::string linkTarget;
  };
  struct IniEntry {
    std::string place;
    std::string value;
  };
  struct Value {
    std::string place;
    uint32_t type = 0;
    std::string data;
  };

  std::filesystem::path prefix_;
  std::map<std::string, Entry> entries_;                               // folded place -> entry
  std::map<std::string, std::map<std::string, IniEntry>> iniFiles_;    // folded file -> entries
  std::map<std::string, Value> values_;                                // folded place -> value
  std::map<std::string, std::string> emptyKeys_;                       // folded key -> key
  std::map<std::string, bool> keys_;                                   // every folded key (with ancestors)
};

// The items of `after` that differ from `before`: what was added or changed, and what went away
// ("<deleted>"). Reads the changed files of `after`'s prefix, which must still be as it was taken.
std::vector<PrefixItem> DiffPrefixStates(const PrefixState& before, const PrefixState& after);

// What running `arguments` (a Windows program and its arguments; on a private display when
// `privateDisplay`) wrote into `machine`, by the differ. A run that fails at once having written
// nothing is tried once more (Wine's "start" now and then does so on a busy machine); failures are
// added to the running test.
std::vector<PrefixItem> WrittenBy(const WinePrefixCopy& machine, const std::vector<std::string>& arguments,
                                  bool privateDisplay = false);

// Two lists of written items side by side: an expected item with the same place and content in
// `actual` is reproduced; one whose place is absent or whose content differs is missing (its
// content then also tells what was found); an actual item at a place not expected is extra.
struct PrefixComparison {
  std::vector<PrefixItem> reproduced;
  std::vector<PrefixItem> missing;
  std::vector<PrefixItem> extra;
};
PrefixComparison ComparePrefixItems(const std::vector<PrefixItem>& expected, const std::vector<PrefixItem>& actual);

// The setup's own uninstall registration among `items`, taken out and returned: the values and
// keys of its uninstall entries (...\CurrentVersion\Uninstall\<name> of the machine or the user,
// either registry view), the uninstaller their UninstallString names with the files beside it
// that share its name (Inno Setup's unins000.dat), and shortcuts aimed at the uninstaller.
std::vector<PrefixItem> TakeUninstallRegistration(std::vector<PrefixItem>& items);

// The Windows Installer's own bookkeeping among `items`, taken out and returned: its registration
// keys (Installer keys of the machine and the user), the uninstall entry of the package with
// `productCode` ("{...}"), and its per-user cache of shortcut icons.
std::vector<PrefixItem> TakeInstallerBookkeeping(std::vector<PrefixItem>& items, const std::string& productCode);
