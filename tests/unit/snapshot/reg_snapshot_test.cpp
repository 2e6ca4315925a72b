// The registry snapshot file format, byte for byte, on registries of hand-made fixture prefixes.
#include "snapshot/reg_snapshot.h"

#include <gtest/gtest.h>

#include <string>

#include "core/status_values.h"
#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/environment.h"
#include "platform/machine.h"
#include "project/include_exclude_rules.h"
#include "session/work_context_setup.h"
#include "snapshot/registry_enumerate.h"
#include "support/fixture_prefix.h"
#include "support/temp_folder.h"

namespace {

const std::wstring kHeader = L"\u00FE\u00FFWindows Registry Snapshot\r\n";

class RegSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.AddSystemReg(
        "\n[Software\\\\Test] 1700000000\n"
        "#time=1da1a5e9b2c3d40\n"
        "@=\"abc\"\n"
        "\"Bin\"=hex:\n"
        "\"Count\"=dword:000000ff\n"
        "\"Dwbe\"=hex(5):12,34,56,78\n"
        "\"Exp\"=str(2):\"%P%\"\n"
        "\"Multi\"=str(7):\"a\\0b\\0\"\n"
        "\"Odd\"=hex(12345):01,02\n"
        "\"Qw\"=hex(b):88,77,66,55,44,33,22,11\n"
        "\"say \\\"hi\\\"\"=\"x\"\n"
        "\"Short\"=hex(4):41,00,42\n"
        "\"Zero\"=hex(1):\n"
        "\n[Software\\\\Test\\\\Empty] 1700000000\n"
        "\n[Software\\\\Test\\\\Parent\\\\Child] 1700000000\n"
        "\"c\"=\"1\"\n"
        "\n[Software\\\\Test\\\\quo\"te] 1700000000\n"
        "\"n\"=\"v\\\\w\"\n"
        "\n[System\\\\CurrentControlSet\\\\Hardware Profiles\\\\Current\\\\Software\\\\Vendor] 1700000000\n"
        "\"v\"=\"x\"\n");
    prefix_.Activate();
    SetupWorkContext(context_, std::wstring(), std::wstring());
    enumerator_.Initialize();
  }
  void TearDown() override { enumerator_.Uninitialize(); }

  // Takes a snapshot of a starting key and returns the file as text (CR LF kept).
  std::wstring Snapshot(const std::wstring& startingKey, platform::Status* status = nullptr) {
    const std::wstring file = platform::Machine::WindowsPath(folder_.path() / "snap.reg");
    const platform::Status result = enumerator_.TakeSnapShot(startingKey, file);
    if (status) *status = result;
    bytes_ = ReadHostFile(folder_.path() / "snap.reg");
    return Utf16LeToWide(bytes_.data(), bytes_.size());
  }

  FixturePrefix prefix_;
  TempFolder folder_;
  CWorkContext context_;
  CIncludeExcludeRules rules_;
  CRegistryEnumerate enumerator_{context_, rules_};
  std::string bytes_;
};

TEST_F(RegSnapshotTest, FormatOfOneSubtreeByteForByte) {
  KeyCounter.store(0);
  const std::wstring text = Snapshot(L"HKEY_LOCAL_MACHINE\\Software\\Test");
  EXPECT_EQ(text,
            kHeader +
                L"[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
                L"@=\"1\"=\"abc\"\r\n"
                L"\"Bin\"=\"3\"=\"\"\r\n"
                L"\"Count\"=\"4\"=\"000000ff\"\r\n"
                L"\"Dwbe\"=\"5\"=\"12345678\"\r\n"
                L"\"Exp\"=\"2\"=\"25,00,50,00,25,00,00,00\"\r\n"
                L"\"Multi\"=\"7\"=\"61,00,00,00,62,00,00,00,00,00\"\r\n"
                L"\"Odd\"=\"74565\"=\"\"\r\n"
                L"\"Qw\"=\"11\"=\"88,77,66,55,44,33,22,11\"\r\n"
                L"\"say \"hi\"\"=\"1\"=\"x\"\r\n"
                L"\"Short\"=\"4\"=\"00420041\"\r\n"
                L"\"Zero\"=\"1\"=\"\"\r\n"
                L"\r\n"
                L"[HKEY_LOCAL_MACHINE\\Software\\Test\\Empty]\r\n"
                L"\r\n"
                // A key that exists only as a parent still has its block.
                L"[HKEY_LOCAL_MACHINE\\Software\\Test\\Parent]\r\n"
                L"\r\n"
                L"[HKEY_LOCAL_MACHINE\\Software\\Test\\Parent\\Child]\r\n"
                L"\"c\"=\"1\"=\"1\"\r\n"
                L"\r\n"
                L"[HKEY_LOCAL_MACHINE\\Software\\Test\\quo\"te]\r\n"
                L"\"n\"=\"1\"=\"v\\w\"\r\n"
                L"\r\n");
  // UTF-16LE without byte-order mark: the header's two characters are text.
  ASSERT_GE(bytes_.size(), 8u);
  EXPECT_EQ(bytes_.substr(0, 8), std::string("\xFE\x00\xFF\x00\x57\x00\x69\x00", 8));
  EXPECT_EQ(KeyCounter.load(), 5);
  EXPECT_NE(StatusDetail.Get().find(L"5"), std::wstring::npos);
}

TEST_F(RegSnapshotTest, FormatRootNamesAsGivenMissingKeysAndInvalidRoots) {
  EXPECT_EQ(Snapshot(L"HKEY_CURRENT_CONFIG"),
            kHeader + L"[HKEY_CURRENT_CONFIG\\]\r\n\r\n[HKEY_CURRENT_CONFIG\\Software]\r\n\r\n"
                      L"[HKEY_CURRENT_CONFIG\\Software\\Vendor]\r\n\"v\"=\"1\"=\"x\"\r\n\r\n");
  EXPECT_EQ(Snapshot(L"hklm\\Software\\Test\\Parent"),
            kHeader + L"[hklm\\Software\\Test\\Parent]\r\n\r\n[hklm\\Software\\Test\\Parent\\Child]\r\n"
                      L"\"c\"=\"1\"=\"1\"\r\n\r\n");
  // A starting key that does not exist: the header alone.
  EXPECT_EQ(Snapshot(L"HKLM\\Software\\NoSuchKey"), kHeader);

  // A root name outside the table: an empty file and the message on the error stream.
  testing::internal::CaptureStderr();
  platform::Status status = 0;
  EXPECT_EQ(Snapshot(L"HKEY_NOWHERE\\Software", &status), L"");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Invalid key: 'HKEY_NOWHERE\\Software'. Must be one of: HKCC HKCR HKCU HKLM HKU\r\n");
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(bytes_.empty());
}

TEST(RegSnapshotDataTextTest, FormatDataTextsByType) {
  bool known = false;
  auto text = [&known](uint32_t type, std::vector<uint8_t> data) { return CRegSnapshot::DataText(type, data, known); };
  EXPECT_EQ(text(4, {10, 0, 0, 0}), u"0000000a");
  EXPECT_EQ(text(4, {}), u"00000000");  // bytes beyond the data count as zero
  EXPECT_EQ(text(1, {'a', 0, 'b', 0, 0, 0, 'c', 0}), u"ab");  // up to the first NUL
  EXPECT_EQ(text(1, {'a', 0, 'b'}), u"ab");  // an odd last byte pairs with a zero
  EXPECT_EQ(text(3, {1, 2, 0xff}), u"01,02,ff");
  EXPECT_TRUE(known);
  EXPECT_EQ(text(0x20, {1}), u"");
  EXPECT_FALSE(known);
}

TEST(RegSnapshotFileTest, FormatUnwritableFileIsReportedNotFatal) {
  FixturePrefix prefix;
  prefix.Activate();
  EnvironmentValues = platform::ReadEnvironmentValues();
  CRegSnapshot snapshot;
  EXPECT_FALSE(snapshot.File_Open_Create(L"Q:\\no\\such\\drive.reg"));
  // The walk still runs; every write fails quietly after the first logged failure.
  EXPECT_EQ(snapshot.TakeFirstSnapShot(L"HKLM", platform::RootKey::LocalMachine, L"Software"), 0);
}

}  // namespace
