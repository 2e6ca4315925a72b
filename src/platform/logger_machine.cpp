#include <cstring>
#include <ctime>

#include "core/logger.h"
#include "core/strings.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/profile.h"

namespace {

constexpr const char* kVersionLine = "Recipe File Version = '1.1' Corvane Repackager Version = '1.2'\n";

void CopyText(char (&target)[256], const std::string& text) {
  std::strncpy(target, text.c_str(), sizeof(target) - 1);
  target[sizeof(target) - 1] = '\0';
}

// Opens a log for writing (truncating it) at a Windows path. A name without a drive is taken
// relative to the program folder, so the delivered configuration keeps the logs out of what a
// capture walks wherever the program is installed.
std::FILE* CreateLog(const char* windowsPath, const std::wstring& programFolder) {
  std::wstring path = Utf8ToWide(windowsPath);
  if (path.size() < 2 || path[1] != L':') path = programFolder + path;
  std::FILE* file = platform::OpenFileStream(path, "w");
  if (file) {
    std::fputs(kVersionLine, file);
    std::fflush(file);
  }
  return file;
}

}  // namespace

int CLogger::Initialize() {
  if (initialised_) return 1;
  std::wstring program = platform::Machine::ProgramFilePath();
  std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
  CopyText(configPath_, WideToUtf8(folder) + "CorvaneRepackager.ini");

  std::FILE* probe = platform::OpenFileStream(Utf8ToWide(configPath_), "r");
  if (!probe) {
    std::fputs("Configuration File Not Found \n", stdout);
    return 0;
  }
  std::fclose(probe);

  const std::wstring config = Utf8ToWide(configPath_);
  level_ = platform::GetProfileNumber(L"LogFileDetails", L"LogLevel", 2, config);
  CopyText(debugLogName_, WideToUtf8(platform::GetProfileText(L"LogFileDetails", L"DebugLogFileName",
                                                              L"c:\\DebugLog.txt", config)));
  CopyText(errorLogName_, WideToUtf8(platform::GetProfileText(L"LogFileDetails", L"ErrorLogFileName",
                                                              L"c:\\ErrorLog.txt", config)));

  if (level_ == 1 || level_ == 3) {
    debugLog_ = CreateLog(debugLogName_, folder);
    if (!debugLog_) return 0;
  }
  if (level_ == 2 || level_ == 3) {
    errorLog_ = CreateLog(errorLogName_, folder);
    if (!errorLog_) return 0;
  }
  initialised_ = true;
  return 1;
}

std::string CLogger::TimeStamp() {
  char stamp[32] = {};
  std::tm local{};
  if (platform::ToLocalTime(static_cast<int64_t>(std::time(nullptr)), local)) {
    std::strftime(stamp, sizeof(stamp), "%d-%b-%Y %H:%M:%S", &local);
  }
  return stamp;
}
