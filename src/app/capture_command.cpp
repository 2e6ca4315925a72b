#include "app/capture_command.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "app/setup_check.h"
#include "app/shell_link.h"
#include "app/terminal_progress.h"
#include "core/logger.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "package/msi_handler.h"
#include "platform/file_system.h"
#include "platform/installer_database.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "platform/setup_launcher.h"
#include "project/captured_file.h"
#include "project/include_exclude_rules.h"
#include "snapshot/file_version_info.h"
#include "snapshot/ui_manager.h"
#include "snapshot/user_hive_names.h"

const char* const kCaptureUsage =
    "CorvaneRepackager -Capture=<setup program> [-Arguments=<text>] [-Product=<name>] [-Version=<text>] "
    "[-Company=<text>] [-Path=<output folder>] [-File=<package name>] [-Timeout=<seconds>]\n"
    "  or: CorvaneRepackager -Resume [-Path=<output folder>] [-File=<package name>]";

namespace {

using Clock = std::chrono::steady_clock;

// The shortcuts handed to the project-file worker (set before it starts, read only by it).
ShortcutList g_shortcuts;

// Where a pending capture keeps what its resumption needs besides the scan details: the output
// folder and the package name the capture was started with.
constexpr const wchar_t* kSnapshotSection = L"SnapshotDetails";
constexpr const wchar_t* kOutputFolderKey = L"CaptureOutputFolder";
constexpr const wchar_t* kPackageNameKey = L"CapturePackageFileName";
// What Wine says while the setup runs, kept in the work folder (which captures never walk).
constexpr const wchar_t* kSetupLogName = L"SetupRun.log";

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// "-name=value" with the marker in any case: true and the value when `argument` carries `marker`.
bool TakeMarked(const std::string& argument, const char* marker, std::string& value) {
  const std::string lowered = FoldAsciiLower(argument);
  const std::string_view wanted(marker);
  if (lowered.compare(0, wanted.size(), wanted) != 0) return false;
  value = argument.substr(wanted.size());
  return true;
}

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

void WriteError(const std::string& message) { std::fprintf(stderr, "CorvaneRepackager: %s\n", message.c_str()); }

bool ProjectIsEmpty(const LoadedProjectLists& lists) {
  return lists.addedFiles.empty() && lists.modifiedFiles.empty() && lists.deletedFiles.empty() &&
         lists.addedKeys.empty() && lists.modifiedKeys.empty() && lists.deletedKeys.empty() &&
         lists.addedINIEntries.empty() && lists.modifiedINIEntries.empty() && lists.deletedINIEntries.empty() &&
         lists.shortcuts.empty();
}

std::string HostText(const std::wstring& windowsPath) {
  std::error_code ignored;
  const std::filesystem::path host = platform::Machine::HostPath(windowsPath);
  if (host.empty()) return WideToUtf8(windowsPath);
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(host, ignored);
  return (canonical.empty() ? host : canonical).string();
}

}  // namespace

bool IsWindowsPath(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':' &&
          ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'))) ||
         path.rfind("\\\\", 0) == 0;
}

std::wstring ToMachinePath(const std::string& path) {
  if (IsWindowsPath(path)) return Utf8ToWide(path);
  return platform::Machine::WindowsPath(std::filesystem::path(path));
}

bool IsCaptureCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return false;
  std::string value;
  return TakeMarked(arguments[0], "-capture=", value) || FoldAsciiLower(arguments[0]) == "-resume";
}

bool ParseCaptureCommandLine(const std::vector<std::string>& arguments, CaptureCommandLine& line, std::string& error) {
  line = CaptureCommandLine();
  bool captureGiven = false;
  bool timeoutGiven = false;
  for (const std::string& argument : arguments) {
    std::string value;
    auto takeOnce = [&](std::optional<std::string>& slot, const char* name) {
      if (slot) {
        error = std::string(name) + " is given twice";
        return false;
      }
      if (value.empty()) {
        error = std::string(name) + " needs a value";
        return false;
      }
      slot = value;
      return true;
    };
    if (TakeMarked(argument, "-capture=", value)) {
      if (captureGiven) {
        error = "-Capture is given twice";
        return false;
      }
      if (value.empty()) {
        error = "-Capture needs the setup program";
        return false;
      }
      captureGiven = true;
      line.setup = value;
    } else if (FoldAsciiLower(argument) == "-resume") {
      if (line.resume) {
        error = "-Resume is given twice";
        return false;
      }
      line.resume = true;
    } else if (TakeMarked(argument, "-arguments=", value)) {
      if (!takeOnce(line.arguments, "-Arguments")) return false;
    } else if (TakeMarked(argument, "-product=", value)) {
      if (!takeOnce(line.product, "-Product")) return false;
    } else if (TakeMarked(argument, "-version=", value)) {
      if (!takeOnce(line.version, "-Version")) return false;
    } else if (TakeMarked(argument, "-company=", value)) {
      if (!takeOnce(line.company, "-Company")) return false;
    } else if (TakeMarked(argument, "-path=", value)) {
      if (!takeOnce(line.outputFolder, "-Path")) return false;
    } else if (TakeMarked(argument, "-file=", value)) {
      if (!takeOnce(line.packageName, "-File")) return false;
    } else if (TakeMarked(argument, "-timeout=", value)) {
      if (timeoutGiven) {
        error = "-Timeout is given twice";
        return false;
      }
      char* end = nullptr;
      const long seconds = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || end == nullptr || *end != '\0' || seconds <= 0 || seconds > 7 * 24 * 3600) {
        error = "-Timeout needs a number of seconds between 1 and 604800, not \"" + value + "\"";
        return false;
      }
      timeoutGiven = true;
      line.timeoutSeconds = static_cast<int>(seconds);
    } else {
      error = "unknown argument \"" + argument + "\"";
      return false;
    }
  }
  if (captureGiven == line.resume) {
    error = captureGiven ? "-Capture and -Resume cannot be used together" : "-Capture or -Resume is needed";
    return false;
  }
  if (line.resume && (line.product || line.version || line.company || line.arguments || timeoutGiven)) {
    error = "-Resume finishes the pending capture with the product texts and arguments it was started with; "
            "-Arguments, -Product, -Version, -Company and -Timeout belong to -Capture";
    return false;
  }
  return true;
}

ProductTexts ChooseProductTexts(const CaptureCommandLine& line, const std::wstring& setupWindowsPath) {
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
  auto choose = [](const std::optional<std::string>& given, const std::wstring& fromSetup, const std::wstring& standIn) {
    std::wstring text = given ? Trimmed(Utf8ToWide(*given)) : std::wstring();
    if (text.empty()) text = Trimmed(fromSetup);
    return text.empty() ? standIn : text;
  };
  std::wstring stem = FileNameOf(setupWindowsPath);
  if (const size_t dot = stem.find_last_of(L'.'); dot != std::wstring::npos && dot > 0) stem.resize(dot);
  ProductTexts texts;
  texts.name = choose(line.product, found.name, stem.empty() ? L"Setup" : stem);
  texts.version = choose(line.version, found.version, L"1.0");
  texts.company = choose(line.company, found.company, L"Unknown");
  return texts;
}

CaptureChoiceMap BuildCaptureChoices(CUIManager& manager, const std::wstring& setupWindowsPath,
                                     const ProductTexts& texts) {
  // Whether the rules file loads decides between its lists (even empty ones) and the defaults.
  const bool rulesLoad = manager.RuleHandler().Load(RulesFilePath) == 1;
  std::vector<std::wstring> files;
  std::vector<std::wstring> keys;
  if (rulesLoad) {
    IncludedRuleMap included;
    manager.GetIncludedItems(L"FileSystem//IncludedItems", included);
    for (const auto& [upper, name] : included) {
      std::wstring root = name;
      FromTokenForm(root);
      files.push_back(root);
    }
    manager.GetIncludedItems(L"RegistrySystem//IncludedItems", included);
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


CCaptureCommand::CCaptureCommand(CLogger* logger, CUIManager* manager, CTerminalProgress& progress)
    : logger_(logger), manager_(manager), progress_(progress) {}

int CCaptureCommand::Fail(const std::string& message) {
  progress_.Clear();
  if (logger_ != nullptr) logger_->Write(2, "CCaptureCommand::Run " + message);
  WriteError(message);
  return kCaptureFailed;
}

// Runs one step of the engine on a worker thread while this thread redraws the progress line.
long CCaptureCommand::RunStep(int itemCount, long (*work)(CUIManager*), double& seconds) {
  const Clock::time_point start = Clock::now();
  progress_.Begin(itemCount);
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  long result = 0;
  std::thread worker([&] {
    const long value = work(manager_);
    std::lock_guard<std::mutex> lock(mutex);
    result = value;
    done = true;
    ended.notify_one();
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (!done) {
      if (ended.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; })) break;
      lock.unlock();
      progress_.Tick();
      lock.lock();
    }
  }
  worker.join();
  progress_.Fill();
  progress_.Clear();
  StatusCaption.Clear();
  StatusDetail.Clear();
  seconds = SecondsSince(start);
  return result;
}

bool CCaptureCommand::PrepareOutputFolder(const std::string& given, std::wstring& folder) {
  folder = given.empty() ? ToMachinePath(std::filesystem::current_path().string()) : ToMachinePath(given);
  if (folder.empty()) {
    Fail("the output folder " + given + " is not on a drive of the machine");
    return false;
  }
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  // Messages name the folder as it was given.
  const std::string shown = given.empty() ? WideToUtf8(folder) : given;
  // Every missing level is made, from the drive down.
  for (size_t slash = folder.find(L'\\', 3); ; slash = folder.find(L'\\', slash + 1)) {
    const std::wstring level = slash == std::wstring::npos ? folder : folder.substr(0, slash);
    if (level.size() > 3) {
      if (const long status = EnsureFolder(WideToUtf8(level)); status != 0) {
        Fail(FormatText("the output folder %s cannot be created (error %ld)", shown.c_str(), status));
        return false;
      }
    }
    if (slash == std::wstring::npos) break;
  }
  const uint32_t attributes = platform::GetAttributes(folder);
  if (attributes == platform::kInvalidAttributes || !(attributes & platform::kAttrDirectory)) {
    Fail("the output folder " + shown + " cannot be created: a file of that name exists");
    return false;
  }
  // Found out now, not after the installer has run: the package must be writable there.
  const std::wstring probe = folder + L"\\corvane-write-test.tmp";
  std::FILE* file = platform::OpenFileStream(probe, "wb");
  bool writable = file != nullptr;
  if (file != nullptr) {
    writable = std::fputs("x", file) >= 0;
    if (std::fclose(file) != 0) writable = false;
    platform::RemoveFile(probe);
  }
  if (!writable) {
    Fail("the output folder " + shown + " cannot be written");
    return false;
  }
  return true;
}

int CCaptureCommand::FailPending(const std::string& message) {
  if (!markOfOtherMachine_) return Fail(message);
  // The mark is another machine's, so nothing of this run can be resumed: it is forgotten.
  EndCapture();
  const size_t hint = message.find("; the capture is still pending");
  return Fail(message.substr(0, hint) +
              "; this capture cannot be resumed (the pending mark belongs to another machine): run it again");
}

std::string CCaptureCommand::SetupLogText() const {
  return HostText(Utf8ToWide(WorkFolder) + L"\\" + kSetupLogName);
}

void CCaptureCommand::EndCapture() {
  DeleteFolderTree(Utf8ToWide(WorkFolder) + L"\\SnapShot");
  DeleteFolderTree(INIBackupFolder);
  // Removes this machine's mark (never another machine's) and the Temp folder.
  manager_->Uninitialize();
  if (!markOfOtherMachine_) {
    platform::DeleteProfileKey(kSnapshotSection, kOutputFolderKey, ConfigFilePath);
    platform::DeleteProfileKey(kSnapshotSection, kPackageNameKey, ConfigFilePath);
  }
}

void CCaptureCommand::DiscardPendingCapture() {
  // As the pending-capture page's discard: nothing of the old capture survives.
  const std::wstring work = Utf8ToWide(WorkFolder);
  DeleteFolderTree(work + L"\\Temp");
  DeleteFolderTree(work + L"\\SnapShot");
  EnsureFolder(WorkFolder + "\\SnapShot");
  DeleteFolderTree(INIBackupFolder);
  EnsureFolder(WideToUtf8(INIBackupFolder));
  manager_->SetSnapshotTakenMark(false);
  platform::DeleteProfileKey(kSnapshotSection, kOutputFolderKey, ConfigFilePath);
  platform::DeleteProfileKey(kSnapshotSection, kPackageNameKey, ConfigFilePath);
}

int CCaptureCommand::Run(const CaptureCommandLine& line) {
  CTraceScope trace(logger_, "CCaptureCommand::Run");
  timings_ = CaptureTimings();
  const Clock::time_point start = Clock::now();

  std::wstring setupPath;
  if (!line.resume) {
    setupPath = ToMachinePath(line.setup);
    const uint32_t attributes = setupPath.empty() ? platform::kInvalidAttributes : platform::GetAttributes(setupPath);
    if (attributes == platform::kInvalidAttributes) return Fail("the setup program " + line.setup + " does not exist");
    if (attributes & platform::kAttrDirectory) return Fail("the setup program " + line.setup + " is a folder");
    // Refused before anything is touched: a pending capture stays as it is.
    if (std::string reason; !CheckSetupRunnable(setupPath, reason)) {
      return Fail("the setup program " + line.setup + " " + reason + "; nothing was captured");
    }
  }

  // A resumed capture goes where it was started for, unless told otherwise.
  std::string outputArgument = line.outputFolder.value_or(std::string());
  std::string packageName = line.packageName.value_or(std::string());
  std::wstring markMachine;
  const PendingMarkOwner owner = manager_->GetPendingMarkOwner(&markMachine);
  const bool pendingMark = owner == PendingMarkOwner::kThisMachine;
  markOfOtherMachine_ = owner == PendingMarkOwner::kOtherMachine;
  if (line.resume && markOfOtherMachine_) {
    return Fail("the pending capture belongs to machine " + WideToUtf8(markMachine) + ", not to this one (" +
                WideToUtf8(platform::Machine::Name()) + "); resume it there (under Wine: WINEPREFIX=" +
                WideToUtf8(markMachine) + ")");
  }
  if (!line.resume && markOfOtherMachine_) {
    std::fprintf(stderr,
                 "CorvaneRepackager: note: a capture of machine %s is pending; it is kept, and this capture "
                 "cannot be resumed if it is interrupted\n",
                 WideToUtf8(markMachine).c_str());
  }
  if (line.resume && pendingMark) {
    if (!line.outputFolder) {
      outputArgument = WideToUtf8(platform::GetProfileText(kSnapshotSection, kOutputFolderKey, L"", ConfigFilePath));
    }
    if (!line.packageName) {
      packageName = WideToUtf8(platform::GetProfileText(kSnapshotSection, kPackageNameKey, L"", ConfigFilePath));
    }
  }
  if (line.resume && !pendingMark) {
    return Fail("no capture is pending: -Resume finishes a capture whose first snapshot was taken; start one with "
                "-Capture=<setup program>");
  }
  std::wstring outputFolder;
  if (!PrepareOutputFolder(outputArgument, outputFolder)) return kCaptureFailed;

  SetupWorkPaths(outputFolder, Utf8ToWide(packageName));
  // A name given now replaces one remembered from an earlier run.
  SetPackageFileName(Utf8ToWide(packageName));
  if (manager_->Initialize() != 1) return Fail("the capture engine cannot start (see the error log)");
  FillUserHiveNames();
  EnsureFolder(WorkFolder + "\\Temp");

  int status;
  if (line.resume) {
    if (!SnapshotTaken || !manager_->IsFirstSnapshotExist()) {
      DiscardPendingCapture();
      return Fail("no capture is pending: the first snapshot of the last capture is incomplete or gone; start again "
                  "with -Capture=<setup program>");
    }
    const std::wstring& arguments = manager_->GetSetupArguments();
    if (logger_ != nullptr && !arguments.empty()) {
      logger_->Write(1, "CCaptureCommand::Run resumed capture, setup arguments: " + WideToUtf8(arguments));
    }
    std::fprintf(stderr, "CorvaneRepackager: resuming the capture of %s%s\n",
                 WideToUtf8(manager_->GetSetupFilePath()).c_str(),
                 arguments.empty() ? "" : (" (arguments: " + WideToUtf8(arguments) + ")").c_str());
    status = FinishCapture();
  } else {
    if (SnapshotTaken) {
      std::fputs("CorvaneRepackager: the capture that was pending is discarded (a new one starts)\n", stderr);
      DiscardPendingCapture();
    }
    manager_->IsFirstSnapshotExist();  // none: prepares the snapshot folders for a first capture
    status = StartCapture(line, setupPath);
    if (status == kCaptureBuilt) status = FinishCapture();
  }
  timings_.total = SecondsSince(start);
  if (status == kCaptureBuilt) {
    std::fprintf(stderr,
                 "CorvaneRepackager: times in seconds: first snapshot %.2f, setup %.2f, second snapshot %.2f, "
                 "comparison %.2f, project file %.2f, package %.2f, total %.2f (ours %.2f)\n",
                 timings_.firstSnapshot, timings_.setup, timings_.secondSnapshot, timings_.comparison,
                 timings_.projectFile, timings_.package, timings_.total, timings_.ours());
  }
  return status;
}

int CCaptureCommand::StartCapture(const CaptureCommandLine& line, const std::wstring& setupPath) {
  const ProductTexts texts = ChooseProductTexts(line, setupPath);
  manager_->SetSetupFilePath(setupPath);
  manager_->SetSetupFileInfo(texts.name, texts.version, texts.company);
  manager_->SetSetupArguments(Utf8ToWide(line.arguments.value_or(std::string())));
  const CaptureChoiceMap choices = BuildCaptureChoices(*manager_, setupPath, texts);
  manager_->WriteScanDetails(choices);
  const int roots = static_cast<int>(choices.at(L"File").size() + choices.at(L"Registry").size());
  std::fprintf(stderr, "CorvaneRepackager: capturing %s as \"%s\" %s (%s)\n", WideToUtf8(setupPath).c_str(),
               WideToUtf8(texts.name).c_str(), WideToUtf8(texts.version).c_str(), WideToUtf8(texts.company).c_str());
  if (line.arguments) {
    if (logger_ != nullptr) logger_->Write(1, "CCaptureCommand::StartCapture setup arguments: " + *line.arguments);
    std::fprintf(stderr, "CorvaneRepackager: the setup's arguments: %s\n", line.arguments->c_str());
  }

  StatusCaption.Set(L"Preparing the machine");
  if (RunStep(roots, [](CUIManager* manager) -> long { return manager->CaptureSnapshot(); }, timings_.firstSnapshot) !=
      1) {
    manager_->Uninitialize();
    return Fail("the first snapshot failed (see the error log)");
  }
  // From the mark on, a restart resumes the capture: what the resumed run needs is written first,
  // so an interruption between the writes never leaves a mark without them. Another machine's
  // mark is left alone.
  if (!markOfOtherMachine_) {
    platform::WriteProfileText(kSnapshotSection, kOutputFolderKey, Utf8ToWide(OutputFolder), ConfigFilePath);
    platform::WriteProfileText(kSnapshotSection, kPackageNameKey, Utf8ToWide(PackageFileName), ConfigFilePath);
    manager_->SetSnapshotTakenMark(true);
  }

  StatusCaption.Set(L"Running the setup program");
  StatusDetail.Set(FileNameOf(setupPath));
  progress_.Begin(0);
  platform::LaunchOptions options;
  options.timeoutSeconds = line.timeoutSeconds;
  options.arguments = manager_->GetSetupArguments();
  options.outputLogPath = Utf8ToWide(WorkFolder) + L"\\" + kSetupLogName;
  const Clock::time_point launched = Clock::now();
  const std::wstring setupName = FileNameOf(setupPath);
  options.onTick = [this, launched, setupName] {
    // No step of a setup can be counted: the detail shows how long it has been running.
    StatusDetail.Set(setupName + L", " + std::to_wstring(static_cast<long>(SecondsSince(launched))) + L" s");
    progress_.Tick();
  };
  const platform::LaunchResult launch = platform::RunSetupAndWait(setupPath, options);
  progress_.Clear();
  StatusCaption.Clear();
  StatusDetail.Clear();
  timings_.setup = launch.elapsedSeconds;
  for (const platform::InstallerProcess& process : launch.installerProcesses) {
    const std::string text = "Windows Installer ran during the setup: process " + std::to_string(process.processId) +
                             (process.commandLine.empty() ? std::string() : ", " + WideToUtf8(process.commandLine));
    if (logger_ != nullptr) logger_->Write(1, text);
    std::fprintf(stderr, "CorvaneRepackager: %s\n", text.c_str());
  }
  for (const platform::LeftoverProcess& process : launch.leftoverProcesses) {
    const std::string text = "the setup left " + WideToUtf8(process.name) + " running (process " +
                             std::to_string(process.processId) + "); it was ended before the second snapshot" +
                             (process.commandLine.empty() ? std::string() : ": " + WideToUtf8(process.commandLine));
    if (logger_ != nullptr) logger_->Write(1, text);
    std::fprintf(stderr, "CorvaneRepackager: %s\n", text.c_str());
  }
  if (logger_ != nullptr) {
    logger_->Write(1, "the setup ran on " + (launch.display.empty() ? "no display (" + launch.displayProblem + ")"
                                                                     : "display " + launch.display));
  }
  const char* pendingHint =
      "; the capture is still pending: after putting the machine right, -Resume packages what is there now, "
      "a new -Capture starts again";
  if (launch.displayMissing) {
    return FailPending("the setup program could not open its window: no display could be used (" +
                       (launch.displayProblem.empty() ? std::string() : launch.displayProblem + "; ") +
                       "Wine: \"nodrv_CreateWindow\", see " + SetupLogText() +
                       "). Run the capture on a desktop or under xvfb-run, or give the setup silent -Arguments" +
                       pendingHint);
  }
  switch (launch.status) {
    case platform::kSuccess:
      break;
    case platform::kWaitTimeout:
      return FailPending(FormatText("the setup program did not end within %d seconds; every program of the machine was "
                             "ended",
                             line.timeoutSeconds) +
                  pendingHint);
    case platform::kFileNotFound:
    case platform::kPathNotFound:
      return FailPending("the setup program " + WideToUtf8(setupPath) + " cannot be found" + pendingHint);
    default:
      return FailPending(FormatText("the setup program could not be started (status %ld)", static_cast<long>(launch.status)) +
                  pendingHint);
  }
  // Restart requests of the Windows Installer count as success (under Wine only the low 8 bits of
  // an exit code survive).
  const bool isPackage = EndsWithNoCase(setupPath, L".msi");
  const int code = launch.exitCode;
  const bool succeeded = code == 0 || code == 3010 || code == 1641 || (isPackage && (code == (3010 & 0xFF) || code == (1641 & 0xFF)));
  if (!succeeded) {
    return FailPending(FormatText("the setup program failed with exit code %d (Wine's messages: ", code) + SetupLogText() +
                ")" + pendingHint);
  }
  return kCaptureBuilt;
}

int CCaptureCommand::FinishCapture() {
  const CaptureChoiceMap choices = manager_->GetCaptureChoices();
  int roots = 0;
  for (const wchar_t* key : {L"File", L"Registry"}) {
    if (auto found = choices.find(key); found != choices.end()) roots += static_cast<int>(found->second.size());
  }
  const char* pendingHint = "; the capture is still pending (-Resume tries again)";
  if (RunStep(roots, [](CUIManager* manager) -> long { return manager->CaptureSnapshot(); }, timings_.secondSnapshot) !=
      1) {
    return FailPending(std::string("the second snapshot failed (see the error log)") + pendingHint);
  }
  if (RunStep(2, [](CUIManager* manager) -> long { return manager->CompareSnapshot(); }, timings_.comparison) != 1) {
    return FailPending(std::string("the comparison of the snapshots failed (see the error log)") + pendingHint);
  }
  // Shell links cannot go into the package as files; those the setup made become its shortcuts.
  std::vector<std::wstring> executables;
  manager_->GetExecutableList(executables);
  std::vector<std::string> notes;
  g_shortcuts = ShortcutsFromLinks(GetSkippedFiles(), ReadCapturedFiles(FileChangesPath), notes);
  for (const std::string& note : notes) {
    if (logger_ != nullptr) logger_->Write(1, note);
    std::fprintf(stderr, "CorvaneRepackager: %s\n", note.c_str());
  }
  StatusCaption.Set(L"Writing the project file");
  RunStep(1, [](CUIManager* manager) -> long { return manager->GenerateProjectFile(g_shortcuts, IconMap()); },
          timings_.projectFile);
  // A setup that changed nothing the rules include leaves nothing to package.
  if (manager_->ParseProjectFile(ProjectFilePath) == 1 && ProjectIsEmpty(manager_->ProjectLists())) {
    platform::RemoveFile(ProjectFilePath);
    EndCapture();
    progress_.Clear();
    const std::string message =
        "the setup program changed nothing that the include rules cover (no file, registry or INI change): no "
        "package was built";
    if (logger_ != nullptr) logger_->Write(2, "CCaptureCommand::Run " + message);
    WriteError(message);
    return kCaptureNothingChanged;
  }
  // The snapshots are gone now: the project file is what a retry would build from.
  std::fprintf(stderr, "CorvaneRepackager: project file %s\n", HostText(ProjectFilePath).c_str());

  EnsureFolder(WorkFolder + "\\Temp");
  // Without a name given, the package is named as the build page proposes: product name + ".msi".
  if (PackageFileName.empty()) SetPackageFileName(SanitizeFileName(manager_->GetSetupFileInfo().ApplicationName) + L".msi");
  const long built =
      RunStep(8, [](CUIManager* manager) -> long { return manager->BuildPackage(); }, timings_.package);
  BuildStatusText.Clear();
  for (const std::string& error : manager_->MSIHandler().errors()) WriteError(error);
  EndCapture();
  if (built != 1) {
    return Fail("the package was not built; the project file is kept, build it again with: CorvaneRepackager \"" +
                HostText(ProjectFilePath) + "\" -Path=<output folder>");
  }
  if (manager_->MSIHandler().refusedRows() > 0) {
    std::fprintf(stderr, "CorvaneRepackager: warning: %d rows were refused (see above)\n",
                 manager_->MSIHandler().refusedRows());
  }
  std::fprintf(stdout, "%s\n", HostText(Utf8ToWide(manager_->MSIHandler().packagePath())).c_str());
  std::fflush(stdout);
  return kCaptureBuilt;
}
