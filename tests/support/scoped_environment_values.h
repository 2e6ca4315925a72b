#pragma once
#include "core/work_paths.h"

// Gives the process-wide environment values the folders of a fresh Wine prefix (user root) for
// the object's life, and restores the previous values afterwards.
class ScopedEnvironmentValues {
 public:
  ScopedEnvironmentValues() : saved_(EnvironmentValues) {
    EnvironmentValues.programfiles = L"C:\\Program Files";
    EnvironmentValues.windir = L"C:\\windows";
    EnvironmentValues.appdata = L"C:\\users\\root\\AppData\\Roaming";
    EnvironmentValues.temp = L"C:\\users\\root\\Temp";
    EnvironmentValues.userprofile = L"C:\\users\\root";
    EnvironmentValues.allusersprofile = L"C:\\ProgramData";
    EnvironmentValues.systemdrive = L"C:";
  }
  ~ScopedEnvironmentValues() { EnvironmentValues = saved_; }
  ScopedEnvironmentValues(const ScopedEnvironmentValues&) = delete;
  ScopedEnvironmentValues& operator=(const ScopedEnvironmentValues&) = delete;

 private:
  EnvironmentValueSet saved_;
};
