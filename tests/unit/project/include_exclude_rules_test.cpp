// The include and exclude rules: reading into the process-wide maps, the HKEY_USERS filter,
// matching by substring in upper case, and rewriting a list from its map.
#include <gtest/gtest.h>

#include "project_fixture.h"

namespace {

class RulesTest : public ProjectDataTest {
 protected:
  void SetUp() override {
    ProjectDataTest::SetUp();
    MakeFolder("rules");
  }
  // Writes a rule file below C:\rules and returns its Windows path.
  std::wstring WriteRules(const std::string& name, const std::string& text) {
    prefix_.WriteDriveCFile("rules/" + name, text);
    return OnC(L"rules\\" + Utf8ToWide(name));
  }
};

constexpr const char* kRules = R"(<?xml version="1.0"?>
<Rules>
  <FileSystem>
    <IncludedItems>
      <IncludedEntry Name="%PROGRAMFILES%"/>
      <IncludedEntry Name="%WINDIR%"/>
      <IncludedEntry Name="%programfiles%"/>
    </IncludedItems>
    <ExcludedItems>
      <ExcludedEntry Name="\Prefetch" Description="prefetch"/>
      <ExcludedEntry Name="%USERPROFILE%\Temp" Description="temp"/>
      <ExcludedEntry Name="\PREFETCH" Description="second one"/>
    </ExcludedItems>
  </FileSystem>
  <RegistrySystem>
    <IncludedItems>
      <IncludedEntry Name="HKEY_LOCAL_MACHINE\SOFTWARE"/>
    </IncludedItems>
    <ExcludedItems>
      <ExcludedEntry Name="HKEY_USERS\S-1-5-21-1-2-3-1000\Software\Noise" Description="one user"/>
      <ExcludedEntry Name="HKEY_USERS\.DEFAULT\Software\Noise" Description="default user"/>
      <ExcludedEntry Name="HKEY_USERS" Description="all users"/>
      <ExcludedEntry Name="hkey_users\.default\Software\Other" Description="lower case"/>
      <ExcludedEntry Name="\Software\Wine\" Description="wine"/>
      <ExcludedEntry Name="" Description="nameless"/>
    </ExcludedItems>
  </RegistrySystem>
</Rules>
)";

TEST_F(RulesTest, ReadingFillsTheFourMapsWithTheUserHiveFilterAndRegenerationWritesThemBack) {
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.Load(WriteRules("rules.xml", kRules)));
  CXMLNodeHandler root = doc.GetRootElement();
  EXPECT_EQ(1, doc.ReadIncludedItems(xmlpath::kIncludedFileRules, root, rules_));
  EXPECT_EQ(1, doc.ReadIncludedItems(xmlpath::kIncludedRegistryRules, root, rules_));
  EXPECT_EQ(1, doc.ReadExcludedItems(xmlpath::kExcludedFileRules, root, rules_));
  EXPECT_EQ(1, doc.ReadExcludedItems(xmlpath::kExcludedRegistryRules, root, rules_));
  // Paths of the other part read nothing.
  EXPECT_EQ(0, doc.ReadIncludedItems(xmlpath::kExcludedFileRules, root, rules_));
  EXPECT_EQ(0, doc.ReadExcludedItems(L"ShortcutList", root, rules_));

  const IncludedRuleMap files = rules_.GetIncludedRules(RuleKind::kFiles);
  ASSERT_EQ(2u, files.size());
  EXPECT_EQ(L"%PROGRAMFILES%", files.at(L"%PROGRAMFILES%"));  // the first spelling wins
  EXPECT_EQ(L"%WINDIR%", files.at(L"%WINDIR%"));
  EXPECT_EQ(1u, rules_.GetIncludedRules(RuleKind::kRegistry).size());

  const ExcludedRuleMap excludedFiles = rules_.GetExcludedRules(RuleKind::kFiles);
  ASSERT_EQ(2u, excludedFiles.size());
  EXPECT_EQ(L"\\Prefetch", excludedFiles.at(L"\\PREFETCH").name);
  EXPECT_EQ(L"prefetch", excludedFiles.at(L"\\PREFETCH").description);

  const ExcludedRuleMap keys = rules_.GetExcludedRules(RuleKind::kRegistry);
  EXPECT_EQ(0u, keys.count(L"HKEY_USERS\\S-1-5-21-1-2-3-1000\\SOFTWARE\\NOISE"));
  EXPECT_EQ(1u, keys.count(L"HKEY_USERS\\.DEFAULT\\SOFTWARE\\NOISE"));
  EXPECT_EQ(1u, keys.count(L"HKEY_USERS"));
  EXPECT_EQ(L"hkey_users\\.default\\Software\\Other", keys.at(L"HKEY_USERS\\.DEFAULT\\SOFTWARE\\OTHER").name);
  EXPECT_EQ(0u, keys.count(L""));
  EXPECT_EQ(4u, keys.size());

  // Reading again adds nothing new.
  EXPECT_EQ(1, doc.ReadExcludedItems(xmlpath::kExcludedRegistryRules, root, rules_));
  EXPECT_EQ(4u, rules_.GetExcludedRules(RuleKind::kRegistry).size());

  // Regeneration writes the maps, as edited, in reverse map order and reads back the same maps.
  const std::wstring path = OnC(L"rules\\rules.xml");
  ASSERT_TRUE(rules_.AddExcludedRule(RuleKind::kFiles, L"%WINDIR%\\Logs", L"logs & \"more\""));
  EXPECT_FALSE(rules_.AddExcludedRule(RuleKind::kFiles, L"%windir%\\logs", L"again"));
  ASSERT_TRUE(rules_.RemoveExcludedRule(RuleKind::kRegistry, L"hkey_users"));
  const IncludedRuleMap includedBefore = rules_.GetIncludedRules(RuleKind::kFiles);
  const ExcludedRuleMap filesBefore = rules_.GetExcludedRules(RuleKind::kFiles);
  const ExcludedRuleMap keysBefore = rules_.GetExcludedRules(RuleKind::kRegistry);

  ASSERT_EQ(1, doc.RegenerateIncludeExcludeFile(false, xmlpath::kIncludedFileRules, rules_));
  ASSERT_EQ(1, doc.RegenerateIncludeExcludeFile(true, xmlpath::kExcludedFileRules, rules_));
  ASSERT_EQ(1, doc.RegenerateIncludeExcludeFile(true, xmlpath::kExcludedRegistryRules, rules_));
  // A path of the other part is refused rather than written under the wrong name.
  EXPECT_EQ(0, doc.RegenerateIncludeExcludeFile(true, xmlpath::kIncludedFileRules, rules_));

  CXMLDocumentHandler saved;
  ASSERT_EQ(1, saved.Load(path));
  CXMLNodeHandler savedRoot = saved.GetRootElement();
  // The lists stand first under their parents, in reverse map order.
  EXPECT_EQ(L"ExcludedItems", savedRoot.SelectSingleNode(L"FileSystem").GetChild(0).GetName());
  CXMLNodeHandler fileRules = savedRoot.SelectSingleNode(xmlpath::kExcludedFileRules);
  ASSERT_EQ(3, fileRules.GetChildCount());
  // Map order is "%USERPROFILE%\TEMP" < "%WINDIR%\LOGS" < "\PREFETCH".
  EXPECT_EQ(L"\\Prefetch", fileRules.GetChild(0).GetAttribute(0));
  EXPECT_EQ(L"%WINDIR%\\Logs", fileRules.GetChild(1).GetAttribute(0));
  EXPECT_EQ(L"logs & \"more\"", fileRules.GetChild(1).GetAttribute(1));
  EXPECT_EQ(L"%USERPROFILE%\\Temp", fileRules.GetChild(2).GetAttribute(0));
  CXMLNodeHandler included = savedRoot.SelectSingleNode(xmlpath::kIncludedFileRules);
  ASSERT_EQ(2, included.GetChildCount());
  EXPECT_EQ(L"%WINDIR%", included.GetChild(0).GetAttribute(0));
  EXPECT_EQ(L"%PROGRAMFILES%", included.GetChild(1).GetAttribute(0));
  // The list that was not regenerated is untouched.
  EXPECT_EQ(1, savedRoot.SelectSingleNode(xmlpath::kIncludedRegistryRules).GetChildCount());

  rules_.ClearAllRules();
  saved.ReadIncludedItems(xmlpath::kIncludedFileRules, savedRoot, rules_);
  saved.ReadExcludedItems(xmlpath::kExcludedFileRules, savedRoot, rules_);
  saved.ReadExcludedItems(xmlpath::kExcludedRegistryRules, savedRoot, rules_);
  EXPECT_EQ(includedBefore, rules_.GetIncludedRules(RuleKind::kFiles));
  auto lines = [](const ExcludedRuleMap& rules) {
    std::vector<std::wstring> out;
    for (const auto& [key, rule] : rules) out.push_back(key + L"|" + rule.name + L"|" + rule.description);
    return out;
  };
  EXPECT_EQ(lines(filesBefore), lines(rules_.GetExcludedRules(RuleKind::kFiles)));
  EXPECT_EQ(lines(keysBefore), lines(rules_.GetExcludedRules(RuleKind::kRegistry)));
}

TEST_F(RulesTest, MatchingIsBySubstringOfTheUpperCasedPath) {
  ExcludedRuleMap rules;
  rules[L"\\PREFETCH"] = {L"\\Prefetch", L""};
  rules[L"%USERPROFILE%\\TEMP"] = {L"%USERPROFILE%\\Temp", L""};
  rules[L"HKEY_LOCAL_MACHINE\\SOFTWARE\\EXACT"] = {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Exact", L""};
  EXPECT_TRUE(IsFolderExcluded(rules, L"C:\\windows\\Prefetch"));
  EXPECT_TRUE(IsFolderExcluded(rules, L"C:\\windows\\prefetch\\Sub\\Deeper"));
  EXPECT_TRUE(IsFolderExcluded(rules, L"C:\\users\\root\\Temp"));
  EXPECT_TRUE(IsFolderExcluded(rules, L"C:\\users\\root\\temp\\s2tmp"));
  EXPECT_FALSE(IsFolderExcluded(rules, L"C:\\Program Files\\App"));
  EXPECT_FALSE(IsFolderExcluded(rules, L"C:\\windows\\Pre"));
  EXPECT_TRUE(IsKeyExcluded(rules, L"HKEY_LOCAL_MACHINE\\Software\\exact"));
  EXPECT_TRUE(IsKeyExcluded(rules, L"HKEY_LOCAL_MACHINE\\Software\\Exact\\Below"));
  EXPECT_FALSE(IsKeyExcluded(rules, L"HKEY_CURRENT_USER\\Software\\Exact"));
  std::wstring matched;
  EXPECT_TRUE(MatchesExcludedRule(rules, L"%WINDIR%\\PREFETCH", &matched));
  EXPECT_EQ(L"\\PREFETCH", matched);
  // A nameless rule set by a page excludes nothing (it would be found in every path).
  rules[L""] = {L"", L"empty"};
  EXPECT_FALSE(IsFolderExcluded(rules, L"C:\\Program Files\\App"));
  EXPECT_FALSE(MatchesExcludedRule({}, L"ANY"));
  // Non-ASCII letters are upper-cased too.
  ExcludedRuleMap unicode;
  unicode[L"\\CAF\u00c9"] = {L"\\caf\u00e9", L""};
  EXPECT_TRUE(IsFolderExcluded(unicode, L"D:\\Caf\u00e9\\x"));
}

TEST_F(RulesTest, RegenerationWithoutParentOrDocumentIsLogged) {
  CaptureLog();
  {
    const std::wstring path = WriteRules("noparent.xml", "<Rules><RegistrySystem/></Rules>");
    rules_.AddExcludedRule(RuleKind::kFiles, L"\\Temp", L"t");
    CXMLDocumentHandler doc;
    ASSERT_EQ(1, doc.Load(path));
    EXPECT_EQ(0, doc.RegenerateIncludeExcludeFile(true, xmlpath::kExcludedFileRules, rules_));
    CXMLDocumentHandler back;
    ASSERT_EQ(1, back.Load(path));
    EXPECT_EQ("RegistrySystem\n", DumpTree(back.GetRootElement()));

    CXMLDocumentHandler notLoaded;
    EXPECT_EQ(0, notLoaded.Load(OnC(L"rules\\missing.xml")));
    EXPECT_EQ(0, notLoaded.RegenerateIncludeExcludeFile(true, xmlpath::kExcludedFileRules, rules_));
    EXPECT_EQ(0, notLoaded.ReadExcludedItems(xmlpath::kExcludedFileRules, notLoaded.GetRootElement(), rules_));
  }
  const std::string log = ErrorLog();
  EXPECT_NE(std::string::npos,
            log.find("CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to insert ExcludedItems node in XML file"));
  EXPECT_NE(std::string::npos, log.find("CXMLDocumentHandler::RegenerateIncludeExcludeFile Unable to \t\t\t\t\t\t\t   find "
                                        "FileSystem//ExcludedItems node in XML file"));
  EXPECT_NE(std::string::npos, log.find("CXMLDocumentHandler::RegenerateIncludeExcludeFile XML File Not Loaded"));
}

// The delivered rules: they load, cover where installers write, and set aside the noise a
// measured Wine prefix showed around a no-op run and an msiexec install, without touching what
// the installed application wrote.
TEST_F(RulesTest, DeliveredDefaultsSeparateApplicationFromNoise) {
  CXMLDocumentHandler doc;
  ASSERT_EQ(1, doc.Load(RulesPath()));
  CXMLNodeHandler root = doc.GetRootElement();
  for (const wchar_t* list : {xmlpath::kIncludedFileRules, xmlpath::kIncludedRegistryRules}) {
    EXPECT_EQ(1, doc.ReadIncludedItems(list, root, rules_));
  }
  for (const wchar_t* list : {xmlpath::kExcludedFileRules, xmlpath::kExcludedRegistryRules}) {
    EXPECT_EQ(1, doc.ReadExcludedItems(list, root, rules_));
  }
  const IncludedRuleMap includedFiles = rules_.GetIncludedRules(RuleKind::kFiles);
  for (const wchar_t* root : {L"%PROGRAMFILES%", L"%WINDIR%", L"%USERPROFILE%", L"%ALLUSERSPROFILE%"}) {
    EXPECT_EQ(1u, includedFiles.count(root)) << WideToUtf8(root);
  }
  const IncludedRuleMap includedKeys = rules_.GetIncludedRules(RuleKind::kRegistry);
  for (const wchar_t* key : {L"HKEY_LOCAL_MACHINE\\SOFTWARE", L"HKEY_CURRENT_USER\\SOFTWARE",
                             L"HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\SERVICES"}) {
    EXPECT_EQ(1u, includedKeys.count(key)) << WideToUtf8(key);
  }
  const ExcludedRuleMap files = rules_.GetExcludedRules(RuleKind::kFiles);
  const ExcludedRuleMap keys = rules_.GetExcludedRules(RuleKind::kRegistry);
  for (const auto& [key, rule] : files) EXPECT_FALSE(rule.description.empty()) << WideToUtf8(key);
  for (const auto& [key, rule] : keys) EXPECT_FALSE(rule.description.empty()) << WideToUtf8(key);

  for (const wchar_t* noise : {L"C:\\windows\\Installer", L"C:\\users\\root\\Temp\\s2tmp", L"C:\\windows\\temp",
                               L"C:\\users\\root\\AppData\\Roaming\\INIBackup\\1", L"C:\\windows\\Prefetch"}) {
    EXPECT_TRUE(IsFolderExcluded(files, noise)) << WideToUtf8(noise);
  }
  for (const wchar_t* kept : {L"C:\\Program Files\\TinyApp", L"C:\\Program Files\\App\\Templates", L"C:\\windows",
                              L"C:\\windows\\system32", L"C:\\users\\root\\AppData\\Roaming\\App",
                              L"C:\\ProgramData\\Vendor"}) {
    EXPECT_FALSE(IsFolderExcluded(files, kept)) << WideToUtf8(kept);
  }
  for (const wchar_t* noise : {
           L"HKEY_CURRENT_USER\\Software\\Wine\\MenuFiles",
           L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E968-E325-11CE-BFC1-08002BE10318}\\0000",
           L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products\\090BB9075C6E9364CA5FF8ABC8623C21",
           L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Features\\090BB9075C6E9364CA5FF8ABC8623C21",
           L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\UpgradeCodes\\87654321432143212143214365870921",
           L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\1",
           L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes\\8765",
           // The entry the Windows Installer writes for the package it installed, and the empty key
           // its first install leaves: a repackaged product registers itself anew.
           L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{709BB090-E6C5-4639-ACF5-8FBA8C26C312}",
           L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer"}) {
    EXPECT_TRUE(IsKeyExcluded(keys, noise)) << WideToUtf8(noise);
  }
  for (const wchar_t* kept : {
           L"HKEY_LOCAL_MACHINE\\SOFTWARE\\TinyApp",
           L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\S2App",
           L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
           L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.txt", L"HKEY_CURRENT_USER\\Software\\WineApp",
           L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\MyService",
           L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\MyApp"}) {
    EXPECT_FALSE(IsKeyExcluded(keys, kept)) << WideToUtf8(kept);
  }
}

}  // namespace
