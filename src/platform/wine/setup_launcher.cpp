#include "platform/setup_launcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "core/logger.h"
#include "core/strings.h"
#include "platform/machine.h"
#include "platform/wine/file_descriptor.h"
#include "platform/wine/virtual_display.h"
#include "platform/wine/windows_arguments.h"
#include "platform/wine/wine_environment.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace platform {
namespace {

// How long a server that runs before the launch may take to end by itself before it is ended.
constexpr int kIdleWaitSeconds = 10;
// How long the processes may take to go after `wineserver -k` before we stop waiting for them.
constexpr int kKillGraceSeconds = 20;
// How often the running processes are looked at for Windows Installer command lines. An
// installer process lives for a second or more; this keeps the cost of reading /proc low.
constexpr int kScanMilliseconds = 25;
// How often, once the setup has ended, the processes of the prefix are looked at for leftovers.
constexpr int kLookMilliseconds = 100;
// How long the server may take to end by itself once only Wine's own processes are left (it
// lingers about two seconds).
constexpr int kServerEndSeconds = 20;
// The program the shell's open verb runs for an .msi.
constexpr const char* kMsiexecPath = "C:\\windows\\system32\\msiexec.exe";

// What the helper process reports through its pipe. Each record is written with one write() of
// less than PIPE_BUF bytes, so records never interleave.
enum RecordKind : int32_t { kLauncherStarted = 1, kProcessExited = 2, kExecFailed = 3, kHelperFailed = 4 };
struct Record {
  int32_t kind;
  int32_t pid;
  int32_t code;  // exit code (0-255) of an exited process, -1 when killed by a signal; errno on failures
  char comm[20];
};

void LogError(const std::string& text) {
  CLogger* logger = CLogger::GetInstance();
  logger->Write(2, "platform::RunSetupAndWait " + text);
  CLogger::ReleaseInstance(logger);
}

void LogTrace(const std::string& text) {
  CLogger* logger = CLogger::GetInstance();
  logger->Write(1, "platform::RunSetupAndWait " + text);
  CLogger::ReleaseInstance(logger);
}

// ---- Code that runs in forked children: async-signal-safe calls only, no allocation. ----

void WriteRecord(int fd, int32_t kind, int32_t pid, int32_t code, const char* comm) {
  Record r;
  std::memset(&r, 0, sizeof(r));
  r.kind = kind;
  r.pid = pid;
  r.code = code;
  if (comm) {
    for (size_t i = 0; i + 1 < sizeof(r.comm) && comm[i]; ++i) r.comm[i] = comm[i];
  }
  ssize_t ignored = write(fd, &r, sizeof(r));
  (void)ignored;
}

// Reads /proc/<pid>/comm into `comm` (without the newline).
void ReadCommOf(pid_t pid, char* comm, size_t size) {
  char path[40] = "/proc/";
  char digits[16];
  size_t n = 0;
  unsigned long value = static_cast<unsigned long>(pid);
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value && n < sizeof(digits));
  size_t at = 6;
  while (n) path[at++] = digits[--n];
  const char tail[] = "/comm";
  for (size_t i = 0; i < sizeof(tail); ++i) path[at++] = tail[i];
  comm[0] = 0;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ssize_t got = read(fd, comm, size - 1);
  close(fd);
  if (got < 0) got = 0;
  comm[got] = 0;
  for (ssize_t i = 0; i < got; ++i) {
    if (comm[i] == '\n') comm[i] = 0;
  }
}

// Prepares a child for exec: standard input from `input`, standard output and error to `output`
// (each when given), every other inherited descriptor closed on exec, default signal handling.
void PrepareExecChild(int input, int output) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &action, nullptr);
  sigaction(SIGCHLD, &action, nullptr);
  if (input >= 0) dup2(input, 0);
  if (output >= 0) {
    dup2(output, 1);
    dup2(output, 2);
  }
  close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
}

// The helper process: it becomes the subreaper of everything the launcher starts (Wine
// double-forks every process, so they are all re-parented to it), reports each process as it ends
// (its name is read while it is a zombie, before it is reaped) and ends itself when no descendant
// is left, which is after the prefix's server has gone.
[[noreturn]] void HelperMain(const char* program, char* const* argv, char* const* envp, int input, int output,
                             int reportFd) {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = SIG_DFL;
  sigaction(SIGCHLD, &action, nullptr);
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
  // The caller blocks in RunSetupAndWait until we end; should it die, so do we.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
    WriteRecord(reportFd, kHelperFailed, 0, errno, nullptr);
    _exit(1);
  }
  const pid_t launcher = _Fork();
  if (launcher < 0) {
    WriteRecord(reportFd, kHelperFailed, 0, errno, nullptr);
    _exit(1);
  }
  if (launcher == 0) {
    prctl(PR_SET_PDEATHSIG, 0);
    PrepareExecChild(input, output);
    execve(program, argv, envp);
    WriteRecord(reportFd, kExecFailed, 0, errno, nullptr);
    _exit(127);
  }
  WriteRecord(reportFd, kLauncherStarted, launcher, 0, nullptr);
  for (;;) {
    siginfo_t info;
    std::memset(&info, 0, sizeof(info));
    if (waitid(P_ALL, 0, &info, WEXITED | WNOWAIT) != 0) {
      if (errno == EINTR) continue;
      break;  // ECHILD: every descendant has ended
    }
    char comm[20];
    ReadCommOf(info.si_pid, comm, sizeof(comm));
    const int32_t code = info.si_code == CLD_EXITED ? (info.si_status & 0xFF) : -1;
    WriteRecord(reportFd, kProcessExited, info.si_pid, code, comm);
    int status = 0;
    while (waitpid(info.si_pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  _exit(0);
}

// ---- Code of the calling process. ----

// A host program with its arguments and environment, laid out before fork so the child only
// needs to call execve.
struct HostCommand {
  std::string program;
  std::vector<std::string> arguments;  // without argv[0]
  std::vector<std::string> environment;
  std::vector<char*> argv;
  std::vector<char*> envp;

  void Freeze() {
    argv.clear();
    envp.clear();
    argv.push_back(program.data());
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
  }
};

std::vector<std::string> WineEnvironment(const fs::path& prefix) { return wine::WineRunEnvironment(prefix); }

// Starts a host command with its output discarded; returns its pid or -1.
pid_t SpawnQuiet(HostCommand& command, int devNull) {
  command.Freeze();
  const pid_t pid = fork();
  if (pid == 0) {
    PrepareExecChild(devNull, devNull);
    execve(command.program.c_str(), command.argv.data(), command.envp.data());
    _exit(127);
  }
  return pid;
}

// Waits for a child up to `seconds`, redrawing the caller's progress meanwhile; true when it ended.
bool WaitChild(pid_t pid, int seconds, const LaunchOptions& options) {
  return wine::WaitForChild(pid, seconds, std::max(10, std::min(options.tickMilliseconds, 200)), options.onTick);
}

// Runs `wineserver <flag>` for the prefix and waits for it up to `seconds`; true when it ended.
bool RunWineServer(const std::string& wineserver, const std::vector<std::string>& environment, const char* flag,
                   int seconds, int devNull, const LaunchOptions& options) {
  HostCommand command{wineserver, {flag}, environment, {}, {}};
  const pid_t pid = SpawnQuiet(command, devNull);
  if (pid < 0) return false;
  if (WaitChild(pid, seconds, options)) return true;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return false;
}

bool IsInstallerName(const char* comm) {
  const std::string name = FoldAsciiLower(std::string(comm));
  return name == "msiexec" || name == "msiexec.exe";
}

std::string ReadSmallFile(const std::string& path) {
  std::string text;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof(buffer))) > 0 && text.size() < 65536) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

bool IsPackagePath(const std::wstring& path) {
  return path.size() >= 4 && FoldAsciiLower(path.substr(path.size() - 4)) == L".msi";
}

// Wine's word for a window that could not be made because no display driver could be loaded.
bool OutputSaysNoDisplay(int fd) {
  std::string text;
  char buffer[65536];
  off_t at = 0;
  ssize_t n;
  while ((n = pread(fd, buffer, sizeof(buffer), at)) > 0 && text.size() < (16u << 20)) {
    text.append(buffer, static_cast<size_t>(n));
    at += n;
  }
  return text.find("nodrv_CreateWindow") != std::string::npos;
}

// The last lines Wine wrote, on one line, for the log.
std::string TailOfOutput(int fd) {
  constexpr off_t kTail = 600;
  struct stat info;
  if (fstat(fd, &info) != 0 || info.st_size <= 0) return "(Wine said nothing)";
  const off_t from = std::max<off_t>(0, info.st_size - kTail);
  std::string text(static_cast<size_t>(info.st_size - from), '\0');
  const ssize_t n = pread(fd, text.data(), text.size(), from);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = '|';
  }
  return "\"" + text + "\"";
}

// The name (as /proc/<pid>/comm shows it, folded to lower case) of the process that runs a setup:
// Wine names a process after its program, cut to 15 bytes. An .msi runs in msiexec. Empty for
// other kinds (a batch file runs in cmd, whose name does not tell the setup's own process apart).
std::string SetupProcessName(const fs::path& setup) {
  const std::string name = FoldAsciiLower(setup.filename().string());
  if (IsPackagePath(Utf8ToWide(name))) return "msiexec.exe";
  if (name.size() < 4 || name.compare(name.size() - 4, 4, ".exe") != 0) return {};
  return name.substr(0, 15);
}

// What /proc/<pid>/stat says of a process: "pid (comm) state ppid ...". The name may hold blanks
// and parentheses, so the fields are read after the last ')'. False for a text of another form.
struct ProcessStat {
  std::string comm;
  char state = 0;
  pid_t parent = 0;
};
bool ParseProcessStat(const std::string& stat, ProcessStat& out) {
  const size_t open = stat.find('(');
  const size_t close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open || close + 4 > stat.size()) {
    return false;
  }
  out.comm = stat.substr(open + 1, close - open - 1);
  out.state = stat[close + 2];
  out.parent = static_cast<pid_t>(std::strtol(stat.c_str() + close + 4, nullptr, 10));
  return true;
}

pid_t ParentOf(pid_t pid) {
  ProcessStat stat;
  return ParseProcessStat(ReadSmallFile("/proc/" + std::to_string(pid) + "/stat"), stat) ? stat.parent : 0;
}

bool IsDescendantOf(pid_t pid, pid_t ancestor) {
  for (int depth = 0; depth < 64 && pid > 1; ++depth) {
    pid = ParentOf(pid);
    if (pid == ancestor) return true;
  }
  return false;
}

// The Windows command line of a live Wine process: after start-up Wine rewrites the process's
// argument area to the Windows arguments, NUL-separated and NUL-padded.
std::wstring CommandLineOf(pid_t pid) {
  const std::string raw = ReadSmallFile("/proc/" + std::to_string(pid) + "/cmdline");
  std::wstring line;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    if (end > start) {
      std::wstring argument = Utf8ToWide(raw.substr(start, end - start));
      if (!line.empty()) line += L' ';
      if (argument.find(L' ') != std::wstring::npos) argument = L"\"" + argument + L"\"";
      line += argument;
    }
    start = end + 1;
  }
  return line;
}

// A process below the helper that is still alive.
struct LiveProcess {
  pid_t pid = 0;
  std::wstring name;  // the Windows program's file name (or the host program's, for the server)
  bool installer = false;
  bool system = false;
};

// The Windows program a Wine process runs: its (rewritten) argv[0], or argv[1] of the loader while
// the process still starts; the host program for others (the server). Falls back to `comm`.
std::wstring ProgramNameOf(pid_t pid, const std::string& comm) {
  const std::string raw = ReadSmallFile("/proc/" + std::to_string(pid) + "/cmdline");
  std::vector<std::string> argv;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    if (end > start) argv.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  auto baseName = [](const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
  };
  if (argv.empty()) return Utf8ToWide(comm);
  std::string program = argv[0];
  const std::string loader = baseName(program);
  if ((loader == "wine" || loader == "wine64" || loader == "wine-preloader" || loader == "wine64-preloader") &&
      argv.size() > 1) {
    program = argv[1];
  }
  return Utf8ToWide(baseName(program));
}

// Wine's own processes, which every server start runs and which end with the server: they are
// not programs a setup left running.
bool IsSystemProcess(const std::wstring& name, pid_t pid) {
  const std::wstring lower = FoldAsciiLower(name);
  static const wchar_t* const kSystem[] = {L"services.exe", L"winedevice.exe", L"plugplay.exe", L"svchost.exe",
                                           L"rpcss.exe",    L"conhost.exe",    L"wineboot.exe", L"winemenubuilder.exe",
                                           L"winemenubuilder"};
  for (const wchar_t* system : kSystem) {
    if (lower == system) return true;
  }
  // The server itself (Debian names it wineserver64 or wineserver32).
  if (lower.rfind(L"wineserver", 0) == 0) return true;
  // The desktop window's process, not a folder window the setup opened.
  if (lower == L"explorer.exe") return FoldAsciiLower(CommandLineOf(pid)).find(L"/desktop") != std::wstring::npos;
  return false;
}

// The live (not zombie) processes below the helper.
std::vector<LiveProcess> LiveDescendants(pid_t helper) {
  std::vector<std::pair<pid_t, ProcessStat>> entries;
  DIR* proc = opendir("/proc");
  if (!proc) return {};
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || !end || *end) continue;
    ProcessStat stat;
    if (ParseProcessStat(ReadSmallFile(std::string("/proc/") + entry->d_name + "/stat"), stat)) {
      entries.emplace_back(static_cast<pid_t>(pid), std::move(stat));
    }
  }
  closedir(proc);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  auto parentOf = [&entries](pid_t pid) -> pid_t {
    auto found = std::lower_bound(entries.begin(), entries.end(), pid,
                                  [](const auto& e, pid_t value) { return e.first < value; });
    return found != entries.end() && found->first == pid ? found->second.parent : 0;
  };
  std::vector<LiveProcess> live;
  for (const auto& [pid, e] : entries) {
    if (e.state == 'Z' || e.state == 'X') continue;
    bool below = false;
    pid_t up = e.parent;
    for (int depth = 0; depth < 64 && up > 1; ++depth) {
      if (up == helper) {
        below = true;
        break;
      }
      up = parentOf(up);
    }
    if (!below) continue;
    LiveProcess process;
    process.pid = pid;
    process.name = ProgramNameOf(pid, e.comm);
    process.installer = IsInstallerName(e.comm.c_str()) || IsInstallerName(WideToUtf8(process.name).c_str());
    process.system = IsSystemProcess(process.name, pid);
    live.push_back(std::move(process));
  }
  return live;
}

class InstallerWatch {
 public:
  explicit InstallerWatch(pid_t helper) : helper_(helper) {}

  // Looks at the live processes: a Windows Installer process below the helper gets its command
  // line recorded while it can still be read.
  void Scan() {
    DIR* proc = opendir("/proc");
    if (!proc) return;
    while (dirent* entry = readdir(proc)) {
      char* end = nullptr;
      const long pid = std::strtol(entry->d_name, &end, 10);
      if (pid <= 0 || !end || *end) continue;
      std::string comm = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm");
      while (!comm.empty() && comm.back() == '\n') comm.pop_back();
      if (!IsInstallerName(comm.c_str())) continue;
      InstallerProcess* known = Find(pid);
      if (known && !known->commandLine.empty()) continue;
      if (!known && !IsDescendantOf(static_cast<pid_t>(pid), helper_)) continue;
      const std::wstring line = CommandLineOf(static_cast<pid_t>(pid));
      if (!known) known = Add(pid);
      if (!line.empty()) known->commandLine = line;
    }
    closedir(proc);
  }

  // A process below the helper has ended.
  void Exited(pid_t pid, const char* comm) {
    if (IsInstallerName(comm) && !Find(pid)) Add(pid);
  }

  std::vector<InstallerProcess> Take() { return std::move(seen_); }

 private:
  InstallerProcess* Find(long pid) {
    for (InstallerProcess& p : seen_) {
      if (p.processId == pid) return &p;
    }
    return nullptr;
  }
  InstallerProcess* Add(long pid) {
    seen_.push_back({pid, {}});
    return &seen_.back();
  }

  pid_t helper_;
  std::vector<InstallerProcess> seen_;
};

using wine::FileDescriptor;

// What one start of the setup under Wine came to.
struct Attempt {
  int exitCode = -1;
  bool execFailed = false;
  bool cancelled = false;
  bool timedOut = false;
  // A process of the setup's own program (as `SetupProcessName` gives it) ran.
  bool setupSeen = false;
  std::vector<LeftoverProcess> leftovers;
  std::vector<InstallerProcess> installers;
};

// Starts `launch` below a helper process and waits for it and everything it starts.
Attempt RunAttempt(HostCommand& launch, const std::string& setupName, const std::string& wineserver,
                   const std::vector<std::string>& environment, int devNull, int outputFd,
                   const LaunchOptions& options) {
  Attempt attempt;
  int pipeFds[2] = {-1, -1};
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    LogError(std::string("pipe failed: ") + std::strerror(errno));
    attempt.execFailed = true;
    return attempt;
  }
  FileDescriptor readEnd(pipeFds[0]);
  FileDescriptor writeEnd(pipeFds[1]);

  const auto started = Clock::now();
  const pid_t helper = fork();
  if (helper < 0) {
    LogError(std::string("fork failed: ") + std::strerror(errno));
    attempt.execFailed = true;
    return attempt;
  }
  if (helper == 0) {
    HelperMain(launch.program.c_str(), launch.argv.data(), launch.envp.data(), devNull, outputFd, pipeFds[1]);
  }
  writeEnd.Reset();

  // The wait goes through phases: the setup runs (until the launcher and every Windows Installer
  // process have ended); leftovers get their grace; then the server ends by itself, or everything
  // is ended with `wineserver -k`.
  enum class Phase { kSetup, kGrace, kServerEnding, kEnding };
  Phase phase = Phase::kSetup;
  InstallerWatch watch(helper);
  pid_t launcher = -1;
  bool launcherEnded = false;
  auto phaseDeadline = Clock::time_point::max();
  auto nextLook = started;
  auto nextTick = started + std::chrono::milliseconds(std::max(1, options.tickMilliseconds));
  std::string pending;
  auto endEverything = [&](const std::string& why) {
    LogTrace(why);
    RunWineServer(wineserver, environment, "-k", kKillGraceSeconds, devNull, options);
    phase = Phase::kEnding;
    phaseDeadline = Clock::now() + std::chrono::seconds(kKillGraceSeconds);
  };
  for (;;) {
    pollfd p{readEnd.get(), POLLIN, 0};
    const int ready = poll(&p, 1, kScanMilliseconds);
    bool ended = false;
    if (ready > 0) {
      char buffer[sizeof(Record) * 32];
      const ssize_t n = read(readEnd.get(), buffer, sizeof(buffer));
      if (n == 0) {
        ended = true;
      } else if (n > 0) {
        pending.append(buffer, static_cast<size_t>(n));
      } else if (errno != EINTR && errno != EAGAIN) {
        ended = true;
      }
      while (pending.size() >= sizeof(Record)) {
        Record r;
        std::memcpy(&r, pending.data(), sizeof(r));
        pending.erase(0, sizeof(r));
        r.comm[sizeof(r.comm) - 1] = 0;
        switch (r.kind) {
          case kLauncherStarted:
            launcher = r.pid;
            break;
          case kProcessExited:
            if (r.pid == launcher) {
              attempt.exitCode = r.code;
              launcherEnded = true;
            }
            watch.Exited(r.pid, r.comm);
            attempt.setupSeen |= !setupName.empty() && FoldAsciiLower(std::string(r.comm)) == setupName;
            break;
          case kExecFailed:
          case kHelperFailed:
            attempt.execFailed = true;
            LogError(std::string("could not start Wine: ") + std::strerror(r.code));
            break;
          default:
            break;
        }
      }
    }
    if (ended) break;
    if (phase == Phase::kSetup) watch.Scan();
    const auto now = Clock::now();
    if (options.onTick && now >= nextTick) {
      options.onTick();
      nextTick = now + std::chrono::milliseconds(std::max(1, options.tickMilliseconds));
    }
    if (phase != Phase::kEnding && options.cancelRequested && options.cancelRequested()) {
      attempt.cancelled = true;
      LogError("the wait for the setup was cancelled; ending every process of the prefix");
      endEverything("cancelled");
      continue;
    }
    if (phase == Phase::kSetup && options.timeoutSeconds > 0 &&
        now - started >= std::chrono::seconds(options.timeoutSeconds)) {
      attempt.timedOut = true;
      LogError("the setup did not end within " + std::to_string(options.timeoutSeconds) +
               " seconds; ending every process of the prefix");
      endEverything("timeout");
      continue;
    }
    if (phase == Phase::kEnding) {
      if (now >= phaseDeadline) {
        // Whatever still runs no longer belongs to a working server; stop following it.
        LogError("processes of the prefix did not end after wineserver -k");
        kill(helper, SIGKILL);
        phaseDeadline = Clock::time_point::max();
      }
      continue;
    }
    if (!launcherEnded || now < nextLook) continue;
    nextLook = now + std::chrono::milliseconds(kLookMilliseconds);
    const std::vector<LiveProcess> live = LiveDescendants(helper);
    const bool installerRuns =
        std::any_of(live.begin(), live.end(), [](const LiveProcess& process) { return process.installer; });
    std::vector<const LiveProcess*> leftovers;
    for (const LiveProcess& process : live) {
      if (!process.system && !process.installer) leftovers.push_back(&process);
    }
    if (phase == Phase::kSetup) {
      if (installerRuns) continue;
      LogTrace(FormatText("the setup has ended after %.1f s", std::chrono::duration<double>(now - started).count()));
      phase = Phase::kGrace;
      phaseDeadline = now + std::chrono::seconds(std::max(0, options.leftoverGraceSeconds));
    }
    if (installerRuns) continue;  // an installer started late: its end is awaited, not cut short
    if (phase == Phase::kServerEnding && !leftovers.empty()) {
      // A program started after the others had gone: it gets its grace too.
      phase = Phase::kGrace;
      phaseDeadline = now + std::chrono::seconds(std::max(0, options.leftoverGraceSeconds));
    }
    if (phase == Phase::kGrace) {
      if (leftovers.empty()) {
        phase = Phase::kServerEnding;
        phaseDeadline = now + std::chrono::seconds(kServerEndSeconds);
      } else if (now >= phaseDeadline) {
        std::string names;
        for (const LiveProcess* process : leftovers) {
          attempt.leftovers.push_back({process->pid, process->name, CommandLineOf(process->pid)});
          names += " " + WideToUtf8(process->name) + " (" + std::to_string(process->pid) + ")";
        }
        endEverything("programs left running by the setup are ended:" + names);
      }
    } else if (phase == Phase::kServerEnding && now >= phaseDeadline) {
      endEverything("the server of the prefix did not end by itself; ending it");
    }
  }
  int helperStatus = 0;
  while (waitpid(helper, &helperStatus, 0) < 0 && errno == EINTR) {
  }
  attempt.installers = watch.Take();
  return attempt;
}

}  // namespace

LaunchResult RunSetupAndWait(const std::wstring& setupWindowsPath, const LaunchOptions& options) {
  CLogger* logger = CLogger::GetInstance();
  struct Release {
    CLogger* logger;
    ~Release() { CLogger::ReleaseInstance(logger); }
  } release{logger};
  CTraceScope trace(logger, "platform::RunSetupAndWait");

  LaunchResult result;
  if (!Machine::IsUsable()) {
    LogError("machine not usable: " + Machine::Error());
    result.status = kNotReady;
    return result;
  }
  const fs::path setup = Machine::HostPath(setupWindowsPath);
  if (setup.empty()) {
    LogError("path not found " + WideToUtf8(setupWindowsPath));
    result.status = kPathNotFound;
    return result;
  }
  std::error_code ec;
  const fs::file_status setupStatus = fs::status(setup, ec);
  if (!fs::exists(setupStatus)) {
    LogError("setup not found " + WideToUtf8(setupWindowsPath));
    result.status = fs::is_directory(setup.parent_path(), ec) ? kFileNotFound : kPathNotFound;
    return result;
  }
  if (!fs::is_regular_file(setupStatus)) {
    LogError("not a file " + WideToUtf8(setupWindowsPath));
    result.status = kAccessDenied;
    return result;
  }
  const std::string wine = wine::FindWineProgram("wine64");
  const std::string wineserver = wine::FindWineProgram("wineserver");
  if (wine.empty() || wineserver.empty()) {
    LogError("wine64 or wineserver not found");
    result.status = kOpenFailed;
    return result;
  }
  const fs::path prefix = Machine::Root();
  const std::vector<std::string> environment = WineEnvironment(prefix);
  FileDescriptor devNull(open("/dev/null", O_RDWR | O_CLOEXEC));

  // Only an idle prefix makes every one of its processes a descendant of the launch.
  if (!RunWineServer(wineserver, environment, "-w", kIdleWaitSeconds, devNull.get(), options)) {
    LogTrace("a server of the prefix was still running; ending it");
    RunWineServer(wineserver, environment, "-k", kKillGraceSeconds, devNull.get(), options);
    RunWineServer(wineserver, environment, "-w", kKillGraceSeconds, devNull.get(), options);
  }

  // The setup's windows go to the caller's display, else to a private virtual one.
  std::vector<std::string> display = wine::CallerDisplayEnvironment();
  wine::VirtualDisplay virtualDisplay;
  if (!display.empty()) {
    result.display = display.front().substr(display.front().find('=') + 1);
    if (display.front().rfind("DISPLAY=", 0) == 0 && !wine::VirtualDisplay::Reachable(result.display)) {
      result.displayProblem = "DISPLAY " + result.display + " cannot be reached";
      display.clear();
      result.display.clear();
    }
  } else {
    std::string error;
    if (virtualDisplay.Start(error)) {
      display.push_back("DISPLAY=" + virtualDisplay.display());
      result.display = "virtual " + virtualDisplay.display();
    } else {
      result.displayProblem = "no virtual display: " + error;
    }
  }
  if (!result.displayProblem.empty()) LogError("the setup runs without a display: " + result.displayProblem);
  LogTrace("display: " + (result.display.empty() ? std::string("none") : result.display));

  // What Wine says about the run goes to the log (or an unnamed file), read back for the display.
  FileDescriptor output;
  if (!options.outputLogPath.empty()) {
    const fs::path logPath = Machine::HostPath(options.outputLogPath);
    if (!logPath.empty()) output.Reset(open(logPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (output.get() < 0) LogError("cannot write the setup's log " + WideToUtf8(options.outputLogPath));
  }
  if (output.get() < 0) output.Reset(open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  const int outputFd = output.get() >= 0 ? output.get() : devNull.get();

  // "start /wait" opens the file as the shell's "open" verb does and waits for it. The open verb
  // of an .msi passes no arguments on, so with arguments the package goes to msiexec directly.
  const std::vector<std::wstring> arguments = wine::SplitWindowsArguments(options.arguments);
  HostCommand launch{wine, {"start", "/wait"}, wine::SetupRunEnvironment(prefix, display), {}, {}};
  if (!arguments.empty() && IsPackagePath(setupWindowsPath)) {
    launch.arguments.insert(launch.arguments.end(), {kMsiexecPath, "/i", WideToUtf8(setupWindowsPath)});
  } else {
    launch.arguments.insert(launch.arguments.end(), {"/unix", setup.string()});
  }
  for (const std::wstring& argument : arguments) launch.arguments.push_back(WideToUtf8(argument));
  launch.Freeze();
  {
    std::string shown;
    for (const std::string& a : launch.arguments) shown += " " + a;
    LogTrace("running wine64" + shown);
  }
  const std::string setupName = SetupProcessName(setup);
  const auto started = Clock::now();
  Attempt attempt = RunAttempt(launch, setupName, wineserver, environment, devNull.get(), outputFd, options);
  if (!setupName.empty() && attempt.exitCode > 0 && !attempt.setupSeen && !attempt.execFailed && !attempt.cancelled && !attempt.timedOut) {
    // Wine itself failed before the setup's program ran (now and then a start right after the
    // prefix's previous server has gone does): what Wine said goes to the log, and the setup is
    // started once more. Had the setup run, it would not be run twice.
    LogError("Wine did not start the setup (exit code " + std::to_string(attempt.exitCode) + "): " +
             TailOfOutput(outputFd) + "; starting it once more");
    RunWineServer(wineserver, environment, "-w", kIdleWaitSeconds, devNull.get(), options);
    attempt = RunAttempt(launch, setupName, wineserver, environment, devNull.get(), outputFd, options);
    if (attempt.exitCode > 0 && !attempt.setupSeen) {
      LogError("Wine did not start the setup again: " + TailOfOutput(outputFd));
    }
  }
  result.exitCode = attempt.exitCode;
  result.leftoverProcesses = std::move(attempt.leftovers);
  result.installerProcesses = std::move(attempt.installers);
  virtualDisplay.Stop();
  result.elapsedSeconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (output.get() >= 0) result.displayMissing = OutputSaysNoDisplay(output.get());
  if (attempt.execFailed) {
    result.status = kOpenFailed;
    result.exitCode = -1;
  } else if (attempt.cancelled) {
    result.status = kCancelled;
    result.exitCode = -1;
  } else if (attempt.timedOut) {
    result.status = kWaitTimeout;
    result.exitCode = -1;
  } else {
    result.status = kSuccess;
  }
  LogTrace(FormatText("status %ld, exit code %d, %zu installer process(es), %zu left running, %.1f s%s",
                      result.status, result.exitCode, result.installerProcesses.size(),
                      result.leftoverProcesses.size(), result.elapsedSeconds,
                      result.displayMissing ? ", no display" : ""));
  return result;
}

}  // namespace platform
