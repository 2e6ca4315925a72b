#pragma once
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "project/change_types.h"
#include "project/xml_node_handler.h"

class CINIFolderTable;
class CIncludeExcludeRules;
class CLogger;
class CSkippedFiles;

// Owns one XML document of the program (a change file, the project file or the rule file) and
// holds the schema writers and readers that work on it. Paths are Windows paths; files are read
// and written through the machine seam. Nothing here throws.
//
// A handler is created, loaded, changed and saved on one thread; it is never shared between
// threads.
class CXMLDocumentHandler {
 public:
  CXMLDocumentHandler();
  virtual ~CXMLDocumentHandler();
  CXMLDocumentHandler(const CXMLDocumentHandler&) = delete;
  CXMLDocumentHandler& operator=(const CXMLDocumentHandler&) = delete;

  // ---- Generic layer ----

  // Parses the file. 1 when it parsed into a document with a root element (the loaded flag is
  // then set), 0 otherwise (missing file, unmapped drive, malformed XML); the flag is cleared
  // first in every case. A failed load leaves an empty document.
  int Load(const std::wstring& path);
  // Parses text instead of a file (same result and flag as Load; the document has no path).
  int LoadXML(const std::wstring& text);
  // Writes the document, indented, as UTF-8 with an XML declaration. An empty path means the
  // path the document was last loaded from. The file is replaced as a whole: it is written beside
  // the target and renamed over it. false when there is no path or the file cannot be written
  // (logged "CXMLDocumentHandler::Save failed to '<path>'" at level 1).
  bool Save(const std::wstring& path = std::wstring());
  // The document element, or an empty handler when there is none.
  CXMLNodeHandler GetRootElement() const;
  // Whether the document object exists (always, here).
  bool IsValid() const { return true; }
  // Whether the last Load succeeded.
  bool IsLoaded() const { return m_loaded; }
  // The path set by SetPath (the rule file's writer sets it to the file it rewrites; empty until
  // then) and the path of the last successful Load.
  const std::wstring& GetPath() const { return m_path; }
  void SetPath(const std::wstring& path) { m_path = path; }
  const std::wstring& GetLoadedPath() const { return m_url; }
  // The whole document as indented text (what Save writes), for logs and tests.
  std::string ToText() const;

  // ---- Change files and project file ----

  // Restructures the loaded document for the file part ("FileSystem", "DirectoryList") or the
  // registry part ("RegistrySystem", "SubKeyList"): the root's `kindPath` child gets an
  // `Excluded` list and an `Included` copy of the kind with the three change lists, and its old
  // change lists go. Saves to `savePath`. 1 on success, 0 otherwise (logged). The caller loads
  // `savePath` afterwards to write into it.
  int SplitIncludedExcluded(const std::wstring& kindPath, const std::wstring& listElement,
                            const std::wstring& savePath);

  // The writers. Each takes the element path of the list to fill, its input, and the path to save
  // to; each inserts every new element as the FIRST child of its parent, saves, and returns 1
  // when everything was written and saved, 0 when anything failed (each failure is logged).

  // Folders to Directory/File. A folder that is not written is removed from `folders` (see the
  // rules in the implementation). With `skipUsabilityTest` false, files that fail
  // IsUsableCapturedFile are left out (and recorded in SkippedFiles()) and executables of the included added list are recorded in
  // the captured executables. Saves once, when every folder is written; with `save` false it does
  // not save at all, for a caller that writes several lists into one file and saves it itself.
  int InsertDirectoryAndFileInXML(const std::wstring& listPath, FolderFileMap& folders,
                                  const std::wstring& savePath, bool skipUsabilityTest, bool save = true);
  // Keys to SubKey/Value. In the plain added list a key without values is left out.
  int InsertRegistryKeyAndValueInXML(const std::wstring& listPath, const RegKeyMap& keys,
                                     const std::wstring& savePath);
  // INI files to File/Section.
  int InsertINIKeyAndValueInXML(const std::wstring& listPath, const INIFileMap& files,
                                const std::wstring& savePath);
  // Shortcuts to Shortcut; the icon path is stored in token form.
  int InsertShortcutInXML(const std::wstring& listPath, const ShortcutList& shortcuts,
                          const std::wstring& savePath);
  // Icons to Icon/EXE. A missing list is skipped without a message.
  int InsertShortcutICONInXML(const std::wstring& listPath, const IconMap& icons,
                              const std::wstring& savePath);
  // One ProductInformation element under the list.
  int InsertProductInfoInXML(const std::wstring& listPath, const std::wstring& applicationName,
                             const std::wstring& version, const std::wstring& companyName,
                             const std::wstring& savePath);

  // Applies an INI folder table (the session's) to an INI list before it is written back into a
  // project file: files whose folder was relocated move to the new folder.
  void UpdateINIDirectories(INIFileMap& files, const CINIFolderTable& table);

  // What the change-file writers consult and record for a capture session: the reasons items were
  // set aside for (written beside the items of the excluded lists) and the list that receives the
  // files failing the usability test. Unset (the default), excluded items carry no reason and
  // failing files are only left out. Both objects outlive the handler's use of them.
  void SetCaptureRecords(const CIncludeExcludeRules* reasons, CSkippedFiles* skipped) {
    m_reasons = reasons;
    m_skipped = skipped;
  }
  const CIncludeExcludeRules* Reasons() const { return m_reasons; }
  CSkippedFiles* SkippedFiles() const { return m_skipped; }

  // Executables found among the included added files while writing them (full paths).
  const std::vector<std::wstring>& GetCapturedExecutables() const { return m_capturedExecutables; }
  std::vector<std::wstring>& CapturedExecutables() { return m_capturedExecutables; }

  // ---- Include and exclude rules (the maps of include_exclude_rules.h) ----

  // Reads "FileSystem//IncludedItems" or "RegistrySystem//IncludedItems" under `root` into the
  // included map of that kind of `rules`. 1 when the list was found, 0 otherwise (any other
  // path: 0).
  int ReadIncludedItems(const std::wstring& listPath, const CXMLNodeHandler& root, CIncludeExcludeRules& rules);
  // Reads "FileSystem//ExcludedItems" or "RegistrySystem//ExcludedItems" into the excluded map of
  // that kind, dropping rules for one user's hive under HKEY_USERS.
  int ReadExcludedItems(const std::wstring& listPath, const CXMLNodeHandler& root, CIncludeExcludeRules& rules);
  // Rewrites one list of the loaded rule file from its map in `rules` and saves the file where it
  // was loaded from. `excludedPart` chooses ExcludedItems (true) or IncludedItems (false);
  // `listPath` is one of the four rule list paths. 1 on success, 0 otherwise (logged).
  int RegenerateIncludeExcludeFile(bool excludedPart, const std::wstring& listPath, const CIncludeExcludeRules& rules);

  // The document itself, for the project reader and tests.
  pugi::xml_document& document() { return m_document; }

  // Save, with `failMessage` logged at level 2 when it fails (for the writers).
  bool SaveOrLog(const std::wstring& savePath, const char* failMessage);

 private:

  std::wstring m_path;
  std::wstring m_url;
  pugi::xml_document m_document;
  CLogger* m_logger = nullptr;
  bool m_loaded = false;
  std::vector<std::wstring> m_capturedExecutables;
  const CIncludeExcludeRules* m_reasons = nullptr;
  CSkippedFiles* m_skipped = nullptr;
};
