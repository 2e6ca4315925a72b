// A file snapshot ("FirstSnapShot.txt") read into the map the comparison looks paths up in.
#include <cstddef>
#include <cstdint>

#include "snapshot/file_snapshot_map.h"
#include "snapshot/file_snapshot_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFileSnapshotMap map;
  ParseFileSnapshot(data, size, [&map](const FileSnapshotRecord& record) {
    map.Insert(record.path, record.lastWriteTime, record.size, record.isDirectory);
  });
  for (size_t i = 0; i < map.Count(); ++i) {
    if (map.Find(map.PathAt(i)) != i) __builtin_trap();  // every stored path is found where it is
  }
  return 0;
}
