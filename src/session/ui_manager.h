#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/work_context.h"
#include "package/package_build_result.h"
#include "project/captured_file.h"
#include "project/change_types.h"
#include "project/include_exclude_rules.h"
#include "project/ini_folder_table.h"
#include "project/xml_document_handler.h"
#include "snapshot/enumerate_wrapper.h"

class CLogger;
class CMSIHandler;

// The configuration file lies beside the program and so is shared by every machine the program
// works on (under Wine: every prefix). The pending mark names the machine it was set on
// ("CaptureMachine" beside "IsSnapshotTaken", platform::Machine::Name()); a mark without that key
// (written by an older version) counts as this machine's.
// The configuration file's section of a pending capture: its mark ("IsSnapshotTaken",
// "CaptureMachine") and what the capture session keeps for its resumption.
inline constexpr const wchar_t* kSnapshotSection = L"SnapshotDetails";

enum class PendingMarkOwner { kNone, kThisMachine, kOtherMachine };

// The product texts entered for the installer being repackaged.
struct SetupFileInformation {
  std::wstring ApplicationName;
  std::wstring Version;
  std::wstring CompanyName;
};

// The lists of a project loaded for review (every path a wide string; file and folder paths in
// the token form the project file stores).
struct LoadedProjectLists {
  FolderFileMap addedFiles;
  FolderFileMap modifiedFiles;
  FolderFileMap deletedFiles;
  RegKeyMap addedKeys;
  RegKeyMap modifiedKeys;
  RegKeyMap deletedKeys;
  INIFileMap addedINIEntries;
  INIFileMap modifiedINIEntries;
  INIFileMap deletedINIEntries;
  ShortcutList shortcuts;
  IconMap icons;
  ProductInfo productInfo;
};

// The engine's state of a capture, owned by the capture session (CCaptureSession), through which
// the command line and the wizard reach it: one per session, so two sessions of one process share
// nothing but the machine.
//
// Scan state (capture session): what is captured, which installer, whether a first snapshot waits
// for its second; persisted in "ScanDetails.txt" and the configuration file so that a capture
// resumes after a restart. Project part: loading a project into lists for review, writing it
// back, shortcuts, rules and the package build.
//
// CaptureSnapshot, CompareSnapshot, GenerateProjectFile and BuildPackage run on a worker thread and
// honour CancelRequest (0 then, nothing half-written left); everything else on the user-interface
// thread, never while a worker runs.
class CUIManager {
 public:
  CUIManager();
  ~CUIManager();
  CUIManager(const CUIManager&) = delete;
  CUIManager& operator=(const CUIManager&) = delete;

  // The work context of the engine: paths, user hives, the pending mark as read. Every part the
  // manager owns reads it; the capture session fills it (CCaptureSession::Context).
  CWorkContext& Context() { return context_; }
  const CWorkContext& Context() const { return context_; }
  // The include and exclude rules of the session: read from the rule file by the capture page,
  // the comparisons and the pages, edited by the pages, written back by
  // RegenerateIncludeExcludeFile; with the reasons the comparison set items aside for.
  CIncludeExcludeRules& Rules() { return rules_; }
  const CIncludeExcludeRules& Rules() const { return rules_; }
  // The folders of the INI files of the project loaded for review, and where the project view
  // relocated them (applied when the project is written back).
  CINIFolderTable& INIFolders() { return iniFolders_; }
  // The captured files that failed the usability test while the change files were written.
  CSkippedFiles& SkippedFiles() { return skippedFiles_; }

  // ---- Scan state ----

  // Once per manager: reads "IsSnapshotTaken" (wiping old capture data of this machine when no
  // capture of it is pending), makes the snapshot and INI backup folders, initialises the wrapper.
  // 1 or 0; 1 when already done.
  int Initialize();
  // Deletes the pending mark (unless it belongs to another machine) and uninitialises the wrapper.
  // The wrapper's result, or 1.
  int Uninitialize();
  // True when both first snapshots exist; the saved choices are then read back.
  bool IsFirstSnapshotExist();
  // The capture and the comparison of the session (worker thread).
  int CaptureSnapshot();
  int CompareSnapshot();
  // Merges the change files with the shortcuts, icons and product texts into the project file;
  // on success the snapshots and INI backups are deleted.
  int GenerateProjectFile(const ShortcutList& shortcuts, const IconMap& icons);
  // Saves the choices to "ScanDetails.txt" (product texts sanitised for file names, and the
  // project file path set from them): 1, or 0 when the file could not be written (logged; the
  // choices are in force all the same). ReadScanDetails reads them back.
  int WriteScanDetails(const CaptureChoiceMap& choices);
  int ReadScanDetails();
  // Marks the first snapshot as complete in the configuration file ("IsSnapshotTaken" = "1", the
  // machine's name written first as "CaptureMachine"), or removes the mark; the context's
  // SnapshotTaken follows.
  // A mark of another machine is never replaced or removed: false then, and nothing is written.
  bool SetSnapshotTakenMark(bool taken);
  // Whose capture the configuration file marks as pending; `machine` receives the name the mark
  // holds (empty for a mark without one).
  PendingMarkOwner GetPendingMarkOwner(std::wstring* machine = nullptr) const;

  // The setup's command-line arguments (kept in "ScanDetails.txt" with the choices; empty: none).
  void SetSetupArguments(const std::wstring& arguments) { setupArguments_ = arguments; }
  const std::wstring& GetSetupArguments() const { return setupArguments_; }

  void SetSetupFilePath(const std::wstring& path) { setupFilePath_ = path; }
  const std::wstring& GetSetupFilePath() const { return setupFilePath_; }
  void SetSetupFileInfo(const std::wstring& applicationName, const std::wstring& version,
                        const std::wstring& companyName);
  const SetupFileInformation& GetSetupFileInfo() const { return setupFileInfo_; }
  CaptureChoiceMap GetCaptureChoices() const { return captureChoices_; }

  long RewriteChanges(int kind);
  void GetFileChangeMaps(FolderFileMap*& added, FolderFileMap*& modified, FolderFileMap*& deleted);
  void GetRegistryChangeMaps(RegKeyMap*& added, RegKeyMap*& modified, RegKeyMap*& deleted);
  void GetExecutableList(std::vector<std::wstring>& list);

  bool IsInitialized() const { return initialized_; }
  const std::string& SnapshotFolderPath() const { return snapshotFolderPath_; }
  const std::string& INIBackupFolderPath() const { return iniBackupFolderPath_; }
  CEnumerateWrapper& Wrapper() { return *wrapper_; }

  // ---- Project part (ui_manager_project.cpp) ----

  // Loads a project file and reads its nine change lists (files, registry, INI; each added,
  // modified, deleted). 1, or 0 when it does not load (logged; the lists stay as they were).
  int ParseProjectFile(const std::wstring& projectFilePath);
  // Loads a project file and reads its shortcuts and icons.
  int ParseShortcutList(const std::wstring& projectFilePath, ShortcutList& shortcuts, IconMap& icons);
  // Loads a project file and reads its product information.
  int ParseSetupFileInfo(const std::wstring& projectFilePath, ProductInfo& info);
  // Writes ProjectFile.xml again from the template and the (reviewed) lists.
  int WriteProjectFile();
  // Replaces the shortcuts and icons of ProjectFile.xml.
  int ReplaceShortcutsInProjectFile(const ShortcutList& shortcuts, const IconMap& icons);
  // The rule maps of a rule list path (the rule file is loaded first); empty for other paths.
  void GetIncludedItems(const std::wstring& listPath, IncludedRuleMap& items);
  void GetExcludedItems(const std::wstring& listPath, ExcludedRuleMap& items);
  // Rewrites one list of the rule file from its in-memory map.
  int RegenerateIncludeExcludeFile(bool excludedPart, const std::wstring& listPath);
  // Builds the package from the context's project file into its output folder, named
  // `packageFileName` when given (else as the builder names it); the builder's result. The context
  // is only read (the build runs on a worker thread).
  long BuildPackage(const std::wstring& packageFileName = std::wstring());

  LoadedProjectLists& ProjectLists() { return projectLists_; }
  // The package builder, and what its last build (BuildPackage) made.
  CMSIHandler& MSIHandler() { return *msiHandler_; }
  const PackageBuildResult& LastBuild() const { return lastBuild_; }
  CXMLDocumentHandler& ProjectHandler() { return projectHandler_; }
  CXMLDocumentHandler& RuleHandler() { return ruleHandler_; }

 private:
  // Before the parts that keep a reference to them.
  CWorkContext context_;
  CIncludeExcludeRules rules_;
  CINIFolderTable iniFolders_;
  CSkippedFiles skippedFiles_;
  bool initialized_ = false;
  std::string snapshotFolderPath_;
  std::string iniBackupFolderPath_;
  std::wstring setupFilePath_;
  std::wstring setupArguments_;
  CLogger* logger_ = nullptr;
  std::unique_ptr<CMSIHandler> msiHandler_;
  SetupFileInformation setupFileInfo_;
  std::unique_ptr<CEnumerateWrapper> wrapper_;
  CaptureChoiceMap captureChoices_;
  CXMLDocumentHandler projectHandler_;
  CXMLDocumentHandler ruleHandler_;
  LoadedProjectLists projectLists_;
  PackageBuildResult lastBuild_;
};
