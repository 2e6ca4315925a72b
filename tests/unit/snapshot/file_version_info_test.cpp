// CFileVersionInfo: the fixed block and the twelve texts of the string table that suits the
// user's language, read from files on the machine (a fixture prefix; files on its Z: drive).
#include "snapshot/file_version_info.h"

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/pe_reader.h"
#include "support/fixture_prefix.h"
#include "support/pe_builder.h"
#include "support/temp_folder.h"

namespace {

class FileVersionInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { prefix_.Activate(); }
  // Writes a file outside the prefix and returns its Windows path (through Z:).
  std::wstring Place(const std::string& name, const std::string& bytes) {
    return platform::Machine::WindowsPath(folder_.WriteFile(name, bytes));
  }
  FixturePrefix prefix_;
  TempFolder folder_;
};

TEST_F(FileVersionInfoTest, ReadsTheTextsOfARealExecutable) {
  std::string log;
  const auto exe = pe_builder::BuildNsisProgram(prefix_.Scratch().parent_path(), "setup",
                                                "VIProductVersion \"4.5.6.7\"\n"
                                                "VIFileVersion \"1.0.0.2\"\n"
                                                "VIAddVersionKey ProductName \"Corvane Test\"\n"
                                                "VIAddVersionKey CompanyName \"Corvane Labs\"\n"
                                                "VIAddVersionKey ProductVersion \"4.5\"\n"
                                                "VIAddVersionKey FileVersion \"1.0.0.2\"\n"
                                                "VIAddVersionKey FileDescription \"Caf\xC3\xA9 setup\"\n"
                                                "VIAddVersionKey LegalCopyright \"(C) nobody\"\n"
                                                "VIAddVersionKey SpecialBuild \"special\"\n",
                                                &log);
  ASSERT_FALSE(exe.empty()) << log;
  CFileVersionInfo info;
  ASSERT_TRUE(info.Create(platform::Machine::WindowsPath(exe)));
  EXPECT_EQ(info.GetProductName(), L"Corvane Test");
  EXPECT_EQ(info.GetCompanyName(), L"Corvane Labs");
  EXPECT_EQ(info.GetProductVersionText(), L"4.5");
  EXPECT_EQ(info.GetFileVersionText(), L"1.0.0.2");
  EXPECT_EQ(info.GetFileDescription(), L"Caf\u00e9 setup");
  EXPECT_EQ(info.GetLegalCopyright(), L"(C) nobody");
  EXPECT_EQ(info.GetSpecialBuild(), L"special");
  EXPECT_EQ(info.GetComments(), L"");
  EXPECT_EQ(info.GetTableKey(), L"040904B0");
  EXPECT_EQ(info.GetProductVersion(), 0x0004000500060007ull);
  EXPECT_EQ(info.GetFileVersion(), 0x0001000000000002ull);
  EXPECT_EQ(info.GetFixedBlock()[0], 0xBD);  // signature FEEF04BD, little-endian
}

TEST_F(FileVersionInfoTest, TextsComeFromTheTableOfTheChosenTranslation) {
  const std::string block = pe_builder::VersionBlock(
      pe_builder::FixedFileInfo(2, 0, 0, 1), {0x04B00407, 0x04E40409},
      {{L"040704B0", {{L"ProductName", L"Produkt"}, {L"CompanyName", L"Firma"}}},
       {L"040904E4", {{L"ProductName", L"Product"}, {L"CompanyName", L"Company"}}}});
  CFileVersionInfo info;
  ASSERT_TRUE(info.Create(Place("two.exe", pe_builder::BuildPe({{platform::pe::kResourceVersion, 1, 1033, block}}))));
  EXPECT_EQ(info.GetTableKey(), L"040904E4");
  EXPECT_EQ(info.GetProductName(), L"Product");
  EXPECT_EQ(info.GetCompanyName(), L"Company");
  EXPECT_EQ(info.GetText(CFileVersionInfo::kInternalName), L"");
  // Without a translation table the only string table is used.
  const std::string lone = pe_builder::VersionBlock(pe_builder::FixedFileInfo(1, 0, 0, 0), {},
                                                    {{L"041104B0", {{L"ProductName", L"Only"}}}});
  ASSERT_TRUE(info.Create(Place("notrans.exe", pe_builder::BuildPe({{platform::pe::kResourceVersion, 1, 0, lone}}))));
  EXPECT_EQ(info.GetProductName(), L"Only");
}

TEST_F(FileVersionInfoTest, FailuresLeaveTheObjectReset) {
  const std::string good = pe_builder::VersionBlock(pe_builder::FixedFileInfo(3, 0, 0, 0), {0x04B00409},
                                                    {{L"040904B0", {{L"ProductName", L"Good"}}}});
  const std::wstring goodPath = Place("good.exe", pe_builder::BuildPe({{platform::pe::kResourceVersion, 1, 0, good}}));
  // A fixed block that is not 52 bytes long.
  const std::string shortFixed = pe_builder::VersionBlock(std::string(48, '\x01'), {0x04B00409},
                                                          {{L"040904B0", {{L"ProductName", L"Bad"}}}});
  const std::wstring badFixed = Place("short.exe", pe_builder::BuildPe({{platform::pe::kResourceVersion, 1, 0, shortFixed}}));
  const std::wstring noVersion = Place("none.exe", pe_builder::BuildPe({{platform::pe::kResourceIcon, 1, 0, "x"}}));
  const std::wstring garbage = Place("garbage.exe", std::string(3000, '\x5A'));
  const std::wstring truncated = Place("cut.exe", pe_builder::BuildPe({{platform::pe::kResourceVersion, 1, 0, good}}).substr(0, 0x210));

  for (const std::wstring& bad : {badFixed, noVersion, garbage, truncated, std::wstring(L"Z:\\no\\such\\file.exe"),
                                  std::wstring(L"Q:\\unmapped.exe")}) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.Create(goodPath));
    ASSERT_EQ(info.GetProductName(), L"Good");
    EXPECT_FALSE(info.Create(bad));
    EXPECT_EQ(info.GetProductName(), L"");
    EXPECT_EQ(info.GetTableKey(), L"");
    EXPECT_EQ(info.GetFileVersion(), 0u);
    for (uint8_t b : info.GetFixedBlock()) EXPECT_EQ(b, 0);
  }
}

TEST(FileVersionInfoTranslationTest, ChoosesByLanguageThenPrimaryThenNeutralThenEnglish) {
  auto choose = [](std::vector<uint32_t> entries, uint16_t user) {
    return CFileVersionInfo::ChooseTranslation(entries.data(), entries.size(), user);
  };
  // The user's language exactly, even behind an entry of the same primary language.
  EXPECT_EQ(choose({0x04B00809, 0x04B00409}, 0x0409), 1);
  // Same primary language (low 8 bits).
  EXPECT_EQ(choose({0x04B00407, 0x04B00809}, 0x0409), 1);
  // Neutral before English when the user's language is absent.
  EXPECT_EQ(choose({0x04B0040C, 0x04B00409, 0x04B00000}, 0x0407), 2);
  EXPECT_EQ(choose({0x04B0040C, 0x04B00809}, 0x0407), 1);
  // Nothing fits: the first entry.
  EXPECT_EQ(choose({0x04B0040C, 0x04B00411}, 0x0407), 0);
  EXPECT_EQ(choose({}, 0x0409), -1);
  EXPECT_EQ(CFileVersionInfo::ChooseTranslation(nullptr, 3, 0x0409), -1);
}

}  // namespace
