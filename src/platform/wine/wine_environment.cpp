#include "platform/wine/wine_environment.h"

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

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

std::vector<std::string> CallerDisplayEnvironment() {
  auto value = [](const char* name) -> std::string {
    const char* text = std::getenv(name);
    return text ? std::string(text) : std::string();
  };
  std::vector<std::string> entries;
  const std::string display = value("DISPLAY");
  const std::string wayland = value("WAYLAND_DISPLAY");
  if (display.empty() && wayland.empty()) return entries;
  if (!display.empty()) {
    entries.push_back("DISPLAY=" + display);
    if (const std::string authority = value("XAUTHORITY"); !authority.empty()) {
      entries.push_back("XAUTHORITY=" + authority);
    }
  }
  if (!wayland.empty()) {
    entries.push_back("WAYLAND_DISPLAY=" + wayland);
    if (const std::string runtime = value("XDG_RUNTIME_DIR"); !runtime.empty()) {
      entries.push_back("XDG_RUNTIME_DIR=" + runtime);
    }
  }
  return entries;
}

std::vector<std::string> SetupRunEnvironment(const fs::path& prefix, const std::vector<std::string>& display) {
  std::vector<std::string> environment = WineRunEnvironment(prefix);
  for (std::string& entry : environment) {
    // Only the diagnostics meant for users: "nodrv_CreateWindow" tells a missing display apart.
    if (entry.rfind("WINEDEBUG=", 0) == 0) entry = "WINEDEBUG=-all,+winediag";
  }
  environment.insert(environment.end(), display.begin(), display.end());
  return environment;
}

std::string FindHostProgram(const char* name) {
  for (const char* folder : {"/usr/bin", "/bin", "/usr/local/bin"}) {
    std::string candidate = std::string(folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::string FindWineProgram(const char* name) {
  for (const char* folder : {"/usr/lib/wine", "/usr/bin", "/bin", "/usr/local/bin"}) {
    std::string candidate = std::string(folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

bool WaitForChild(pid_t pid, int seconds, int pollMilliseconds, const std::function<void()>& tick) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    if (tick) tick();
    usleep(static_cast<useconds_t>(pollMilliseconds) * 1000);
  }
}

}  // namespace platform::wine
