#include "session/change_files_check.h"

#include "core/work_context.h"
#include "platform/file_system.h"
#include "project/xml_document_handler.h"
#include "project/xml_node_handler.h"

namespace {

struct ChangeFile {
  const std::wstring& path;
  const wchar_t* element;  // what the project file is made from
};

}  // namespace

void RemoveChangeFiles(const CWorkContext& context) {
  for (const std::wstring* path : {&context.FileChangesPath, &context.RegChangesPath, &context.INIChangesPath}) platform::RemoveFile(*path);
}

std::wstring FirstUnwrittenChangeFile(const CWorkContext& context) {
  const ChangeFile files[] = {{context.FileChangesPath, L"FileSystem//Included//FileSystem"},
                              {context.RegChangesPath, L"RegistrySystem//Included//RegistrySystem"},
                              {context.INIChangesPath, L"INIFileSystem"}};
  for (const ChangeFile& file : files) {
    CXMLDocumentHandler document;
    if (document.Load(file.path) != 1 || !document.GetRootElement().SelectSingleNode(file.element).IsValid()) {
      return file.path;
    }
  }
  return std::wstring();
}
