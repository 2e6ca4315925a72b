#include "support/package_places.h"

#include <fstream>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::string Lower(const std::string& text) { return FoldAsciiLower(text); }

std::string Env(const std::wstring& value) { return WideToUtf8(value); }

// "short|long" -> long; "target:source" -> target.
std::string LongTargetName(const std::string& defaultDir) {
  std::string target = defaultDir.substr(0, defaultDir.find(':'));
  const size_t bar = target.find('|');
  return bar == std::string::npos ? target : target.substr(bar + 1);
}

class DirectoryResolver {
 public:
  // `allUsers` chooses the all-users shell folders, as Windows does for a per-machine package.
  // Wine's Windows Installer (8.0) takes the user's shell folders (Start Menu, desktop) whatever
  // ALLUSERS says: measured, a per-machine package's shortcut lands in
  // C:\users\<user>\AppData\Roaming\Microsoft\Windows\Start Menu\Programs.
  DirectoryResolver(const PackageTable& directories, const PackageTable& actions, bool allUsers) {
    for (const auto& row : directories.rows) {
      parents_[directories.Get(row, "Directory")] = {directories.Get(row, "Directory_Parent"),
                                                      directories.Get(row, "DefaultDir")};
    }
    const std::string programs = "\\Microsoft\\Windows\\Start Menu\\Programs\\";
    const EnvironmentValueSet& env = EnvironmentValues;
    standard_ = {
        {"TARGETDIR", Env(env.systemdrive) + "\\"},
        {"WindowsVolume", Env(env.systemdrive) + "\\"},
        {"ProgramFilesFolder", Env(env.programfiles) + " (x86)\\"},
        {"ProgramFiles64Folder", Env(env.programfiles) + "\\"},
        {"WindowsFolder", Env(env.windir) + "\\"},
        {"SystemFolder", Env(env.windir) + "\\syswow64\\"},
        {"System64Folder", Env(env.windir) + "\\system32\\"},
        {"System16Folder", Env(env.windir) + "\\system\\"},
        {"AppDataFolder", Env(env.appdata) + "\\"},
        {"CommonAppDataFolder", Env(env.allusersprofile) + "\\"},
        {"TempFolder", Env(env.temp) + "\\"},
        {"ProgramMenuFolder", (allUsers ? Env(env.allusersprofile) : Env(env.appdata)) + programs},
        {"DesktopFolder", allUsers ? Env(env.systemdrive) + "\\users\\Public\\Desktop\\" : Env(env.userprofile) + "\\Desktop\\"},
    };
    // Directories the package sets with property custom actions (type 51) before costing.
    for (const auto& row : actions.rows) {
      if (actions.Get(row, "Type") != "51") continue;
      const std::string target = actions.Get(row, "Source");
      if (parents_.count(target) != 0) set_[target] = actions.Get(row, "Target");
    }
  }

  // The folder (with a trailing backslash), or "" when it cannot be worked out.
  std::string Resolve(const std::string& id, int depth = 0) {
    if (depth > 32) return std::string();
    if (auto found = standard_.find(id); found != standard_.end()) return found->second;
    if (auto found = set_.find(id); found != set_.end()) return Format(found->second, depth + 1);
    auto row = parents_.find(id);
    if (row == parents_.end()) return std::string();
    const std::string name = LongTargetName(row->second.second);
    const std::string base = row->second.first.empty() || row->second.first == id ? Env(EnvironmentValues.systemdrive) + "\\"
                                                                                  : Resolve(row->second.first, depth + 1);
    if (base.empty()) return std::string();
    return name == "." ? base : base + name + "\\";
  }

 private:
  // A formatted text of the set-property actions: [%VAR] and [Directory].
  std::string Format(const std::string& text, int depth) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
      const size_t close = text[i] == '[' ? text.find(']', i) : std::string::npos;
      if (close == std::string::npos) {
        out += text[i++];
        continue;
      }
      const std::string name = text.substr(i + 1, close - i - 1);
      if (!name.empty() && name[0] == '%') {
        const std::map<std::string, std::wstring> variables = {
            {"userprofile", EnvironmentValues.userprofile}, {"allusersprofile", EnvironmentValues.allusersprofile},
            {"appdata", EnvironmentValues.appdata},         {"windir", EnvironmentValues.windir},
            {"temp", EnvironmentValues.temp},               {"systemdrive", EnvironmentValues.systemdrive},
            {"programfiles", EnvironmentValues.programfiles}};
        auto found = variables.find(Lower(name.substr(1)));
        if (found != variables.end()) out += Env(found->second);
      } else {
        out += Resolve(name, depth);
      }
      i = close + 1;
    }
    return out;
  }

  std::map<std::string, std::pair<std::string, std::string>> parents_;
  std::map<std::string, std::string> standard_;
  std::map<std::string, std::string> set_;
};

}  // namespace

std::string PackageTable::Get(const std::vector<std::string>& row, const std::string& column) const {
  for (size_t i = 0; i < columns.size() && i < row.size(); ++i) {
    if (columns[i] == column) return row[i];
  }
  return std::string();
}

bool ReadPackageTable(const fs::path& package, const std::string& table, PackageTable& out, std::string& error) {
  out = PackageTable();
  std::string text;
  if (RunHostCommand({"msiinfo", "export", package.string(), table}, {"PATH=/usr/bin:/bin"}, &text) != 0) {
    error = "msiinfo cannot export " + table + " of " + package.string() + ": " + text;
    return false;
  }
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++number;
    if (number == 1) {
      out.columns = SplitTabs(line);
    } else if (number > 3 && !line.empty()) {
      out.rows.push_back(SplitTabs(line));
    }
  }
  return true;
}

std::string PackageProperty(const fs::path& package, const std::string& name) {
  PackageTable table;
  std::string error;
  if (!ReadPackageTable(package, "Property", table, error)) {
    ADD_FAILURE() << error;
    return {};
  }
  for (const auto& row : table.rows) {
    if (table.Get(row, "Property") == name) return table.Get(row, "Value");
  }
  ADD_FAILURE() << "the package has no property " << name;
  return {};
}

bool ReadPackagePlaces(const fs::path& package, PackagePlaces& places, std::string& error) {
  places = PackagePlaces();
  PackageTable property, directory, component, file, createFolder, registry, ini, shortcut, actions;
  const std::pair<const char*, PackageTable*> tables[] = {
      {"Property", &property}, {"Directory", &directory},       {"Component", &component},
      {"File", &file},         {"CreateFolder", &createFolder}, {"Registry", &registry},
      {"IniFile", &ini},       {"Shortcut", &shortcut},         {"CustomAction", &actions}};
  for (const auto& [name, table] : tables) {
    if (!ReadPackageTable(package, name, *table, error)) return false;
  }
  for (const auto& row : property.rows) {
    if (property.Get(row, "Property") == "ALLUSERS") places.allUsers = property.Get(row, "Value") == "1";
  }
  DirectoryResolver folders(directory, actions, false);
  DirectoryResolver windowsFolders(directory, actions, places.allUsers);
  std::map<std::string, std::pair<std::string, bool>> components;  // id -> folder, 64-bit
  for (const auto& row : component.rows) {
    const std::string folder = folders.Resolve(component.Get(row, "Directory_"));
    if (folder.empty()) {
      error = "the folder of component " + component.Get(row, "Component") + " cannot be resolved";
      return false;
    }
    const int attributes = std::atoi(component.Get(row, "Attributes").c_str());
    components[component.Get(row, "Component")] = {folder, (attributes & 256) != 0};
  }
  std::map<std::string, std::string> fileKeys;  // File key -> path
  for (const auto& row : file.rows) {
    auto owner = components.find(file.Get(row, "Component_"));
    if (owner == components.end()) {
      error = "file " + file.Get(row, "File") + " has no component";
      return false;
    }
    const std::string path = owner->second.first + LongTargetName(file.Get(row, "FileName"));
    places.files.push_back(path);
    fileKeys[file.Get(row, "File")] = path;
  }
  for (const auto& row : createFolder.rows) {
    const std::string folder = folders.Resolve(createFolder.Get(row, "Directory_"));
    places.createdFolders.push_back(folder.empty() ? folder : folder.substr(0, folder.size() - 1));
  }
  for (const auto& row : registry.rows) {
    auto owner = components.find(registry.Get(row, "Component_"));
    if (owner == components.end()) {
      error = "registry row " + registry.Get(row, "Registry") + " has no component";
      return false;
    }
    PackagePlaces::Value value;
    int root = std::atoi(registry.Get(row, "Root").c_str());
    if (root == -1) root = places.allUsers ? 2 : 1;
    static const char* const kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
    if (root < 0 || root > 3) {
      error = "registry row " + registry.Get(row, "Registry") + " has the root " + registry.Get(row, "Root");
      return false;
    }
    value.root = kRoots[root];
    value.key = registry.Get(row, "Key");
    // A 32-bit component's machine values under SOFTWARE go to the 32-bit view.
    if (root == 2 && !owner->second.second && Lower(value.key).rfind("software\\", 0) == 0) {
      value.key.insert(9, "Wow6432Node\\");
    }
    value.name = registry.Get(row, "Name");
    places.values.push_back(value);
  }
  for (const auto& row : ini.rows) {
    std::string folder = ini.Get(row, "DirProperty");
    folder = folder.empty() ? Env(EnvironmentValues.windir) + "\\" : folders.Resolve(folder);
    places.iniEntries.push_back(
        {folder + LongTargetName(ini.Get(row, "FileName")), ini.Get(row, "Section"), ini.Get(row, "Key")});
  }
  for (const auto& row : shortcut.rows) {
    PackagePlaces::Shortcut link;
    const std::string name = LongTargetName(shortcut.Get(row, "Name")) + ".lnk";
    link.path = folders.Resolve(shortcut.Get(row, "Directory_")) + name;
    link.windowsPath = windowsFolders.Resolve(shortcut.Get(row, "Directory_")) + name;
    std::string target = shortcut.Get(row, "Target");
    if (target.size() > 3 && target.rfind("[#", 0) == 0 && target.back() == ']') {
      target = fileKeys[target.substr(2, target.size() - 3)];
    }
    link.target = target;
    places.shortcuts.push_back(link);
  }
  return true;
}

std::set<std::string> ProjectItems(const fs::path& projectFile, std::string& error) {
  std::set<std::string> items;
  pugi::xml_document project;
  if (!project.load_file(projectFile.c_str())) {
    error = "the project file " + projectFile.string() + " does not load";
    return items;
  }
  const pugi::xml_node root = project.document_element();
  const std::pair<const char*, const char*> categories[] = {
      {"AddedItems", "added"}, {"ModifiedItems", "modified"}, {"DeletedItems", "deleted"}};
  for (const auto& [element, category] : categories) {
    const std::string prefix = std::string(category) + "|";
    for (pugi::xpath_node directory :
         root.select_nodes((std::string("FileSystem/") + element + "/DirectoryList/Directory").c_str())) {
      const std::string folder = directory.node().attribute("Name").value();
      bool any = false;
      for (pugi::xml_node f : directory.node().children("File")) {
        items.insert(prefix + "file|" + folder + "|" + f.attribute("Name").value());
        any = true;
      }
      if (!any) items.insert(prefix + "folder|" + folder);
    }
    for (pugi::xpath_node key :
         root.select_nodes((std::string("RegistrySystem/") + element + "/SubKeyList/SubKey").c_str())) {
      const std::string name = key.node().attribute("Name").value();
      bool any = false;
      for (pugi::xml_node value : key.node().children("Value")) {
        items.insert(prefix + "value|" + name + "|" + value.attribute("Name").value() + "|" +
                     value.attribute("Type").value());
        any = true;
      }
      if (!any) items.insert(prefix + "key|" + name);
    }
    for (pugi::xpath_node iniFile :
         root.select_nodes((std::string("INIFileSystem/") + element + "/FileList/File").c_str())) {
      for (pugi::xml_node section : iniFile.node().children("Section")) {
        items.insert(prefix + "ini|" + iniFile.node().attribute("Name").value() + "|" + section.attribute("Name").value() +
                     "|" + section.attribute("Key").value() + "=" + section.attribute("Value").value());
      }
    }
  }
  for (pugi::xpath_node shortcut : root.select_nodes("ShortcutList/Shortcut")) {
    items.insert(std::string("shortcut|") + shortcut.node().attribute("Name").value() + "|" +
                 shortcut.node().attribute("ExeName").value() + "|" + shortcut.node().attribute("Directory").value());
  }
  return items;
}

std::set<std::string> ExpectedItems(const fs::path& file) {
  std::set<std::string> items;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    items.insert(line);
  }
  return items;
}
