// An INI file before and after a setup ran (split at a "--8<--" line), compared as a capture
// compares them. (Writes are left out: each one syncs the file to disk, which would cost most of
// the executions.)
#include <cstddef>
#include <cstdint>

#include "core/work_context.h"
#include "fuzz_machine.h"
#include "platform/profile.h"
#include "snapshot/ini_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FuzzMachine& machine = FuzzMachine::Get();
  std::string_view before;
  std::string_view after;
  SplitInput(data, size, before, after);
  const std::wstring backup = machine.WriteFile("backup.ini", before);
  const std::wstring current = machine.WriteFile("current.ini", after);
  CWorkContext context;
  CINIHandler handler(context);
  handler.CompareINIFile(backup, current);
  handler.Reset();
  (void)platform::GetProfileText(L"Section", L"Key", L"", current);
  (void)platform::GetProfileNumber(L"Section", L"Number", 0, current);
  return 0;
}
