#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "project/change_types.h"

class CIncludeExcludeRules;
class CLogger;
class CSkippedFiles;
class CWorkContext;
class CFileEnumerate;
class CRegistryEnumerate;
class CXMLDocumentHandler;

// What a capture covers: "File" -> folders to walk, "Registry" -> keys to walk, "SetupFilePath" ->
// the installer, "SetupFileInfo" -> application name, version, company name. Ordered by character
// codes, so iteration meets "File", "Registry", "SetupFileInfo", "SetupFilePath".
using CaptureChoiceMap = std::map<std::wstring, std::vector<std::wstring>>;

// The capture facade: owns the file and registry enumerators and the project document, runs both
// captures and both comparisons, and merges the change files into the project file.
class CEnumerateWrapper {
 public:
  // The context, the rules and the skipped-files list live as long as the wrapper (the session
  // manager owns them all); the enumerators are handed them.
  CEnumerateWrapper(CWorkContext& context, CIncludeExcludeRules& rules, CSkippedFiles& skipped);
  ~CEnumerateWrapper();
  CEnumerateWrapper(const CEnumerateWrapper&) = delete;
  CEnumerateWrapper& operator=(const CEnumerateWrapper&) = delete;

  // Initialises both enumerators and loads the template as the project document. 1, or 0 when
  // an enumerator failed (logged).
  int Initialize();
  // Releases the logger, deletes WorkFolder\Temp and uninitialises both enumerators. Returns 1.
  int Uninitialize();

  // True only when both enumerators have a first snapshot; both are then set to the joint answer.
  bool IsFirstSnapshotExist();
  // Runs the file capture ("File") and the registry capture ("Registry") in key order; each
  // enumerator decides whether it takes the first or the second snapshot. Before a first
  // snapshot the machine is made quiet (platform::PrepareMachineForCapture) unless that was
  // switched off. 1, or 0 when a capture failed (the other still runs).
  int CaptureSnapshot(const CaptureChoiceMap& choices);
  // Forgets the reasons and skipped files of an earlier comparison; compares files, then (only if
  // that worked) the registry; sets the original setup's uninstall entry and uninstaller aside
  // (CUninstallSetAside); then writes the change files. 1 or 0.
  int CompareSnapshot();
  // Puts the included file and registry changes and the INI changes into the project document,
  // then the shortcuts, icons and product information, saving to ProjectFilePath. Returns 1, or 0
  // when the template was not loaded, a save failed (logged), or a cancel request stopped it (the
  // project file is then removed).
  //
  // CaptureSnapshot and CompareSnapshot also honour CancelRequest (0 then): a cancelled snapshot
  // leaves no file of itself, so a first snapshot stays absent and a second one can be taken again.
  int GenerateProjectFile(const ShortcutList& shortcuts, const IconMap& icons, const ProductInfo& product);
  // Replaces the project document's element at `targetPath` by the element at `sourcePath` of the
  // file `sourceFile`, then saves the project document to ProjectFilePath; false when the save
  // failed (logged).
  bool ReplaceNodeInProjectFile(const std::wstring& sourceFile, const std::wstring& sourcePath,
                                const std::wstring& targetPath);

  // Kind 0 rewrites "FileChanges.xml", kind 1 "RegChanges.xml" from the (reviewed) change maps.
  long RewriteChanges(int kind);
  void GetFileChangeMaps(FolderFileMap*& added, FolderFileMap*& modified, FolderFileMap*& deleted);
  // The changes that fell under an exclusion rule (the content review moves items in and out).
  FolderFileMap& ExcludedChanges();
  RegKeyMap& ExcludedKeyChanges();
  void GetRegistryChangeMaps(RegKeyMap*& added, RegKeyMap*& modified, RegKeyMap*& deleted);
  void GetExecutableList(std::vector<std::wstring>& list);

  // Whether a first capture first makes the machine quiet (on by default; tests on hand-made
  // prefixes switch it off).
  void SetPrepareMachine(bool on) { prepareMachine_ = on; }

  CFileEnumerate& FileEnumerator() { return *fileEnumerate_; }
  CRegistryEnumerate& RegistryEnumerator() { return *registryEnumerate_; }
  CXMLDocumentHandler& ProjectDocument() { return *projectDocument_; }

 private:
  // After a cancelled capture: the files of the snapshot this run was taking go (both halves).
  void RemoveSnapshotsOfThisRun();

  CWorkContext& context_;
  CIncludeExcludeRules& rules_;
  CSkippedFiles& skipped_;
  int projectLoaded_ = 0;
  CLogger* logger_ = nullptr;
  std::unique_ptr<CFileEnumerate> fileEnumerate_;
  std::unique_ptr<CRegistryEnumerate> registryEnumerate_;
  std::unique_ptr<CXMLDocumentHandler> projectDocument_;
  bool prepareMachine_ = true;
};
