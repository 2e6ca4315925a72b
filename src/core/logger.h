#pragma once
#include <cstdio>
#include <string>

// The process-wide, reference-counted logger. "LogLevel" in section "LogFileDetails" of the
// configuration file beside the program chooses the files: 1 the debug log (level-1 messages),
// 2 the error log (level-2 messages), 3 both; anything else, none. Each message goes to exactly one
// file, timestamped, and the file is flushed after every message.
class CLogger {
 public:
  // The logger; the first call creates and initialises it. Every call adds one reference.
  static CLogger* GetInstance();
  // Removes one reference; the last one closes the files and destroys the logger.
  static void ReleaseInstance(CLogger* logger);

  // 0 if the text is absent, otherwise 1 (also when the message is filtered out).
  int Write(int level, const char* text);
  int Write(int level, const std::string& text) { return Write(level, text.c_str()); }
  // Converts wide text to narrow and writes it.
  int WriteText(int level, const wchar_t* text);
  int WriteText(int level, const std::wstring& text) { return WriteText(level, text.c_str()); }

  // The path of the configuration file, as the logger built it (narrow, Windows path).
  const char* GetConfigPath() const { return configPath_; }
  int level() const { return level_; }
  bool initialised() const { return initialised_; }

 private:
  CLogger() = default;
  ~CLogger();
  // The logger's contact with the machine (the configuration file beside the program, the log
  // files at Windows paths, the local time) is defined with the platform layer
  // (platform/logger_machine.cpp), so that nothing in core depends on the platform layer.
  int Initialize();
  static std::string TimeStamp();  // "07-Dec-2026 04:53:53", local time; empty when unknown

  std::FILE* debugLog_ = nullptr;
  std::FILE* errorLog_ = nullptr;
  int level_ = 0;
  char debugLogName_[256] = {};
  char errorLogName_[256] = {};
  char configPath_[256] = {};
  bool initialised_ = false;
};

// Writes "Entering in <where>" on construction and "Exiting from <where>" on destruction, at level 1.
class CTraceScope {
 public:
  CTraceScope(CLogger* logger, const char* where);
  ~CTraceScope();
  CTraceScope(const CTraceScope&) = delete;
  CTraceScope& operator=(const CTraceScope&) = delete;

 private:
  CLogger* logger_;
  const char* where_;
};
