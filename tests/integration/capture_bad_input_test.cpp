// The capture mode with bad input: the program ends with a clear message and a failure status,
// takes no snapshot for input it can check beforehand, and bounds the wait for a setup that never
// ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "core/strings.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/pe_builder.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

namespace {

class CaptureBadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(machine_.ok()) << machine_.error();
    program_ = CopyProgram(work_);
  }

  int Run(const std::vector<std::string>& arguments) {
    output_.clear();
    return RunProgram(program_, machine_, arguments, &output_);
  }
  bool Pending() const { return ReadHostFile(program_ / "CorvaneRepackager.ini").find("IsSnapshotTaken=1") != std::string::npos; }
  bool SaysCapturing() const { return output_.find("capturing") != std::string::npos; }

  // A silent setup whose start-up function does `body`.
  fs::path Setup(const std::string& name, const std::string& body) {
    std::string log;
    const fs::path setup =
        pe_builder::BuildNsisProgram(work_.path(), name, "Function .onInit\n" + body + "\nFunctionEnd\n", &log);
    EXPECT_FALSE(setup.empty()) << log;
    return setup;
  }

  WinePrefixCopy machine_;
  TempFolder work_;
  fs::path program_;
  std::string output_;
};

TEST_F(CaptureBadInputTest, InputCheckedBeforeAnySnapshot) {
  const std::string out = "-Path=" + (work_.path() / "out").string();
  EXPECT_EQ(Run({"-Capture=" + (work_.path() / "nosuch.exe").string(), out}), 1);
  EXPECT_NE(output_.find("does not exist"), std::string::npos) << output_;
  EXPECT_FALSE(SaysCapturing()) << output_;

  EXPECT_EQ(Run({"-Capture=" + work_.path().string(), out}), 1);
  EXPECT_NE(output_.find("is a folder"), std::string::npos) << output_;

  const fs::path setup = Setup("quiet", "");
  ASSERT_FALSE(setup.empty());
  // An output folder that is a file, one below a file, and one that exists but takes no file.
  const fs::path plain = work_.WriteFile("plainfile", "x");
  EXPECT_EQ(Run({"-Capture=" + setup.string(), "-Path=" + plain.string()}), 1);
  EXPECT_NE(output_.find("cannot be created"), std::string::npos) << output_;
  EXPECT_EQ(Run({"-Capture=" + setup.string(), "-Path=" + (plain / "out").string()}), 1);
  EXPECT_NE(output_.find("cannot be created"), std::string::npos) << output_;
  EXPECT_EQ(Run({"-Capture=" + setup.string(), "-Path=/proc"}), 1);
  EXPECT_NE(output_.find("/proc cannot be written"), std::string::npos) << output_;
  EXPECT_FALSE(SaysCapturing()) << output_;

  // Nothing is pending to resume.
  EXPECT_EQ(Run({"-Resume"}), 1);
  EXPECT_NE(output_.find("no capture is pending"), std::string::npos) << output_;

  // Command lines the mode does not take: usage, status 2.
  EXPECT_EQ(Run({"-Capture="}), 2);
  EXPECT_NE(output_.find("usage"), std::string::npos) << output_;
  EXPECT_EQ(Run({"-Capture=" + setup.string(), "-Bogus"}), 2);
  EXPECT_NE(output_.find("unknown argument"), std::string::npos) << output_;
  EXPECT_EQ(Run({"-Capture=" + setup.string(), "-Timeout=soon"}), 2);
  EXPECT_FALSE(Pending());
  EXPECT_FALSE(fs::exists(work_.path() / "out" / "Packages"));
}

TEST_F(CaptureBadInputTest, FailingSetupBuildsNothingAndLeavesTheCapturePending) {
  const fs::path setup = Setup("fails", "SetErrorLevel 3\nQuit");
  ASSERT_FALSE(setup.empty());
  const fs::path out = work_.path() / "out";
  EXPECT_EQ(Run({"-Capture=" + setup.string(), "-Path=" + out.string(), "-File=never.msi"}), 1);
  EXPECT_NE(output_.find("failed with exit code 3"), std::string::npos) << output_;
  EXPECT_NE(output_.find("-Resume"), std::string::npos) << output_;
  EXPECT_FALSE(fs::exists(out / "never.msi"));
  EXPECT_TRUE(Pending());
  EXPECT_NE(ReadHostFile(program_ / "ErrorLog.txt").find("failed with exit code 3"), std::string::npos);

  // A new capture discards the pending one. Its setup writes nothing, and nothing of Wine's own
  // activity around a setup's run may count as a change: nothing to package, status 3.
  const fs::path quiet = Setup("quiet", "");
  ASSERT_FALSE(quiet.empty());
  ASSERT_EQ(Run({"-Capture=" + quiet.string(), "-Path=" + out.string()}), 3) << output_;
  EXPECT_NE(output_.find("the capture that was pending is discarded"), std::string::npos) << output_;
  EXPECT_NE(output_.find("changed nothing that the include rules cover"), std::string::npos) << output_;
  EXPECT_FALSE(fs::exists(out / "quiet.msi")) << output_;
  EXPECT_FALSE(fs::exists(out / "Packages" / "quiet_1.0.xml")) << output_;
  EXPECT_FALSE(Pending());
  EXPECT_EQ(Run({"-Resume"}), 1);
}

TEST_F(CaptureBadInputTest, SetupThatNeverEndsIsStoppedAfterTheTimeout) {
  const fs::path setup = Setup("forever", "Sleep 600000");
  ASSERT_FALSE(setup.empty());
  const fs::path out = work_.path() / "out";
  EXPECT_EQ(Run({"-Capture=" + setup.string(), "-Path=" + out.string(), "-Timeout=3"}), 1);
  EXPECT_NE(output_.find("did not end within 3 seconds"), std::string::npos) << output_;
  EXPECT_FALSE(fs::exists(out / "forever.msi"));
  // The setup was ended with everything else of the machine: nothing of it runs any more.
  std::string output;
  EXPECT_EQ(RunHostCommand({"pgrep", "-f", "forever.exe"}, {"PATH=/usr/bin:/bin"}, &output), 1) << output;
}

}  // namespace
