// The registry enumerator on hand-made fixture prefixes: captures, the HKEY_USERS rewrite, the
// change maps with the exclusion rules, "RegChanges.xml", and equivalent keys.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/strings.h"
#include "core/work_context.h"
#include "platform/machine.h"
#include "project/include_exclude_rules.h"
#include "project/xml_document_handler.h"
#include "session/work_context_setup.h"
#include "snapshot/registry_enumerate.h"
#include "snapshot/user_hive_names.h"
#include "support/fixture_prefix.h"
#include "support/registry_change_lines.h"
#include "support/temp_folder.h"

namespace {

void ReplaceInFile(const std::filesystem::path& path, const std::string& from, const std::string& to) {
  std::string text = ReadHostFile(path);
  const size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class RegEnumerateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.AddSystemReg(
        "\n[Software\\\\Test\\\\App] 1700000000\n\"Keep\"=\"1\"\n\"Old\"=\"1\"\n"
        "\n[Software\\\\Test\\\\Gone\\\\Sub] 1700000000\n\"g\"=\"1\"\n"
        "\n[Software\\\\Test\\\\Microsoft\\\\Noise] 1700000000\n\"n\"=\"1\"\n"
        "\n[Software\\\\Classes\\\\.tst] 1700000000\n@=\"tstfile\"\n");
    prefix_.AddUserReg("\n[Software\\\\Vendor] 1700000000\n\"v\"=\"1\"\n");
    prefix_.AddUserdefReg("\n[Software\\\\Shared] 1700000000\n\"s\"=\"1\"\n");
    prefix_.Activate();
    SetupWorkContext(context_, std::wstring(), std::wstring());
    context_.TemplateProjectPath =
        platform::Machine::WindowsPath(std::filesystem::path(CORVANE_SOURCE_DIR) / "data" / "RawProjectFile.xml");
    context_.RulesFilePath = platform::Machine::WindowsPath(
        folder_.WriteFile("rules.xml",
                          "<IncludeExclude><FileSystem/><RegistrySystem><ExcludedItems>"
                          "<ExcludedEntry Name=\"software\\microsoft\" Description=\"noise\"/>"
                          "<ExcludedEntry Name=\"Test\\Microsoft\\\" Description=\"noise\"/>"
                          "</ExcludedItems></RegistrySystem></IncludeExclude>"));
    enumerator_.Initialize();
  }
  void TearDown() override { enumerator_.Uninitialize(); }

  // As after a restart: a new enumerator looks for the first snapshot on disk.
  bool RestartFindsTheFirstSnapshot() {
    CRegistryEnumerate restarted(context_, rules_);
    restarted.Initialize();
    const bool found = restarted.IsFirstSnapshotExist();
    restarted.Uninitialize();
    return found;
  }
  std::filesystem::path HostOf(const std::wstring& windowsPath) const {
    return platform::Machine::HostPath(windowsPath);
  }

  FixturePrefix prefix_;
  TempFolder folder_;
  CWorkContext context_;
  CIncludeExcludeRules rules_;
  CRegistryEnumerate enumerator_{context_, rules_};
};

TEST_F(RegEnumerateTest, CaptureRewritesUserHivesAndNumbersFiles) {
  EXPECT_FALSE(enumerator_.IsFirstSnapshotExist());
  std::vector<std::wstring> keys = {L"HKEY_USERS", L"HKEY_LOCAL_MACHINE\\Software\\Test", L"HKEY_USERS\\S-1-5-21-1"};
  EXPECT_EQ(enumerator_.CaptureSnapShot(keys), 1);
  EXPECT_EQ(keys, (std::vector<std::wstring>{L"HKEY_USERS\\.DEFAULT", L"HKEY_LOCAL_MACHINE\\Software\\Test"}));
  EXPECT_EQ(enumerator_.RootCount(), 2);

  const std::string users = ReadHostFile(HostOf(enumerator_.SnapshotFileName(false, 0)));
  const std::wstring usersText = Utf16LeToWide(users.data(), users.size());
  EXPECT_NE(usersText.find(L"\r\n[HKEY_USERS\\.DEFAULT]\r\n"), std::wstring::npos);
  EXPECT_NE(usersText.find(L"[HKEY_USERS\\.DEFAULT\\Software\\Shared]\r\n\"s\"=\"1\"=\"1\"\r\n"), std::wstring::npos);
  EXPECT_TRUE(std::filesystem::exists(HostOf(enumerator_.SnapshotFileName(false, 1))));
  EXPECT_FALSE(std::filesystem::exists(HostOf(enumerator_.SnapshotFileName(false, 2))));

  EXPECT_TRUE(RestartFindsTheFirstSnapshot());
}

TEST_F(RegEnumerateTest, CaptureOfEmptyListLeavesMarkerFile) {
  std::vector<std::wstring> keys;
  EXPECT_EQ(enumerator_.CaptureSnapShot(keys), 1);
  EXPECT_TRUE(std::filesystem::exists(HostOf(enumerator_.SnapshotFileName(false, 0))));
  EXPECT_TRUE(RestartFindsTheFirstSnapshot());
}

TEST_F(RegEnumerateTest, CompareFillsMapsAndChangeFile) {
  std::vector<std::wstring> keys = {L"HKEY_LOCAL_MACHINE\\Software\\Test", L"HKEY_CURRENT_USER\\Software"};
  enumerator_.IsFirstSnapshotExist();
  enumerator_.CaptureSnapShot(keys);

  // Adding rewrites the file from the fixture's own text: edit by hand after it.
  prefix_.AddSystemReg("\n[Software\\\\Test\\\\New] 1700000000\n\"n\"=dword:00000001\n");
  const std::filesystem::path system = prefix_.prefix() / "system.reg";
  ReplaceInFile(system, "\"Keep\"=\"1\"", "\"Keep\"=\"22\"");
  ReplaceInFile(system, "\"Old\"=\"1\"\n", "");
  ReplaceInFile(system, "[Software\\\\Test\\\\Gone\\\\Sub] 1700000000\n\"g\"=\"1\"\n", "");
  ReplaceInFile(system, "\"n\"=\"1\"", "\"n\"=\"2\"");
  ReplaceInFile(prefix_.prefix() / "user.reg", "[Software\\\\Vendor] 1700000000\n", "[Software\\\\Vendor] 1700000000\n\"w\"=hex:01\n");

  EXPECT_TRUE(enumerator_.IsFirstSnapshotExist());
  enumerator_.CaptureSnapShot(keys);
  EXPECT_EQ(enumerator_.CompareSnapshot(), 1);

  RegKeyMap* added = nullptr;
  RegKeyMap* modified = nullptr;
  RegKeyMap* deleted = nullptr;
  enumerator_.GetChangeMaps(added, modified, deleted);
  const std::vector<std::wstring> expectedAdded = {
      L"HKEY_CURRENT_USER\\Software\\Vendor | \"w\" REG_BINARY",
      L"HKEY_LOCAL_MACHINE\\Software\\Test\\New | \"n\" REG_DWORD"};
  const std::vector<std::wstring> expectedModified = {L"HKEY_LOCAL_MACHINE\\Software\\Test\\App | \"Keep\" REG_SZ"};
  const std::vector<std::wstring> expectedDeleted = {L"HKEY_LOCAL_MACHINE\\Software\\Test\\App | \"Old\" REG_SZ",
                                                     L"HKEY_LOCAL_MACHINE\\Software\\Test\\Gone"};
  const std::vector<std::wstring> expectedExcluded = {
      L"HKEY_LOCAL_MACHINE\\Software\\Test\\Microsoft\\Noise | \"n\" REG_SZ"};
  EXPECT_EQ(RegChangeLines(*added), expectedAdded);
  EXPECT_EQ(RegChangeLines(*modified), expectedModified);
  EXPECT_EQ(RegChangeLines(*deleted), expectedDeleted);
  EXPECT_EQ(RegChangeLines(enumerator_.ExcludedKeyChanges()), expectedExcluded);

  // The change file holds each map (an added key without values would be left out).
  CXMLDocumentHandler changes;
  ASSERT_EQ(changes.Load(context_.RegChangesPath), 1);
  EXPECT_EQ(SubKeyListLines(changes, L"RegistrySystem//Included//RegistrySystem//AddedItems//SubKeyList"), expectedAdded);
  EXPECT_EQ(SubKeyListLines(changes, L"RegistrySystem//Included//RegistrySystem//ModifiedItems//SubKeyList"), expectedModified);
  EXPECT_EQ(SubKeyListLines(changes, L"RegistrySystem//Included//RegistrySystem//DeletedItems//SubKeyList"), expectedDeleted);
  EXPECT_EQ(SubKeyListLines(changes, L"RegistrySystem//Excluded//SubKeyList"), expectedExcluded);

  // After the review drops a change, the file is written again from the maps.
  added->erase(L"HKEY_CURRENT_USER\\Software\\Vendor");
  enumerator_.RewriteRegChanges();
  ASSERT_EQ(changes.Load(context_.RegChangesPath), 1);
  EXPECT_EQ(SubKeyListLines(changes, L"RegistrySystem//Included//RegistrySystem//AddedItems//SubKeyList"),
            (std::vector<std::wstring>{L"HKEY_LOCAL_MACHINE\\Software\\Test\\New | \"n\" REG_DWORD"}));

  // The difference file of the first starting key exists beside the change file.
  EXPECT_TRUE(std::filesystem::exists(HostOf(enumerator_.DifferenceFileName(0))));
}

TEST_F(RegEnumerateTest, ChangesMergeByKeyAndExclusionMatchesAnywhere) {
  std::vector<std::wstring> none;
  enumerator_.CaptureSnapShot(none);
  enumerator_.CompareSnapshot();  // reads the rules: "software\microsoft"
  enumerator_.OnRegistryChange(L"RegistrySystem//ModifiedItems//SubKeyList", {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]", L"", L"", L""});
  enumerator_.OnRegistryChange(L"RegistrySystem//ModifiedItems//SubKeyList",
                               {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]", L"\"v\"", L"REG_SZ", L""});
  enumerator_.OnRegistryChange(L"RegistrySystem//AddedItems//SubKeyList",
                               {L"[HKEY_CURRENT_USER\\Software\\Microsoft]", L"\"x\"", L"", L""});
  enumerator_.OnRegistryChange(L"RegistrySystem//DeletedItems//SubKeyList",
                               {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows]", L"", L"", L""});
  enumerator_.OnRegistryChange(L"Somewhere//Else", {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]", L"\"v\"", L"", L""});

  RegKeyMap* added = nullptr;
  RegKeyMap* modified = nullptr;
  RegKeyMap* deleted = nullptr;
  enumerator_.GetChangeMaps(added, modified, deleted);
  EXPECT_EQ(RegChangeLines(*modified), (std::vector<std::wstring>{L"HKEY_LOCAL_MACHINE\\SOFTWARE\\A | \"v\" REG_SZ"}));
  EXPECT_TRUE(added->empty());
  EXPECT_TRUE(deleted->empty());
  EXPECT_EQ(RegChangeLines(enumerator_.ExcludedKeyChanges()),
            (std::vector<std::wstring>{L"HKEY_CURRENT_USER\\Software\\Microsoft | \"x\" ",
                                       L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows"}));
}

TEST_F(RegEnumerateTest, EquivalentKeysThroughOtherRoots) {
  ASSERT_EQ(FillUserHiveNames(context_.UserHiveNames), 2u);
  EXPECT_EQ(context_.UserHiveNames, (std::vector<std::wstring>{L".Default", L"S-1-5-21-0-0-0-1000"}));
  const struct {
    const wchar_t* key;
    std::vector<std::wstring> equivalents;
  } cases[] = {
      {L"HKEY_CURRENT_USER\\Software\\Vendor", {L"HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Vendor"}},
      {L"HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Vendor", {L"HKEY_CURRENT_USER\\Software\\Vendor"}},
      {L"HKEY_USERS\\.DEFAULT\\Software\\Shared", {}},  // only in the default profile: no other key is that key
      {L"HKEY_CLASSES_ROOT\\.tst", {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.tst"}},
      {L"HKEY_LOCAL_MACHINE\\Software\\Classes\\.tst", {L"HKEY_CLASSES_ROOT\\.tst"}},
      {L"HKEY_LOCAL_MACHINE\\Software\\Test\\App", {}},
      {L"HKCU\\Software\\Vendor", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::wstring> out;
    enumerator_.GetEquivalentKeys(c.key, out);
    EXPECT_EQ(out, c.equivalents) << WideToUtf8(c.key);
  }
}

}  // namespace
