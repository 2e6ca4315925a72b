#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// The records of one file snapshot in memory, ordered by path, as compact as the comparison
// allows. A whole system drive has about a million entries; a 1056-byte record each would cost
// gigabytes, so only what the comparison and the change lists need is kept: the 8-bit path
// (packed into large blocks), the last-write time, the size and the folder flag, about 40 bytes
// plus the path per entry.
//
// Entries are added in any order; the first ordered access sorts them. Keys are exact,
// case-sensitive paths ordered by character code (the byte order of UTF-8 is the code point
// order). Adding a path that is already present replaces the earlier entry.
class CFileSnapshotMap {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  CFileSnapshotMap() = default;
  CFileSnapshotMap(const CFileSnapshotMap&) = delete;
  CFileSnapshotMap& operator=(const CFileSnapshotMap&) = delete;

  // Adds or replaces the entry of `path` (at most 1023 bytes; longer paths are not stored and
  // false is returned).
  bool Insert(std::string_view path, int64_t lastWriteTime, uint64_t size, bool isDirectory);
  void Clear();

  // Number of distinct paths.
  size_t Count();
  bool Empty() { return Count() == 0; }

  // Ordered access by position 0 .. Count()-1.
  std::string_view PathAt(size_t position);
  int64_t LastWriteTimeAt(size_t position);
  uint64_t SizeAt(size_t position);
  bool IsDirectoryAt(size_t position);
  // Position of a path, or npos.
  size_t Find(std::string_view path);

  // Bytes held (blocks, entries and the order), for the memory measurements.
  size_t MemoryBytes() const;

 private:
  struct Entry {
    uint64_t offset;  // into the path blocks
    int64_t lastWriteTime;
    uint64_t size;
    uint32_t length;
    uint8_t isDirectory;
    uint8_t replaced;  // a later entry has the same path
  };
  static constexpr size_t kBlockBytes = size_t{1} << 20;
  static constexpr size_t kEntriesPerChunk = size_t{1} << 15;

  std::string_view PathOf(const Entry& entry) const;
  Entry& EntryAt(size_t index) { return entryChunks_[index / kEntriesPerChunk][index % kEntriesPerChunk]; }
  const Entry& EntryAt(size_t index) const {
    return entryChunks_[index / kEntriesPerChunk][index % kEntriesPerChunk];
  }
  const Entry& Ordered(size_t position) {
    Sort();
    return EntryAt(order_[position]);
  }
  void Sort();

  // Paths are packed into 1 MiB blocks; a path never straddles two blocks.
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t blockUsed_ = kBlockBytes;
  // Entries in insertion order, in chunks so that growing never copies them.
  std::vector<std::unique_ptr<Entry[]>> entryChunks_;
  size_t entryCount_ = 0;
  // Indices of the live entries in path order; valid when sorted_.
  std::vector<uint32_t> order_;
  bool sorted_ = true;
};
