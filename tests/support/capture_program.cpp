#include "support/capture_program.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

fs::path CopyProgram(const TempFolder& folder) {
  const fs::path program = folder.path() / "program";
  fs::create_directories(program);
  for (const auto& entry : fs::directory_iterator(CORVANE_PROGRAM_DIR)) {
    if (entry.is_regular_file()) fs::copy_file(entry.path(), program / entry.path().filename());
  }
  return program;
}

std::vector<std::string> ProgramEnvironment(const WinePrefixCopy& machine) {
  return {"PATH=/usr/bin:/bin", "HOME=" + machine.home().string(), "WINEPREFIX=" + machine.prefix().string(),
          "LANG=C.UTF-8"};
}

int RunProgram(const fs::path& program, const WinePrefixCopy& machine, const std::vector<std::string>& arguments,
               std::string* output, const std::vector<std::string>& extraEnvironment) {
  std::vector<std::string> command{(program / "CorvaneRepackager").string()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environment = ProgramEnvironment(machine);
  environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
  return RunHostCommand(command, environment, output);
}

bool CapturePending(const fs::path& program) {
  return ReadHostFile(program / "CorvaneRepackager.ini").find("IsSnapshotTaken=1") != std::string::npos;
}

fs::path BuildSample(const std::string& which, const fs::path& out) {
  std::string output;
  const fs::path script = fs::path(CORVANE_SOURCE_DIR) / "examples" / which / "build.sh";
  if (RunHostCommand({"bash", script.string(), out.string()}, {"PATH=/usr/bin:/bin"}, &output) != 0) {
    ADD_FAILURE() << "building examples/" << which << " failed: " << output;
    return {};
  }
  // The script prints the built file's path as its last line (the compiler's chatter comes first).
  return fs::path(LastLine(output));
}

std::string LastLine(const std::string& output) {
  const size_t end = output.find_last_not_of("\r\n");
  if (end == std::string::npos) return {};
  const size_t newline = output.find_last_of('\n', end);
  const size_t start = newline == std::string::npos ? 0 : newline + 1;
  return output.substr(start, end - start + 1);
}

bool BuildFixtureSetup(const std::string& script, const fs::path& setup) {
  fs::create_directories(setup.parent_path());
  std::string output;
  if (RunHostCommand({"makensis", "-V2", "-INPUTCHARSET", "UTF8", "-DOUTFILE=" + setup.string(),
                      (fs::path(CORVANE_FIXTURES_DIR) / script).string()},
                     {"PATH=/usr/bin:/bin"}, &output) != 0) {
    ADD_FAILURE() << "makensis " << script << " failed: " << output;
    return false;
  }
  return true;
}
