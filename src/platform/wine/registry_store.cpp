#include "platform/wine/registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "core/logger.h"
#include "core/strings.h"
#include "platform/machine.h"
#include "platform/wine/errno_status.h"

namespace fs = std::filesystem;

namespace platform::wine {
namespace {

std::atomic<long long> g_waitMilliseconds{60000};

// Skipped lines of one file beyond this many are only counted, so a broken file cannot flood the log.
constexpr size_t kMaxLoggedLines = 20;
// How long a server we gave up waiting for makes opens fail at once.
constexpr std::chrono::seconds kGiveUpPeriod(10);

struct FileStamp {
  int error = 0;  // errno of stat, 0 when it exists
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  long long modifiedSeconds = 0;
  long modifiedNanoseconds = 0;
  long long changedSeconds = 0;
  long changedNanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

struct StoreState {
  fs::path root;
  std::vector<FileStamp> stamps;
  std::shared_ptr<const RegistryTree> tree;
  long timedOutServer = 0;  // the server whose end we gave up waiting for, and when
  std::chrono::steady_clock::time_point timedOutAt;
  std::string lastMachineError;
};

std::mutex g_storeMutex;
StoreState g_store;

struct RegistryFile {
  const char* name;
  RegistryTreeBuilder::Branch branch;
};
constexpr RegistryFile kFiles[] = {
    {"system.reg", RegistryTreeBuilder::Branch::Machine},
    {"userdef.reg", RegistryTreeBuilder::Branch::DefaultUser},
    {"user.reg", RegistryTreeBuilder::Branch::CurrentUser},
};

void LogError(const std::string& text) {
  CLogger* logger = CLogger::GetInstance();
  logger->Write(2, text);
  CLogger::ReleaseInstance(logger);
}

Status ReadWholeFile(const fs::path& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return StatusFromErrno(errno, path, ExistsMeaning::kFile);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    text.reserve(static_cast<size_t>(st.st_size));
  }
  char buffer[1 << 16];
  Status status = kSuccess;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof(buffer));
    if (n > 0) {
      text.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      status = StatusFromErrno(errno, path, ExistsMeaning::kFile);
      break;
    }
  }
  ::close(fd);
  return status;
}

FileStamp StampOf(const fs::path& path) {
  FileStamp stamp;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    stamp.error = errno;
    return stamp;
  }
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.modifiedSeconds = static_cast<long long>(st.st_mtim.tv_sec);
  stamp.modifiedNanoseconds = st.st_mtim.tv_nsec;
  stamp.changedSeconds = static_cast<long long>(st.st_ctim.tv_sec);
  stamp.changedNanoseconds = st.st_ctim.tv_nsec;
  return stamp;
}

std::vector<FileStamp> StampsOf(const fs::path& prefix) {
  std::vector<FileStamp> stamps;
  for (const RegistryFile& file : kFiles) stamps.push_back(StampOf(prefix / file.name));
  return stamps;
}

// The process holding the server's lock, or 0 when no server of the prefix runs.
long WineServerProcess(const fs::path& prefix) {
  for (const fs::path& folder : WineServerFolders(prefix)) {
    const int fd = ::open((folder / "lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    const int result = ::fcntl(fd, F_GETLK, &lock);
    ::close(fd);
    if (result == 0 && lock.l_type != F_UNLCK) return lock.l_pid > 0 ? static_cast<long>(lock.l_pid) : 1;
  }
  return 0;
}

}  // namespace

void SetWineServerWaitTimeout(std::chrono::milliseconds timeout) {
  g_waitMilliseconds.store(timeout.count() < 0 ? 0 : timeout.count());
  std::lock_guard<std::mutex> lock(g_storeMutex);
  g_store.timedOutServer = 0;  // a new limit: the next open waits again
}

std::vector<fs::path> WineServerFolders(const fs::path& prefix) {
  std::vector<fs::path> folders;
  struct stat st {};
  if (::stat(prefix.c_str(), &st) != 0) return folders;
  const std::string name = FormatText("server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                                      static_cast<unsigned long long>(st.st_ino));
  // Debian's Wine keeps its server folders below a temporary folder named in the prefix.
  std::string tmpName;
  if (ReadWholeFile(prefix / "wineserver", tmpName) == kSuccess) {
    while (!tmpName.empty() && (tmpName.back() == '\n' || tmpName.back() == '\r' || tmpName.back() == ' ')) {
      tmpName.pop_back();
    }
    bool plain = !tmpName.empty() && tmpName.size() < 256 && tmpName != "." && tmpName != "..";
    for (char c : tmpName) {
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.')) plain = false;
    }
    if (plain) {
      const char* tmpdir = std::getenv("TMPDIR");
      if (tmpdir && *tmpdir && fs::path(tmpdir) != fs::path("/tmp")) {
        folders.push_back(fs::path(tmpdir) / tmpName / name);
      }
      folders.push_back(fs::path("/tmp") / tmpName / name);
    }
  }
  folders.push_back(fs::path("/tmp") / (".wine-" + std::to_string(::getuid())) / name);
  return folders;
}

bool IsWineServerRunning(const fs::path& prefix) { return WineServerProcess(prefix) != 0; }

std::shared_ptr<const RegistryTree> LoadRegistryTree(const fs::path& prefix) {
  CLogger* logger = CLogger::GetInstance();
  std::shared_ptr<const RegistryTree> tree;
  {
    CTraceScope trace(logger, "RegistryTree::Load");
    RegistryTreeBuilder builder;
    for (const RegistryFile& file : kFiles) {
      const fs::path path = prefix / file.name;
      std::string text;
      const Status status = ReadWholeFile(path, text);
      if (status == kFileNotFound || status == kPathNotFound) {
        logger->Write(2, "RegistryTree::Load " + path.string() + " is missing: its keys do not exist");
        continue;
      }
      if (status != kSuccess) {
        logger->Write(2, FormatText("RegistryTree::Load %s cannot be read: Error %ld", path.c_str(), status));
        builder.AddUnreadable(file.branch, status);
        continue;
      }
      const std::vector<RegistryFileError> errors = builder.AddFile(file.branch, text);
      for (size_t i = 0; i < errors.size() && i < kMaxLoggedLines; ++i) {
        logger->Write(2, FormatText("RegistryTree::Load %s line %zu skipped: %s", path.c_str(), errors[i].line,
                                    errors[i].message.c_str()));
      }
      if (errors.size() > kMaxLoggedLines) {
        logger->Write(2, FormatText("RegistryTree::Load %s: %zu more lines skipped", path.c_str(),
                                    errors.size() - kMaxLoggedLines));
      }
    }
    tree = builder.Finish();
  }
  CLogger::ReleaseInstance(logger);
  return tree;
}

Status AcquireRegistryTree(std::shared_ptr<const RegistryTree>& tree) {
  std::lock_guard<std::mutex> lock(g_storeMutex);
  if (!Machine::IsUsable()) {
    const std::string error = Machine::Error();
    if (error != g_store.lastMachineError) {
      LogError("RegistryKey::Open the machine's registry cannot be read: " + error);
      g_store.lastMachineError = error;
    }
    return kNotReady;
  }
  g_store.lastMachineError.clear();
  const fs::path root = Machine::Root();

  long server = WineServerProcess(root);
  if (server != 0) {
    // A server keeps the registry in memory and writes it back later: what the files hold now may
    // not be what the prefix's programs see. Wait for it to end. Right after a wait has failed,
    // the same server is not waited for again, so a walk of many keys fails fast.
    if (server == g_store.timedOutServer &&
        std::chrono::steady_clock::now() - g_store.timedOutAt < kGiveUpPeriod) {
      return kNotReady;
    }
    const auto limit = std::chrono::milliseconds(g_waitMilliseconds.load());
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (server != 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      server = WineServerProcess(root);
    }
    if (server != 0) {
      LogError(FormatText("RegistryKey::Open a Wine server (process %ld) of the prefix %s is still running after "
                          "%lld ms; the registry is read only when it has ended (wait for the prefix's "
                          "programs, or end it with 'wineserver -k')",
                          server, root.c_str(), static_cast<long long>(limit.count())));
      g_store.timedOutServer = server;
      g_store.timedOutAt = std::chrono::steady_clock::now();
      return kNotReady;
    }
  }
  g_store.timedOutServer = 0;

  std::vector<FileStamp> stamps = StampsOf(root);
  if (!g_store.tree || g_store.root != root || g_store.stamps != stamps) {
    g_store.tree = LoadRegistryTree(root);
    g_store.root = root;
    g_store.stamps = std::move(stamps);
  }
  tree = g_store.tree;
  return kSuccess;
}

void ForgetRegistryTree() {
  std::lock_guard<std::mutex> lock(g_storeMutex);
  g_store.tree.reset();
  g_store.stamps.clear();
  g_store.root.clear();
}

}  // namespace platform::wine
