#include "platform/wine/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/wine/file_descriptor.h"

namespace fs = std::filesystem;

namespace platform::wine {

int ReplaceHostFile(const fs::path& host, const std::function<int(int fd, const fs::path& temporary)>& write,
                    bool flush) {
  fs::path target = host;
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::weakly_canonical(target, ec);
    if (ec) return ec.value() != 0 ? ec.value() : ENOENT;
    target = resolved;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  mode_t mode = 0666 & ~mask;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return EACCES;
    // A read-only file is not written, as on Windows.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
    mode = st.st_mode & 07777;
  }
  std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".new-XXXXXX")).string();
  FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
  if (file.get() < 0) return errno;
  int error = write(file.get(), fs::path(temporary));
  if (error == 0 && ::fchmod(file.get(), mode) != 0) error = errno;
  if (error == 0 && flush && ::fsync(file.get()) != 0) error = errno;
  if (const int closed = file.Close(); error == 0) error = closed;
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}

int ReplaceHostFile(const fs::path& target, std::string_view bytes) {
  return ReplaceHostFile(target, [bytes](int fd, const fs::path&) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return errno;
      if (put == 0) return EIO;
      done += static_cast<size_t>(put);
    }
    return 0;
  });
}

}  // namespace platform::wine
