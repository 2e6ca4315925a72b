#include "snapshot/file_snapshot_map.h"

#include <algorithm>
#include <cstring>

#include "snapshot/file_snapshot_record.h"

bool CFileSnapshotMap::Insert(std::string_view path, int64_t lastWriteTime, uint64_t size, bool isDirectory) {
  if (path.empty() || path.size() > kFileRecordMaxPath) return false;
  if (entryCount_ >= UINT32_MAX) return false;
  if (kBlockBytes - blockUsed_ < path.size()) {
    blocks_.push_back(std::make_unique<char[]>(kBlockBytes));
    blockUsed_ = 0;
  }
  const uint64_t offset = (blocks_.size() - 1) * kBlockBytes + blockUsed_;
  std::memcpy(blocks_.back().get() + blockUsed_, path.data(), path.size());
  blockUsed_ += path.size();

  if (entryCount_ % kEntriesPerChunk == 0 && entryCount_ / kEntriesPerChunk == entryChunks_.size()) {
    entryChunks_.push_back(std::make_unique<Entry[]>(kEntriesPerChunk));
  }
  Entry& entry = EntryAt(entryCount_);
  entry.offset = offset;
  entry.lastWriteTime = lastWriteTime;
  entry.size = size;
  entry.length = static_cast<uint32_t>(path.size());
  entry.isDirectory = isDirectory ? 1 : 0;
  entry.replaced = 0;
  ++entryCount_;
  sorted_ = false;
  return true;
}

void CFileSnapshotMap::Clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  blockUsed_ = kBlockBytes;
  entryChunks_.clear();
  entryChunks_.shrink_to_fit();
  entryCount_ = 0;
  order_.clear();
  order_.shrink_to_fit();
  sorted_ = true;
}

std::string_view CFileSnapshotMap::PathOf(const Entry& entry) const {
  return std::string_view(blocks_[entry.offset / kBlockBytes].get() + entry.offset % kBlockBytes, entry.length);
}

void CFileSnapshotMap::Sort() {
  if (sorted_) return;
  order_.clear();
  order_.reserve(entryCount_);
  for (size_t i = 0; i < entryCount_; ++i) {
    if (!EntryAt(i).replaced) order_.push_back(static_cast<uint32_t>(i));
  }
  // Equal paths stay in insertion order, so the last of a run is the one that replaces the rest.
  std::stable_sort(order_.begin(), order_.end(), [this](uint32_t a, uint32_t b) {
    return PathOf(EntryAt(a)) < PathOf(EntryAt(b));
  });
  size_t kept = 0;
  for (size_t i = 0; i < order_.size(); ++i) {
    if (i + 1 < order_.size() && PathOf(EntryAt(order_[i])) == PathOf(EntryAt(order_[i + 1]))) {
      EntryAt(order_[i]).replaced = 1;
      continue;
    }
    order_[kept++] = order_[i];
  }
  order_.resize(kept);
  order_.shrink_to_fit();
  sorted_ = true;
}

size_t CFileSnapshotMap::Count() {
  Sort();
  return order_.size();
}

std::string_view CFileSnapshotMap::PathAt(size_t position) { return PathOf(Ordered(position)); }
int64_t CFileSnapshotMap::LastWriteTimeAt(size_t position) { return Ordered(position).lastWriteTime; }
uint64_t CFileSnapshotMap::SizeAt(size_t position) { return Ordered(position).size; }
bool CFileSnapshotMap::IsDirectoryAt(size_t position) { return Ordered(position).isDirectory != 0; }

size_t CFileSnapshotMap::Find(std::string_view path) {
  Sort();
  auto it = std::lower_bound(order_.begin(), order_.end(), path,
                             [this](uint32_t index, std::string_view key) { return PathOf(EntryAt(index)) < key; });
  if (it == order_.end() || PathOf(EntryAt(*it)) != path) return npos;
  return static_cast<size_t>(it - order_.begin());
}

size_t CFileSnapshotMap::MemoryBytes() const {
  return blocks_.size() * kBlockBytes + entryChunks_.size() * kEntriesPerChunk * sizeof(Entry) +
         order_.capacity() * sizeof(uint32_t);
}
