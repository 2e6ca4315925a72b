#include "support/wine_prefix.h"

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/machine.h"

namespace fs = std::filesystem;

int RunHostCommand(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                   std::string* output) {
  if (arguments.empty()) return -1;
  // The program is looked up in the PATH of the given environment (execvpe would use ours, which
  // need not hold /usr/lib/wine, where Debian keeps wine64 and wineserver).
  std::string program = arguments[0];
  if (program.find('/') == std::string::npos) {
    for (const auto& e : environment) {
      if (e.rfind("PATH=", 0) != 0) continue;
      size_t start = 5;
      while (start <= e.size()) {
        size_t end = e.find(':', start);
        if (end == std::string::npos) end = e.size();
        const std::string candidate = e.substr(start, end - start) + "/" + arguments[0];
        if (end > start && access(candidate.c_str(), X_OK) == 0) {
          program = candidate;
          break;
        }
        start = end + 1;
      }
    }
  }
  int pipeFds[2] = {-1, -1};
  if (output && pipe(pipeFds) != 0) return -1;
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (output) {
      dup2(pipeFds[1], 1);
      dup2(pipeFds[1], 2);
      close(pipeFds[0]);
      close(pipeFds[1]);
    }
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    execvpe(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  if (output) {
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof(buffer))) > 0) output->append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

// The clean environment Wine runs with in a prefix (see WinePrefixCopy::WineEnvironment).
std::vector<std::string> WineEnvironmentOf(const fs::path& prefix, const fs::path& home, bool win32) {
  std::vector<std::string> environment = {
      "PATH=/usr/lib/wine:/usr/bin:/bin",
      "HOME=" + home.string(),
      "USER=" + std::string(std::getenv("USER") ? std::getenv("USER") : "root"),
      "WINEPREFIX=" + prefix.string(),
      "WINEDEBUG=-all",
      "WINEDLLOVERRIDES=winemenubuilder.exe=d;mscoree=d;mshtml=d",
      // Without a UTF-8 locale Wine cannot name host files outside ASCII (error 2/3 on create).
      "LANG=C.UTF-8",
  };
  if (win32) environment.push_back("WINEARCH=win32");
  return environment;
}

// Replaces the profile folders of `prefix` that are links to `home` by real, empty folders (all of
// them when `home` is empty), so that nothing a setup writes lands outside the prefix.
void MakeProfileFoldersReal(const fs::path& prefix, const fs::path& home) {
  std::vector<fs::path> links;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(prefix / "drive_c" / "users", ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_symlink(ec) && (home.empty() || fs::read_symlink(it->path(), ec) == home)) links.push_back(it->path());
  }
  for (const fs::path& link : links) {
    fs::remove(link, ec);
    fs::create_directory(link, ec);
  }
}

}  // namespace

WinePrefixCopy::WinePrefixCopy() : WinePrefixCopy(fs::path(CORVANE_PRISTINE_PREFIX).parent_path()) {}

WinePrefixCopy::WinePrefixCopy(const fs::path& pristine) {
  if (!fs::exists(pristine / "prefix" / "system.reg")) {
    error_ = "no pristine prefix in " + pristine.string() + " (run the make_test_prefix test first)";
    return;
  }
  prefix_ = folder_.path() / "prefix";
  home_ = folder_.path() / "home";
  fs::create_directories(home_);
  // cp -a keeps the drive links relative and the profile links as they are.
  if (RunHostCommand({"cp", "-a", (pristine / "prefix").string(), prefix_.string()}, {"PATH=/usr/bin:/bin"}) != 0) {
    error_ = "could not copy the pristine prefix";
    return;
  }
  // Prefixes of the project keep their profile folders inside (scripts/make-prefix.sh); one made
  // before that still links them to the HOME it was made with: give the copy real folders too.
  MakeProfileFoldersReal(prefix_, pristine / "home");
  win32_ = ReadHostFile(prefix_ / "system.reg").find("#arch=win32") != std::string::npos;
  if (const char* previous = std::getenv("WINEPREFIX")) {
    hadPreviousPrefix_ = true;
    previousPrefix_ = previous;
  }
  setenv("WINEPREFIX", prefix_.c_str(), 1);
  platform::Machine::Reset();
  ok_ = true;
}

WinePrefixCopy::~WinePrefixCopy() {
  if (ok_) {
    RunHostCommand({"wineserver", "-k"}, WineEnvironment());
    WaitForServer();
  }
  if (hadPreviousPrefix_) {
    setenv("WINEPREFIX", previousPrefix_.c_str(), 1);
  } else {
    unsetenv("WINEPREFIX");
  }
  platform::Machine::Reset();
}

std::vector<std::string> WinePrefixCopy::WineEnvironment() const { return WineEnvironmentOf(prefix_, home_, win32_); }

int WinePrefixCopy::Run(const std::vector<std::string>& arguments, std::string* output, bool privateDisplay) const {
  std::vector<std::string> command;
  if (privateDisplay) command = {"xvfb-run", "-a", "-s", "-screen 0 1024x768x24"};
  command.push_back(win32_ ? "wine" : "wine64");
  command.insert(command.end(), arguments.begin(), arguments.end());
  int status = RunHostCommand(command, WineEnvironment(), output);
  WaitForServer();
  return status;
}

bool MakeWin32Machine(const fs::path& folder, std::string& error) {
  const fs::path prefix = folder / "prefix";
  const fs::path home = folder / "home";
  fs::create_directories(home);
  const std::vector<std::string> environment = WineEnvironmentOf(prefix, home, true);
  std::string output;
  const std::vector<std::string> commands[] = {{"wine", "wineboot", "-i"}, {"wine", "cmd", "/c", "exit"}};
  for (const std::vector<std::string>& command : commands) {
    const int status = RunHostCommand(command, environment, &output);
    RunHostCommand({"wineserver", "-w"}, environment);
    if (status != 0) {
      error = "cannot make a 32-bit machine: " + output;
      return false;
    }
  }
  if (!fs::exists(prefix / "system.reg")) {
    error = "cannot make a 32-bit machine: no system.reg after wineboot";
    return false;
  }
  MakeProfileFoldersReal(prefix, {});
  return true;
}

void WinePrefixCopy::WaitForServer() const {
  RunHostCommand({"wineserver", "-w"}, WineEnvironment());
}

int WinePrefixCopy::LiveProcesses() const {
  const std::string marker = "WINEPREFIX=" + prefix_.string();
  int count = 0;
  DIR* proc = opendir("/proc");
  if (!proc) return -1;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string environ = ReadHostFile(fs::path("/proc") / entry->d_name / "environ");
    size_t at = 0;
    while (at < environ.size()) {
      size_t end = environ.find('\0', at);
      if (end == std::string::npos) end = environ.size();
      if (environ.compare(at, end - at, marker) == 0) {
        ++count;
        break;
      }
      at = end + 1;
    }
  }
  closedir(proc);
  return count;
}
