// Cancelling a capture session on a copy of a fresh Wine prefix while it works: during the first
// snapshot, during the wait for the setup (whose processes then end) and during the build, one
// after the other in one session. Each cancelled step leaves no file of its own, the capture goes
// on (or starts again) to the package an uncancelled capture of the sample gives, and the delay
// from the request to the return is measured and recorded (never asserted). And Ctrl-C on the
// command line while the setup runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/operation_result.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "project/include_exclude_rules.h"
#include "session/capture_session.h"
#include "support/capture_program.h"
#include "support/capture_setup.h"
#include "support/package_places.h"
#include "support/pe_builder.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

const fs::path kSample = fs::path(CORVANE_SOURCE_DIR) / "examples" / "sample-installer";
const ProductTexts kSampleTexts{L"Corvane Sample", L"1.2.0", L"Corvane Labs"};

// Runs `work` on a worker thread; once `ready` holds (polled), requests a cancel. The result, and
// the seconds from the request to the return in `delay` (negative when the work ended first).
COperationResult RunAndCancelWhen(const std::function<COperationResult()>& work, const std::function<bool()>& ready,
                                  double& delay) {
  CancelRequest.Clear();
  std::future<COperationResult> running = std::async(std::launch::async, work);
  Clock::time_point requested{};
  bool sent = false;
  while (running.wait_for(std::chrono::microseconds(200)) != std::future_status::ready) {
    if (!sent && ready()) {
      requested = Clock::now();
      CancelRequest.Request();
      sent = true;
    }
  }
  COperationResult result = running.get();
  delay = sent ? std::chrono::duration<double>(Clock::now() - requested).count() : -1;
  CancelRequest.Clear();
  return result;
}

class CaptureCancelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(machine_.ok()) << machine_.error();
    if (const char* home = std::getenv("HOME")) previousHome_ = home;
    setenv("HOME", machine_.home().c_str(), 1);
    StartProgram();
  }

  void TearDown() override {
    CancelRequest.Clear();
    session_.reset();
    setenv("HOME", previousHome_.c_str(), 1);
  }

  // As a start of the program: the folder values of the program copy, and a new session.
  void StartProgram() {
    session_.reset();
    platform::Machine::Reset();
    session_ = std::make_unique<CCaptureSession>(nullptr);
    CWorkContext& context = session_->Context();
    SetUpCaptureWorkPaths(context, work_.path() / "scratch");
    if (program_.empty()) program_ = CopyProgram(work_);
    context.ProgramFolder = WideToUtf8(WindowsPathOf(program_));
    context.RulesFilePath = WindowsPathOf(program_ / "DefaultIncludeExclude.xml");
    context.TemplateProjectPath = WindowsPathOf(program_ / "RawProjectFile.xml");
    context.ConfigFilePath = WindowsPathOf(program_ / "CorvaneRepackager.ini");
    fs::create_directories(Output());
    context.SetOutputFolder(WindowsPathOf(Output()));
    context.SetPackageFileName(L"");
    ASSERT_TRUE(session_->Initialize().succeeded());
  }

  fs::path Output() const { return work_.path() / "out"; }

  // A silent setup that does nothing but wait for ten minutes; empty (with a failure added) when it
  // cannot be built.
  fs::path BuildHangingSetup() {
    std::string log;
    const fs::path hanging = pe_builder::BuildNsisScript(
        work_.path(), "hang",
        "SilentInstall silent\nRequestExecutionLevel user\nName \"Hang\"\nSection\n  Sleep 600000\nSectionEnd\n", &log);
    EXPECT_FALSE(hanging.empty()) << log;
    return hanging;
  }
  fs::path Snapshots() const {
    return platform::Machine::HostPath(Utf8ToWide(session_->Context().WorkFolder) + L"\\SnapShot");
  }
  std::wstring Pending() const {
    return platform::GetProfileText(L"SnapshotDetails", L"IsSnapshotTaken", L"", session_->Context().ConfigFilePath);
  }

  void Begin(const fs::path& setup) {
    const std::wstring path = WindowsPathOf(setup);
    const ProductTexts texts = CCaptureSession::ChooseProductTexts(kSampleTexts, path);
    ASSERT_TRUE(session_->BeginCapture(path, texts, L"", session_->BuildCaptureChoices(path, texts)).succeeded());
  }

  // From the second snapshot to the project file.
  void CaptureToProject() {
    ASSERT_TRUE(session_->CaptureSecondSnapshot().succeeded());
    ASSERT_TRUE(session_->CompareSnapshot().succeeded());
    std::vector<std::string> notes;
    const ShortcutList shortcuts = session_->ShortcutsFromLinks(notes);
    ASSERT_TRUE(session_->GenerateProjectFile(shortcuts, {}).succeeded());
    std::string error;
    const std::set<std::string> captured =
        ProjectItems(platform::Machine::HostPath(session_->Context().ProjectFilePath), error);
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_EQ(WithoutShortcutFolders(captured), WithoutShortcutFolders(ExpectedItems(kSample / "expected-items.txt")));
  }

  // Items with the folder property of shortcuts left out: which property names the all-users
  // menu is the round trips' concern; here the capture must find the same shortcut.
  static std::set<std::string> WithoutShortcutFolders(const std::set<std::string>& items) {
    std::set<std::string> kept;
    for (const std::string& item : items) {
      kept.insert(item.rfind("shortcut|", 0) == 0 ? item.substr(0, item.find_last_of('|')) : item);
    }
    return kept;
  }

  // The places of a built package's items, one text each.
  static std::set<std::string> Places(const fs::path& package) {
    PackagePlaces places;
    std::string error;
    EXPECT_TRUE(ReadPackagePlaces(package, places, error)) << error;
    std::set<std::string> texts(places.files.begin(), places.files.end());
    for (const std::string& folder : places.createdFolders) texts.insert("folder " + folder);
    for (const auto& value : places.values) texts.insert("value " + value.place());
    for (const auto& entry : places.iniEntries) texts.insert("ini " + entry.place());
    for (const auto& shortcut : places.shortcuts) texts.insert("shortcut " + shortcut.path + " -> " + shortcut.target);
    return texts;
  }

  std::set<std::string> OutputFiles() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Output())) {
      if (entry.is_regular_file()) names.insert(entry.path().filename().string());
    }
    return names;
  }

  WinePrefixCopy machine_;
  TempFolder work_;
  fs::path program_;
  std::string previousHome_;
  std::unique_ptr<CCaptureSession> session_;
};

TEST_F(CaptureCancelTest, AtEachStepAndTheCaptureGoesOnToTheSamePackage) {
  const fs::path sample = BuildSample("sample-installer", work_.path() / "setup");
  ASSERT_FALSE(sample.empty());
  const fs::path hanging = BuildHangingSetup();
  ASSERT_FALSE(hanging.empty());
  Begin(hanging);

  // During the first snapshot, once the file walk is under way (the machine prepared, folders
  // counted).
  double delay = 0;
  COperationResult cancelled = RunAndCancelWhen(
      [&] { return session_->CaptureFirstSnapshot(); },
      [] { return StatusCaption.Get() != L"Preparing the machine" && !StatusDetail.Get().empty(); }, delay);
  ASSERT_TRUE(cancelled.cancelled()) << cancelled.error();
  RecordProperty("first_snapshot_cancel_delay_ms", static_cast<int>(delay * 1000));
  std::printf("cancel delay, first snapshot: %.3f s\n", delay);
  EXPECT_FALSE(fs::exists(Snapshots() / "FileSystemDir/FirstSnapShot.txt"));
  EXPECT_FALSE(fs::exists(Snapshots() / "RegSystemDir/FirstSnapShot/RegSnapShot0.reg"));
  const fs::path backups = platform::Machine::HostPath(session_->Context().INIBackupFolder);
  EXPECT_TRUE(!fs::exists(backups) || fs::is_empty(backups)) << "INI backups of the cancelled walk are left";
  EXPECT_EQ(Pending(), L"");
  EXPECT_FALSE(session_->IsFirstSnapshotExist());
  // Started again.
  ASSERT_TRUE(session_->CaptureFirstSnapshot().succeeded());
  ASSERT_EQ(Pending(), L"1");

  // During the wait for the setup, once it has run for a second.
  SetupRun run;
  cancelled = RunAndCancelWhen(
      [&] {
        run = session_->RunSetup(300, {});
        return run.result;
      },
      [] { return StatusDetail.Get().find(L", 1 s") != std::wstring::npos; }, delay);
  ASSERT_TRUE(cancelled.cancelled()) << cancelled.error();
  EXPECT_EQ(run.launch.status, platform::kCancelled);
  RecordProperty("setup_wait_cancel_delay_ms", static_cast<int>(delay * 1000));
  std::printf("cancel delay, setup wait: %.3f s\n", delay);
  // Nothing of the machine runs any more: a wait for its server returns at once.
  std::string output;
  EXPECT_EQ(RunHostCommand({"timeout", "10", "wineserver", "-w"}, machine_.WineEnvironment(), &output), 0);
  // The capture is still pending, with its first snapshot.
  EXPECT_EQ(Pending(), L"1");
  EXPECT_TRUE(fs::exists(Snapshots() / "FileSystemDir/FirstSnapShot.txt"));
  // The user runs the sample setup to its end, and the program, started again, resumes the capture
  // to the items an uncancelled capture of the sample finds.
  ASSERT_EQ(machine_.Run({WideToUtf8(WindowsPathOf(sample))}), 0);
  StartProgram();
  ASSERT_TRUE(session_->ResumePendingCapture().succeeded());
  CaptureToProject();

  // During the build, once the builder has started on the tables.
  cancelled = RunAndCancelWhen([&] { return session_->BuildPackage(); }, [] { return !BuildStatusText.Get().empty(); },
                               delay);
  ASSERT_TRUE(cancelled.cancelled()) << cancelled.error();
  RecordProperty("build_cancel_delay_ms", static_cast<int>(delay * 1000));
  std::printf("cancel delay, build: %.3f s\n", delay);
  EXPECT_EQ(OutputFiles(), std::set<std::string>{}) << "a cancelled build left files";
  EXPECT_TRUE(fs::is_regular_file(platform::Machine::HostPath(session_->Context().ProjectFilePath)));
  // Built again, and once more under another name as the uncancelled reference: the same package.
  ASSERT_TRUE(session_->BuildPackage().succeeded());
  const fs::path rebuilt = platform::Machine::HostPath(session_->PackagePath());
  session_->Context().SetPackageFileName(L"reference.msi");
  ASSERT_TRUE(session_->BuildPackage().succeeded());
  const fs::path reference = platform::Machine::HostPath(session_->PackagePath());
  ASSERT_NE(rebuilt, reference);
  const std::set<std::string> places = Places(rebuilt);
  EXPECT_FALSE(places.empty());
  EXPECT_EQ(places, Places(reference));
  session_->EndCapture();
  EXPECT_EQ(Pending(), L"");
}

// Ctrl-C on the command line while the setup runs: the program ends the wait as a cancel does
// (the capture still pending with its first snapshot) and exits with its failure status, instead
// of dying by the signal.
TEST_F(CaptureCancelTest, InterruptOfTheCommandLine) {
  const fs::path hanging = BuildHangingSetup();
  ASSERT_FALSE(hanging.empty());
  session_.reset();  // the program below is the only user of the machine
  const fs::path config = program_ / "CorvaneRepackager.ini";
  // Job control keeps SIGINT deliverable to the background program (a plain "&" would ignore it).
  // The interrupt comes once the setup runs as a Windows process (its command line is a Windows
  // path), as a person would press Ctrl-C while looking at it.
  const std::string script =
      "set -m\n"
      "\"$0\" -Capture=\"$1\" -Path=\"$2\" & pid=$!\n"
      "for i in $(seq 1 4800); do kill -0 $pid 2>/dev/null || break; "
      "grep -qs '^IsSnapshotTaken=1' \"$3\" && cat /proc/[0-9]*/cmdline 2>/dev/null | tr '\\0' '\\n' | "
      "grep -q '\\\\hang\\.exe$' && break; sleep 0.05; done\n"
      "sleep 1; kill -INT $pid; wait $pid; echo \"status $?\"\n";
  std::string output;
  RunHostCommand({"bash", "-c", script, (program_ / "CorvaneRepackager").string(), hanging.string(), Output().string(),
                  config.string()},
                 ProgramEnvironment(machine_), &output);
  EXPECT_NE(output.find("status 1\n"), std::string::npos) << output;
  EXPECT_NE(output.find("cancelled"), std::string::npos) << output;
  EXPECT_NE(output.find("the capture is still pending"), std::string::npos) << output;
  // The capture waits for its second snapshot. (That the cancel ends the machine's processes is
  // AtEachStepAndTheCaptureGoesOnToTheSamePackage's concern; here the server only needs to be
  // gone before the check.)
  RunHostCommand({"timeout", "120", "wineserver", "-w"}, machine_.WineEnvironment(), &output);
  StartProgram();
  EXPECT_EQ(Pending(), L"1");
  EXPECT_TRUE(session_->IsFirstSnapshotExist());
  EXPECT_TRUE(OutputFiles().empty());
}

}  // namespace
