#include "package/project_reader.h"

#include "core/strings.h"
#include "core/work_paths.h"
#include "project/xml_document_handler.h"
#include "project/xml_node_handler.h"

namespace project_reader {

namespace {

CXMLNodeHandler SelectList(const CXMLDocumentHandler& document, const std::wstring& listPath) {
  CXMLNodeHandler root = document.GetRootElement();
  if (!root.IsValid()) return CXMLNodeHandler();
  return root.SelectSingleNode(listPath);
}

}  // namespace

void ReadFolders(const CXMLDocumentHandler& document, const std::wstring& listPath,
                 std::vector<std::wstring>& folders, std::vector<std::wstring>& files, FolderFileMap& map) {
  folders.clear();
  files.clear();
  map.clear();
  CXMLNodeHandler list = SelectList(document, listPath);
  for (const CXMLNodeHandler& directory : list.GetChildren()) {
    const std::wstring folder = directory.GetAttribute(0);
    folders.push_back(folder);
    std::vector<std::wstring>& inFolder = map[folder];
    for (const CXMLNodeHandler& file : directory.GetChildren()) {
      const std::wstring path = folder + L"\\" + file.GetAttribute(0);
      files.push_back(path);
      inFolder.push_back(path);
    }
  }
}

void ReadRegistry(const CXMLDocumentHandler& document, const std::wstring& listPath,
                  std::vector<RegValueRecord>& entries, RegKeyMap* keys) {
  entries.clear();
  if (keys != nullptr) keys->clear();
  CXMLNodeHandler list = SelectList(document, listPath);
  for (const CXMLNodeHandler& subKey : list.GetChildren()) {
    const std::wstring key = subKey.GetAttribute(0);
    std::vector<RegValueRecord>* named = keys != nullptr ? &(*keys)[key] : nullptr;
    const std::vector<CXMLNodeHandler> values = subKey.GetChildren();
    if (values.empty()) entries.push_back({key, L"", L"", L""});
    for (const CXMLNodeHandler& value : values) {
      RegValueRecord record{key, value.GetAttribute(0), value.GetAttribute(1), value.GetAttribute(2)};
      if (named != nullptr && !record.valueName.empty()) named->push_back(record);
      entries.push_back(std::move(record));
    }
  }
}

void ReadIni(const CXMLDocumentHandler& document, const std::wstring& listPath, INIFileMap& files) {
  files.clear();
  CXMLNodeHandler list = SelectList(document, listPath);
  for (const CXMLNodeHandler& file : list.GetChildren()) {
    std::vector<INIEntry>& entries = files[file.GetAttribute(0)];
    for (const CXMLNodeHandler& section : file.GetChildren()) {
      entries.push_back({section.GetAttribute(0), section.GetAttribute(1), section.GetAttribute(2)});
    }
  }
}

void ReadShortcuts(const CXMLDocumentHandler& document, ShortcutList& shortcuts) {
  shortcuts.clear();
  CXMLNodeHandler list = SelectList(document, xmlpath::kShortcutList);
  for (const CXMLNodeHandler& node : list.GetChildren()) {
    ShortcutRecord record;
    record.name = node.GetAttribute(0);
    record.exeName = node.GetAttribute(1);
    record.directory = node.GetAttribute(2);
    record.icon = node.GetAttribute(3);
    record.iconIndex = node.GetAttribute(4);
    // The later attributes are optional, so they are found by name.
    auto named = [&node](const char* name) { return Utf8ToWide(node.node().attribute(name).value()); };
    record.target = named("Target");
    record.folder = named("Folder");
    record.arguments = named("Arguments");
    record.description = named("Description");
    record.workingFolder = named("WorkingFolder");
    record.showCommand = named("ShowCmd");
    record.hotkey = named("Hotkey");
    FromTokenForm(record.icon);
    shortcuts.push_back(std::move(record));
  }
}

void ReadIcons(const CXMLDocumentHandler& document, IconMap& icons) {
  icons.clear();
  CXMLNodeHandler list = SelectList(document, xmlpath::kShortcutIcons);
  for (const CXMLNodeHandler& node : list.GetChildren()) {
    IconRecord& record = icons[node.GetAttribute(0)];
    record.size = node.GetAttribute(1);
    record.data = node.GetAttribute(2);
    for (const CXMLNodeHandler& exe : node.GetChildren()) record.exeNames.push_back(exe.GetAttribute(0));
  }
}

void ReadProductInfo(const CXMLDocumentHandler& document, ProductInfo& product) {
  product = ProductInfo();
  CXMLNodeHandler first = SelectList(document, xmlpath::kProductInformation).GetChild(0);
  if (!first.IsValid()) return;
  product.applicationName = first.GetAttribute(0);
  product.version = first.GetAttribute(1);
  product.companyName = first.GetAttribute(2);
}

}  // namespace project_reader
