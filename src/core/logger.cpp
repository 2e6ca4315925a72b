#include "core/logger.h"

#include <cstring>
#include <ctime>
#include <mutex>

#include "core/strings.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/profile.h"

namespace {

std::mutex g_instanceMutex;
CLogger* g_instance = nullptr;
int g_references = 0;

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

CLogger* CLogger::GetInstance() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (g_references == 0 || g_instance == nullptr) {
    g_instance = new CLogger();
    g_instance->Initialize();
  }
  ++g_references;
  return g_instance;
}

void CLogger::ReleaseInstance(CLogger* logger) {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (g_references <= 0) return;
  if (g_references == 1 && logger == g_instance) {
    delete g_instance;
    g_instance = nullptr;
  }
  --g_references;
}

CLogger::~CLogger() {
  // A half-done initialisation (debug log made, error log not) still leaves a file open: close
  // whatever is open, initialised or not.
  if (debugLog_) std::fclose(debugLog_);
  if (errorLog_) std::fclose(errorLog_);
}

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

int CLogger::Write(int level, const char* text) {
  if (text == nullptr) return 0;
  if (level_ != 3 && level_ != level) return 1;

  char stamp[32] = {};
  std::tm local{};
  if (platform::ToLocalTime(static_cast<int64_t>(std::time(nullptr)), local)) {
    std::strftime(stamp, sizeof(stamp), "%d-%b-%Y %H:%M:%S", &local);
  }
  std::FILE* target = level == 1 ? debugLog_ : level == 2 ? errorLog_ : nullptr;
  if (target) {
    std::fprintf(target, "%s %s\n", stamp, text);
    std::fflush(target);
  }
  return 1;
}

int CLogger::WriteText(int level, const wchar_t* text) {
  if (text == nullptr) return Write(level, static_cast<const char*>(nullptr));
  return Write(level, WideToUtf8(text));
}

CTraceScope::CTraceScope(CLogger* logger, const char* where) : logger_(logger), where_(where) {
  if (logger_) logger_->Write(1, std::string("Entering in ") + where_);
}

CTraceScope::~CTraceScope() {
  if (logger_) logger_->Write(1, std::string("Exiting from ") + where_);
}
