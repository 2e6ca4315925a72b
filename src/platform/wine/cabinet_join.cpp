// A cabinet (MS-CAB) is a 36-byte header, a table of folders (8 bytes each: where the folder's
// data starts, its block count, its compression), a table of files (16 bytes and a name each,
// naming their folder by index), then the data blocks of every folder in turn.
#include "platform/wine/cabinet_join.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "platform/wine/file_descriptor.h"
#include "platform/wine/replace_file.h"

namespace fs = std::filesystem;

namespace platform::wine {
namespace {

constexpr size_t kHeaderBytes = 36;
constexpr size_t kFolderBytes = 8;
constexpr size_t kFileEntryBytes = 16;  // before the name

std::uint32_t Read32(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}
std::uint16_t Read16(const unsigned char* at) {
  return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}
void Put32(unsigned char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}
void Put16(unsigned char* at, std::uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

// What a part brings: its folder entry, its file table and where its data lies.
struct Part {
  FileDescriptor fd;
  std::string name;
  unsigned char folder[kFolderBytes] = {};
  std::vector<unsigned char> files;  // the file table, iFolder still 0
  std::uint16_t fileCount = 0;
  std::uint32_t dataStart = 0;
  std::uint32_t dataBytes = 0;
};

bool ReadAt(int fd, void* buffer, size_t size, off_t offset) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ssize_t got = ::pread(fd, out, size, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    size -= static_cast<size_t>(got);
    offset += got;
  }
  return true;
}

bool WriteAll(int fd, const void* buffer, size_t size) {
  const auto* in = static_cast<const unsigned char*>(buffer);
  while (size > 0) {
    const ssize_t put = ::write(fd, in, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    in += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

// Copies `size` bytes of `from`, starting at `offset`, to the end of `to`.
int CopyRange(int from, off_t offset, std::uint64_t size, int to) {
  while (size > 0) {
    const ssize_t copied = ::copy_file_range(from, &offset, to, nullptr, size, 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) break;
    if (copied <= 0) return copied == 0 ? EIO : errno;
    size -= static_cast<std::uint64_t>(copied);
  }
  std::vector<unsigned char> buffer(1 << 20);
  while (size > 0) {
    const size_t chunk = static_cast<size_t>(std::min<std::uint64_t>(size, buffer.size()));
    if (!ReadAt(from, buffer.data(), chunk, offset)) return EIO;
    if (!WriteAll(to, buffer.data(), chunk)) return errno != 0 ? errno : EIO;
    offset += static_cast<off_t>(chunk);
    size -= chunk;
  }
  return 0;
}

// Reads the tables of a cabinet of one folder; false with the reason in `error`.
bool ReadPart(const fs::path& path, Part& part, std::string& error) {
  part.name = path.string();
  part.fd.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  unsigned char header[kHeaderBytes];
  if (part.fd.get() < 0 || ::fstat(part.fd.get(), &info) != 0 || !ReadAt(part.fd.get(), header, sizeof header, 0)) {
    error = "the cabinet " + part.name + " cannot be read";
    return false;
  }
  const std::uint32_t size = Read32(header + 8);
  const std::uint32_t filesStart = Read32(header + 16);
  part.fileCount = Read16(header + 28);
  if (std::memcmp(header, "MSCF", 4) != 0 || header[25] != 1 || Read16(header + 26) != 1 || Read16(header + 30) != 0 ||
      size != static_cast<std::uint64_t>(info.st_size) || filesStart != kHeaderBytes + kFolderBytes ||
      !ReadAt(part.fd.get(), part.folder, kFolderBytes, kHeaderBytes)) {
    error = "the cabinet " + part.name + " is not a plain cabinet of one folder";
    return false;
  }
  part.dataStart = Read32(part.folder);
  if (part.dataStart < filesStart || part.dataStart > size) {
    error = "the cabinet " + part.name + " has its data before its file table";
    return false;
  }
  part.dataBytes = size - part.dataStart;
  part.files.resize(part.dataStart - filesStart);
  if (!ReadAt(part.fd.get(), part.files.data(), part.files.size(), filesStart)) {
    error = "the cabinet " + part.name + " cannot be read";
    return false;
  }
  // Every entry must lie within the table: the join rewrites their folder index.
  size_t at = 0;
  for (std::uint16_t i = 0; i < part.fileCount; ++i) {
    const size_t nameAt = at + kFileEntryBytes;
    const void* end =
        nameAt <= part.files.size() ? std::memchr(part.files.data() + nameAt, 0, part.files.size() - nameAt) : nullptr;
    if (end == nullptr || Read16(part.files.data() + at + 8) != 0) {
      error = "the cabinet " + part.name + " has a damaged file table";
      return false;
    }
    at = static_cast<size_t>(static_cast<const unsigned char*>(end) - part.files.data()) + 1;
  }
  part.files.resize(at);
  return true;
}

}  // namespace

Status JoinCabinets(const std::vector<fs::path>& parts, const fs::path& target, std::string& error) {
  std::vector<Part> read(parts.size());
  std::uint64_t fileCount = 0;
  std::uint64_t tableBytes = 0;
  std::uint64_t dataBytes = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!ReadPart(parts[i], read[i], error)) return read[i].fd.get() < 0 ? kReadFault : kInvalidData;
    fileCount += read[i].fileCount;
    tableBytes += read[i].files.size();
    dataBytes += read[i].dataBytes;
  }
  const std::uint64_t dataStart = kHeaderBytes + kFolderBytes * parts.size() + tableBytes;
  if (parts.empty() || parts.size() > 0xFFFF || fileCount > 0xFFFF || dataStart + dataBytes > 0xFFFFFFFFull) {
    error = "the cabinet " + target.string() + " would hold more than one cabinet can (65535 files, 4 GB)";
    return kInvalidData;
  }

  // The tables first: the header, a folder for each part (its data moved), the file tables (their
  // folder index set).
  std::vector<unsigned char> tables(static_cast<size_t>(dataStart));
  std::memcpy(tables.data(), "MSCF", 4);
  Put32(tables.data() + 8, static_cast<std::uint32_t>(dataStart + dataBytes));
  Put32(tables.data() + 16, static_cast<std::uint32_t>(kHeaderBytes + kFolderBytes * parts.size()));
  tables[24] = 3;  // format 1.3
  tables[25] = 1;
  Put16(tables.data() + 26, static_cast<std::uint16_t>(parts.size()));
  Put16(tables.data() + 28, static_cast<std::uint16_t>(fileCount));
  size_t tableAt = kHeaderBytes + kFolderBytes * parts.size();
  std::uint64_t folderData = dataStart;
  for (size_t i = 0; i < read.size(); ++i) {
    unsigned char* folder = tables.data() + kHeaderBytes + kFolderBytes * i;
    std::memcpy(folder, read[i].folder, kFolderBytes);
    Put32(folder, static_cast<std::uint32_t>(folderData));
    folderData += read[i].dataBytes;
    unsigned char* files = tables.data() + tableAt;
    std::memcpy(files, read[i].files.data(), read[i].files.size());
    for (size_t at = 0; at < read[i].files.size();) {
      Put16(files + at + 8, static_cast<std::uint16_t>(i));
      at += kFileEntryBytes + std::strlen(reinterpret_cast<const char*>(files + at + kFileEntryBytes)) + 1;
    }
    tableAt += read[i].files.size();
  }

  const int failure = ReplaceHostFile(target, [&](int fd, const fs::path& /*temporary*/) {
    if (!WriteAll(fd, tables.data(), tables.size())) return errno != 0 ? errno : EIO;
    for (const Part& part : read) {
      if (const int copied = CopyRange(part.fd.get(), part.dataStart, part.dataBytes, fd); copied != 0) return copied;
    }
    return 0;
  }, /*flush=*/false);  // read into the package and removed, as the cabinets are
  if (failure != 0) {
    error = "the cabinet " + target.string() + " was not written: " + std::generic_category().message(failure);
    return kWriteFault;
  }
  return kSuccess;
}

}  // namespace platform::wine
