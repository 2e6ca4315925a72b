#include "platform/wine/virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/wine/file_descriptor.h"
#include "platform/wine/wine_environment.h"

namespace platform::wine {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStartSeconds = 10;
constexpr int kStopSeconds = 3;
// Xvfb is told to write its display number to this descriptor.
constexpr int kDisplayFd = 3;

}  // namespace

bool VirtualDisplay::Start(std::string& error) {
  Stop();
  const std::string xvfb = FindHostProgram("Xvfb");
  if (xvfb.empty()) {
    error = "Xvfb is not installed (Debian package xvfb)";
    return false;
  }
  int fds[2] = {-1, -1};
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error = std::string("pipe failed: ") + std::strerror(errno);
    return false;
  }
  FileDescriptor readEnd(fds[0]);
  FileDescriptor writeEnd(fds[1]);
  FileDescriptor devNull(open("/dev/null", O_RDWR | O_CLOEXEC));
  std::vector<std::string> arguments = {xvfb, "-displayfd", std::to_string(kDisplayFd), "-nolisten", "tcp",
                                        "-screen", "0", "1280x1024x24"};
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Nothing of our environment (no stray XAUTHORITY); PATH for the keymap compiler it runs.
  char pathEntry[] = "PATH=/usr/bin:/bin";
  char* envp[] = {pathEntry, nullptr};

  const pid_t pid = fork();
  if (pid < 0) {
    error = std::string("fork failed: ") + std::strerror(errno);
    return false;
  }
  if (pid == 0) {
    // Async-signal-safe calls only from here on.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (devNull.get() >= 0) {
      dup2(devNull.get(), 0);
      dup2(devNull.get(), 1);
      dup2(devNull.get(), 2);
    }
    if (writeEnd.get() == kDisplayFd) {
      fcntl(kDisplayFd, F_SETFD, 0);
    } else {
      dup2(writeEnd.get(), kDisplayFd);
    }
    close_range(kDisplayFd + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    execve(xvfb.c_str(), argv.data(), envp);
    _exit(127);
  }
  pid_ = pid;
  writeEnd.Reset();

  // Xvfb writes "N\n" once it accepts clients; it closes the descriptor if it fails.
  std::string number;
  const auto deadline = Clock::now() + std::chrono::seconds(kStartSeconds);
  while (number.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{readEnd.get(), POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[32];
    const ssize_t n = read(readEnd.get(), buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    number.append(buffer, static_cast<size_t>(n));
  }
  while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) number.pop_back();
  const bool digits = !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
  if (!digits) {
    Stop();
    error = "Xvfb did not start a display within " + std::to_string(kStartSeconds) + " seconds";
    return false;
  }
  display_ = ":" + number;
  return true;
}

bool VirtualDisplay::Reachable(const std::string& display) {
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return true;
  const std::string host = display.substr(0, colon);
  if (!host.empty() && host != "unix") return true;
  const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return true;
  const std::string path = "/tmp/.X11-unix/X" + number;
  // The X server listens on an abstract socket of that name and on the file; either will do.
  for (bool abstract : {true, false}) {
    FileDescriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return true;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof(address.sun_path)) return true;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), length) == 0) return true;
  }
  return false;
}

void VirtualDisplay::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (!WaitForChild(pid_, kStopSeconds, 20)) {
      kill(pid_, SIGKILL);
      while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  pid_ = -1;
  display_.clear();
}

}  // namespace platform::wine
