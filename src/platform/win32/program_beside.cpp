#include "platform/program_beside.h"

#include <windows.h>

#include <string>

#include "core/strings.h"
#include "platform/machine.h"

namespace platform {

int RunProgramBeside(const char* fileName, char** /*argv*/, std::string& error) {
  std::wstring program = Machine::ProgramFilePath();
  if (program.empty()) {
    error = "the program's own folder is unknown";
    return -1;
  }
  program.erase(program.find_last_of(L"\\/") + 1);
  program += Utf8ToWide(fileName) + L".exe";
  // The same command line: the wizard takes none, and argv[0] names the program as it was started.
  std::wstring commandLine = GetCommandLineW();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    error = WideToUtf8(program) + ": error " + std::to_string(GetLastError());
    return -1;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

}  // namespace platform
