#include "snapshot/file_snapshot_record.h"

namespace {

constexpr uint64_t kFileTimeTicksPerSecond = 10000000ULL;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
// The last file time Windows converts to a calendar time (FileTimeToSystemTime).
constexpr uint64_t kLastConvertibleFileTime = 0x7FFFFFFFFFFFFFFFULL;

void Put64(unsigned char* out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

int64_t FileTimeToUnixSeconds(uint64_t fileTime) {
  // The stored value is the time through the local clock and back, which gives the UTC second
  // again; done as arithmetic it costs nothing per entry of a walk.
  if (fileTime == 0 || fileTime > kLastConvertibleFileTime) return 0;
  return static_cast<int64_t>(fileTime / kFileTimeTicksPerSecond) - kSecondsFrom1601To1970;
}

bool EncodeFileSnapshotEntry(const FileSnapshotRecord& record, unsigned char (&out)[kFileEntrySize]) {
  if (record.path.empty() || record.path.size() > kFileRecordMaxPath) return false;
  std::memset(out, 0, sizeof(out));
  out[0] = static_cast<unsigned char>(kFileRecordSize & 0xFF);
  out[1] = static_cast<unsigned char>((kFileRecordSize >> 8) & 0xFF);
  unsigned char* body = out + 4;
  std::memcpy(body, record.path.data(), record.path.size());
  Put64(body + 1024, static_cast<uint64_t>(record.creationTime));
  Put64(body + 1032, static_cast<uint64_t>(record.lastWriteTime));
  Put64(body + 1040, record.size);
  body[1048] = record.isDirectory ? 1 : 0;
  return true;
}
