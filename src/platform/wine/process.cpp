#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/machine.h"
#include "platform/wine/wine_environment.h"

namespace platform {
namespace {

constexpr int kServerWaitSeconds = 60;

std::string FindProgram(const std::string& name) { return wine::FindWineProgram(name.c_str()); }

std::vector<std::string> CleanEnvironment() { return wine::WineRunEnvironment(Machine::Root()); }

// Runs a host program with the given environment, its output discarded, and waits for it at most
// `seconds` (then kills it). Returns its exit code, -1 when it could not run, -2 on time-out.
int RunAndWait(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
               int seconds) {
  const std::string program = FindProgram(arguments.front());
  if (program.empty()) return -1;
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    // Wine must not inherit a terminal or pipes of ours.
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
    }
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  const long stepNs = 20 * 1000 * 1000;
  long waitedNs = 0;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (!WIFEXITED(status)) return -1;
      return WEXITSTATUS(status) == 127 ? -1 : WEXITSTATUS(status);
    }
    if (done < 0) return -1;
    if (waitedNs >= static_cast<long>(seconds) * 1000 * 1000 * 1000) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -2;
    }
    struct timespec step = {0, stepNs};
    nanosleep(&step, nullptr);
    waitedNs += stepNs;
  }
}

}  // namespace

Status PrepareMachineForCapture() {
  if (!Machine::IsUsable()) return kPathNotFound;
  const std::vector<std::string> environment = CleanEnvironment();

  // End whatever runs in the prefix; -k also makes the server write the registry out.
  RunAndWait({"wineserver", "-k"}, environment, kServerWaitSeconds);
  int waited = RunAndWait({"wineserver", "-w"}, environment, kServerWaitSeconds);
  if (waited == -2) return kWaitTimeout;

  // One start of the server, so its start-up writes happen now and not during the capture.
  int ran = RunAndWait({"wine64", "cmd", "/c", "exit"}, environment, kServerWaitSeconds);
  if (ran == -1) return kInvalidFunction;
  if (ran == -2) return kWaitTimeout;
  waited = RunAndWait({"wineserver", "-w"}, environment, kServerWaitSeconds);
  if (waited == -2) return kWaitTimeout;
  return kSuccess;
}

}  // namespace platform
