#include "platform/program_beside.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace platform {

int RunProgramBeside(const char* fileName, char** argv, std::string& error) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    error = "the program's own folder is unknown: " + ec.message();
    return -1;
  }
  const std::string program = (self.parent_path() / fileName).string();
  execv(program.c_str(), argv);
  error = program + ": " + std::strerror(errno);
  return -1;
}

}  // namespace platform
