#include "package/msi_registry_pass.h"

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "package/msi_build_state.h"
#include "package/msi_files_pass.h"
#include "package/msi_table.h"
#include "package/project_reader.h"
#include "package/registry_value_text.h"
#include "platform/folder_tree.h"
#include "platform/registry.h"
#include "project/xml_document_handler.h"

namespace {

std::string Narrow(const std::wstring& text) { return WideToUtf8(text); }
std::string Upper(const std::wstring& text) { return WideToUtf8(ToUpperUnicode(text)); }

using Bitness = CPackageNames::Bitness;

bool StartsWithNoCase(const std::wstring& text, const std::wstring& head) {
  return text.size() >= head.size() && FoldAsciiUpper(text.substr(0, head.size())) == FoldAsciiUpper(head);
}

// Whether `key` is `head` or lies below it.
bool IsKeyOrBelow(const std::wstring& key, const std::wstring& head) {
  return StartsWithNoCase(key, head) && (key.size() == head.size() || key[head.size()] == L'\\');
}

std::wstring UnquotedName(const std::wstring& valueName) {
  std::wstring name = valueName;
  if (!name.empty()) name.pop_back();
  if (!name.empty()) name.erase(0, 1);
  return name;
}

}  // namespace

// Where a captured key lies: the key as the package writes it and the view it belongs to. The
// 32-bit view of a 64-bit machine (Wow6432Node) is written without that node by a 32-bit component,
// which the installer redirects there again. On a 64-bit machine the native keys of
// HKEY_LOCAL_MACHINE\Software and the class registrations that have a 32-bit twin are 64-bit; the rest
// (HKEY_CURRENT_USER, file types, System) is the same in both views.
Bitness CMsiRegistryPass::RegistryPlace(const std::wstring& rootName, std::wstring& key, bool machine64) {
  const bool machine = rootName == L"HKEY_LOCAL_MACHINE";
  const bool classes = rootName == L"HKEY_CLASSES_ROOT";
  if (!machine && !classes) return Bitness::Neutral;
  static const std::wstring kNode = L"Wow6432Node";
  const std::vector<std::wstring> parents =
      classes ? std::vector<std::wstring>{L""} : std::vector<std::wstring>{L"Software\\", L"Software\\Classes\\"};
  for (const std::wstring& parent : parents) {
    const std::wstring node = parent + kNode;
    if (!IsKeyOrBelow(key, node)) continue;
    const std::wstring below = key.size() > node.size() ? key.substr(node.size() + 1) : std::wstring();
    key = parent + below;
    if (!key.empty() && key.back() == L'\\') key.pop_back();
    return Bitness::Bits32;
  }
  // Class registrations: only these have a 32-bit twin; file types and the like are shared.
  std::wstring classKey;
  if (classes) {
    classKey = key;
  } else if (IsKeyOrBelow(key, L"Software\\Classes")) {
    classKey = key.size() > 17 ? key.substr(17) : std::wstring();
  } else if (!IsKeyOrBelow(key, L"Software")) {
    return Bitness::Neutral;
  }
  if (classes || IsKeyOrBelow(key, L"Software\\Classes")) {
    bool redirected = false;
    for (const wchar_t* twin : {L"CLSID", L"Interface", L"TypeLib", L"AppID"})
      if (IsKeyOrBelow(classKey, twin)) redirected = true;
    if (!redirected) return Bitness::Neutral;
  }
  return machine64 ? Bitness::Bits64 : Bitness::Bits32;
}

// The root name and the key below it of a captured key path. A path still in the key-line form of
// a snapshot ("[HKEY_...\\...]") loses its enclosing brackets; brackets inside key names stay.
void CMsiRegistryPass::SplitKeyPath(const std::wstring& path, std::wstring& rootName, std::wstring& key) {
  std::wstring text = path;
  if (text.size() >= 2 && text.front() == L'[' && text.back() == L']') text = text.substr(1, text.size() - 2);
  const size_t slash = text.find(L'\\');
  rootName = text.substr(0, slash);
  key = slash == std::wstring::npos ? std::wstring() : text.substr(slash + 1);
}

void CMsiRegistryPass::Clear() {
  iconIds_.clear();
  registryComponents_.clear();
  removedFolders_.clear();
}

std::string CMsiRegistryPass::RegistryComponent(Bitness bitness) {
  // In a 64-bit package the 32-bit values have a component of their own, without the 64-bit
  // attribute; everything else shares REGDIFFCOMP, which the template binds to the feature.
  const bool own32 = state_.package64 && bitness == Bitness::Bits32;
  const std::string name = own32 ? "REGDIFFCOMP32" : "REGDIFFCOMP";
  if (registryComponents_.insert(name).second) {
    const std::string folder =
        own32 ? "ProgramFilesFolder" : state_.package64 ? "ProgramFiles64Folder" : "ProgramFilesFolder";
    MsiRow component{name, CPackageNames::NewGuidString(), folder, state_.ComponentAttributes(8, bitness)};
    state_.AddRow(COMPONENT_TABLE, &component);
    if (own32) {
      MsiRow feature{MsiBuildState::kFeature, name};
      state_.AddRow(FEATURE_COMPONENT_TABLE, &feature);
    }
  }
  return name;
}

void CMsiRegistryPass::PopulateRegistryTables() {
  CTraceScope trace(state_.logger, "CMSIHandler::PopulateRegistryTables");
  RegistryComponent(Bitness::Neutral);

  for (RegValueRecord& entry : registryEntries_) {
    if (state_.Cancelled()) return;
    const std::string identifier = FormatText("CorvaneRegistry%d", state_.registryRowCounter++);
    if (entry.typeName.empty() && entry.valueName.empty()) continue;

    std::wstring rootName;
    std::wstring keyPath;
    SplitKeyPath(entry.key, rootName, keyPath);
    const std::wstring valueName = UnquotedName(entry.valueName);

    std::string root;
    if (rootName == L"HKEY_CLASSES_ROOT") root = "0";
    else if (rootName == L"HKEY_CURRENT_USER") root = "1";
    else if (rootName == L"HKEY_LOCAL_MACHINE") root = "2";
    else if (rootName == L"HKEY_USERS") root = "3";
    if (root.empty()) {
      state_.Warn("the registry value " + Narrow(valueName) + " of " + Narrow(entry.key) +
                  " is left out: the installer's Registry table cannot write below " + Narrow(rootName));
      continue;
    }

    if (QueryKey(rootName, entry) != 0) continue;
    const Bitness bitness = RegistryPlace(rootName, keyPath, state_.machine64);
    MsiRow row{identifier,
               root,
               Narrow(CRegistryValueText::FormatKey(keyPath)),
               Narrow(CRegistryValueText::FormatName(valueName)),
               Narrow(entry.extra),
               RegistryComponent(bitness)};
    state_.AddRow(REGISTRY_TABLE, &row);
  }
}

long CMsiRegistryPass::QueryKey(const std::wstring& rootName, RegValueRecord& entry) {
  entry.extra.clear();
  std::wstring ignored;
  std::wstring keyPath;
  SplitKeyPath(entry.key, ignored, keyPath);
  const std::wstring valueName = UnquotedName(entry.valueName);
  const std::string shown = Narrow(valueName.empty() ? L"(default)" : valueName) + " of " + Narrow(rootName) + "\\" +
                            Narrow(keyPath);

  auto root = platform::RootKeyTable.find(rootName);
  platform::RegistryKey key;
  if (root == platform::RootKeyTable.end() || key.Open(root->second, keyPath) != platform::kSuccess) {
    if (state_.logger != nullptr)
      state_.logger->Write(2, FormatText("CMSIHandler::QueryKey Unable to Open %s\\%s", Narrow(rootName).c_str(),
                                   Narrow(keyPath).c_str()));
    state_.Warn("the registry value " + shown + " is left out: the key is not on this machine");
    return 1;
  }
  // The value is packaged with the type it has now; the project's type name only names the five
  // common types, and a value may have been rewritten with another.
  uint32_t type = 0;
  std::vector<uint8_t> data;
  const platform::Status status = key.QueryValue(valueName, type, data);
  key.Close();
  if (status != platform::kSuccess) {
    state_.Warn(FormatText("the registry value %s is left out: it cannot be read on this machine (status %ld)",
                           shown.c_str(), status));
    return status;
  }
  std::string warning;
  if (!CRegistryValueText::Format(type, data, state_.machine64, entry.extra, warning))
    state_.Warn("the registry value " + shown + " " + warning);
  if (entry.extra.size() > CMsiTable::kMaxTextBytes) {
    state_.Warn("the registry value " + shown + " is left out: its data (" + std::to_string(data.size()) +
                " bytes) is too long for the package's Registry table (at most " +
                std::to_string(CMsiTable::kMaxTextBytes) + " characters of text)");
    return 1;
  }
  return 0;
}

void CMsiRegistryPass::PopulateINIAndRemoveINITable(const CXMLDocumentHandler& project) {
  CTraceScope trace(state_.logger, "CMSIHandler::PopulateINIAndRemoveINITable");
  MsiRow component{"INIHANDLECOMP", CPackageNames::NewGuidString(), "INSTALLDIR", state_.ComponentAttributes(0)};
  state_.AddRow(COMPONENT_TABLE, &component);

  INIFileMap added;
  INIFileMap modified;
  INIFileMap deleted;
  project_reader::ReadIni(project, xmlpath::kIniAdded, added);
  project_reader::ReadIni(project, xmlpath::kIniModified, modified);
  project_reader::ReadIni(project, xmlpath::kIniDeleted, deleted);

  std::vector<std::wstring> folders;
  for (const INIFileMap* map : {&added, &modified, &deleted}) {
    for (const auto& [path, entries] : *map) {
      std::wstring folder;
      std::wstring name;
      CMsiFilesPass::SplitFile(path, folder, name);
      folders.push_back(folder);
    }
  }
  files_.PopulateDirectoryTable(folders);

  auto writeRows = [this](const INIFileMap& map, bool remove) {
    for (const auto& [path, entries] : map) {
      std::wstring folder;
      std::wstring name;
      CMsiFilesPass::SplitFile(path, folder, name);
      const std::string dirProperty = files_.DirectoryColumn(folder);
      for (const INIEntry& entry : entries) {
        // The value keeps its single quotes: it is bound as a parameter. Section, key and value
        // are Formatted text: their brackets are escaped, or "[x]" would be read as a property.
        const int number = remove ? state_.removeIniFileRowCounter++ : state_.iniFileRowCounter++;
        auto text = [](const std::wstring& captured) {
          return Narrow(CPackageNames::FormattedText(captured, false, false));
        };
        MsiRow row{FormatText("INIFile%d", number), Narrow(name),     dirProperty,  text(entry.Section),
                   text(entry.Key),                 text(entry.Value), remove ? "2" : "0", "INIHANDLECOMP"};
        state_.AddRow(remove ? REMOVE_INI_FILE_TABLE : INI_FILE_TABLE, &row);
      }
    }
  };
  writeRows(added, false);
  writeRows(modified, false);
  writeRows(deleted, true);
}

void CMsiRegistryPass::PopulateShortcutTables() {
  CTraceScope trace(state_.logger, "CMSIHandler::PopulateShortcutTables");
  int number = 0;
  for (const ShortcutRecord& shortcut : shortcuts_) {
    const int index = number++;
    const std::string name = Narrow(shortcut.name);
    std::string target;
    std::string component;
    if (!shortcut.target.empty()) {
      if (const auto* packaged = files_.PackagedFile(shortcut.target)) {
        target = "[#" + Narrow(packaged->first) + "]";
        component = packaged->second;
      } else {
        // A target outside the package: the shortcut points at that path, through the folder
        // property of the machine it is installed on where it has one.
        std::wstring real = shortcut.target;
        FromTokenForm(real);
        target = Narrow(CPackageNames::FormattedText(real, state_.machine64, true));
      }
    } else if (state_.names.HasTableFileName(shortcut.exeName)) {
      // A project of an older form names the target by its file name: the first packaged file of
      // that name.
      const std::wstring key = state_.names.FirstTableFileKey(shortcut.exeName);
      target = "[#" + Narrow(key) + "]";
      component = Upper(key + L"Comp");
    } else {
      state_.Warn("the shortcut " + name + " is left out: no packaged file is named " + Narrow(shortcut.exeName));
      continue;
    }

    const std::string directory =
        shortcut.folder.empty() ? Narrow(shortcut.directory) : files_.DirectoryForFolder(shortcut.folder);
    if (component.empty()) {
      // A shortcut to a path outside the package has a component of its own, in its folder.
      component = FormatText("SHORTCUT%dCOMP", index);
      MsiRow row{component, CPackageNames::NewGuidString(), directory, state_.ComponentAttributes(8)};
      state_.AddRow(COMPONENT_TABLE, &row);
      MsiRow feature{MsiBuildState::kFeature, component};
      state_.AddRow(FEATURE_COMPONENT_TABLE, &feature);
    }
    const std::string workingFolder =
        shortcut.workingFolder.empty() ? std::string() : files_.DirectoryForFolder(shortcut.workingFolder);

    // The folders the shortcut's own folder adds below a predefined one (a Start Menu subfolder)
    // go again on uninstall, when nothing else is left in them.
    if (!shortcut.folder.empty()) {
      CPackageNames::KnownFolder known;
      size_t length = 0;
      if (CPackageNames::FindKnownAncestor(shortcut.folder, state_.machine64, known, length)) {
        for (std::wstring level = shortcut.folder; level.size() > length;
             level = level.substr(0, level.find_last_of(L'\\'))) {
          if (!removedFolders_.insert(FoldAsciiUpper(level)).second) continue;
          MsiRow remove{FormatText("RemoveFolder%d", static_cast<int>(removedFolders_.size())), component, "",
                        files_.DirectoryColumn(level), "2"};
          state_.AddRow(REMOVE_FILE_TABLE, &remove);
        }
      }
    }

    MsiRow row{FormatText("Shortcut%d", index),
               directory,
               name,
               component,
               target,
               Narrow(CPackageNames::FormattedText(shortcut.arguments, state_.machine64, true)),
               Narrow(shortcut.description),
               Narrow(shortcut.hotkey),
               GetIconId(shortcut.icon),
               Narrow(shortcut.iconIndex),
               Narrow(shortcut.showCommand),
               workingFolder};
    state_.AddRow(SHORTCUT_TABLE, &row);
  }
}

std::string CMsiRegistryPass::GetIconId(const std::wstring& iconPath) {
  if (iconPath.empty()) return std::string();
  auto found = iconIds_.find(iconPath);
  if (found != iconIds_.end()) return found->second > 0 ? FormatText("Icon%d", found->second) : std::string();
  if (!platform::IsReadableFile(iconPath)) {
    // The shortcut keeps the target's own icon rather than naming an Icon row that cannot exist.
    state_.Warn("the icon " + Narrow(iconPath) + " cannot be read; its shortcuts show their target's icon");
    iconIds_.emplace(iconPath, 0);
    return std::string();
  }
  int number = 1;
  for (const auto& [path, id] : iconIds_)
    if (id > 0) ++number;
  iconIds_.emplace(iconPath, number);
  const std::string key = FormatText("Icon%d", number);
  MsiRow row{key, Narrow(iconPath)};
  state_.AddRow(ICON_TABLE, &row);
  return key;
}
