// The PE reader: resource directory, version blocks and icon groups, on real NSIS executables and
// on hand-made files, including truncated and hostile ones.
#include "platform/pe_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "support/pe_builder.h"
#include "support/temp_folder.h"

namespace pe = platform::pe;

namespace {

uint32_t Le32(std::string_view s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
  return v;
}

uint16_t Le16(std::string_view s, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8));
}

std::wstring Find(const pe::VersionData& data, const std::wstring& table, const std::wstring& name) {
  for (const auto& t : data.stringTables) {
    if (t.key != table) continue;
    for (const auto& [key, value] : t.strings) {
      if (key == name) return value;
    }
  }
  return L"<absent>";
}

// Everything the reader offers, run over arbitrary bytes; must never read out of bounds.
void ExerciseEverything(std::string_view bytes) {
  pe::Image image;
  image.Parse(bytes);
  for (const pe::Resource& r : image.ResourcesOfType(pe::kResourceVersion)) {
    pe::VersionData data;
    pe::ReadVersionData(r.data, data);
  }
  std::string ico;
  pe::ExtractIconFile(image, 0, ico);
  pe::ExtractIconFile(image, -1, ico);
}

class PeReaderNsisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string log;
    exe_ = pe_builder::BuildNsisProgram(
        folder_.path(), "versioned",
        "Icon \"/usr/share/nsis/Contrib/Graphics/Icons/llama-blue.ico\"\n"
        "VIProductVersion \"1.2.3.4\"\n"
        "VIAddVersionKey /LANG=1033 \"ProductName\" \"Corvane Test\"\n"
        "VIAddVersionKey /LANG=1033 \"FileVersion\" \"1.2.3.4\"\n",
        &log);
    ASSERT_FALSE(exe_.empty()) << log;
    bytes_ = ReadHostFile(exe_);
    ASSERT_FALSE(bytes_.empty());
  }
  TempFolder folder_;
  std::filesystem::path exe_;
  std::string bytes_;
};

TEST_F(PeReaderNsisTest, IconGroupBecomesAnIcoFileWithTheImagesOfTheSourceIcon) {
  pe::Image image;
  ASSERT_TRUE(image.Parse(bytes_));
  std::string ico;
  ASSERT_TRUE(pe::ExtractIconFile(image, 0, ico));
  ASSERT_GE(ico.size(), 22u);
  EXPECT_EQ(Le16(ico, 0), 0);
  EXPECT_EQ(Le16(ico, 2), 1);
  const uint16_t count = Le16(ico, 4);
  ASSERT_GE(count, 1);
  // Every image lies inside the file, right after the directory, one after the other.
  std::set<std::string> extracted;
  size_t expectedOffset = 6 + 16 * static_cast<size_t>(count);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t entry = 6 + 16 * static_cast<size_t>(i);
    const uint32_t size = Le32(ico, entry + 8);
    const uint32_t offset = Le32(ico, entry + 12);
    EXPECT_EQ(offset, expectedOffset);
    ASSERT_LE(static_cast<size_t>(offset) + size, ico.size());
    extracted.insert(ico.substr(offset, size));
    expectedOffset = offset + size;
  }
  EXPECT_EQ(expectedOffset, ico.size());
  // NSIS stores the images of the .ico it was given: they come back byte for byte.
  const std::string source = ReadHostFile("/usr/share/nsis/Contrib/Graphics/Icons/llama-blue.ico");
  ASSERT_GE(source.size(), 6u);
  for (uint16_t i = 0; i < Le16(source, 4); ++i) {
    const size_t entry = 6 + 16 * static_cast<size_t>(i);
    EXPECT_TRUE(extracted.count(source.substr(Le32(source, entry + 12), Le32(source, entry + 8))))
        << "image " << i << " of the source icon is missing";
  }
  // There is only one group in an NSIS program.
  EXPECT_FALSE(pe::ExtractIconFile(image, 1, ico));
}

TEST_F(PeReaderNsisTest, TruncatedAndDamagedCopiesNeverReadOutsideTheBytes) {
  // Every prefix length near the headers, then a sample of lengths across the file.
  for (size_t length = 0; length < 1024 && length < bytes_.size(); ++length) ExerciseEverything(bytes_.substr(0, length));
  for (size_t length = 1024; length < bytes_.size(); length += 509) ExerciseEverything(bytes_.substr(0, length));
  // A file cut inside its resources loses them, but keeps nothing half-read.
  pe::Image full;
  ASSERT_TRUE(full.Parse(bytes_));
  const auto version = full.ResourcesOfType(pe::kResourceVersion).at(0);
  const size_t versionOffset = static_cast<size_t>(version.data.data() - bytes_.data());
  const std::string cut = bytes_.substr(0, versionOffset + version.data.size() / 2);
  pe::Image image;
  ASSERT_TRUE(image.Parse(cut));
  EXPECT_TRUE(image.ResourcesOfType(pe::kResourceVersion).empty());
}

TEST(PeReaderSyntheticTest, ReadsResourcesOfBothFormatsAndLanguages) {
  for (bool pe32plus : {true, false}) {
    const std::string block = pe_builder::VersionBlock(pe_builder::FixedFileInfo(5, 6, 7, 8), {0x04B00407, 0x04E40409},
                                                       {{L"040704B0", {{L"ProductName", L"Deutsch"}}},
                                                        {L"040904E4", {{L"ProductName", L"English"}, {L"Comments", L""}}}});
    const std::string file = pe_builder::BuildPe({{pe::kResourceVersion, 1, 1031, block},
                                                  {pe::kResourceVersion, 1, 1033, "second language"},
                                                  {pe::kResourceIcon, 7, 0, "icon-bytes"}},
                                                 pe32plus);
    pe::Image image;
    ASSERT_TRUE(image.Parse(file)) << pe32plus;
    const auto versions = image.ResourcesOfType(pe::kResourceVersion);
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[0].language, 1031);
    EXPECT_EQ(versions[1].language, 1033);
    EXPECT_EQ(versions[1].data, "second language");
    pe::Resource icon;
    ASSERT_TRUE(image.FindResource(pe::kResourceIcon, 7, icon));
    EXPECT_EQ(icon.data, "icon-bytes");
    EXPECT_FALSE(image.FindResource(pe::kResourceIcon, 8, icon));

    pe::VersionData data;
    ASSERT_TRUE(pe::ReadVersionData(versions[0].data, data));
    EXPECT_EQ(data.translations, (std::vector<uint32_t>{0x04B00407, 0x04E40409}));
    EXPECT_EQ(Find(data, L"040704B0", L"ProductName"), L"Deutsch");
    EXPECT_EQ(Find(data, L"040904E4", L"ProductName"), L"English");
    EXPECT_EQ(Find(data, L"040904E4", L"Comments"), L"");
  }
}

TEST(PeReaderSyntheticTest, IconGroupsAreChosenByIndexOrById) {
  auto group = [](uint16_t iconId, uint8_t width) {
    std::string g = {0, 0, 1, 0, 1, 0};
    g += std::string{static_cast<char>(width), static_cast<char>(width), 0, 0, 1, 0, 32, 0};
    g += std::string{4, 0, 0, 0};  // claimed size; the real size is what the RT_ICON holds
    g += std::string{static_cast<char>(iconId & 0xFF), static_cast<char>(iconId >> 8)};
    return g;
  };
  const std::string file = pe_builder::BuildPe({{pe::kResourceGroupIcon, 10, 0, group(1, 16)},
                                                {pe::kResourceGroupIcon, 20, 0, group(2, 32)},
                                                {pe::kResourceGroupIcon, 30, 0, group(99, 48)},
                                                {pe::kResourceIcon, 1, 0, "sixteen"},
                                                {pe::kResourceIcon, 2, 0, "thirty-two"}});
  pe::Image image;
  ASSERT_TRUE(image.Parse(file));
  std::string ico;
  ASSERT_TRUE(pe::ExtractIconFile(image, 1, ico));
  ASSERT_EQ(ico.size(), 6u + 16u + 10u);
  EXPECT_EQ(static_cast<unsigned char>(ico[6]), 32);
  EXPECT_EQ(Le32(ico, 14), 10u);
  EXPECT_EQ(ico.substr(22), "thirty-two");
  ASSERT_TRUE(pe::ExtractIconFile(image, -10, ico));
  EXPECT_EQ(ico.substr(22), "sixteen");
  // A group whose image is missing gives no icon; so do unknown indexes and ids.
  EXPECT_FALSE(pe::ExtractIconFile(image, 2, ico));
  EXPECT_FALSE(pe::ExtractIconFile(image, 3, ico));
  EXPECT_FALSE(pe::ExtractIconFile(image, -11, ico));
  EXPECT_EQ(ico.substr(22), "sixteen");  // untouched by the failures
}

TEST(PeReaderSyntheticTest, RejectsWhatIsNotAPeFile) {
  pe::Image image;
  EXPECT_FALSE(image.Parse(""));
  EXPECT_FALSE(image.Parse("MZ"));
  EXPECT_FALSE(image.Parse("plain text that is long enough to hold a header but is no program at all......"));
  std::string file = pe_builder::BuildPe({{pe::kResourceVersion, 1, 0, "x"}});
  std::string badSignature = file;
  badSignature[0x41] = 'X';
  EXPECT_FALSE(image.Parse(badSignature));
  std::string farHeader = file;
  farHeader[0x3C] = '\xF0';
  farHeader[0x3F] = '\x7F';  // e_lfanew far beyond the file
  EXPECT_FALSE(image.Parse(farHeader));
  EXPECT_TRUE(image.ResourcesOfType(pe::kResourceVersion).empty());
}

TEST(PeReaderSyntheticTest, HostileDirectoriesEndQuicklyAndFindNothingFalse) {
  const std::string file = pe_builder::BuildPe({{pe::kResourceVersion, 1, 0, "data"}});
  const size_t rsrc = 0x200;
  // The type entry points back at the root directory: a loop.
  std::string loop = file;
  loop.replace(rsrc + 16 + 4, 4, std::string("\0\0\0\x80", 4));
  pe::Image image;
  ASSERT_TRUE(image.Parse(loop));
  EXPECT_TRUE(image.ResourcesOfType(pe::kResourceVersion).empty());
  // Enormous entry counts.
  std::string counts = file;
  counts.replace(rsrc + 12, 4, "\xFF\xFF\xFF\xFF");
  ASSERT_TRUE(image.Parse(counts));
  EXPECT_TRUE(image.ResourcesOfType(pe::kResourceVersion).empty());
  // A data entry whose size runs past the end of the file.
  pe::Image good;
  ASSERT_TRUE(good.Parse(file));
  const auto resource = good.ResourcesOfType(pe::kResourceVersion).at(0);
  std::string oversized = file;
  for (size_t at = rsrc; at + 8 <= file.size(); at += 4) {
    if (Le32(file, at) == 0x1000 + (resource.data.data() - file.data() - rsrc) && Le32(file, at + 4) == 4) {
      oversized[at + 7] = '\x40';
    }
  }
  ASSERT_TRUE(image.Parse(oversized));
  EXPECT_TRUE(image.ResourcesOfType(pe::kResourceVersion).empty());
  // Random damage anywhere: no crash, no read outside the bytes (the sanitizer build checks).
  const std::string block = pe_builder::VersionBlock(pe_builder::FixedFileInfo(1, 0, 0, 0), {0x04B00409},
                                                     {{L"040904B0", {{L"ProductName", L"P"}, {L"CompanyName", L"C"}}}});
  const std::string rich = pe_builder::BuildPe({{pe::kResourceVersion, 1, 1033, block}, {pe::kResourceIcon, 1, 0, "i"}});
  std::mt19937 random(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = rich;
    const int flips = 1 + static_cast<int>(random() % 8);
    for (int f = 0; f < flips; ++f) damaged[random() % damaged.size()] = static_cast<char>(random() & 0xFF);
    ExerciseEverything(damaged);
  }
}

TEST(PeReaderVersionBlockTest, DamagedBlocksAreRejectedOrTrimmed) {
  const std::string block = pe_builder::VersionBlock(pe_builder::FixedFileInfo(1, 2, 3, 4), {0x04B00409},
                                                     {{L"040904B0", {{L"ProductName", L"Name"}}}});
  pe::VersionData data;
  ASSERT_TRUE(pe::ReadVersionData(block, data));
  EXPECT_EQ(data.fixed.size(), 52u);
  // A root that claims more than there is.
  EXPECT_FALSE(pe::ReadVersionData(block.substr(0, block.size() - 1), data));
  EXPECT_TRUE(data.translations.empty());
  // Each prefix of the block: never a read past it.
  for (size_t n = 0; n < block.size(); ++n) pe::ReadVersionData(block.substr(0, n), data);
  // A key without its NUL inside the node.
  const std::string noNul = {12, 0, 0, 0, 1, 0, 'K', 0, 'e', 0, 'y', 0};
  pe::VersionNode node;
  EXPECT_FALSE(pe::ParseVersionBlock(noNul, node));
  // A text value without NUL ends at the node's end.
  std::string text = pe_builder::VersionNode(
      L"StringFileInfo", "", true,
      {pe_builder::VersionNode(L"040904B0", "", true, {pe_builder::VersionNode(L"Comments", std::string("a\0b\0", 4), true)})});
  std::string root = pe_builder::VersionNode(L"VS_VERSION_INFO", pe_builder::FixedFileInfo(1, 0, 0, 0), false, {text});
  ASSERT_TRUE(pe::ReadVersionData(root, data));
  ASSERT_EQ(data.stringTables.size(), 1u);
  EXPECT_EQ(Find(data, L"040904B0", L"Comments"), L"ab");
  // A child of length zero stops the walk instead of looping.
  std::string zeroChild = pe_builder::VersionNode(L"VS_VERSION_INFO", pe_builder::FixedFileInfo(1, 0, 0, 0), false);
  zeroChild.append(8, '\0');
  zeroChild[0] = static_cast<char>(zeroChild.size());
  ASSERT_TRUE(pe::ParseVersionBlock(zeroChild, node));
  EXPECT_TRUE(node.children.empty());
  EXPECT_EQ(node.value.size(), 52u);
}

}  // namespace
