// The cabinet maker under Wine: reads the directive file the package builder wrote and writes the
// MSZIP cabinet with libgcab, in-process (there is no MAKECAB.EXE to run).
#include "platform/cabinet_maker.h"

#include <gio/gio.h>
#include <libgcab.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

#include "core/logger.h"
#include "core/strings.h"
#include "platform/machine.h"
#include "platform/wine/buffered_file_output.h"
#include "platform/wine/cabinet_writer.h"
#include "platform/wine/ddf_parser.h"
#include "platform/wine/glib_status.h"
#include "platform/wine/replace_file.h"

namespace fs = std::filesystem;

namespace platform {
namespace wine {
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

}  // namespace

Status WriteCabinet(const std::vector<CabinetMember>& members, const fs::path& target,
                    std::uint64_t maxFolderBytes, std::string& error, const CabinetWatch* watch) {
  PrepareGLib();
  if (members.empty()) {
    error = "no files to put into the cabinet";
    return kNoMoreFiles;
  }
  // libgcab writes exactly one folder per cabinet, so every member goes into it, compressed as
  // the first member asks (the compression is invisible to whoever extracts the files).
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

}  // namespace wine

namespace {

std::wstring FolderOf(const std::wstring& windowsPath) {
  size_t slash = windowsPath.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : windowsPath.substr(0, slash);
}

bool IsAbsolute(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':';
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  if (folder.back() == L'\\' || folder.back() == L'/') return folder + name;
  return folder + L"\\" + name;
}

// Host paths of the listed files. A capture's folders hold many files each: each folder is
// looked up once (with the machine's rules for letter case), and a file that is there under its
// exact name needs no further look; any other path gets the whole lookup, as before.
class HostPaths {
 public:
  fs::path Of(const std::wstring& windowsPath) {
    const size_t slash = windowsPath.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? std::wstring() : windowsPath.substr(slash + 1);
    if (slash == std::wstring::npos || slash < 2 || name.empty() || name == L"." || name == L"..")
      return Machine::HostPath(windowsPath);
    const std::wstring folder = windowsPath.substr(0, slash);
    auto found = folders_.find(folder);
    if (found == folders_.end()) found = folders_.emplace(folder, Machine::HostPath(folder)).first;
    if (!found->second.empty()) {
      fs::path candidate = found->second / WideToUtf8(name);
      struct stat info {};
      if (::lstat(candidate.c_str(), &info) == 0) return candidate;
    }
    return Machine::HostPath(windowsPath);
  }

 private:
  std::map<std::wstring, fs::path> folders_;
};

Status Fail(const std::string& subject, const std::string& what, Status status, std::string* error) {
  if (error != nullptr) *error = what;
  CLogger* logger = CLogger::GetInstance();
  logger->Write(2, FormatText("MakeCabinet failed for %s: %s (error code is: %ld)", subject.c_str(), what.c_str(),
                              status));
  CLogger::ReleaseInstance(logger);
  return status;
}

}  // namespace

Status MakeCabinet(const std::wstring& directiveFilePath, const std::wstring& batchFilePath,
                   const CabinetWatch* watch, std::string* errorText) {
  // The batch file only deletes old cabinets of its folder and runs MAKECAB on the directive file;
  // here the directive file is read directly, and an old cabinet at the target is removed below.
  (void)batchFilePath;
  std::string subject = "\"" + WideToUtf8(directiveFilePath) + "\"";

  fs::path directiveHost = Machine::HostPath(directiveFilePath);
  if (directiveHost.empty()) return Fail(subject, "no drive maps the path", kPathNotFound, errorText);
  std::error_code ec;
  if (!fs::is_regular_file(directiveHost, ec)) {
    return Fail(subject, "the directive file does not exist",
                fs::is_directory(directiveHost.parent_path(), ec) ? kFileNotFound : kPathNotFound, errorText);
  }
  std::ifstream in(directiveHost, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in.good() && !in.eof()) return Fail(subject, "the directive file cannot be read", kReadFault, errorText);

  wine::DirectiveFile directives;
  std::string error;
  Status status = wine::ParseDirectiveFile(text.str(), directives, error);
  if (status != kSuccess) return Fail(subject, error, status, errorText);
  if (!directives.notes.empty()) {
    CLogger* logger = CLogger::GetInstance();
    for (const std::string& note : directives.notes) logger->Write(1, "MakeCabinet: " + note);
    CLogger::ReleaseInstance(logger);
  }

  // Relative paths are relative to the folder the maker runs in: the directive file's folder.
  const std::wstring base = FolderOf(directiveFilePath);
  std::wstring diskDirectory = IsAbsolute(directives.diskDirectory) ? directives.diskDirectory
                                                                     : Join(base, directives.diskDirectory);
  std::wstring cabinetPath = Join(diskDirectory, directives.cabinetName);
  fs::path cabinetHost = Machine::HostPath(cabinetPath);
  if (cabinetHost.empty()) return Fail(subject, "no drive maps " + WideToUtf8(cabinetPath), kPathNotFound, errorText);
  // A cabinet left from an earlier build must not pass for this one.
  fs::remove(cabinetHost, ec);

  if (directives.files.empty()) {
    // An empty cabinet is not a readable cabinet: none is made.
    return Fail(subject, "it lists no file, so no cabinet is made", kNoMoreFiles, errorText);
  }

  std::vector<wine::CabinetMember> members;
  members.reserve(directives.files.size());
  HostPaths hostPaths;
  for (const wine::DirectiveFileEntry& entry : directives.files) {
    std::wstring source = IsAbsolute(entry.source) ? entry.source : Join(base, entry.source);
    fs::path host = hostPaths.Of(source);
    if (host.empty()) {
      return Fail(subject, FormatText("line %zu: no drive maps %s", entry.line, WideToUtf8(source).c_str()),
                  kPathNotFound, errorText);
    }
    members.push_back({host, WideToUtf8(entry.member), entry.compression, entry.newFolder});
  }

  fs::create_directories(cabinetHost.parent_path(), ec);
  if (!fs::is_directory(cabinetHost.parent_path(), ec)) {
    return Fail(subject, "the folder of " + WideToUtf8(cabinetPath) + " cannot be created", kPathNotFound, errorText);
  }
  status = wine::WriteCabinet(members, cabinetHost, wine::kMaxCabinetFolderBytes, error, watch);
  if (status != kSuccess) return Fail(subject, error, status, errorText);
  return kSuccess;
}

}  // namespace platform
