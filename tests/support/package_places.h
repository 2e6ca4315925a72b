#pragma once
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

// Reading a built package back (with msitools' own reader, `msiinfo export`) and working out where
// each of its items lands on a Wine machine when the machine's Windows Installer installs it:
// files, created folders, registry values, INI entries and shortcuts, as Windows paths and keys.
// And the capture side: the items a project file lists, and the expected items of a sample.

// One table as exported: column names and rows of texts.
struct PackageTable {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  // The text of a row's column ("" when the column does not exist).
  std::string Get(const std::vector<std::string>& row, const std::string& column) const;
};
// False (with the reason in `error`) when msiinfo cannot export the table.
bool ReadPackageTable(const std::filesystem::path& package, const std::string& table, PackageTable& out,
                      std::string& error);
// The value of a property of the package's Property table; "" (with a test failure added) when the
// table cannot be read or holds no such property.
std::string PackageProperty(const std::filesystem::path& package, const std::string& name);

struct PackagePlaces {
  bool allUsers = false;
  std::vector<std::string> files;           // full Windows paths of installed files
  std::vector<std::string> createdFolders;  // folders made empty (CreateFolder)
  struct Value {
    std::string root;  // "HKEY_LOCAL_MACHINE", ...
    std::string key;   // below the root, with Wow6432Node for 32-bit components under SOFTWARE
    std::string name;  // "" for the default value
    std::string place() const { return root + "\\" + key + "|" + name; }
  };
  std::vector<Value> values;
  struct IniEntry {
    std::string file;
    std::string section;
    std::string key;
    std::string place() const { return file + "|" + section + "|" + key; }
  };
  std::vector<IniEntry> iniEntries;
  struct Shortcut {
    std::string path;          // the .lnk file, where the machine's Windows Installer puts it
    std::string windowsPath;   // where Windows would put it (differs for per-machine packages)
    std::string target;        // the installed file it points at
  };
  std::vector<Shortcut> shortcuts;
};

// Reads the Property, Directory, Component, File, CreateFolder, Registry, IniFile and Shortcut
// tables and resolves every item to its place on the machine the seam currently sees (its
// environment values must be read: ReadEnvironmentValues). False with a reason when a table
// cannot be read or a row refers to something missing.
bool ReadPackagePlaces(const std::filesystem::path& package, PackagePlaces& places, std::string& error);

// The items a project file lists, in the form of the samples' expected-items.txt files.
std::set<std::string> ProjectItems(const std::filesystem::path& projectFile, std::string& error);
// The items of an expected-items file (comments and blank lines skipped).
std::set<std::string> ExpectedItems(const std::filesystem::path& file);
