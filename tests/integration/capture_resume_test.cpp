// A capture interrupted after its first snapshot (the program killed, as by a restart of the
// machine) is finished by -Resume, without launching the setup again, and gives the same project
// as a capture in one run.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "core/strings.h"
#include "platform/machine.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(CORVANE_SOURCE_DIR) / "examples" / "sample-installer";

TEST(CaptureResumeTest, KilledAfterTheFirstSnapshotAndResumed) {
  TempFolder work;
  const fs::path setup = BuildSample("sample-installer", work.path() / "setup");
  ASSERT_FALSE(setup.empty());
  WinePrefixCopy machine;
  ASSERT_TRUE(machine.ok()) << machine.error();
  const fs::path program = CopyProgram(work);
  const fs::path out = work.path() / "out";
  const fs::path config = program / "CorvaneRepackager.ini";

  // As soon as the first snapshot is marked complete (bounded wait), the program and everything
  // it started are killed, as by a restart: it runs in a session of its own, whose process group
  // goes at once.
  const std::string script =
      "setsid \"$0\" -Capture=\"$1\" -Path=\"$2\" -File=resumed.msi & pid=$!\n"
      "for i in $(seq 1 1200); do grep -q '^IsSnapshotTaken=1' \"$3\" && break; kill -0 $pid 2>/dev/null || break; "
      "sleep 0.05; done\n"
      "kill -9 -- -$pid; wait $pid; echo \"status $?\"\n";
  std::vector<std::string> environment = ProgramEnvironment(machine);
  std::string output;
  RunHostCommand({"bash", "-c", script, (program / "CorvaneRepackager").string(), setup.string(), out.string(),
                  config.string()},
                 environment, &output);
  ASSERT_NE(output.find("status 137"), std::string::npos) << "the program was not killed mid-way:\n" << output;
  EXPECT_FALSE(fs::exists(out / "resumed.msi"));
  ASSERT_NE(ReadHostFile(config).find("IsSnapshotTaken=1"), std::string::npos);

  // Wine's server left its group when it started: it goes too, as at a restart. Then the setup is
  // run to its end, as the user would before resuming (a setup run twice writes the same).
  std::string ignored;
  RunHostCommand({"wineserver", "-k"}, machine.WineEnvironment(), &ignored);
  machine.WaitForServer();
  ASSERT_EQ(machine.Run({WideToUtf8(platform::Machine::WindowsPath(setup))}), 0);

  // The next start finishes the capture without running the setup; the output folder and package
  // name are the ones the capture was started with.
  output.clear();
  ASSERT_EQ(RunProgram(program, machine, {"-Resume"}, &output), 0) << output << ReadHostFile(program / "ErrorLog.txt");
  EXPECT_NE(output.find("resuming the capture"), std::string::npos) << output;
  EXPECT_NE(output.find("setup 0.00"), std::string::npos) << output;
  EXPECT_TRUE(fs::is_regular_file(out / "resumed.msi")) << output;
  EXPECT_EQ(ReadHostFile(config).find("IsSnapshotTaken"), std::string::npos);

  std::string error;
  const std::set<std::string> captured = ProjectItems(out / "Packages" / "Corvane Sample_1.2.0.xml", error);
  ASSERT_TRUE(error.empty()) << error;
  EXPECT_EQ(captured, ExpectedItems(kSample / "expected-items.txt"));

  // Nothing is pending any more.
  output.clear();
  EXPECT_EQ(RunProgram(program, machine, {"-Resume"}, &output), 1);
  EXPECT_NE(output.find("no capture is pending"), std::string::npos) << output;
}

}  // namespace
