#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/operation_result.h"
#include "platform/setup_launcher.h"
#include "project/change_types.h"
#include "session/ui_manager.h"
#include "snapshot/enumerate_wrapper.h"

class CLogger;

// The product texts of a capture.
struct ProductTexts {
  std::wstring name;
  std::wstring version;
  std::wstring company;
};

// What the configuration file says about a pending capture: whose it is, and the output folder
// and package name it was started with (empty when not remembered).
struct PendingCaptureInfo {
  PendingMarkOwner owner = PendingMarkOwner::kNone;
  std::wstring machine;  // the name the mark holds (empty for a mark without one)
  std::wstring outputFolder;
  std::wstring packageName;
};

// The run of a setup program between the snapshots.
struct SetupRun {
  // Succeeded: the setup ran to its end with a success exit code (or a restart request).
  // Cancelled: a cancel request ended the wait and every process of the machine.
  COperationResult result = COperationResult::Success();
  platform::LaunchResult launch;
  // What the run is worth telling (Windows Installer processes that ran, programs left running
  // and ended); already in the log.
  std::vector<std::string> notes;
};

// The capture session: every operation the command line and the wizard drive, from a setup program
// to its package, as one call each. It owns its session manager (CUIManager) and with it all the
// engine state of a capture (work context, rules, change maps): two sessions of one process share
// nothing but the machine and the process-wide status values.
//
// A capture goes: Initialize; DiscardPendingCapture or ResumePendingCapture; for a new capture
// ChooseProductTexts, BuildCaptureChoices, BeginCapture, CaptureFirstSnapshot (from here the capture
// is pending and resumes after a restart), RunSetup; then CaptureSecondSnapshot, CompareSnapshot,
// ShortcutsFromLinks, GenerateProjectFile, BuildPackage; EndCapture.
//
// The long operations (the snapshots, the comparison, the project file, the setup's run, the
// build) may run on a worker thread and honour CancelRequest (core/status_values.h), which any
// thread may set: a cancelled step leaves nothing half-written, and what was pending before it
// stays pending exactly as it was. Each clears nothing itself: the caller clears the request before
// starting work. Errors come back as readable texts, which also go to the log; nothing reports
// success for work it did not do.
class CCaptureSession {
 public:
  explicit CCaptureSession(CLogger* logger);
  ~CCaptureSession();
  CCaptureSession(const CCaptureSession&) = delete;
  CCaptureSession& operator=(const CCaptureSession&) = delete;

  CUIManager& Manager() { return *manager_; }
  const CUIManager& Manager() const { return *manager_; }
  // The work context of the session (paths, user hives, the pending mark as read): filled by the
  // caller (SetupWorkContext and the setters) before Initialize and between operations, never
  // while a worker runs.
  CWorkContext& Context() { return manager_->Context(); }
  const CWorkContext& Context() const { return manager_->Context(); }
  // The session's include and exclude rules (with the reasons items were set aside for) and its
  // INI folder table: the pages read and replace them between operations.
  CIncludeExcludeRules& Rules() { return manager_->Rules(); }
  CINIFolderTable& INIFolders() { return manager_->INIFolders(); }
  // One list of the rule file ("FileSystem//ExcludedItems", "RegistrySystem//IncludedItems", ...)
  // read into Rules(), and the map of that list as Rules() then holds it; empty when the rule file
  // does not load or the path names no list of that part.
  IncludedRuleMap GetIncludedItems(const std::wstring& listPath);
  ExcludedRuleMap GetExcludedItems(const std::wstring& listPath);
  // Writes one list of the rule file again from its map in Rules(); fails when the rule file does
  // not load or cannot be written.
  COperationResult RegenerateIncludeExcludeFile(bool excludedPart, const std::wstring& listPath);

  // ---- Scan state ----

  // What the configuration file says about a pending capture (readable before Initialize, as soon
  // as the configuration file is known).
  PendingCaptureInfo GetPendingCapture() const;
  // Starts the engine on the work folders of Context() (SetupWorkContext): the manager, the
  // user hives' names, the scratch folder. A capture marked pending by another machine is noted: this session
  // then neither reads nor writes the mark.
  COperationResult Initialize();
  // Ends the engine (removes this machine's mark).
  COperationResult Uninitialize();
  bool IsFirstSnapshotExist();
  bool MarkOfOtherMachine() const { return markOfOtherMachine_; }

  // As the pending-capture page's discard: nothing of the old capture survives.
  void DiscardPendingCapture();
  // Goes on with this machine's pending capture: its choices, setup and texts are read back. Fails
  // (and discards what is left) when its first snapshot is incomplete or gone.
  COperationResult ResumePendingCapture();
  // Asked before ResumePendingCapture: a pending capture interrupted after its project file was
  // written (while its package was built) has no snapshots left, only the package to build. True
  // then, with ProjectFilePath and the product texts taken from that project file.
  bool ResumeFromProjectFile();

  // ---- A new capture ----

  // The texts the package is named and described by: each from `given` when not blank, else from
  // the setup program (the version resource of an .exe: "ProductName", "ProductVersion",
  // "CompanyName"; the Property table of an .msi: ProductName, ProductVersion, Manufacturer), else
  // a stand-in (the setup's file name without extension, "1.0", "Unknown"), so a package can always
  // be built. Texts are trimmed of blanks.
  static ProductTexts ChooseProductTexts(const ProductTexts& given, const std::wstring& setupWindowsPath);
  // The product texts a project file holds; false when it does not load.
  bool ProductTextsFromProject(const std::wstring& projectFilePath, ProductTexts& texts);
  // What the capture walks, as the capture page builds it: the included folders of the rules (in
  // their map order, each converted from token form) and the included keys as they stand; without
  // a loadable rules file the system drive and the five roots.
  CaptureChoiceMap BuildCaptureChoices(const std::wstring& setupWindowsPath, const ProductTexts& texts);
  // Saves the choices ("ScanDetails.txt"; the include editor saves edited ones too); fails when
  // they cannot be saved (a first snapshot could not be resumed without them). The choices in
  // force, as saved or as read back by ResumePendingCapture.
  COperationResult WriteScanDetails(const CaptureChoiceMap& choices);
  CaptureChoiceMap GetScanDetails() const { return manager_->GetCaptureChoices(); }
  // The setup being repackaged and its product texts as the main page names them (BeginCapture
  // names them too; a resumed capture reads them back).
  void SetSetupFilePath(const std::wstring& setupWindowsPath);
  const std::wstring& GetSetupFilePath() const;
  void SetSetupFileInfo(const std::wstring& applicationName, const std::wstring& version,
                        const std::wstring& companyName);
  const SetupFileInformation& GetSetupFileInfo() const;
  const std::wstring& GetSetupArguments() const;
  // Names the setup, its texts and arguments, and saves the choices (WriteScanDetails).
  COperationResult BeginCapture(const std::wstring& setupWindowsPath, const ProductTexts& texts,
                                const std::wstring& arguments, const CaptureChoiceMap& choices);
  // The first snapshot (worker thread). On success the capture is marked pending, with the output
  // folder and package name in force; otherwise nothing of it is kept and nothing is pending.
  COperationResult CaptureFirstSnapshot();
  // Runs the setup with its arguments and waits for it and the Windows Installer processes it
  // starts (the calling thread ticks `onTick`). A cancel request ends the wait and every process
  // of the machine; the capture stays pending.
  SetupRun RunSetup(int timeoutSeconds, const std::function<void()>& onTick);
  // Wine's output of the setup's last run (a Windows path in the work folder).
  std::wstring SetupLogPath() const;

  // ---- From the second snapshot to the package ----

  // The number of roots the snapshots walk (for progress displays).
  int RootCount() const;
  // The second snapshot (worker thread). Failed or cancelled, the capture stays pending.
  COperationResult CaptureSecondSnapshot();
  // The comparison (worker thread); writes the change files. Failed or cancelled, the capture
  // stays pending.
  COperationResult CompareSnapshot();
  // The changes of the comparison as the review edits them: the included added, modified and
  // deleted maps of each side and what fell under an exclusion rule (user-interface thread, never
  // while a worker runs).
  void GetFileChangeMaps(FolderFileMap*& added, FolderFileMap*& modified, FolderFileMap*& deleted);
  void GetRegistryChangeMaps(RegKeyMap*& added, RegKeyMap*& modified, RegKeyMap*& deleted);
  FolderFileMap& ExcludedFileChanges();
  RegKeyMap& ExcludedKeyChanges();
  // The paths of existing keys that are the same key as `keyPath` seen through another root
  // (HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE\SOFTWARE\Classes, HKEY_CURRENT_USER and its hive
  // under HKEY_USERS); never `keyPath` itself.
  std::vector<std::wstring> EquivalentKeys(const std::wstring& keyPath);
  // Writes the change file of one side again from its (reviewed) maps: "FileChanges.xml" for
  // RuleKind::kFiles, "RegChanges.xml" for RuleKind::kRegistry. Fails when it cannot be written.
  COperationResult RewriteChanges(RuleKind side);
  // The programs the package holds for shortcuts: the executables the setup added, without those
  // the review set aside (in the order they were found, each once).
  std::vector<std::wstring> GetExecutableList();
  // The package's shortcuts for the shell links the setup made (links are no files of a package);
  // why a link is left out goes to `notes` and the log.
  ShortcutList ShortcutsFromLinks(std::vector<std::string>& notes);
  // Merges the included changes with the shortcuts and product texts into the project file
  // (worker thread); then the snapshots go. Cancelled, no project file is left and the capture
  // stays pending.
  COperationResult GenerateProjectFile(const ShortcutList& shortcuts, const IconMap& icons);
  // The shortcuts and icons of the project file in force (ProjectFilePath); false when it does
  // not load (logged).
  bool ReadProjectShortcuts(ShortcutList& shortcuts, IconMap& icons);
  // Replaces the shortcuts and icons of the project file in force.
  COperationResult ReplaceProjectShortcuts(const ShortcutList& shortcuts, const IconMap& icons);
  // When the project file in force lists no change at all (nothing to package), it is removed and
  // the capture ended: true then.
  bool EndIfNothingChanged();
  // Builds the package from the project file in force (worker thread); without a package name
  // given, a capture's package is named after its product. Failed or cancelled, no package is
  // left; the errors are the builder's. A success may carry the builder's warnings.
  COperationResult BuildPackage();
  // The built package (Windows path) and the rows the builder refused, after BuildPackage.
  std::wstring PackagePath();
  int RefusedRows();
  // Forgets the capture: snapshots, INI backups, this machine's mark and what it remembers.
  void EndCapture();

 private:
  COperationResult Failed(const char* operation, const std::string& message);
  COperationResult Cancelled(const char* operation, const std::string& what);

  CLogger* logger_;
  std::unique_ptr<CUIManager> manager_;
  // The pending mark belongs to another machine: this session neither reads nor writes it.
  bool markOfOtherMachine_ = false;
};

// The Windows path as a host path for messages (canonical when it can be), or the Windows path
// itself when the machine cannot show it.
std::string HostPathText(const std::wstring& windowsPath);
