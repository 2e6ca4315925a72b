// A change file ("FileChanges.xml", "RegChanges.xml") split into its included and excluded
// parts as the comparison does, then read back through the project reader.
#include <cstddef>
#include <cstdint>

#include "fuzz_machine.h"
#include "package/project_reader.h"
#include "project/xml_document_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FuzzMachine& machine = FuzzMachine::Get();
  const std::wstring path =
      machine.WriteFile("Changes.xml", std::string_view(reinterpret_cast<const char*>(data), size));
  CXMLDocumentHandler document;
  if (document.Load(path) != 1) return 0;
  const std::wstring split = L"C:\\Split.xml";
  if (document.SplitIncludedExcluded(L"FileSystem", L"DirectoryList", split) == 1 && document.Load(split) == 1) {
    std::vector<std::wstring> folders;
    std::vector<std::wstring> files;
    FolderFileMap map;
    for (const wchar_t* list : {xmlpath::kIncludedFileAdded, xmlpath::kIncludedFileModified,
                                xmlpath::kIncludedFileDeleted, xmlpath::kExcludedFiles}) {
      project_reader::ReadFolders(document, list, folders, files, map);
    }
  }
  if (document.Load(path) == 1 && document.SplitIncludedExcluded(L"RegistrySystem", L"SubKeyList", split) == 1 &&
      document.Load(split) == 1) {
    std::vector<RegValueRecord> entries;
    RegKeyMap keys;
    for (const wchar_t* list : {xmlpath::kIncludedRegAdded, xmlpath::kIncludedRegModified,
                                xmlpath::kIncludedRegDeleted, xmlpath::kExcludedKeys}) {
      project_reader::ReadRegistry(document, list, entries, &keys);
    }
  }
  return 0;
}
