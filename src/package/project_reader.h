#pragma once
#include <string>
#include <vector>

#include "project/change_types.h"

class CXMLDocumentHandler;

// Readers of the lists of a loaded project file (or change file), walking children in document
// order. A path that selects nothing gives an empty list. Used by the package builder and by the
// project part of CUIManager.
namespace project_reader {

// The folder list ("Name" of every Directory), the file list (folder + "\" + File name) and the
// folder map (each folder with its files; an empty folder keeps an empty list).
void ReadFolders(const CXMLDocumentHandler& document, const std::wstring& listPath,
                 std::vector<std::wstring>& folders, std::vector<std::wstring>& files, FolderFileMap& map);
// Every SubKey with its Value records in document order. A SubKey without values gives one
// record with an empty name and type (the builder skips it); `keys`, when given, receives every
// key with its named values (records with an empty name are left out).
void ReadRegistry(const CXMLDocumentHandler& document, const std::wstring& listPath,
                  std::vector<RegValueRecord>& entries, RegKeyMap* keys = nullptr);
// INI file path -> its entries.
void ReadIni(const CXMLDocumentHandler& document, const std::wstring& listPath, INIFileMap& files);
// Shortcuts, with the icon path expanded from token form.
void ReadShortcuts(const CXMLDocumentHandler& document, ShortcutList& shortcuts);
void ReadIcons(const CXMLDocumentHandler& document, IconMap& icons);
// The first ProductInformation child; empty texts when there is none.
void ReadProductInfo(const CXMLDocumentHandler& document, ProductInfo& product);

}  // namespace project_reader
