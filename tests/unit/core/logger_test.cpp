#include "core/logger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/fixture_prefix.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const char* kVersionLine = "Recipe File Version = '1.1' Corvane Repackager Version = '1.2'";

std::vector<std::string> Lines(const fs::path& file) {
  std::vector<std::string> lines;
  std::istringstream in(ReadHostFile(file));
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// Each test writes its own configuration beside the test program; the fixture prefix holds the
// log files under C:\.
class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { prefix_.Activate(); }
  void Configure(const std::string& logLevelLine) {
    prefix_.WriteBesideProgram("CorvaneRepackager.ini",
                               "[LogFileDetails]\r\n" + logLevelLine +
                                   "\r\nDebugLogFileName=C:\\Debug.txt\r\nErrorLogFileName=c:\\ERROR.txt\r\n");
  }
  fs::path DebugLog() const { return prefix_.driveC() / "Debug.txt"; }
  fs::path ErrorLog() const { return prefix_.driveC() / "ERROR.txt"; }
  FixturePrefix prefix_;
};

TEST_F(LoggerTest, LevelThreeSendsEachMessageToOneFile) {
  Configure("LogLevel=3");
  CLogger* logger = CLogger::GetInstance();
  ASSERT_TRUE(logger->initialised());
  EXPECT_EQ(1, logger->Write(1, "Entering in CTest::Op"));
  EXPECT_EQ(1, logger->Write(2, "CTest::Op open failed"));
  EXPECT_EQ(1, logger->WriteText(1, L"wide caf\u00e9"));
  EXPECT_EQ(1, logger->Write(7, "no file for this level"));
  EXPECT_EQ(0, logger->Write(1, static_cast<const char*>(nullptr)));
  EXPECT_EQ(0, logger->WriteText(1, static_cast<const wchar_t*>(nullptr)));
  CLogger::ReleaseInstance(logger);

  const std::regex stamped(R"(\d{2}-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\d{4} \d{2}:\d{2}:\d{2} (.*))");
  auto debug = Lines(DebugLog());
  ASSERT_EQ(3u, debug.size());
  EXPECT_EQ(kVersionLine, debug[0]);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(debug[1], match, stamped)) << debug[1];
  EXPECT_EQ("Entering in CTest::Op", match[2]);
  ASSERT_TRUE(std::regex_match(debug[2], match, stamped)) << debug[2];
  EXPECT_EQ("wide caf\xC3\xA9", match[2]);
  auto errors = Lines(ErrorLog());
  ASSERT_EQ(2u, errors.size());
  EXPECT_EQ(kVersionLine, errors[0]);
  ASSERT_TRUE(std::regex_match(errors[1], match, stamped)) << errors[1];
  EXPECT_EQ("CTest::Op open failed", match[2]);
}

TEST_F(LoggerTest, DefaultLevelLogsOnlyFailures) {
  Configure("; no LogLevel key");
  CLogger* logger = CLogger::GetInstance();
  EXPECT_EQ(2, logger->level());
  {
    CTraceScope trace(logger, "CTest::Scoped");
    logger->Write(2, "CTest::Scoped failed\n");
  }
  CLogger::ReleaseInstance(logger);
  EXPECT_FALSE(fs::exists(DebugLog()));
  auto errors = Lines(ErrorLog());
  // A message ending in a line break leaves an empty line after it.
  ASSERT_EQ(3u, errors.size());
  EXPECT_NE(std::string::npos, errors[1].find(" CTest::Scoped failed"));
  EXPECT_EQ("", errors[2]);
}

TEST_F(LoggerTest, LevelOneTracesScopes) {
  Configure("LogLevel=1");
  CLogger* logger = CLogger::GetInstance();
  {
    CTraceScope trace(logger, "CTest::Scoped");
    logger->Write(2, "not in any file");
  }
  CLogger::ReleaseInstance(logger);
  EXPECT_FALSE(fs::exists(ErrorLog()));
  auto debug = Lines(DebugLog());
  ASSERT_EQ(3u, debug.size());
  EXPECT_TRUE(debug[1].ends_with(" Entering in CTest::Scoped")) << debug[1];
  EXPECT_TRUE(debug[2].ends_with(" Exiting from CTest::Scoped")) << debug[2];
}

TEST_F(LoggerTest, OtherLevelsOpenNoFileAndTruncateNothing) {
  for (const char* level : {"LogLevel=0", "LogLevel=4", "LogLevel=-1"}) {
    prefix_.WriteDriveCFile("Debug.txt", "old debug\n");
    prefix_.WriteDriveCFile("ERROR.txt", "old error\n");
    Configure(level);
    CLogger* logger = CLogger::GetInstance();
    EXPECT_EQ(1, logger->Write(1, "dropped"));
    EXPECT_EQ(1, logger->Write(2, "dropped"));
    CLogger::ReleaseInstance(logger);
    EXPECT_EQ("old debug\n", ReadHostFile(DebugLog())) << level;
    EXPECT_EQ("old error\n", ReadHostFile(ErrorLog())) << level;
  }
}

TEST_F(LoggerTest, ReferencesKeepOneLoggerUntilTheLastRelease) {
  Configure("LogLevel=2");
  CLogger* first = CLogger::GetInstance();
  CLogger* second = CLogger::GetInstance();
  EXPECT_EQ(first, second);
  CLogger::ReleaseInstance(second);
  first->Write(2, "still open");
  CLogger::ReleaseInstance(first);
  EXPECT_EQ(2u, Lines(ErrorLog()).size());
  // A fresh logger empties the log again.
  CLogger* fresh = CLogger::GetInstance();
  CLogger::ReleaseInstance(fresh);
  EXPECT_EQ(std::vector<std::string>{kVersionLine}, Lines(ErrorLog()));
}

TEST_F(LoggerTest, RelativeLogNamesLieInTheProgramFolder) {
  prefix_.WriteBesideProgram("corvane-logger-test-error.txt", "");  // removed again afterwards
  prefix_.WriteBesideProgram("CorvaneRepackager.ini",
                             "[LogFileDetails]\nLogLevel=2\nErrorLogFileName=corvane-logger-test-error.txt\n");
  CLogger* logger = CLogger::GetInstance();
  std::string config = logger->GetConfigPath();
  logger->Write(2, "beside the program");
  CLogger::ReleaseInstance(logger);
  EXPECT_EQ("Z:\\", config.substr(0, 3));
  EXPECT_EQ("\\CorvaneRepackager.ini", config.substr(config.size() - 22));
  auto lines = Lines(FixturePrefix::ProgramFolderOnHost() / "corvane-logger-test-error.txt");
  ASSERT_EQ(2u, lines.size());
  EXPECT_NE(std::string::npos, lines[1].find("beside the program"));
}

TEST_F(LoggerTest, MissingConfigurationSilencesLogging) {
  prefix_.WriteBesideProgram("corvane-logger-test.lock", "");  // takes the program folder
  fs::remove(FixturePrefix::ProgramFolderOnHost() / "CorvaneRepackager.ini");
  testing::internal::CaptureStdout();
  CLogger* logger = CLogger::GetInstance();
  std::fflush(stdout);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ("Configuration File Not Found \n", printed);
  EXPECT_FALSE(logger->initialised());
  EXPECT_EQ(0, logger->level());
  EXPECT_EQ(1, logger->Write(2, "nowhere"));
  CLogger::ReleaseInstance(logger);
  EXPECT_FALSE(fs::exists(DebugLog()));
  EXPECT_FALSE(fs::exists(ErrorLog()));
}

TEST_F(LoggerTest, ADebugLogThatCannotBeMadeStopsInitialisation) {
  prefix_.WriteBesideProgram("CorvaneRepackager.ini",
                             "[LogFileDetails]\nLogLevel=3\nDebugLogFileName=C:\\no-folder\\d.txt\n"
                             "ErrorLogFileName=C:\\ERROR.txt\n");
  CLogger* logger = CLogger::GetInstance();
  EXPECT_FALSE(logger->initialised());
  CLogger::ReleaseInstance(logger);
  EXPECT_FALSE(fs::exists(ErrorLog()));
}

}  // namespace
