// Registry capture with real Wine: first snapshot, changes made by Wine's reg.exe, second snapshot,
// comparison. The change maps and "RegChanges.xml" must hold exactly the changes made.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "project/include_exclude_rules.h"
#include "project/xml_document_handler.h"
#include "session/work_context_setup.h"
#include "snapshot/registry_enumerate.h"
#include "support/registry_change_lines.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace {

void RunBatch(const WinePrefixCopy& prefix, const std::string& name, const std::string& commands) {
  WriteHostFile(prefix.driveC() / name, commands);
  std::string output;
  ASSERT_EQ(prefix.Run({"cmd", "/c", "C:\\" + name}, &output), 0) << output;
}

TEST(RegistryCaptureIntegration, CaptureCompareReportsExactlyTheChangesMade) {
  WinePrefixCopy prefix;
  ASSERT_TRUE(prefix.ok()) << prefix.error();
  CWorkContext context;
  SetupWorkContext(context, std::wstring(), std::wstring());
  const std::filesystem::path data = std::filesystem::path(CORVANE_SOURCE_DIR) / "data";
  context.TemplateProjectPath = platform::Machine::WindowsPath(data / "RawProjectFile.xml");
  context.RulesFilePath = platform::Machine::WindowsPath(data / "DefaultIncludeExclude.xml");
  CIncludeExcludeRules sessionRules;

  // What exists before: a ProgID with a versioned sibling, a key to delete, mixed-case values.
  RunBatch(prefix, "before.bat",
           "reg add HKCR\\CorvaneDoc.Document /ve /d \"Corvane document\" /f\r\n"
           "reg add HKCR\\CorvaneDoc.Document\\CLSID /ve /d \"{11111111-1111-1111-1111-111111111111}\" /f\r\n"
           "reg add HKCR\\CorvaneDoc.Document.1 /ve /d \"Corvane document 1\" /f\r\n"
           "reg add HKCR\\CorvaneDoc.Document.1\\CLSID /ve /d \"{11111111-1111-1111-1111-111111111111}\" /f\r\n"
           "reg add HKLM\\SOFTWARE\\CorvaneGone\\Child /v a /d b /f\r\n"
           "reg add HKCU\\Software\\CorvaneUser /v _x /d 1 /f\r\n"
           "reg add HKCU\\Software\\CorvaneUser /v ANSI /d 2 /f\r\n"
           "reg add HKCU\\Software\\CorvaneUser /v Keep /d 1 /f\r\n"
           "reg add HKCU\\Software\\CorvaneUser /v Old /d x /f\r\n"
           "reg add HKCU\\Software\\CorvaneUser /v Path /d \"C:\\App\" /f\r\n");

  CRegistryEnumerate enumerator(context, sessionRules);
  enumerator.Initialize();
  EXPECT_FALSE(enumerator.IsFirstSnapshotExist());
  std::vector<std::wstring> keys = {L"HKEY_LOCAL_MACHINE\\SOFTWARE", L"HKEY_CURRENT_USER\\Software"};
  ASSERT_EQ(enumerator.CaptureSnapShot(keys), 1);
  const auto firstSize = std::filesystem::file_size(platform::Machine::HostPath(enumerator.SnapshotFileName(false, 0)));
  EXPECT_GT(firstSize, 100000u);  // the whole of HKLM\SOFTWARE of a fresh prefix

  RunBatch(prefix, "install.bat",
           "reg add HKLM\\SOFTWARE\\CorvaneTest /v Name /d Demo /f\r\n"
           "reg add HKLM\\SOFTWARE\\CorvaneTest\\Sub /v Count /t REG_DWORD /d 5 /f\r\n"
           "reg add HKCR\\CorvaneDoc.Document\\CLSID /ve /d \"{22222222-2222-2222-2222-222222222222}\" /f\r\n"
           "reg add HKCR\\CorvaneDoc.Document\\CurVer /ve /d CorvaneDoc.Document.1 /f\r\n"
           "reg delete HKLM\\SOFTWARE\\CorvaneGone /f\r\n"
           "reg add HKCU\\Software\\CorvaneUser /v Bar /d y /f\r\n"
           "reg add HKCU\\Software\\CorvaneUser /v Keep /d 2 /f\r\n"
           "reg delete HKCU\\Software\\CorvaneUser /v Old /f\r\n"
           "reg add HKCU\\Software\\CorvaneUser /v Path /t REG_EXPAND_SZ /d \"%%ProgramFiles%%\\App\" /f\r\n");

  EXPECT_TRUE(enumerator.IsFirstSnapshotExist());
  ASSERT_EQ(enumerator.CaptureSnapShot(keys), 1);
  ASSERT_EQ(enumerator.CompareSnapshot(), 1);

  RegKeyMap* added = nullptr;
  RegKeyMap* modified = nullptr;
  RegKeyMap* deleted = nullptr;
  enumerator.GetChangeMaps(added, modified, deleted);
  const std::vector<std::wstring> expectedAdded = {
      L"HKEY_CURRENT_USER\\Software\\CorvaneUser | \"Bar\" REG_SZ",
      L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CorvaneDoc.Document\\CurVer | @ REG_SZ",
      L"HKEY_LOCAL_MACHINE\\SOFTWARE\\CorvaneTest | \"Name\" REG_SZ",
      L"HKEY_LOCAL_MACHINE\\SOFTWARE\\CorvaneTest\\Sub | \"Count\" REG_DWORD",
  };
  const std::vector<std::wstring> expectedModified = {
      L"HKEY_CURRENT_USER\\Software\\CorvaneUser | \"Keep\" REG_SZ | \"Path\" REG_EXPAND_SZ",
      L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CorvaneDoc.Document\\CLSID | @ REG_SZ",
  };
  const std::vector<std::wstring> expectedDeleted = {
      L"HKEY_CURRENT_USER\\Software\\CorvaneUser | \"Old\" REG_SZ",
      L"HKEY_LOCAL_MACHINE\\SOFTWARE\\CorvaneGone",
  };
  EXPECT_EQ(RegChangeLines(*added), expectedAdded);
  EXPECT_EQ(RegChangeLines(*modified), expectedModified);
  EXPECT_EQ(RegChangeLines(*deleted), expectedDeleted);

  // Whatever Wine itself changed lies under an exclusion rule of the default rules.
  const ExcludedRuleMap rules = sessionRules.GetExcludedRules(RuleKind::kRegistry);
  EXPECT_FALSE(rules.empty());
  for (const auto& [key, records] : enumerator.ExcludedKeyChanges()) {
    EXPECT_TRUE(IsKeyExcluded(rules, key)) << WideToUtf8(key);
    EXPECT_EQ(key.find(L"Corvane"), std::wstring::npos) << WideToUtf8(key);
  }

  CXMLDocumentHandler changes;
  ASSERT_EQ(changes.Load(context.RegChangesPath), 1);
  EXPECT_EQ(SubKeyListLines(changes, L"RegistrySystem//Included//RegistrySystem//AddedItems//SubKeyList"), expectedAdded);
  EXPECT_EQ(SubKeyListLines(changes, L"RegistrySystem//Included//RegistrySystem//ModifiedItems//SubKeyList"),
            expectedModified);
  EXPECT_EQ(SubKeyListLines(changes, L"RegistrySystem//Included//RegistrySystem//DeletedItems//SubKeyList"),
            expectedDeleted);
  EXPECT_EQ(SubKeyListLines(changes, L"RegistrySystem//Excluded//SubKeyList").size(),
            enumerator.ExcludedKeyChanges().size());
  enumerator.Uninitialize();
}

}  // namespace
