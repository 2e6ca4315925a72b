// A capture of the sample setup hit at each of its steps (first snapshot, setup run, second
// snapshot, comparison, project file, package) by a power cut (the program kills itself in the
// middle of writing that step's file) or by a full disk (that write fails with ENOSPC). The fault
// is injected by a preloaded library (tests/support/fault_shim) at a fixed point of the step's
// own file, so no step is raced. After each: the program has said what happened, no half-written
// file stands where a whole one is expected, and the next run either finishes the capture into
// the same package as an uninterrupted capture or discards it with a message saying so.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/strings.h"
#include "platform/machine.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(CORVANE_SOURCE_DIR) / "examples" / "sample-installer";
constexpr const char* kProjectName = "Corvane Sample_1.2.0.xml";
constexpr const char* kPackageName = "faults.msi";

enum class Fault { kKill, kDiskFull };
// What the run after the fault gives.
enum class Next {
  kCompleted,       // the faulty run itself built the package (what failed was not needed)
  kDiscarded,       // -Resume: nothing pending, the capture is gone
  kResumed,         // -Resume finishes the capture
  kSetupThenResume, // the setup is run to its end (as a user would), then -Resume
  kBuildProject     // the project file was kept: building it gives the package
};

struct FaultCase {
  const char* name;
  Fault fault;
  const char* path;    // piece of the host path of the file the fault hits
  const char* after;   // bytes written before the fault; -1: at the open
  const char* message; // what the faulty run says (disk full only; kCompleted: in the error log)
  Next next;
};

void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.name; }

// What a package holds, without the generated identifiers (component codes, the package code):
// rows of the tables that place files, folders, registry values, INI entries and shortcuts.
std::multiset<std::string> PackageContent(const fs::path& package) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> tables = {
      {"File", {"File", "FileName", "FileSize"}},
      {"Directory", {"Directory", "Directory_Parent", "DefaultDir"}},
      {"Registry", {"Root", "Key", "Name", "Value"}},
      {"IniFile", {"FileName", "DirProperty", "Section", "Key", "Value", "Action"}},
      {"Shortcut", {"Directory_", "Name", "Target", "Arguments"}},
      {"CreateFolder", {"Directory_"}}};
  std::multiset<std::string> rows;
  for (const auto& [table, columns] : tables) {
    PackageTable read;
    std::string error;
    if (!ReadPackageTable(package, table, read, error)) {
      rows.insert(table + ": " + error);
      continue;
    }
    for (const auto& row : read.rows) {
      std::string text = table;
      for (const std::string& column : columns) text += "|" + read.Get(row, column);
      rows.insert(text);
    }
  }
  return rows;
}

// Newest change time of the files below `folder` (or of the file itself).
fs::file_time_type Newest(const fs::path& folder) {
  fs::file_time_type newest = fs::last_write_time(folder);
  if (fs::is_directory(folder)) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) newest = std::max(newest, entry.last_write_time());
  }
  return newest;
}

// The package an uninterrupted capture of the sample gives. Every case runs in a process of its
// own: the first to need it takes it and leaves it beside the test run's pristine prefix for the
// others (under a lock, so that two cases do not take it at once). It stands only while it is newer
// than that prefix (made anew by each run), the program and the sample.
std::multiset<std::string> UninterruptedPackage(const fs::path& setup) {
  const fs::path pristine = fs::path(CORVANE_PRISTINE_PREFIX).parent_path();
  const fs::path kept = pristine / "faults-reference.txt";
  const int lock = open((pristine / "faults-reference.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock >= 0) flock(lock, LOCK_EX);
  std::multiset<std::string> content;
  std::error_code ec;
  const fs::file_time_type made = fs::last_write_time(kept, ec);
  if (!ec && made > Newest(pristine / "prefix" / "system.reg") && made > Newest(CORVANE_PROGRAM_DIR) &&
      made > Newest(kSample)) {
    std::istringstream lines(ReadHostFile(kept));
    for (std::string line; std::getline(lines, line);) content.insert(line);
  } else {
    TempFolder work;
    WinePrefixCopy machine;
    EXPECT_TRUE(machine.ok()) << machine.error();
    const fs::path program = CopyProgram(work);
    const fs::path out = work.path() / "out";
    std::string output;
    const int status = RunProgram(
        program, machine, {"-Capture=" + setup.string(), "-Path=" + out.string(), std::string("-File=") + kPackageName},
        &output);
    EXPECT_EQ(status, 0) << output;
    content = PackageContent(out / kPackageName);
    if (status == 0) {
      std::string text;
      for (const std::string& row : content) text += row + "\n";
      WriteHostFile(kept.string() + ".partial", text);
      fs::rename(kept.string() + ".partial", kept, ec);
    }
  }
  if (lock >= 0) close(lock);
  return content;
}

class CaptureFaultsTest : public ::testing::TestWithParam<FaultCase> {
 protected:
  static void SetUpTestSuite() {
    static TempFolder setupFolder;
    setup_ = BuildSample("sample-installer", setupFolder.path() / "setup");
  }

  static fs::path setup_;
};

fs::path CaptureFaultsTest::setup_;

TEST_P(CaptureFaultsTest, SaysWhatHappenedAndFinishesOrDiscards) {
  const FaultCase& c = GetParam();
  ASSERT_FALSE(setup_.empty());
  std::multiset<std::string> expected;
  if (c.next != Next::kDiscarded) {
    expected = UninterruptedPackage(setup_);
    ASSERT_FALSE(expected.empty());
  }

  TempFolder work;
  WinePrefixCopy machine;
  ASSERT_TRUE(machine.ok()) << machine.error();
  const fs::path program = CopyProgram(work);
  const fs::path out = work.path() / "out";
  const fs::path config = program / "CorvaneRepackager.ini";
  const fs::path package = out / kPackageName;
  const fs::path project = out / "Packages" / kProjectName;

  std::string output;
  const int status =
      RunProgram(program, machine,
                 {"-Capture=" + setup_.string(), "-Path=" + out.string(), std::string("-File=") + kPackageName}, &output,
                 {std::string("LD_PRELOAD=") + CORVANE_FAULT_SHIM, std::string("CORVANE_FAULT_PATH=") + c.path,
                  std::string("CORVANE_FAULT_MODE=") + (c.fault == Fault::kKill ? "kill" : "enospc"),
                  std::string("CORVANE_FAULT_AFTER=") + c.after,
                  // Under AddressSanitizer its runtime would otherwise insist on coming first.
                  "ASAN_OPTIONS=verify_asan_link_order=0"});
  // The configuration file is whole (it is replaced, never rewritten in place).
  EXPECT_NE(ReadHostFile(config).find("[LogFileDetails]"), std::string::npos) << ReadHostFile(config);
  if (c.fault == Fault::kKill) {
    ASSERT_EQ(status, -1) << "the fault was not hit:\n" << output;
    // Wine's server and what the setup started outlive the program, as they would not a power cut.
    std::string ignored;
    RunHostCommand({"wineserver", "-k"}, machine.WineEnvironment(), &ignored);
    machine.WaitForServer();
  } else if (c.next == Next::kCompleted) {
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(ReadHostFile(program / "ErrorLog.txt").find(c.message), std::string::npos)
        << ReadHostFile(program / "ErrorLog.txt");
    EXPECT_EQ(PackageContent(package), expected);
    return;
  } else {
    ASSERT_EQ(status, 1) << output;
    EXPECT_NE(output.find(c.message), std::string::npos) << output;
  }
  // No half-written package or project stands under its own name.
  EXPECT_FALSE(fs::exists(package)) << output;
  if (c.next != Next::kBuildProject) {
    std::string error;
    if (fs::exists(project)) {
      ProjectItems(project, error);
      EXPECT_TRUE(error.empty()) << "a damaged project file was left: " << error;
    }
  }

  output.clear();
  switch (c.next) {
    case Next::kDiscarded:
      EXPECT_EQ(RunProgram(program, machine, {"-Resume"}, &output), 1) << output;
      EXPECT_NE(output.find("no capture is pending"), std::string::npos) << output;
      EXPECT_EQ(ReadHostFile(config).find("IsSnapshotTaken"), std::string::npos);
      break;
    case Next::kSetupThenResume:
      ASSERT_EQ(machine.Run({WideToUtf8(platform::Machine::WindowsPath(setup_))}), 0);
      [[fallthrough]];
    case Next::kResumed:
      ASSERT_EQ(RunProgram(program, machine, {"-Resume"}, &output), 0)
          << output << ReadHostFile(program / "ErrorLog.txt");
      EXPECT_NE(output.find("resuming the capture"), std::string::npos) << output;
      // The setup is not run again.
      EXPECT_NE(output.find("setup 0.00"), std::string::npos) << output;
      EXPECT_EQ(PackageContent(package), expected);
      EXPECT_EQ(ReadHostFile(config).find("IsSnapshotTaken"), std::string::npos);
      break;
    case Next::kCompleted:
      break;
    case Next::kBuildProject:
      ASSERT_EQ(RunProgram(program, machine, {project.string(), "-Path=" + out.string(), "-File=" + std::string(kPackageName)},
                           &output),
                0)
          << output << ReadHostFile(program / "ErrorLog.txt");
      EXPECT_EQ(PackageContent(package), expected);
      break;
  }
  // Nothing of the interrupted run is left half-written beside what was built.
  for (const auto& entry : fs::recursive_directory_iterator(out)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find(".partial"), std::string::npos) << entry.path();
    EXPECT_EQ(name.find(".saving"), std::string::npos) << entry.path();
  }
}

// Host paths: the snapshots and change files lie in the machine's TEMP folder (SnapShot, Temp),
// the project file and the package in the output folder, the configuration file (which holds the
// pending mark) beside the program.
const FaultCase kCases[] = {
    {"KillFirstSnapshot", Fault::kKill, "FirstSnapShot", "4096", "", Next::kDiscarded},
    {"KillSetup", Fault::kKill, "SetupRun.log", "-1", "", Next::kSetupThenResume},
    {"KillSecondSnapshot", Fault::kKill, "SecondSnapShot", "4096", "", Next::kResumed},
    {"KillComparison", Fault::kKill, "FileChanges.xml", "100", "", Next::kResumed},
    {"KillProjectFile", Fault::kKill, kProjectName, "100", "", Next::kResumed},
    {"KillPackage", Fault::kKill, kPackageName, "4096", "", Next::kResumed},
    {"KillConfiguration", Fault::kKill, "CorvaneRepackager.ini", "0", "", Next::kDiscarded},
    {"FullFirstSnapshot", Fault::kDiskFull, "FirstSnapShot", "4096", "the first snapshot failed", Next::kDiscarded},
    {"FullSetup", Fault::kDiskFull, "SetupRun.log", "-1", "cannot write the setup's log", Next::kCompleted},
    {"FullConfiguration", Fault::kDiskFull, "CorvaneRepackager.ini", "0", "the mark of the pending capture cannot be written",
     Next::kCompleted},
    {"FullSecondSnapshot", Fault::kDiskFull, "SecondSnapShot", "4096", "the second snapshot failed", Next::kResumed},
    {"FullComparison", Fault::kDiskFull, "FileChanges.xml", "100", "FileChanges.xml could not be written", Next::kResumed},
    {"FullProjectFile", Fault::kDiskFull, kProjectName, "100", "could not be written", Next::kResumed},
    {"FullPackage", Fault::kDiskFull, kPackageName, "4096", "the package was not built", Next::kBuildProject},
};

INSTANTIATE_TEST_SUITE_P(Steps, CaptureFaultsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

}  // namespace
