// A project file ("ProjectFile.xml") as the review and the package builder read it: loaded
// from disk, every list read through the project reader.
#include <cstddef>
#include <cstdint>

#include "fuzz_machine.h"
#include "package/project_reader.h"
#include "project/ini_folder_table.h"
#include "project/xml_document_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FuzzMachine& machine = FuzzMachine::Get();
  const std::wstring path =
      machine.WriteFile("ProjectFile.xml", std::string_view(reinterpret_cast<const char*>(data), size));
  CXMLDocumentHandler document;
  if (document.Load(path) != 1) return 0;
  std::vector<std::wstring> folders;
  std::vector<std::wstring> files;
  FolderFileMap folderMap;
  for (const wchar_t* list : {xmlpath::kFileAdded, xmlpath::kFileModified, xmlpath::kFileDeleted}) {
    project_reader::ReadFolders(document, list, folders, files, folderMap);
  }
  std::vector<RegValueRecord> entries;
  RegKeyMap keys;
  for (const wchar_t* list : {xmlpath::kRegAdded, xmlpath::kRegModified, xmlpath::kRegDeleted}) {
    project_reader::ReadRegistry(document, list, entries, &keys);
  }
  INIFileMap ini;
  CINIFolderTable iniFolders;
  for (const wchar_t* list : {xmlpath::kIniAdded, xmlpath::kIniModified, xmlpath::kIniDeleted}) {
    project_reader::ReadIni(document, list, ini);
    document.UpdateINIDirectories(ini, iniFolders);
  }
  ShortcutList shortcuts;
  project_reader::ReadShortcuts(document, shortcuts);
  IconMap icons;
  project_reader::ReadIcons(document, icons);
  ProductInfo product;
  project_reader::ReadProductInfo(document, product);
  return 0;
}
