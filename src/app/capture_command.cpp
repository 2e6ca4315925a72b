#include "app/capture_command.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/terminal_progress.h"
#include "core/logger.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "platform/machine.h"
#include "platform/setup_launcher.h"
#include "session/setup_check.h"
#include "session/ui_manager.h"
#include "session/work_context_setup.h"

const char* const kCaptureUsage =
    "CorvaneRepackager -Capture=<setup program> [-Arguments=<text>] [-Product=<name>] [-Version=<text>] "
    "[-Company=<text>] [-Path=<output folder>] [-File=<package name>] [-Timeout=<seconds>]\n"
    "  or: CorvaneRepackager -Resume [-Path=<output folder>] [-File=<package name>]";

namespace {

using Clock = std::chrono::steady_clock;

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

void WriteError(const std::string& message) { std::fprintf(stderr, "CorvaneRepackager: %s\n", message.c_str()); }

}  // namespace

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

ProductTexts GivenProductTexts(const CaptureCommandLine& line) {
  return ProductTexts{Utf8ToWide(line.product.value_or(std::string())), Utf8ToWide(line.version.value_or(std::string())),
                      Utf8ToWide(line.company.value_or(std::string()))};
}

CCaptureCommand::CCaptureCommand(CLogger* logger, CCaptureSession& session, CTerminalProgress& progress)
    : logger_(logger), session_(session), progress_(progress) {}

int CCaptureCommand::Fail(const std::string& message) {
  progress_.Clear();
  if (logger_ != nullptr) logger_->Write(2, "CCaptureCommand::Run " + message);
  WriteError(message);
  return kCaptureFailed;
}

COperationResult CCaptureCommand::RunStep(int itemCount, const std::function<COperationResult()>& work,
                                          double& seconds) {
  const Clock::time_point start = Clock::now();
  progress_.Begin(itemCount);
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  COperationResult result = COperationResult::Success();
  std::thread worker([&] {
    COperationResult value = work();
    std::lock_guard<std::mutex> lock(mutex);
    result = std::move(value);
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
      if (const long status = platform::EnsureFolder(WideToUtf8(level)); status != 0) {
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
  if (!session_.MarkOfOtherMachine()) return Fail(message);
  // The mark is another machine's, so nothing of this run can be resumed: it is forgotten.
  session_.EndCapture();
  const size_t hint = message.find("; the capture is still pending");
  return Fail(message.substr(0, hint) +
              "; this capture cannot be resumed (the pending mark belongs to another machine): run it again");
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
  const PendingCaptureInfo pending = session_.GetPendingCapture();
  const bool pendingMark = pending.owner == PendingMarkOwner::kThisMachine;
  const bool markOfOtherMachine = pending.owner == PendingMarkOwner::kOtherMachine;
  if (line.resume && markOfOtherMachine) {
    return Fail("the pending capture belongs to machine " + WideToUtf8(pending.machine) + ", not to this one (" +
                WideToUtf8(platform::Machine::Name()) + "); resume it there (under Wine: WINEPREFIX=" +
                WideToUtf8(pending.machine) + ")");
  }
  if (!line.resume && markOfOtherMachine) {
    std::fprintf(stderr,
                 "CorvaneRepackager: note: a capture of machine %s is pending; it is kept, and this capture "
                 "cannot be resumed if it is interrupted\n",
                 WideToUtf8(pending.machine).c_str());
  }
  if (line.resume && pendingMark) {
    if (!line.outputFolder) outputArgument = WideToUtf8(pending.outputFolder);
    if (!line.packageName) packageName = WideToUtf8(pending.packageName);
  }
  if (line.resume && !pendingMark) {
    return Fail("no capture is pending: -Resume finishes a capture whose first snapshot was taken; start one with "
                "-Capture=<setup program>");
  }
  std::wstring outputFolder;
  if (!PrepareOutputFolder(outputArgument, outputFolder)) return kCaptureFailed;

  CWorkContext& context = session_.Context();
  SetupWorkContext(context, outputFolder, Utf8ToWide(packageName));
  // A name given now replaces one remembered from an earlier run.
  context.SetPackageFileName(Utf8ToWide(packageName));
  if (const COperationResult started = session_.Initialize(); !started.succeeded()) return Fail(started.error());

  int status;
  if (line.resume) {
    if (session_.ResumeFromProjectFile()) {
      std::fprintf(stderr,
                   "CorvaneRepackager: resuming the capture: it was interrupted while its package was built; "
                   "the package is built from its project file %s\n",
                   HostPathText(session_.Context().ProjectFilePath).c_str());
      status = BuildAndEnd();
    } else if (const COperationResult resumed = session_.ResumePendingCapture(); !resumed.succeeded()) {
      return Fail(resumed.error() + "; start again with -Capture=<setup program>");
    } else {
      const std::wstring& arguments = session_.GetSetupArguments();
      std::fprintf(stderr, "CorvaneRepackager: resuming the capture of %s%s\n",
                   WideToUtf8(session_.GetSetupFilePath()).c_str(),
                   arguments.empty() ? "" : (" (arguments: " + WideToUtf8(arguments) + ")").c_str());
      status = FinishCapture();
    }
  } else {
    if (context.SnapshotTaken) {
      std::fputs("CorvaneRepackager: the capture that was pending is discarded (a new one starts)\n", stderr);
      session_.DiscardPendingCapture();
    }
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
  const ProductTexts texts = CCaptureSession::ChooseProductTexts(GivenProductTexts(line), setupPath);
  const CaptureChoiceMap choices = session_.BuildCaptureChoices(setupPath, texts);
  if (const COperationResult begun =
          session_.BeginCapture(setupPath, texts, Utf8ToWide(line.arguments.value_or(std::string())), choices);
      !begun.succeeded()) {
    session_.Uninitialize();
    return Fail(begun.error());
  }
  std::fprintf(stderr, "CorvaneRepackager: capturing %s as \"%s\" %s (%s)\n", WideToUtf8(setupPath).c_str(),
               WideToUtf8(texts.name).c_str(), WideToUtf8(texts.version).c_str(), WideToUtf8(texts.company).c_str());
  if (line.arguments) std::fprintf(stderr, "CorvaneRepackager: the setup's arguments: %s\n", line.arguments->c_str());

  const COperationResult first =
      RunStep(session_.RootCount(), [this] { return session_.CaptureFirstSnapshot(); }, timings_.firstSnapshot);
  if (!first.succeeded()) {
    session_.Uninitialize();
    return Fail(first.error());
  }
  for (const std::string& warning : first.errors()) WriteError("warning: " + warning);

  progress_.Begin(0);
  const SetupRun run = session_.RunSetup(line.timeoutSeconds, [this] { progress_.Tick(); });
  progress_.Clear();
  timings_.setup = run.launch.elapsedSeconds;
  for (const std::string& note : run.notes) std::fprintf(stderr, "CorvaneRepackager: %s\n", note.c_str());
  const char* pendingHint =
      "; the capture is still pending: after putting the machine right, -Resume packages what is there now, "
      "a new -Capture starts again";
  if (run.launch.displayMissing && run.launch.status != platform::kCancelled) {
    const platform::LaunchResult& launch = run.launch;
    return FailPending("the setup program could not open its window: no display could be used (" +
                       (launch.displayProblem.empty() ? std::string() : launch.displayProblem + "; ") +
                       "Wine: \"nodrv_CreateWindow\", see " + HostPathText(session_.SetupLogPath()) +
                       "). Run the capture on a desktop or under xvfb-run, or give the setup silent -Arguments" +
                       pendingHint);
  }
  if (!run.result.succeeded()) return FailPending(run.result.error() + pendingHint);
  return kCaptureBuilt;
}

int CCaptureCommand::FinishCapture() {
  const int roots = session_.RootCount();
  const char* pendingHint = "; the capture is still pending (-Resume tries again)";
  if (const COperationResult second =
          RunStep(roots, [this] { return session_.CaptureSecondSnapshot(); }, timings_.secondSnapshot);
      !second.succeeded()) {
    return FailPending(second.error() + pendingHint);
  }
  if (const COperationResult compared = RunStep(2, [this] { return session_.CompareSnapshot(); }, timings_.comparison);
      !compared.succeeded()) {
    return FailPending(compared.error() + pendingHint);
  } else {
    for (const std::string& warning : compared.errors()) WriteError("warning: " + warning);
  }
  std::vector<std::string> notes;
  const ShortcutList shortcuts = session_.ShortcutsFromLinks(notes);
  for (const std::string& note : notes) std::fprintf(stderr, "CorvaneRepackager: %s\n", note.c_str());
  if (const COperationResult generated =
          RunStep(1, [this, &shortcuts] { return session_.GenerateProjectFile(shortcuts, IconMap()); },
                  timings_.projectFile);
      !generated.succeeded()) {
    return FailPending(generated.error() + pendingHint);
  }
  // A setup that changed nothing the rules include leaves nothing to package.
  if (session_.EndIfNothingChanged()) {
    progress_.Clear();
    const std::string message =
        "the setup program changed nothing that the include rules cover (no file, registry or INI change): no "
        "package was built";
    if (logger_ != nullptr) logger_->Write(2, "CCaptureCommand::Run " + message);
    WriteError(message);
    return kCaptureNothingChanged;
  }
  // The snapshots are gone now: the project file is what a retry would build from.
  std::fprintf(stderr, "CorvaneRepackager: project file %s\n",
               HostPathText(session_.Context().ProjectFilePath).c_str());
  return BuildAndEnd();
}

int CCaptureCommand::BuildAndEnd() {
  const COperationResult built = RunStep(8, [this] { return session_.BuildPackage(); }, timings_.package);
  for (const std::string& error : built.errors()) WriteError(error);
  session_.EndCapture();
  if (!built.succeeded()) {
    return Fail("the package was not built; the project file is kept, build it again with: CorvaneRepackager \"" +
                HostPathText(session_.Context().ProjectFilePath) + "\" -Path=<output folder>");
  }
  if (session_.RefusedRows() > 0) {
    std::fprintf(stderr, "CorvaneRepackager: warning: %d rows were refused (see above)\n", session_.RefusedRows());
  }
  std::fprintf(stdout, "%s\n", HostPathText(session_.PackagePath()).c_str());
  std::fflush(stdout);
  return kCaptureBuilt;
}
