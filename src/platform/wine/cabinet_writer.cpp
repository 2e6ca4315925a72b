// Writing a cabinet with libgcab. libgcab writes one folder per cabinet and compresses on the
// thread that writes: a cabinet of several folders is written folder by folder as cabinets of
// their own, at once, and joined.
#include "platform/wine/cabinet_writer.h"

#include <gio/gio.h>
#include <libgcab.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>

#include "core/strings.h"
#include "platform/wine/buffered_file_output.h"
#include "platform/wine/cabinet_join.h"
#include "platform/wine/glib_status.h"
#include "platform/wine/replace_file.h"

namespace fs = std::filesystem;

namespace platform::wine {
namespace {

// kSuccess when `path` is a regular, readable file; otherwise the status with `what` filled.
Status CheckSource(const fs::path& path, std::uintmax_t& size, std::string& what) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      what = "cannot be read";
      return kReadFault;
    }
    what = "does not exist";
    std::error_code ec;
    return fs::is_directory(path.parent_path(), ec) ? kFileNotFound : kPathNotFound;
  }
  if (!S_ISREG(info.st_mode)) {
    what = "is not a file";
    return kAccessDenied;
  }
  if (::access(path.c_str(), R_OK) != 0) {
    what = "cannot be read";
    return kAccessDenied;
  }
  size = static_cast<std::uintmax_t>(info.st_size);
  return kSuccess;
}

// Counts the bytes of the files libgcab has taken. libgcab names each file as it starts on it, so
// the file before it is then done.
struct FileCounter {
  const std::vector<std::uintmax_t>* sizes = nullptr;
  std::atomic<std::uint64_t>* bytesDone = nullptr;
  size_t started = 0;

  static gboolean OnFile(GCabFile* /*file*/, gpointer data) {
    auto* self = static_cast<FileCounter*>(data);
    if (self->started > 0) self->Add(self->started - 1);
    ++self->started;
    return TRUE;
  }
  void Finish() {
    if (started > 0) Add(started - 1);
    started = 0;
  }
  void Add(size_t index) {
    if (bytesDone != nullptr && index < sizes->size()) bytesDone->fetch_add((*sizes)[index]);
  }
};

// Turns the caller's stop flag into a cancelled GCancellable, which libgcab checks on every read
// and write, so that a stop is seen within a data block even in the middle of a big file.
class StopWatcher {
 public:
  StopWatcher(const std::atomic<bool>* stop, GCancellable* cancellable) {
    if (stop == nullptr) return;
    thread_ = std::thread([this, stop, cancellable] {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!done_) {
        if (stop->load()) {
          g_cancellable_cancel(cancellable);
          return;
        }
        ended_.wait_for(lock, std::chrono::milliseconds(20));
      }
    });
  }
  ~StopWatcher() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    ended_.notify_all();
    thread_.join();
  }
  StopWatcher(const StopWatcher&) = delete;
  StopWatcher& operator=(const StopWatcher&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
};

// Writes `members` as a cabinet of one folder (all libgcab writes), compressed as the first member
// asks (the compression is invisible to whoever extracts the files).
Status WriteFolderCabinet(std::span<const CabinetMember> members, const fs::path& target, std::uint64_t maxFolderBytes,
                          std::string& error, const CabinetWatch* watch) {
  GObjectRef<GCabCabinet> cabinet(gcab_cabinet_new());
  GObjectRef<GCabFolder> folder(gcab_folder_new(
      members.front().compression == CabinetCompression::kMszip ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE));
  std::uint64_t folderBytes = 0;
  std::vector<std::uintmax_t> sizes;
  sizes.reserve(members.size());
  ScopedGError gerror;
  for (const CabinetMember& member : members) {
    std::uintmax_t size = 0;
    std::string what;
    Status status = CheckSource(member.source, size, what);
    if (status != kSuccess) {
      error = "the file " + member.source.string() + " " + what;
      return status;
    }
    sizes.push_back(size);
    folderBytes += size;
    if (folderBytes > maxFolderBytes) {
      error = FormatText("the files up to %s come to %ju bytes, more than the %ju bytes one cabinet folder can "
                         "hold (65535 blocks of 32 KiB)",
                         member.source.c_str(), static_cast<std::uintmax_t>(folderBytes),
                         static_cast<std::uintmax_t>(maxFolderBytes));
      return kInvalidData;
    }
    GObjectRef<GFile> file(g_file_new_for_path(member.source.c_str()));
    GObjectRef<GCabFile> cabFile(gcab_file_new_with_file(member.name.c_str(), file.get()));
    if (!cabFile || !gcab_folder_add_file(folder.get(), cabFile.get(), FALSE, nullptr, gerror.out())) {
      error = "the file " + member.source.string() + " was not taken: " + GErrorText(gerror.get(), "");
      return StatusFromGError(gerror.get(), kReadFault);
    }
  }
  if (!gcab_cabinet_add_folder(cabinet.get(), folder.get(), gerror.out())) {
    error = "the cabinet refused its folder: " + GErrorText(gerror.get(), "");
    return StatusFromGError(gerror.get(), kWriteFault);
  }

  const std::atomic<bool>* stop = watch != nullptr ? watch->stop : nullptr;
  GObjectRef<GCancellable> cancellable(g_cancellable_new());
  StopWatcher watcher(stop, cancellable.get());
  FileCounter counter{&sizes, watch != nullptr ? watch->bytesDone : nullptr};
  const auto stopped = [&] { return stop != nullptr && stop->load(); };

  // Written beside the target and renamed over it, so that a failure never leaves a partial
  // cabinet behind.
  Status status = kSuccess;
  const int replaced = ReplaceHostFile(target, [&](int fd, const fs::path& /*temporary*/) {
    // libgcab goes back to the start to fill in the header: the stream writes at its own offsets.
    // (Through a GBufferedOutputStream every cabinet beyond the buffer's size came out corrupt;
    // unbuffered, the header cost a system call per field.)
    GObjectRef<GOutputStream> stream(NewBufferedFileOutput(fd));
    GOutputStream* output = stream.get();
    bool written = gcab_cabinet_write_simple(cabinet.get(), output, &FileCounter::OnFile, &counter,
                                             cancellable.get(), gerror.out());
    if (!written || stopped()) {
      if (stopped()) {
        error = "the cabinet " + target.string() + " was stopped before it was complete";
        status = kCancelled;
      } else {
        error = "the cabinet " + target.string() + " was not written: " + GErrorText(gerror.get(), "");
        status = StatusFromGError(gerror.get(), kWriteFault);
      }
      g_output_stream_close(output, nullptr, nullptr);
      return EIO;
    }
    counter.Finish();
    if (!g_output_stream_close(output, nullptr, gerror.out())) {
      error = "the cabinet " + target.string() + " was not written: " + GErrorText(gerror.get(), "");
      status = StatusFromGError(gerror.get(), kWriteFault);
      return EIO;
    }
    // The cabinet header stores its own size in 32 bits.
    struct stat writtenInfo {};
    if (::fstat(fd, &writtenInfo) != 0) return errno;
    if (static_cast<unsigned long long>(writtenInfo.st_size) > 0xFFFFFFFFull) {
      error = "the cabinet " + target.string() + " would be larger than 4 GB";
      status = kInvalidData;
      return EFBIG;
    }
    return 0;
  }, /*flush=*/false);  // the cabinet is read into the package and removed: no need to wait for the disk
  if (replaced != 0) {
    if (status != kSuccess) return status;
    error = "the cabinet " + target.string() + " cannot be put in place: " + std::generic_category().message(replaced);
    return kWriteFault;
  }
  return kSuccess;
}

// Writes each folder as a cabinet of its own, as many at a time as there are cores, then joins
// them. A failure or stop of one folder stops the others; nothing is left at `target` then.
Status WriteFoldersAtOnce(const std::vector<std::span<const CabinetMember>>& folders, const fs::path& target,
                          std::uint64_t maxFolderBytes, std::string& error, const CabinetWatch* watch) {
  std::vector<fs::path> parts;
  for (size_t i = 0; i < folders.size(); ++i) parts.push_back(target.string() + ".folder" + std::to_string(i + 1));
  std::vector<Status> statuses(folders.size(), kSuccess);
  std::vector<std::string> errors(folders.size());
  std::atomic<bool> stop{false};
  const CabinetWatch folderWatch{watch != nullptr ? watch->bytesDone : nullptr, &stop};
  std::atomic<size_t> next{0};
  std::mutex mutex;  // guards running
  std::condition_variable ended;
  size_t running = 0;
  const auto work = [&] {
    for (size_t i = next++; i < folders.size() && !stop.load(); i = next++) {
      statuses[i] = WriteFolderCabinet(folders[i], parts[i], maxFolderBytes, errors[i], &folderWatch);
      if (statuses[i] != kSuccess) stop = true;
    }
    std::lock_guard<std::mutex> lock(mutex);
    --running;
    ended.notify_all();
  };

  const size_t wanted = std::min<size_t>(folders.size(), std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> workers;
  for (size_t i = 0; i < wanted; ++i) {
    std::lock_guard<std::mutex> lock(mutex);
    try {
      workers.emplace_back(work);
      ++running;
    } catch (const std::system_error&) {
      break;  // no thread to spare: the workers started take the rest
    }
  }
  if (workers.empty()) {
    ++running;
    work();
  }
  // The caller's stop reaches the folders through `stop`.
  const std::atomic<bool>* callerStop = watch != nullptr ? watch->stop : nullptr;
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(20), [&] { return running == 0; })) {
      if (callerStop != nullptr && callerStop->load()) stop = true;
    }
  }
  for (std::thread& worker : workers) worker.join();

  Status status = kSuccess;
  for (size_t i = 0; i < folders.size() && status == kSuccess; ++i) {
    if (statuses[i] != kSuccess && statuses[i] != kCancelled) {
      status = statuses[i];
      error = errors[i];
    }
  }
  if (status == kSuccess && (stop.load() || (callerStop != nullptr && callerStop->load()))) {
    status = kCancelled;
    error = "the cabinet " + target.string() + " was stopped before it was complete";
  }
  if (status == kSuccess) status = JoinCabinets(parts, target, error);
  std::error_code ec;
  for (const fs::path& part : parts) fs::remove(part, ec);
  return status;
}

}  // namespace

Status WriteCabinet(const std::vector<CabinetMember>& members, const fs::path& target,
                    std::uint64_t maxFolderBytes, std::string& error, const CabinetWatch* watch) {
  PrepareGLib();
  if (members.empty()) {
    error = "no files to put into the cabinet";
    return kNoMoreFiles;
  }
  // libgcab would count them in 16 bits and write a cabinet that loses the rest.
  if (members.size() > kMaxCabinetFiles) {
    error = FormatText("%zu files are more than the %u one cabinet can list", members.size(), kMaxCabinetFiles);
    return kInvalidData;
  }
  // A folder starts with the first member and at each member marked for a new one.
  std::vector<std::span<const CabinetMember>> folders;
  size_t start = 0;
  for (size_t i = 1; i <= members.size(); ++i) {
    if (i == members.size() || members[i].newFolder) {
      folders.emplace_back(members.data() + start, i - start);
      start = i;
    }
  }
  if (folders.size() == 1) return WriteFolderCabinet(members, target, maxFolderBytes, error, watch);
  // An old cabinet at the target must not outlive a failed build.
  std::error_code ec;
  fs::remove(target, ec);
  return WriteFoldersAtOnce(folders, target, maxFolderBytes, error, watch);
}

}  // namespace platform::wine
