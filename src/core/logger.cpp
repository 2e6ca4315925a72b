#include "core/logger.h"

#include <mutex>

#include "core/strings.h"

namespace {

std::mutex g_instanceMutex;
CLogger* g_instance = nullptr;
int g_references = 0;

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

int CLogger::Write(int level, const char* text) {
  if (text == nullptr) return 0;
  if (level_ != 3 && level_ != level) return 1;

  std::FILE* target = level == 1 ? debugLog_ : level == 2 ? errorLog_ : nullptr;
  if (target) {
    std::fprintf(target, "%s %s\n", TimeStamp().c_str(), text);
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
