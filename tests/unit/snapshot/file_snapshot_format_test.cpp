// The file snapshot's stored form (1060-byte entries), its reader on damaged input, and the
// compact in-memory map the comparison works on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snapshot/file_snapshot_map.h"
#include "snapshot/file_snapshot_record.h"

namespace {

std::string Entry(const FileSnapshotRecord& record) {
  unsigned char bytes[kFileEntrySize];
  EXPECT_TRUE(EncodeFileSnapshotEntry(record, bytes));
  return std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes));
}

struct Parsed {
  std::vector<std::string> paths;
  std::vector<int64_t> times;
  std::vector<uint64_t> sizes;
  std::vector<bool> folders;
  FileSnapshotReadEnd end;
};

Parsed Parse(const std::string& bytes) {
  Parsed parsed;
  parsed.end = ParseFileSnapshot(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                 [&](const FileSnapshotRecord& record) {
                                   parsed.paths.emplace_back(record.path);
                                   parsed.times.push_back(record.lastWriteTime);
                                   parsed.sizes.push_back(record.size);
                                   parsed.folders.push_back(record.isDirectory);
                                 });
  return parsed;
}

uint64_t Read64(const std::string& bytes, size_t offset) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + static_cast<size_t>(i)]);
  return value;
}

TEST(FileSnapshotFormatTest, EntryLayoutIsByteExactAndPathsThatDoNotFitAreRefused) {
  FileSnapshotRecord record{"C:\\App\\a.txt", 1700000001, 1700000002, 0x1122334455ULL, false};
  std::string bytes = Entry(record);
  ASSERT_EQ(bytes.size(), 1060u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x20\x04\x00\x00", 4));  // 1056 little-endian
  EXPECT_EQ(bytes.substr(4, 12), "C:\\App\\a.txt");
  for (size_t i = 4 + 12; i < 4 + 1024; ++i) ASSERT_EQ(bytes[i], '\0') << i;
  EXPECT_EQ(Read64(bytes, 4 + 1024), 1700000001u);
  EXPECT_EQ(Read64(bytes, 4 + 1032), 1700000002u);
  EXPECT_EQ(Read64(bytes, 4 + 1040), 0x1122334455ULL);
  EXPECT_EQ(bytes[4 + 1048], '\0');
  for (size_t i = 4 + 1049; i < 1060; ++i) EXPECT_EQ(bytes[i], '\0');

  record.isDirectory = true;
  EXPECT_EQ(Entry(record)[4 + 1048], '\1');
  // A negative time (before 1970) is stored as its two's complement.
  record.lastWriteTime = -1;
  EXPECT_EQ(Read64(Entry(record), 4 + 1032), ~uint64_t{0});

  // Paths that do not fit are refused; the longest that does keeps its terminator.
  unsigned char longest[kFileEntrySize];
  EXPECT_TRUE(EncodeFileSnapshotEntry({std::string(1023, 'a'), 0, 0, 0, false}, longest));
  EXPECT_EQ(longest[4 + 1023], 0);
  EXPECT_FALSE(EncodeFileSnapshotEntry({std::string(1024, 'a'), 0, 0, 0, false}, longest));
  EXPECT_FALSE(EncodeFileSnapshotEntry({"", 0, 0, 0, false}, longest));
}

TEST(FileSnapshotFormatTest, FileTimesBecomeUnixSeconds) {
  EXPECT_EQ(FileTimeToUnixSeconds(0), 0);
  EXPECT_EQ(FileTimeToUnixSeconds(116444736000000000ULL), 0);              // 1970-01-01
  EXPECT_EQ(FileTimeToUnixSeconds(116444736000000000ULL + 15'000'000), 1);  // 1.5 s: whole seconds
  EXPECT_EQ(FileTimeToUnixSeconds(133000000000000000ULL), 1655526400);
  EXPECT_EQ(FileTimeToUnixSeconds(0x8000000000000000ULL), 0);  // beyond what the system converts
}

TEST(FileSnapshotFormatTest, ReaderReturnsEntriesInFileOrder) {
  std::string bytes = Entry({"C:\\b", 0, 5, 0, true}) + Entry({"C:\\b\\x.ini", 0, 6, 42, false}) +
                      Entry({"C:\\a", 0, 7, 0, true});
  Parsed parsed = Parse(bytes);
  EXPECT_EQ(parsed.end, FileSnapshotReadEnd::kComplete);
  EXPECT_EQ(parsed.paths, (std::vector<std::string>{"C:\\b", "C:\\b\\x.ini", "C:\\a"}));
  EXPECT_EQ(parsed.times, (std::vector<int64_t>{5, 6, 7}));
  EXPECT_EQ(parsed.sizes, (std::vector<uint64_t>{0, 42, 0}));
  EXPECT_EQ(parsed.folders, (std::vector<bool>{true, false, true}));
}

TEST(FileSnapshotFormatTest, ReaderOnDamagedInput) {
  // A zero-byte file is an empty snapshot.
  Parsed empty = Parse(std::string());
  EXPECT_EQ(empty.end, FileSnapshotReadEnd::kComplete);
  EXPECT_TRUE(empty.paths.empty());

  // A length of 0 carries no record and is passed over.
  Parsed zero = Parse(std::string(4, '\0') + Entry({"C:\\a", 0, 0, 0, false}));
  EXPECT_EQ(zero.end, FileSnapshotReadEnd::kComplete);
  EXPECT_EQ(zero.paths, std::vector<std::string>{"C:\\a"});

  // A bad length stops the reading: what came before stays, nothing after is trusted.
  std::string bad = Entry({"C:\\a", 0, 0, 0, false});
  std::string wrong = Entry({"C:\\b", 0, 0, 0, false});
  wrong[0] = '\x21';  // 1057: would read past a record
  Parsed badLength = Parse(bad + wrong + Entry({"C:\\c", 0, 0, 0, false}));
  EXPECT_EQ(badLength.end, FileSnapshotReadEnd::kBadLength);
  EXPECT_EQ(badLength.paths, std::vector<std::string>{"C:\\a"});
  std::string huge = Entry({"C:\\b", 0, 0, 0, false});
  huge[3] = '\x7f';
  EXPECT_EQ(Parse(huge).end, FileSnapshotReadEnd::kBadLength);

  // An entry cut short, in its record or in its length, is dropped.
  std::string two = Entry({"C:\\a", 0, 0, 0, false}) + Entry({"C:\\b", 0, 0, 0, false});
  Parsed cut = Parse(two.substr(0, two.size() - 1));
  EXPECT_EQ(cut.end, FileSnapshotReadEnd::kTruncated);
  EXPECT_EQ(cut.paths, std::vector<std::string>{"C:\\a"});
  Parsed cutLength = Parse(two.substr(0, 1060 + 2));
  EXPECT_EQ(cutLength.end, FileSnapshotReadEnd::kTruncated);
  EXPECT_EQ(cutLength.paths, std::vector<std::string>{"C:\\a"});

  // A record whose path field has no terminator is read up to the field's last usable byte.
  std::string unterminated = Entry({"C:\\a", 0, 0, 0, false});
  for (size_t i = 4; i < 4 + 1024; ++i) unterminated[i] = 'x';
  Parsed noNul = Parse(unterminated);
  ASSERT_EQ(noNul.paths.size(), 1u);
  EXPECT_EQ(noNul.paths[0].size(), 1023u);
}

TEST(FileSnapshotMapTest, OrderedByCharacterCodeAndLastInsertWins) {
  CFileSnapshotMap map;
  EXPECT_TRUE(map.Empty());
  map.Insert("C:\\b", 1, 10, false);
  map.Insert("C:\\B", 2, 20, false);
  map.Insert("C:\\a\\z", 3, 30, false);
  map.Insert("C:\\b", 4, 40, true);  // the same path again: replaces the first
  map.Insert("C:\\\xc3\xa9", 5, 50, false);  // é sorts after every ASCII character
  ASSERT_EQ(map.Count(), 4u);
  EXPECT_EQ(map.PathAt(0), "C:\\B");
  EXPECT_EQ(map.PathAt(1), "C:\\a\\z");
  EXPECT_EQ(map.PathAt(2), "C:\\b");
  EXPECT_EQ(map.LastWriteTimeAt(2), 4);
  EXPECT_EQ(map.SizeAt(2), 40u);
  EXPECT_TRUE(map.IsDirectoryAt(2));
  EXPECT_EQ(map.PathAt(3), "C:\\\xc3\xa9");

  EXPECT_EQ(map.Find("C:\\B"), 0u);
  EXPECT_EQ(map.Find("C:\\b"), 2u);
  EXPECT_EQ(map.Find("c:\\b"), CFileSnapshotMap::npos);  // exact, case-sensitive

  // Inserting after an ordered access keeps both the order and the replacement rule.
  map.Insert("C:\\B", 9, 90, false);
  map.Insert("C:\\0", 1, 1, false);
  ASSERT_EQ(map.Count(), 5u);
  EXPECT_EQ(map.PathAt(0), "C:\\0");
  EXPECT_EQ(map.LastWriteTimeAt(1), 9);

  EXPECT_FALSE(map.Insert(std::string(1024, 'a'), 0, 0, false));
  map.Clear();
  EXPECT_EQ(map.Count(), 0u);
  EXPECT_EQ(map.Find("C:\\0"), CFileSnapshotMap::npos);
}

TEST(FileSnapshotMapTest, ManyEntriesSpanBlocksAndStayCompact) {
  CFileSnapshotMap map;
  const size_t count = 100000;
  for (size_t i = 0; i < count; ++i) {
    std::string path = "C:\\Program Files\\Vendor\\Product\\folder" + std::to_string(i % 997) + "\\file" +
                       std::to_string(i) + ".dll";
    ASSERT_TRUE(map.Insert(path, static_cast<int64_t>(i), i, false));
  }
  ASSERT_EQ(map.Count(), count);
  for (size_t i = 1; i < count; ++i) ASSERT_LT(map.PathAt(i - 1), map.PathAt(i));
  size_t position = map.Find("C:\\Program Files\\Vendor\\Product\\folder506\\file12470.dll");
  ASSERT_NE(position, CFileSnapshotMap::npos);
  EXPECT_EQ(map.SizeAt(position), 12470u);
  // About 55 bytes of path each: well under 200 bytes an entry with everything else.
  EXPECT_LT(map.MemoryBytes() / count, 200u);
}

}  // namespace
