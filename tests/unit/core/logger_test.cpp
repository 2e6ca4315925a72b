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

// Each message goes to the one file its level chooses, stamped; other levels open no file and
// leave old logs as they are.
TEST_F(LoggerTest, LevelsChooseTheFiles) {
  const std::regex stamped(R"(\d{2}-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\d{4} \d{2}:\d{2}:\d{2} (.*))");
  const std::vector<std::string> kOld = {"old"};
  const std::vector<std::string> kDebug = {"Entering in CTest::Op", "wide caf\xC3\xA9", "Exiting from CTest::Op"};
  // A message ending in a line break leaves an empty line after it.
  const std::vector<std::string> kError = {"CTest::Op failed", ""};
  const struct {
    const char* config;
    int level;
    std::vector<std::string> debug, error;  // the messages after the version line, or the old text
  } cases[] = {
      {"LogLevel=3", 3, kDebug, kError},
      {"; no LogLevel key", 2, kOld, kError},
      {"LogLevel=1", 1, kDebug, kOld},
      {"LogLevel=0", 0, kOld, kOld},
      {"LogLevel=4", 4, kOld, kOld},
      {"LogLevel=-1", -1, kOld, kOld},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.config);
    prefix_.WriteDriveCFile("Debug.txt", "old\n");
    prefix_.WriteDriveCFile("ERROR.txt", "old\n");
    Configure(c.config);
    CLogger* logger = CLogger::GetInstance();
    EXPECT_EQ(c.level, logger->level());
    {
      CTraceScope trace(logger, "CTest::Op");
      EXPECT_EQ(1, logger->WriteText(1, L"wide caf\u00e9"));
      EXPECT_EQ(1, logger->Write(2, "CTest::Op failed\n"));
      EXPECT_EQ(1, logger->Write(7, "no file for this level"));
      EXPECT_EQ(0, logger->Write(1, static_cast<const char*>(nullptr)));
      EXPECT_EQ(0, logger->WriteText(2, static_cast<const wchar_t*>(nullptr)));
    }
    CLogger::ReleaseInstance(logger);
    for (const auto& [file, expected] : {std::pair{DebugLog(), c.debug}, std::pair{ErrorLog(), c.error}}) {
      std::vector<std::string> lines = Lines(file);
      if (expected != kOld) {
        ASSERT_FALSE(lines.empty()) << file;
        EXPECT_EQ(kVersionLine, lines[0]);
        lines.erase(lines.begin());
        for (std::string& line : lines) {
          std::smatch match;
          if (line.empty()) continue;
          EXPECT_TRUE(std::regex_match(line, match, stamped)) << line;
          line = match[2];
        }
      }
      EXPECT_EQ(expected, lines) << file;
    }
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
