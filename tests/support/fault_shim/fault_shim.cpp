// A preloaded library that makes the program's own writes fail, for the fault tests: loaded with
// LD_PRELOAD into CorvaneRepackager (and nothing else: it checks the executable's name, and takes
// itself out of the environment so that programs started from there run without it).
//
//   CORVANE_FAULT_PATH   a piece of a host path (letters compared without case); only files whose
//                        path holds it are touched
//   CORVANE_FAULT_MODE   "kill": the process kills itself (SIGKILL), as a power cut would;
//                        "enospc": the write fails with ENOSPC (disk full), and so does every
//                        later write to such a file
//   CORVANE_FAULT_AFTER  bytes written to such files (all of them together) before the fault; -1
//                        makes the fault happen when such a file is opened for writing
//
// Writes are seen at the descriptor (open/write, as libstdc++ and GIO do them) and at the C stream
// (fopen/fdopen: such a stream is handed out as a stream of ours whose writes pass through here,
// because the C library's own stream writes never reach an interposed write()).
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

namespace {

constexpr int kMaxTracked = 65536;

bool active = false;
bool killMode = false;
long long budget = 0;  // bytes still allowed; below 0: fail at open
char pattern[1024];
std::atomic<bool> tracked[kMaxTracked];
std::atomic<bool> tripped{false};
std::mutex budgetMutex;

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

__attribute__((constructor)) void Setup() {
  char exe[4096];
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  const char* path = getenv("CORVANE_FAULT_PATH");
  const char* mode = getenv("CORVANE_FAULT_MODE");
  const char* after = getenv("CORVANE_FAULT_AFTER");
  unsetenv("LD_PRELOAD");
  if (length <= 0 || path == nullptr || mode == nullptr || path[0] == '\0') return;
  exe[length] = '\0';
  const char* base = strrchr(exe, '/');
  if (strcmp(base == nullptr ? exe : base + 1, "CorvaneRepackager") != 0) return;
  snprintf(pattern, sizeof pattern, "%s", path);
  killMode = strcmp(mode, "kill") == 0;
  budget = after == nullptr ? 0 : atoll(after);
  active = true;
}

bool Matches(const char* path) { return active && path != nullptr && strcasestr(path, pattern) != nullptr; }

void Track(int fd) {
  if (fd >= 0 && fd < kMaxTracked) tracked[fd] = true;
}
bool IsTracked(int fd) { return fd >= 0 && fd < kMaxTracked && tracked[fd].load(); }

[[noreturn]] void Die() {
  kill(getpid(), SIGKILL);
  _exit(137);
}

// How many of `size` bytes may be written; 0 with errno set (or no return) once the fault is hit.
size_t Allowed(size_t size) {
  std::lock_guard<std::mutex> lock(budgetMutex);
  if (tripped) {
    errno = ENOSPC;
    return 0;
  }
  const long long room = budget < 0 ? 0 : budget;
  if (static_cast<long long>(size) <= room) {
    budget -= static_cast<long long>(size);
    return size;
  }
  if (room > 0) {
    budget = 0;
    return static_cast<size_t>(room);  // the part that fits; the next write hits the fault
  }
  tripped = true;
  if (killMode) Die();
  errno = ENOSPC;
  return 0;
}

bool WriteMode(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0; }

// Decides at open time: false (with errno) when the open itself is the fault.
bool OpenAllowed(const char* path, int flags) {
  if (!Matches(path) || !WriteMode(flags)) return true;
  std::lock_guard<std::mutex> lock(budgetMutex);
  if (budget >= 0 && !tripped) return true;
  tripped = true;
  if (killMode) Die();
  errno = ENOSPC;
  return false;
}

int FlagsOfMode(const char* mode) {
  int flags = 0;
  switch (mode[0]) {
    case 'r': flags = O_RDONLY; break;
    case 'w': flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case 'a': flags = O_WRONLY | O_CREAT | O_APPEND; break;
    default: return -1;
  }
  for (const char* c = mode + 1; *c != '\0'; ++c) {
    if (*c == '+') flags = (flags & ~(O_WRONLY | O_RDONLY)) | O_RDWR;
    if (*c == 'e') flags |= O_CLOEXEC;
    if (*c == 'x') flags |= O_EXCL;
  }
  return flags;
}

ssize_t CookieRead(void* cookie, char* buffer, size_t size) {
  return Real<ssize_t (*)(int, void*, size_t)>("read")(static_cast<int>(reinterpret_cast<intptr_t>(cookie)), buffer,
                                                       size);
}
ssize_t CookieWrite(void* cookie, const char* buffer, size_t size) {
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
  return write(fd, buffer, size);
}
int CookieSeek(void* cookie, off64_t* offset, int whence) {
  const off64_t at = lseek64(static_cast<int>(reinterpret_cast<intptr_t>(cookie)), *offset, whence);
  if (at < 0) return -1;
  *offset = at;
  return 0;
}
int CookieClose(void* cookie) { return close(static_cast<int>(reinterpret_cast<intptr_t>(cookie))); }

FILE* StreamOf(int fd, const char* mode) {
  Track(fd);
  cookie_io_functions_t functions{CookieRead, CookieWrite, CookieSeek, CookieClose};
  return fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), mode, functions);
}

int OpenTracked(int (*real)(const char*, int, ...), const char* path, int flags, mode_t mode) {
  if (!OpenAllowed(path, flags)) return -1;
  const int fd = real(path, flags, mode);
  if (fd >= 0 && Matches(path) && WriteMode(flags)) Track(fd);
  return fd;
}

}  // namespace

// One write of `size` bytes to a descriptor: untracked ones pass; tracked ones write what the
// budget allows. A kill comes in the middle of the write that crosses the mark (a short write would
// otherwise end as an error of the writer before any further write hits the mark).
template <typename RealWrite>
ssize_t GuardedWrite(int fd, size_t size, RealWrite real) {
  if (!IsTracked(fd) || size == 0) return real(size);
  const size_t allowed = Allowed(size);
  if (allowed == 0) return -1;
  const ssize_t done = real(allowed);
  if (killMode && allowed < size) Die();
  return done;
}

extern "C" {

int open(const char* path, int flags, ...) {
  va_list list;
  va_start(list, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(list, int)) : 0;
  va_end(list);
  static auto real = Real<int (*)(const char*, int, ...)>("open");
  return OpenTracked(real, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list list;
  va_start(list, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(list, int)) : 0;
  va_end(list);
  static auto real = Real<int (*)(const char*, int, ...)>("open64");
  return OpenTracked(real, path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  va_list list;
  va_start(list, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(list, int)) : 0;
  va_end(list);
  static auto real = Real<int (*)(int, const char*, int, ...)>("openat");
  if (!OpenAllowed(path, flags)) return -1;
  const int fd = real(dir, path, flags, mode);
  if (fd >= 0 && Matches(path) && WriteMode(flags)) Track(fd);
  return fd;
}

int creat(const char* path, mode_t mode) { return open(path, O_WRONLY | O_CREAT | O_TRUNC, mode); }

int mkstemp(char* path) {
  static auto real = Real<int (*)(char*)>("mkstemp");
  const int fd = real(path);
  if (fd >= 0 && Matches(path)) Track(fd);
  return fd;
}

int mkostemp(char* path, int flags) {
  static auto real = Real<int (*)(char*, int)>("mkostemp");
  const int fd = real(path, flags);
  if (fd >= 0 && Matches(path)) Track(fd);
  return fd;
}

int close(int fd) {
  static auto real = Real<int (*)(int)>("close");
  if (fd >= 0 && fd < kMaxTracked) tracked[fd] = false;
  return real(fd);
}

ssize_t write(int fd, const void* buffer, size_t size) {
  static auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
  return GuardedWrite(fd, size, [&](size_t allowed) { return real(fd, buffer, allowed); });
}

ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset) {
  static auto real = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
  return GuardedWrite(fd, size, [&](size_t allowed) { return real(fd, buffer, allowed, offset); });
}

ssize_t pwrite64(int fd, const void* buffer, size_t size, off64_t offset) {
  static auto real = Real<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
  return GuardedWrite(fd, size, [&](size_t allowed) { return real(fd, buffer, allowed, offset); });
}

ssize_t writev(int fd, const struct iovec* vector, int count) {
  static auto real = Real<ssize_t (*)(int, const struct iovec*, int)>("writev");
  if (!IsTracked(fd)) return real(fd, vector, count);
  // One piece at a time, so that the budget is counted exactly.
  ssize_t total = 0;
  for (int i = 0; i < count; ++i) {
    if (vector[i].iov_len == 0) continue;
    const ssize_t done = write(fd, vector[i].iov_base, vector[i].iov_len);
    if (done < 0) return total > 0 ? total : -1;
    total += done;
    if (static_cast<size_t>(done) < vector[i].iov_len) break;
  }
  return total;
}

FILE* fopen(const char* path, const char* mode) {
  static auto real = Real<FILE* (*)(const char*, const char*)>("fopen");
  const int flags = FlagsOfMode(mode);
  if (flags < 0 || !Matches(path) || !WriteMode(flags)) return real(path, mode);
  const int fd = open(path, flags, 0666);
  if (fd < 0) return nullptr;
  FILE* stream = StreamOf(fd, mode);
  if (stream == nullptr) close(fd);
  return stream;
}

// libstdc++'s file streams open with fopen64 and then write to the descriptor themselves: the
// stream must stay the C library's own, its descriptor is watched.
FILE* fopen64(const char* path, const char* mode) {
  static auto real = Real<FILE* (*)(const char*, const char*)>("fopen64");
  const int flags = FlagsOfMode(mode);
  if (flags < 0 || !Matches(path) || !WriteMode(flags)) return real(path, mode);
  if (!OpenAllowed(path, flags)) return nullptr;
  FILE* stream = real(path, mode);
  if (stream != nullptr) Track(fileno(stream));
  return stream;
}

FILE* fdopen(int fd, const char* mode) {
  static auto real = Real<FILE* (*)(int, const char*)>("fdopen");
  if (!IsTracked(fd)) return real(fd, mode);
  return StreamOf(fd, mode);
}

}  // extern "C"
