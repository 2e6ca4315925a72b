#include "platform/wine/wine_environment.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace platform::wine {
namespace {

std::string UserName() {
  if (const char* user = std::getenv("USER"); user && *user) return user;
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof(buffer), &found) == 0 && found) return found->pw_name;
  return "root";
}

// The folder the prefix's profile links point to (Wine made them from the HOME it was created
// with), else ours.
std::string WineHome(const fs::path& prefix, const std::string& user) {
  std::error_code ec;
  const fs::path desktop = prefix / "drive_c" / "users" / user / "Desktop";
  if (fs::is_symlink(desktop, ec)) {
    fs::path target = fs::read_symlink(desktop, ec);
    if (!ec && !target.empty()) {
      if (target.is_relative()) target = (desktop.parent_path() / target).lexically_normal();
      return target.string();
    }
  }
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  return "/";
}

}  // namespace

std::vector<std::string> WineRunEnvironment(const fs::path& prefix) {
  const std::string user = UserName();
  return {
      "PATH=/usr/lib/wine:/usr/bin:/bin",
      "HOME=" + WineHome(prefix, user),
      "USER=" + user,
      "LANG=C.UTF-8",
      "WINEPREFIX=" + prefix.string(),
      "WINEDEBUG=-all",
      "WINEDLLOVERRIDES=winemenubuilder.exe=d;mscoree=d;mshtml=d",
  };
}

std::string FindWineProgram(const char* name) {
  for (const char* folder : {"/usr/lib/wine", "/usr/bin", "/bin", "/usr/local/bin"}) {
    std::string candidate = std::string(folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

}  // namespace platform::wine
