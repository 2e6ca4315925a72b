#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The file snapshot format ("FirstSnapShot.txt", "SecondSnapShot.txt"): a plain sequence of
// entries in walk order, no header or trailer. An entry is a 32-bit little-endian length (always
// 1056) followed by one 1056-byte record:
//   0    1024  path, 8-bit, NUL-terminated, rest zero
//   1024 8     creation time, signed seconds since 1970 UTC (0 when unknown)
//   1032 8     last-write time, same form
//   1040 8     size in bytes (0 for folders)
//   1048 1     1 for a folder, 0 for a file
//   1049 7     zero
inline constexpr size_t kFileRecordSize = 1056;
inline constexpr size_t kFileEntrySize = 4 + kFileRecordSize;
inline constexpr size_t kFileRecordPathBytes = 1024;
// The longest path a record can hold (the field keeps a terminator).
inline constexpr size_t kFileRecordMaxPath = kFileRecordPathBytes - 1;

struct FileSnapshotRecord {
  std::string_view path;  // 8-bit (UTF-8) full path
  int64_t creationTime = 0;
  int64_t lastWriteTime = 0;
  uint64_t size = 0;
  bool isDirectory = false;
};

// Seconds since 1970 UTC of a file time (100-ns units since 1601 UTC); 0 for a zero file time or
// one the system cannot convert (beyond the year 30827).
int64_t FileTimeToUnixSeconds(uint64_t fileTime);

// Writes one whole entry (length and record) into `out`. False, with `out` untouched, when the
// path does not fit the record (longer than kFileRecordMaxPath bytes, or empty).
bool EncodeFileSnapshotEntry(const FileSnapshotRecord& record, unsigned char (&out)[kFileEntrySize]);

// How reading a snapshot ended.
enum class FileSnapshotReadEnd {
  kComplete,   // the end of the data came at an entry boundary
  kBadLength,  // a length other than 0 or 1056: the rest cannot be trusted and is not read
  kTruncated,  // the data ended inside a length or a record; that partial entry is dropped
};

// Reads the entries of a snapshot held in memory, calling sink(const FileSnapshotRecord&) for each
// record in file order. Entries of length 0 carry no record and are passed over. Never reads more
// than 1056 bytes into a record. Records with an empty path are passed over.
template <typename Sink>
FileSnapshotReadEnd ParseFileSnapshot(const unsigned char* data, size_t size, Sink&& sink) {
  size_t position = 0;
  while (position < size) {
    if (size - position < 4) return FileSnapshotReadEnd::kTruncated;
    const uint32_t length = static_cast<uint32_t>(data[position]) | (static_cast<uint32_t>(data[position + 1]) << 8) |
                            (static_cast<uint32_t>(data[position + 2]) << 16) |
                            (static_cast<uint32_t>(data[position + 3]) << 24);
    position += 4;
    if (length == 0) continue;
    if (length != kFileRecordSize) return FileSnapshotReadEnd::kBadLength;
    if (size - position < kFileRecordSize) return FileSnapshotReadEnd::kTruncated;
    const unsigned char* record = data + position;
    position += kFileRecordSize;
    const char* path = reinterpret_cast<const char*>(record);
    const size_t pathLength = ::strnlen(path, kFileRecordMaxPath);
    if (pathLength == 0) continue;
    auto read64 = [record](size_t offset) {
      uint64_t value = 0;
      for (int i = 7; i >= 0; --i) value = (value << 8) | record[offset + static_cast<size_t>(i)];
      return value;
    };
    FileSnapshotRecord parsed;
    parsed.path = std::string_view(path, pathLength);
    parsed.creationTime = static_cast<int64_t>(read64(1024));
    parsed.lastWriteTime = static_cast<int64_t>(read64(1032));
    parsed.size = read64(1040);
    parsed.isDirectory = record[1048] != 0;
    sink(static_cast<const FileSnapshotRecord&>(parsed));
  }
  return FileSnapshotReadEnd::kComplete;
}
