#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "project/change_types.h"
#include "project/include_exclude_rules.h"
#include "snapshot/file_snapshot_map.h"
#include "snapshot/file_snapshot_record.h"

class CLogger;
class CSkippedFiles;
class CINIHandler;
class CWorkContext;
class CXMLDocumentHandler;

// A change map of the file side (FolderFileMap): folder path (case as on disk, no trailing
// backslash) to the full paths of the changed files filed under it, in the order they were filed.

// The file-system half of the snapshot engine: walks the chosen folders into a snapshot file and
// an in-memory map (first snapshot before the installer runs, second after), backs up the INI
// files it meets on the first walk, and compares the two snapshots into change maps and
// "FileChanges.xml". Runs on one worker thread at a time; the status values are its only output
// read while it runs.
class CFileEnumerate {
 public:
  // The context, the session's rules (the comparison reads the excluded folders into them and
  // consults the reasons items were set aside for) and its list of skipped files live as long as
  // the enumerator.
  CFileEnumerate(CWorkContext& context, CIncludeExcludeRules& rules, CSkippedFiles& skipped);
  ~CFileEnumerate();
  CFileEnumerate(const CFileEnumerate&) = delete;
  CFileEnumerate& operator=(const CFileEnumerate&) = delete;

  // Composes the snapshot paths from WorkFolder, loads the template into the change document,
  // initialises the INI handler, fills the built-in exclusions and takes the logger. Returns 1.
  int Initialize();
  // Empties both snapshot maps, the change maps and the built-in exclusions, resets the INI
  // handler and releases the logger. Returns 1.
  int Uninitialize();

  // True when "FirstSnapShot.txt" exists (the next capture is the second); otherwise makes the
  // snapshot folder. Sets FirstSnapshotTaken to the answer.
  bool IsFirstSnapshotExist();
  void SetFirstSnapshotTaken(bool taken) { firstSnapshotTaken_ = taken; }
  bool FirstSnapshotTaken() const { return firstSnapshotTaken_; }

  // Walks the roots in order into the first snapshot (FirstSnapshotTaken 0) or the second (1).
  // Returns 1; 0 when the snapshot file could not be created or fully written (logged).
  int CaptureSnapShot(const std::vector<std::wstring>& roots);
  // Reads "FirstSnapShot.txt" into the first map. Returns 1. A missing or unreadable file leaves
  // the map as it was; a damaged one gives the entries before the damage (logged).
  int PopulateMap();

  // Compares the two snapshots (the maps end empty), fills the change maps and writes
  // "FileChanges.xml" and "INIChanges.xml". Returns 1.
  int CompareSnapshot();
  // The two halves of CompareSnapshot, for a caller that edits the change maps between them:
  // the comparison into the change maps, and the writing of the change files. Each returns 1.
  int CompareChanges();
  int WriteChanges();
  // The three passes of the comparison: modified (in both maps, IsSameFile false), deleted (only
  // in the first), added (only in the second), each in path order, through AddChangedItem. Both
  // maps end empty.
  void CompareMaps();
  // Files one change under its folder in the added, modified or deleted map, or in
  // ExcludedChanges() when an exclusion rule covers the folder. Modified and deleted INI files go
  // to the INI comparison; an added one is a file like any other.
  void AddChangedItem(const std::wstring& category, const std::wstring& path, bool isFolder);
  // Writes "FileChanges.xml" again from the change maps (after the review). The result of the
  // last write (0 also when the file could not be saved), or the template's load result when it
  // does not load.
  long RewriteFileChanges();
  // The executables noted while the added files were written.
  void GetExecutableList(std::vector<std::wstring>& list) const;

  // The change maps, edited in place by the content review.
  FolderFileMap& AddedFolders() { return addedFolders_; }
  FolderFileMap& ModifiedFolders() { return modifiedFolders_; }
  FolderFileMap& DeletedFolders() { return deletedFolders_; }

  // First walk: copies an INI file into the backup tree. Comparison: compares it with its backup.
  int BackupOrCompareINIFile(const std::wstring& path);
  // The backup path of an INI file: INIBackupFolder, then the folder pieces without the drive,
  // then the name. Makes the folders when `makeFolders` is set.
  std::wstring BackupPathOf(const std::wstring& path, bool makeFolders);

  // True when the path ends in ".ini" or ".INI" (only these two letter cases).
  static bool IsINIFile(std::wstring_view path);
  // True when the last-write second and the size are equal.
  static bool IsSameFile(const FileSnapshotRecord& first, const FileSnapshotRecord& second);
  // The folder a change is filed under: the path itself for a folder; for a file the pieces
  // before the last one (empty pieces dropped), joined by single backslashes.
  static std::wstring FolderOfChange(const std::wstring& path, bool isFolder);

  // True when the path (a full path) is one of the built-in exclusions.
  bool IsBuiltinExcluded(const std::wstring& path) const;
  // The exclusion key of a capture root: its token form without a trailing backslash, upper case.
  static std::wstring RootExclusionKey(const std::wstring& root);
  const std::set<std::wstring>& BuiltinExclusions() const { return builtinExclusions_; }

  // Rules that exclude changes; read afresh from the rule file by each comparison.
  const ExcludedRuleMap& ExcludedItems() const { return excludedItems_; }
  void SetExcludedItems(const ExcludedRuleMap& rules) { excludedItems_ = rules; }

  int FolderCount() const { return folderCount_; }
  int FileCount() const { return fileCount_; }
  const std::string& FirstSnapshotPath() const { return firstSnapshotPath_; }
  const std::string& SecondSnapshotPath() const { return secondSnapshotPath_; }
  const std::string& SnapshotFolder() const { return snapshotFolder_; }
  CFileSnapshotMap& FirstMap() { return firstMap_; }
  CFileSnapshotMap& SecondMap() { return secondMap_; }
  CINIHandler& INIHandler() { return *iniHandler_; }
  // Every file change that fell under an exclusion rule (the content review moves items in and
  // out of it). The comparison only adds to it.
  FolderFileMap& ExcludedChanges() { return excludedChanges_; }

 private:
  class SnapshotStream;
  // The walk of one folder, depth first. `folderUtf8` is the 8-bit form of `folder`.
  void ScanFiles(const std::wstring& folder, const std::string& folderUtf8, SnapshotStream& stream);
  void UpdateDetail();
  void LoadExclusionRules();
  // Splits the template for the file part, saves it as "FileChanges.xml" and loads that.
  void PrepareChangeDocument();
  // Writes the three change maps and ExcludedChanges() into the change document and saves it as
  // "FileChanges.xml", once. The result of the excluded list's write, 0 when the save failed.
  int WriteChangeFile(bool skipUsabilityTest);

  CWorkContext& context_;
  CIncludeExcludeRules& rules_;
  CSkippedFiles& skipped_;
  int folderCount_ = 0;
  int fileCount_ = 0;
  bool firstSnapshotTaken_ = false;
  std::string firstSnapshotPath_;
  std::string secondSnapshotPath_;
  std::string snapshotFolder_;
  CLogger* logger_ = nullptr;
  std::unique_ptr<CINIHandler> iniHandler_;
  std::unique_ptr<CXMLDocumentHandler> changeDocument_;
  CFileSnapshotMap firstMap_;
  CFileSnapshotMap secondMap_;
  FolderFileMap addedFolders_;
  FolderFileMap deletedFolders_;
  FolderFileMap modifiedFolders_;
  FolderFileMap excludedChanges_;
  std::set<std::wstring> builtinExclusions_;
  // Last pieces of the built-in exclusions, to test a walk entry by its name before building
  // its token form; false when some exclusion cannot be pre-tested that way.
  std::set<std::wstring> exclusionNames_;
  bool exclusionNamesUsable_ = false;
  ExcludedRuleMap excludedItems_;
  unsigned detailTick_ = 0;
};
