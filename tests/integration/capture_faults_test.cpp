// A capture of the sample setup hit at each of its steps (first snapshot, setup run, second
// snapshot, comparison, project file, package) by a power cut (the program kills itself in the
// middle of writing that step's file) or by a full disk (that write fails with ENOSPC). The fault
// is injected by a preloaded library (tests/support/fault_shim) at a fixed point of the step's
// own file, so no step is raced. After each: the program has said what happened, no half-written
// file stands where a whole one is expected, and the next run either finishes the capture into
// the same package as an uninterrupted capture or discards it with a message saying so.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
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

class CaptureFaultsTest : public ::testing::TestWithParam<FaultCase> {
 protected:
  static void SetUpTestSuite() {
    static TempFolder setupFolder;
    setup_ = BuildSample("sample-installer", setupFolder.path() / "setup");
  }

  // The program run with the injector preloaded; its exit status (-1 when it was killed).
  int RunFaulty(const fs::path& program, const WinePrefixCopy& machine, const FaultCase& c,
                const std::vector<std::string>& arguments, std::string& output) {
    std::vector<std::string> environment = ProgramEnvironment(machine);
    environment.push_back(std::string("LD_PRELOAD=") + CORVANE_FAULT_SHIM);
    environment.push_back(std::string("CORVANE_FAULT_PATH=") + c.path);
    environment.push_back(std::string("CORVANE_FAULT_MODE=") + (c.fault == Fault::kKill ? "kill" : "enospc"));
    environment.push_back(std::string("CORVANE_FAULT_AFTER=") + c.after);
    // Under AddressSanitizer its runtime would otherwise insist on coming first.
    environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
    std::vector<std::string> command{(program / "CorvaneRepackager").string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunHostCommand(command, environment, &output);
  }

  static fs::path setup_;
};

fs::path CaptureFaultsTest::setup_;

// The package an uninterrupted capture of the sample gives, taken once.
const std::multiset<std::string>& UninterruptedPackage(const fs::path& setup) {
  static std::multiset<std::string> content;
  static bool taken = false;
  if (taken) return content;
  taken = true;
  TempFolder work;
  WinePrefixCopy machine;
  if (!machine.ok()) {
    ADD_FAILURE() << machine.error();
    return content;
  }
  const fs::path program = CopyProgram(work);
  const fs::path out = work.path() / "out";
  std::string output;
  const int status = RunProgram(program, machine,
                                {"-Capture=" + setup.string(), "-Path=" + out.string(), std::string("-File=") + kPackageName},
                                &output);
  EXPECT_EQ(status, 0) << output;
  content = PackageContent(out / kPackageName);
  return content;
}

TEST_P(CaptureFaultsTest, SaysWhatHappenedAndFinishesOrDiscards) {
  const FaultCase& c = GetParam();
  ASSERT_FALSE(setup_.empty());
  const std::multiset<std::string>& expected = UninterruptedPackage(setup_);
  ASSERT_FALSE(expected.empty());

  TempFolder work;
  WinePrefixCopy machine;
  ASSERT_TRUE(machine.ok()) << machine.error();
  const fs::path program = CopyProgram(work);
  const fs::path out = work.path() / "out";
  const fs::path config = program / "CorvaneRepackager.ini";
  const fs::path package = out / kPackageName;
  const fs::path project = out / "Packages" / kProjectName;

  std::string output;
  const int status = RunFaulty(program, machine, c,
                               {"-Capture=" + setup_.string(), "-Path=" + out.string(), std::string("-File=") + kPackageName},
                               output);
  // The configuration file is whole (it is replaced, never rewritten in place).
  EXPECT_NE(ReadHostFile(config).find("[LogFileDetails]"), std::string::npos) << ReadHostFile(config);
  if (c.fault == Fault::kKill) {
    ASSERT_EQ(status, -1) << "the fault was not hit:\n" << output;
    // Wine's server and what the setup started outlive the program, as they would not a power cut.
    std::string ignored;
    RunHostCommand({"wineserver", "-k"}, {"PATH=/usr/lib/wine:/usr/bin:/bin", "WINEPREFIX=" + machine.prefix().string()},
                   &ignored);
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
