#pragma once
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "project/change_types.h"

class CWorkContext;
class CXMLDocumentHandler;

// Key -> value of one INI section; section name -> its keys. Names compare by character code.
using INIKeyMap = std::map<std::wstring, std::wstring>;
using INISectionMap = std::map<std::wstring, INIKeyMap>;

// The INI half of the file comparison: compares an INI file, section by section and key by key,
// with the copy taken before the installer ran, and collects the differences per file for
// "INIChanges.xml". One file at a time; the change lists accumulate over a whole comparison.
class CINIHandler {
 public:
  // The context lives as long as the handler.
  explicit CINIHandler(const CWorkContext& context);
  ~CINIHandler();
  CINIHandler(const CINIHandler&) = delete;
  CINIHandler& operator=(const CINIHandler&) = delete;

  // Loads the template into the INI change document; returns (and keeps) the load result, 1 when
  // it loaded. Nothing is written later unless it is 1.
  long Initialize();
  // Empties both contents, the three change lists and the notes.
  void Reset();

  // Reads the backup and the present file (a missing file reads as empty) and files their
  // differences under the present path in token form. Returns 1.
  int CompareINIFile(const std::wstring& backupPath, const std::wstring& currentPath);
  // Reads every section of a file through the profile functions into the old (true) or new content.
  void ReadINIFile(const std::wstring& path, bool intoOld);
  // Takes the keys of one section's lines; a section without any key is not recorded, and a name
  // already present keeps its first content. 0 when there are no lines at all, else 1.
  int ParseSection(const std::wstring& name, const std::vector<std::wstring>& lines, bool intoOld);
  // One "key=value" line: the key is the text before the first "=" (leading "=" skipped), the
  // value everything after the "=" signs that follow it. False for a line without key or value.
  static bool ParseLine(const std::wstring& line, std::wstring& key, std::wstring& value);

  // Files the differences of the two contents (both end empty): keys of sections in both, then
  // the keys of vanished sections (deleted), then those of new sections (added).
  void CompareSections();
  void CompareKeys(const std::wstring& section, INIKeyMap& oldKeys, INIKeyMap& newKeys);
  // Appends an entry to the list of CurrentFile in the map the category names
  // ("INIFileSystem//AddedItems//FileList" and its twins); other categories add nothing.
  void AddINIEntry(const std::wstring& category, const INIEntry& entry);
  // Writes the three lists into "INIChanges.xml" (added, deleted, modified) when the template loaded.
  void WriteINIChanges();

  void SetCurrentFile(const std::wstring& file) { currentFile_ = file; }
  const std::wstring& CurrentFile() const { return currentFile_; }
  INISectionMap& OldContent() { return oldContent_; }
  INISectionMap& NewContent() { return newContent_; }
  INIFileMap& AddedINIEntries() { return addedEntries_; }
  INIFileMap& ModifiedINIEntries() { return modifiedEntries_; }
  INIFileMap& DeletedINIEntries() { return deletedEntries_; }
  // What the comparison found that the package cannot hold, one readable text each: a section the
  // setup added without any key (the Windows Installer writes keys, never an empty section).
  const std::vector<std::string>& Notes() const { return notes_; }

 private:
  const CWorkContext& context_;
  long loaded_ = 0;
  std::wstring currentFile_;
  INISectionMap oldContent_;
  INISectionMap newContent_;
  // The names of every section of the two files, keys or not.
  std::set<std::wstring> oldSectionNames_;
  std::set<std::wstring> newSectionNames_;
  std::vector<std::string> notes_;
  INIFileMap addedEntries_;
  INIFileMap modifiedEntries_;
  INIFileMap deletedEntries_;
  std::unique_ptr<CXMLDocumentHandler> document_;
};
