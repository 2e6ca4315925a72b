#pragma once
#include <string>

#include "project/change_types.h"

class CINIFolderTable;
class CLogger;
class CXMLDocumentHandler;

// The writers of the change files and the project file into a loaded document: the
// included/excluded split and the Directory/File, SubKey/Value, File/Section, Shortcut, Icon/EXE
// and ProductInformation elements, and the relocation of INI folders before a project is written
// back. CXMLDocumentHandler offers each of them as its own operation (documented there); a writer
// lives for one call and saves through the document.
class CChangeFileWriter {
 public:
  CChangeFileWriter(CXMLDocumentHandler& document, CLogger* logger);

  int SplitIncludedExcluded(const std::wstring& kindPath, const std::wstring& listElement,
                            const std::wstring& savePath);
  int InsertDirectoryAndFileInXML(const std::wstring& listPath, FolderFileMap& folders,
                                  const std::wstring& savePath, bool skipUsabilityTest, bool save);
  int InsertRegistryKeyAndValueInXML(const std::wstring& listPath, const RegKeyMap& keys,
                                     const std::wstring& savePath);
  int InsertINIKeyAndValueInXML(const std::wstring& listPath, const INIFileMap& files,
                                const std::wstring& savePath);
  int InsertShortcutInXML(const std::wstring& listPath, const ShortcutList& shortcuts,
                          const std::wstring& savePath);
  int InsertShortcutICONInXML(const std::wstring& listPath, const IconMap& icons, const std::wstring& savePath);
  int InsertProductInfoInXML(const std::wstring& listPath, const std::wstring& applicationName,
                             const std::wstring& version, const std::wstring& companyName,
                             const std::wstring& savePath);
  void UpdateINIDirectories(INIFileMap& files, const CINIFolderTable& table);

 private:
  CXMLDocumentHandler& document_;
  CLogger* logger_;
};
