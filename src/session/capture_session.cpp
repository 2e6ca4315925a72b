#include "session/capture_session.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "core/logger.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "package/msi_handler.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "platform/installer_database.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "project/captured_file.h"
#include "project/include_exclude_rules.h"
#include "session/change_files_check.h"
#include "session/link_shortcuts.h"
#include "snapshot/file_enumerate.h"
#include "snapshot/ini_handler.h"
#include "snapshot/registry_enumerate.h"
#include "snapshot/file_version_info.h"
#include "snapshot/user_hive_names.h"

namespace {

// What a pending capture keeps for its resumption besides the scan details, in the section of its
// mark (kSnapshotSection): the output folder and the package name it was started with.
constexpr const wchar_t* kOutputFolderKey = L"CaptureOutputFolder";
constexpr const wchar_t* kPackageNameKey = L"CapturePackageFileName";
// The project file of a capture that got as far as writing it (its snapshots are gone by then).
constexpr const wchar_t* kProjectFileKey = L"CaptureProjectFile";
// What Wine says while the setup runs, kept in the work folder (which captures never walk).
constexpr const wchar_t* kSetupLogName = L"SetupRun.log";

std::wstring Trimmed(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return std::wstring();
  const size_t last = text.find_last_not_of(L" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && FoldAsciiLower(text.substr(text.size() - tail.size())) == FoldAsciiLower(tail);
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A property of a Windows Installer package, empty when it cannot be read.
std::wstring PackageProperty(platform::InstallerDatabase& database, const char* name) {
  platform::InstallerView view;
  if (view.Open(database, std::string("SELECT `Value` FROM `Property` WHERE `Property` = '") + name + "'") !=
      platform::kSuccess) {
    return std::wstring();
  }
  if (view.Execute(nullptr) != platform::kSuccess) return std::wstring();
  std::unique_ptr<platform::InstallerRecord> row;
  if (view.Fetch(row) != platform::kSuccess || !row) return std::wstring();
  return Utf8ToWide(row->GetString(1));
}

bool ProjectListsEmpty(const LoadedProjectLists& lists) {
  return lists.addedFiles.empty() && lists.modifiedFiles.empty() && lists.deletedFiles.empty() &&
         lists.addedKeys.empty() && lists.modifiedKeys.empty() && lists.deletedKeys.empty() &&
         lists.addedINIEntries.empty() && lists.modifiedINIEntries.empty() && lists.deletedINIEntries.empty() &&
         lists.shortcuts.empty();
}

void ForgetRememberedPlaces(const CWorkContext& context) {
  platform::DeleteProfileKey(kSnapshotSection, kOutputFolderKey, context.ConfigFilePath);
  platform::DeleteProfileKey(kSnapshotSection, kPackageNameKey, context.ConfigFilePath);
  platform::DeleteProfileKey(kSnapshotSection, kProjectFileKey, context.ConfigFilePath);
}

}  // namespace

std::string HostPathText(const std::wstring& windowsPath) {
  std::error_code ignored;
  const std::filesystem::path host = platform::Machine::HostPath(windowsPath);
  if (host.empty()) return WideToUtf8(windowsPath);
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(host, ignored);
  return (canonical.empty() ? host : canonical).string();
}

CCaptureSession::CCaptureSession(CLogger* logger) : logger_(logger), manager_(std::make_unique<CUIManager>()) {}

CCaptureSession::~CCaptureSession() = default;

COperationResult CCaptureSession::Failed(const char* operation, const std::string& message) {
  if (logger_ != nullptr) logger_->Write(2, std::string("CCaptureSession::") + operation + " " + message);
  return COperationResult::Failure(message);
}

COperationResult CCaptureSession::Cancelled(const char* operation, const std::string& what) {
  const std::string message = what + " was cancelled";
  if (logger_ != nullptr) logger_->Write(1, std::string("CCaptureSession::") + operation + " " + message);
  return COperationResult::Cancelled(message);
}

PendingCaptureInfo CCaptureSession::GetPendingCapture() const {
  PendingCaptureInfo info;
  info.owner = manager_->GetPendingMarkOwner(&info.machine);
  if (info.owner == PendingMarkOwner::kThisMachine) {
    const std::wstring& config = Context().ConfigFilePath;
    info.outputFolder = platform::GetProfileText(kSnapshotSection, kOutputFolderKey, L"", config);
    info.packageName = platform::GetProfileText(kSnapshotSection, kPackageNameKey, L"", config);
  }
  return info;
}

COperationResult CCaptureSession::Initialize() {
  markOfOtherMachine_ = manager_->GetPendingMarkOwner() == PendingMarkOwner::kOtherMachine;
  if (manager_->Initialize() != 1) return Failed("Initialize", "the capture engine cannot start (see the error log)");
  FillUserHiveNames(Context().UserHiveNames);
  platform::EnsureFolder(Context().WorkFolder + "\\Temp");
  return COperationResult::Success();
}

COperationResult CCaptureSession::Uninitialize() {
  manager_->Uninitialize();
  return COperationResult::Success();
}

bool CCaptureSession::IsFirstSnapshotExist() { return manager_->IsFirstSnapshotExist(); }

void CCaptureSession::DiscardPendingCapture() {
  const std::wstring work = Utf8ToWide(Context().WorkFolder);
  platform::DeleteFolderTree(work + L"\\Temp");
  platform::DeleteFolderTree(work + L"\\SnapShot");
  platform::EnsureFolder(Context().WorkFolder + "\\SnapShot");
  platform::DeleteFolderTree(Context().INIBackupFolder);
  platform::EnsureFolder(WideToUtf8(Context().INIBackupFolder));
  manager_->SetSnapshotTakenMark(false);
  ForgetRememberedPlaces(Context());
}

bool CCaptureSession::ResumeFromProjectFile() {
  const std::wstring project =
      Context().SnapshotTaken
          ? platform::GetProfileText(kSnapshotSection, kProjectFileKey, L"", Context().ConfigFilePath)
          : std::wstring();
  if (project.empty() || !platform::PathExists(project)) return false;
  // The project file is whole (it is written beside and renamed); the snapshots are gone.
  ProductTexts texts;
  if (!ProductTextsFromProject(project, texts)) return false;
  Context().SetProjectFilePath(project);
  manager_->SetSetupFileInfo(texts.name, texts.version, texts.company);
  return true;
}

COperationResult CCaptureSession::ResumePendingCapture() {
  if (!Context().SnapshotTaken || !manager_->IsFirstSnapshotExist()) {
    DiscardPendingCapture();
    return Failed("ResumePendingCapture",
                  "no capture is pending: the first snapshot of the last capture is incomplete or gone");
  }
  const std::wstring& arguments = manager_->GetSetupArguments();
  if (logger_ != nullptr && !arguments.empty()) {
    logger_->Write(1, "CCaptureSession::ResumePendingCapture setup arguments: " + WideToUtf8(arguments));
  }
  return COperationResult::Success();
}

ProductTexts CCaptureSession::ChooseProductTexts(const ProductTexts& given, const std::wstring& setupWindowsPath) {
  ProductTexts found;
  if (EndsWithNoCase(setupWindowsPath, L".msi")) {
    platform::InstallerDatabase database;
    if (database.OpenReadOnly(setupWindowsPath) == platform::kSuccess) {
      found.name = PackageProperty(database, "ProductName");
      found.version = PackageProperty(database, "ProductVersion");
      found.company = PackageProperty(database, "Manufacturer");
    }
  } else {
    CFileVersionInfo info;
    if (info.Create(setupWindowsPath)) {
      found.name = info.GetProductName();
      found.version = info.GetProductVersionText();
      found.company = info.GetCompanyName();
    }
  }
  auto choose = [](const std::wstring& given, const std::wstring& fromSetup, const std::wstring& standIn) {
    std::wstring text = Trimmed(given);
    if (text.empty()) text = Trimmed(fromSetup);
    return text.empty() ? standIn : text;
  };
  std::wstring stem = FileNameOf(setupWindowsPath);
  if (const size_t dot = stem.find_last_of(L'.'); dot != std::wstring::npos && dot > 0) stem.resize(dot);
  ProductTexts texts;
  texts.name = choose(given.name, found.name, stem.empty() ? L"Setup" : stem);
  texts.version = choose(given.version, found.version, L"1.0");
  texts.company = choose(given.company, found.company, L"Unknown");
  return texts;
}

bool CCaptureSession::ProductTextsFromProject(const std::wstring& projectFilePath, ProductTexts& texts) {
  ProductInfo info;
  if (manager_->ParseSetupFileInfo(projectFilePath, info) != 1) return false;
  texts = ProductTexts{info.applicationName, info.version, info.companyName};
  return true;
}

CaptureChoiceMap CCaptureSession::BuildCaptureChoices(const std::wstring& setupWindowsPath, const ProductTexts& texts) {
  // Whether the rules file loads decides between its lists (even empty ones) and the defaults.
  const bool rulesLoad = manager_->RuleHandler().Load(Context().RulesFilePath) == 1;
  std::vector<std::wstring> files;
  std::vector<std::wstring> keys;
  if (rulesLoad) {
    IncludedRuleMap included;
    manager_->GetIncludedItems(L"FileSystem//IncludedItems", included);
    for (const auto& [upper, name] : included) {
      std::wstring root = name;
      FromTokenForm(root);
      files.push_back(root);
    }
    manager_->GetIncludedItems(L"RegistrySystem//IncludedItems", included);
    for (const auto& [upper, name] : included) keys.push_back(name);
  } else {
    files.push_back(EnvironmentValues.systemdrive);
    keys = {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE", L"HKEY_USERS", L"HKEY_CURRENT_CONFIG"};
  }
  CaptureChoiceMap choices;
  choices[L"File"] = files;
  choices[L"Registry"] = keys;
  choices[L"SetupFilePath"] = {setupWindowsPath};
  choices[L"SetupFileInfo"] = {texts.name, texts.version, texts.company};
  return choices;
}

IncludedRuleMap CCaptureSession::GetIncludedItems(const std::wstring& listPath) {
  IncludedRuleMap items;
  manager_->GetIncludedItems(listPath, items);
  return items;
}

ExcludedRuleMap CCaptureSession::GetExcludedItems(const std::wstring& listPath) {
  ExcludedRuleMap items;
  manager_->GetExcludedItems(listPath, items);
  return items;
}

COperationResult CCaptureSession::RegenerateIncludeExcludeFile(bool excludedPart, const std::wstring& listPath) {
  if (manager_->RegenerateIncludeExcludeFile(excludedPart, listPath) == 1) return COperationResult::Success();
  return Failed("RegenerateIncludeExcludeFile", "the rules file " + HostPathText(Context().RulesFilePath) +
                                                    " could not be written (see the error log)");
}

void CCaptureSession::SetSetupFilePath(const std::wstring& setupWindowsPath) {
  manager_->SetSetupFilePath(setupWindowsPath);
}

const std::wstring& CCaptureSession::GetSetupFilePath() const { return manager_->GetSetupFilePath(); }

void CCaptureSession::SetSetupFileInfo(const std::wstring& applicationName, const std::wstring& version,
                                       const std::wstring& companyName) {
  manager_->SetSetupFileInfo(applicationName, version, companyName);
}

const SetupFileInformation& CCaptureSession::GetSetupFileInfo() const { return manager_->GetSetupFileInfo(); }

const std::wstring& CCaptureSession::GetSetupArguments() const { return manager_->GetSetupArguments(); }

COperationResult CCaptureSession::BeginCapture(const std::wstring& setupWindowsPath, const ProductTexts& texts,
                                               const std::wstring& arguments, const CaptureChoiceMap& choices) {
  manager_->IsFirstSnapshotExist();  // none: prepares the snapshot folders for a first capture
  manager_->SetSetupFilePath(setupWindowsPath);
  manager_->SetSetupFileInfo(texts.name, texts.version, texts.company);
  manager_->SetSetupArguments(arguments);
  if (logger_ != nullptr && !arguments.empty()) {
    logger_->Write(1, "CCaptureSession::BeginCapture setup arguments: " + WideToUtf8(arguments));
  }
  return WriteScanDetails(choices);
}

COperationResult CCaptureSession::WriteScanDetails(const CaptureChoiceMap& choices) {
  if (manager_->WriteScanDetails(choices) != 1) {
    const std::wstring file = Utf8ToWide(manager_->SnapshotFolderPath() + "\\ScanDetails.txt");
    return Failed("WriteScanDetails",
                  "the capture's choices cannot be saved in " + HostPathText(file) + " (see the error log)");
  }
  return COperationResult::Success();
}

int CCaptureSession::RootCount() const {
  const CaptureChoiceMap choices = manager_->GetCaptureChoices();
  int roots = 0;
  for (const wchar_t* key : {L"File", L"Registry"}) {
    if (auto found = choices.find(key); found != choices.end()) roots += static_cast<int>(found->second.size());
  }
  return roots;
}

COperationResult CCaptureSession::CaptureFirstSnapshot() {
  StatusCaption.Set(L"Preparing the machine");
  if (manager_->CaptureSnapshot() != 1) {
    if (CancelRequest.IsRequested()) return Cancelled("CaptureFirstSnapshot", "the first snapshot");
    return Failed("CaptureFirstSnapshot", "the first snapshot failed (see the error log)");
  }
  // From the mark on, a restart resumes the capture: what the resumed run needs is written first,
  // so an interruption between the writes never leaves a mark without them. Another machine's
  // mark is left alone.
  COperationResult result = COperationResult::Success();
  if (!markOfOtherMachine_) {
    const CWorkContext& context = Context();
    platform::WriteProfileText(kSnapshotSection, kOutputFolderKey, Utf8ToWide(context.OutputFolder),
                               context.ConfigFilePath);
    platform::WriteProfileText(kSnapshotSection, kPackageNameKey, Utf8ToWide(context.PackageFileName),
                               context.ConfigFilePath);
    manager_->SetSnapshotTakenMark(true);
    // The capture goes on without its mark (a full disk), but it could not be resumed.
    if (manager_->GetPendingMarkOwner() != PendingMarkOwner::kThisMachine) {
      result.AddError("the mark of the pending capture cannot be written to " + HostPathText(context.ConfigFilePath) +
                      " (see the error log): if this capture is interrupted it cannot be resumed");
      if (logger_ != nullptr) logger_->Write(2, "CCaptureSession::CaptureFirstSnapshot " + result.errors().back());
    }
  }
  return result;
}

std::wstring CCaptureSession::SetupLogPath() const { return Utf8ToWide(Context().WorkFolder) + L"\\" + kSetupLogName; }

SetupRun CCaptureSession::RunSetup(int timeoutSeconds, const std::function<void()>& onTick) {
  const std::wstring setupPath = manager_->GetSetupFilePath();
  StatusCaption.Set(L"Running the setup program");
  StatusDetail.Set(FileNameOf(setupPath));
  platform::LaunchOptions options;
  options.timeoutSeconds = timeoutSeconds;
  options.arguments = manager_->GetSetupArguments();
  options.outputLogPath = SetupLogPath();
  const auto launched = std::chrono::steady_clock::now();
  const std::wstring setupName = FileNameOf(setupPath);
  options.onTick = [launched, setupName, &onTick] {
    // No step of a setup can be counted: the detail shows how long it has been running.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - launched);
    StatusDetail.Set(setupName + L", " + std::to_wstring(static_cast<long>(seconds.count())) + L" s");
    if (onTick) onTick();
  };
  options.cancelRequested = [] { return CancelRequest.IsRequested(); };

  SetupRun run;
  run.launch = platform::RunSetupAndWait(setupPath, options);
  StatusCaption.Clear();
  StatusDetail.Clear();
  const platform::LaunchResult& launch = run.launch;
  for (const platform::InstallerProcess& process : launch.installerProcesses) {
    run.notes.push_back("Windows Installer ran during the setup: process " + std::to_string(process.processId) +
                        (process.commandLine.empty() ? std::string() : ", " + WideToUtf8(process.commandLine)));
  }
  for (const platform::LeftoverProcess& process : launch.leftoverProcesses) {
    run.notes.push_back("the setup left " + WideToUtf8(process.name) + " running (process " +
                        std::to_string(process.processId) + "); it was ended before the second snapshot" +
                        (process.commandLine.empty() ? std::string() : ": " + WideToUtf8(process.commandLine)));
  }
  if (logger_ != nullptr) {
    for (const std::string& note : run.notes) logger_->Write(1, note);
    logger_->Write(1, "the setup ran on " + (launch.display.empty() ? "no display (" + launch.displayProblem + ")"
                                                                     : "display " + launch.display));
  }
  const std::string setupLog = HostPathText(SetupLogPath());
  if (launch.status == platform::kCancelled) {
    run.result = Cancelled("RunSetup", "the wait for the setup program (every program of the machine was ended)");
    return run;
  }
  if (launch.displayMissing) {
    run.result = Failed("RunSetup", "the setup program could not open its window: no display could be used (" +
                                        (launch.displayProblem.empty() ? std::string() : launch.displayProblem + "; ") +
                                        "Wine: \"nodrv_CreateWindow\", see " + setupLog + ")");
    return run;
  }
  switch (launch.status) {
    case platform::kSuccess:
      break;
    case platform::kWaitTimeout:
      run.result = Failed("RunSetup", FormatText("the setup program did not end within %d seconds; every program of "
                                                 "the machine was ended",
                                                 timeoutSeconds));
      return run;
    case platform::kFileNotFound:
    case platform::kPathNotFound:
      run.result = Failed("RunSetup", "the setup program " + WideToUtf8(setupPath) + " cannot be found");
      return run;
    default:
      run.result = Failed("RunSetup", FormatText("the setup program could not be started (status %ld)",
                                                 static_cast<long>(launch.status)));
      return run;
  }
  // Restart requests of the Windows Installer count as success (under Wine only the low 8 bits of
  // an exit code survive).
  const bool isPackage = EndsWithNoCase(setupPath, L".msi");
  const int code = launch.exitCode;
  const bool succeeded =
      code == 0 || code == 3010 || code == 1641 || (isPackage && (code == (3010 & 0xFF) || code == (1641 & 0xFF)));
  if (!succeeded) {
    run.result = Failed("RunSetup", FormatText("the setup program failed with exit code %d (Wine's messages: ", code) +
                                        setupLog + ")");
  }
  return run;
}

COperationResult CCaptureSession::CaptureSecondSnapshot() {
  if (manager_->CaptureSnapshot() != 1) {
    if (CancelRequest.IsRequested()) return Cancelled("CaptureSecondSnapshot", "the second snapshot");
    return Failed("CaptureSecondSnapshot", "the second snapshot failed (see the error log)");
  }
  return COperationResult::Success();
}

COperationResult CCaptureSession::CompareSnapshot() {
  RemoveChangeFiles(Context());
  if (manager_->CompareSnapshot() != 1) {
    if (CancelRequest.IsRequested()) return Cancelled("CompareSnapshot", "the comparison of the snapshots");
    return Failed("CompareSnapshot", "the comparison of the snapshots failed (see the error log)");
  }
  if (const std::wstring unwritten = FirstUnwrittenChangeFile(Context()); !unwritten.empty()) {
    return Failed("CompareSnapshot", "the comparison of the snapshots failed: its change file " +
                                         HostPathText(unwritten) + " could not be written (see the error log)");
  }
  // What the package will not hold, as warnings of a comparison that succeeded.
  COperationResult result = COperationResult::Success();
  for (const std::string& note : manager_->Wrapper().FileEnumerator().INIHandler().Notes()) {
    result.AddError(note);
    if (logger_ != nullptr) logger_->Write(1, "CCaptureSession::CompareSnapshot " + note);
  }
  return result;
}

void CCaptureSession::GetFileChangeMaps(FolderFileMap*& added, FolderFileMap*& modified, FolderFileMap*& deleted) {
  manager_->GetFileChangeMaps(added, modified, deleted);
}

void CCaptureSession::GetRegistryChangeMaps(RegKeyMap*& added, RegKeyMap*& modified, RegKeyMap*& deleted) {
  manager_->GetRegistryChangeMaps(added, modified, deleted);
}

FolderFileMap& CCaptureSession::ExcludedFileChanges() { return manager_->Wrapper().ExcludedChanges(); }

RegKeyMap& CCaptureSession::ExcludedKeyChanges() { return manager_->Wrapper().ExcludedKeyChanges(); }

std::vector<std::wstring> CCaptureSession::EquivalentKeys(const std::wstring& keyPath) {
  std::vector<std::wstring> equivalents;
  manager_->Wrapper().RegistryEnumerator().GetEquivalentKeys(keyPath, equivalents);
  return equivalents;
}

COperationResult CCaptureSession::RewriteChanges(RuleKind side) {
  const bool files = side == RuleKind::kFiles;
  if (manager_->RewriteChanges(files ? 0 : 1) == 1) return COperationResult::Success();
  const std::wstring& path = files ? Context().FileChangesPath : Context().RegChangesPath;
  return Failed("RewriteChanges", "the change file " + HostPathText(path) + " could not be written (see the error log)");
}

std::vector<std::wstring> CCaptureSession::GetExecutableList() {
  // The programs noted when the change file was written, as the review left them: a program set
  // aside there is in neither included map any more and is no target of a shortcut.
  std::vector<std::wstring> found;
  manager_->GetExecutableList(found);
  FolderFileMap* added = nullptr;
  FolderFileMap* modified = nullptr;
  FolderFileMap* deleted = nullptr;
  manager_->GetFileChangeMaps(added, modified, deleted);
  std::vector<std::wstring> packaged;
  for (const std::wstring& path : found) {
    const size_t slash = path.rfind(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    bool included = false;
    for (const FolderFileMap* map : {added, modified}) {
      const auto files = map->find(folder);
      if (files != map->end() && std::find(files->second.begin(), files->second.end(), path) != files->second.end()) {
        included = true;
      }
    }
    if (included && std::find(packaged.begin(), packaged.end(), path) == packaged.end()) packaged.push_back(path);
  }
  return packaged;
}

ShortcutList CCaptureSession::ShortcutsFromLinks(std::vector<std::string>& notes) {
  // Shell links cannot go into the package as files; those the setup made become its shortcuts.
  notes.clear();
  ShortcutList shortcuts = ::ShortcutsFromLinks(manager_->SkippedFiles().GetSkippedFiles(),
                                                ReadCapturedFiles(Context().FileChangesPath, Rules()), notes);
  if (logger_ != nullptr) {
    for (const std::string& note : notes) logger_->Write(1, note);
  }
  return shortcuts;
}

COperationResult CCaptureSession::GenerateProjectFile(const ShortcutList& shortcuts, const IconMap& icons) {
  StatusCaption.Set(L"Writing the project file");
  if (manager_->GenerateProjectFile(shortcuts, icons) != 1) {
    if (CancelRequest.IsRequested()) return Cancelled("GenerateProjectFile", "the project file");
    return Failed("GenerateProjectFile", "the project file " + HostPathText(Context().ProjectFilePath) +
                                             " could not be written (see the error log)");
  }
  // The snapshots go now: from here a resumed capture builds from the project file.
  if (!markOfOtherMachine_) {
    platform::WriteProfileText(kSnapshotSection, kProjectFileKey, Context().ProjectFilePath, Context().ConfigFilePath);
  }
  return COperationResult::Success();
}

bool CCaptureSession::ReadProjectShortcuts(ShortcutList& shortcuts, IconMap& icons) {
  return manager_->ParseShortcutList(Context().ProjectFilePath, shortcuts, icons) == 1;
}

COperationResult CCaptureSession::ReplaceProjectShortcuts(const ShortcutList& shortcuts, const IconMap& icons) {
  if (manager_->ReplaceShortcutsInProjectFile(shortcuts, icons) != 1) {
    return Failed("ReplaceProjectShortcuts", "the shortcuts could not be written into the project file " +
                                                 HostPathText(Context().ProjectFilePath));
  }
  return COperationResult::Success();
}

bool CCaptureSession::EndIfNothingChanged() {
  if (manager_->ParseProjectFile(Context().ProjectFilePath) != 1 || !ProjectListsEmpty(manager_->ProjectLists())) {
    return false;
  }
  platform::RemoveFile(Context().ProjectFilePath);
  EndCapture();
  return true;
}

COperationResult CCaptureSession::BuildPackage() {
  platform::EnsureFolder(Context().WorkFolder + "\\Temp");
  // Without a name given, a captured package is named as the build page proposes: product name +
  // ".msi". (A project built on its own is named by the builder.)
  // The name is the build's own: the context is only read here (this runs on a worker thread).
  std::wstring packageName;
  if (Context().PackageFileName.empty() && !manager_->GetSetupFileInfo().ApplicationName.empty()) {
    packageName = SanitizeFileName(manager_->GetSetupFileInfo().ApplicationName) + L".msi";
  }
  const long built = manager_->BuildPackage(packageName);
  BuildStatusText.Clear();
  const std::vector<std::string>& messages = manager_->LastBuild().errors;
  if (built == 1) {
    COperationResult result = COperationResult::Success();
    for (const std::string& message : messages) result.AddError(message);
    return result;
  }
  // The builder has logged each of its errors already.
  if (CancelRequest.IsRequested()) {
    COperationResult result = Cancelled("BuildPackage", "the build of the package");
    for (const std::string& message : messages) result.AddError(message);
    return result;
  }
  if (messages.empty()) return Failed("BuildPackage", "the package was not built (see the error log)");
  return COperationResult::Failure(messages);
}

std::wstring CCaptureSession::PackagePath() { return Utf8ToWide(manager_->LastBuild().packagePath); }

int CCaptureSession::RefusedRows() { return manager_->LastBuild().refusedRows; }

void CCaptureSession::EndCapture() {
  platform::DeleteFolderTree(Utf8ToWide(Context().WorkFolder) + L"\\SnapShot");
  platform::DeleteFolderTree(Context().INIBackupFolder);
  // Removes this machine's mark (never another machine's) and the Temp folder.
  manager_->Uninitialize();
  if (!markOfOtherMachine_) ForgetRememberedPlaces(Context());
}
