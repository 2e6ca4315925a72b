#include "platform/installer_database.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/wine/sql_targets.h"
#include "platform/wine/table_file_check.h"
#include "support/fixture_prefix.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;
using namespace platform;

// libmsi 0.101 loses a few small blocks inside itself (opening a package that holds streams,
// deleting from _Streams), which no caller can free; they must not fail the sanitizer run.

namespace {

const std::vector<std::string> kToolEnvironment = {"PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8"};

// Runs an msitools command line through the shell; its standard output only.
int Tool(const std::string& commandLine, std::string* output = nullptr) {
  return RunHostCommand({"sh", "-c", commandLine + " 2>/dev/null"}, kToolEnvironment, output);
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

const char kForceCodepage[] = "\r\n\r\n65001\t_ForceCodepage\r\n";
const char kPropertyTable[] =
    "Property\tValue\r\ns72\tl0\r\nProperty\tProperty\r\nProductLanguage\t1033\r\n";
const char kComponentTable[] =
    "Component\tComponentId\tDirectory_\tAttributes\tCondition\tKeyPath\r\n"
    "s72\tS38\ts72\ti2\tS255\tS72\r\n"
    "Component\tComponent\r\n"
    "Main\t{11111111-2222-3333-4444-555555555555}\tTARGETDIR\t0\t\t\r\n"
    "Extra\t\tTARGETDIR\t256\t\t\r\n";
const char kIconTable[] = "Name\tData\r\ns72\tv0\r\nIcon\tName\r\n";

// A package made by msibuild (an independent writer), inside the fixture prefix's C: drive.
class InstallerDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.Activate();
    package_ = prefix_.driveC() / "pkg" / "package.msi";
    fs::path property = prefix_.WriteDriveCFile("pkg/idt/Property.idt", kPropertyTable);
    ASSERT_EQ(0, Tool("msibuild " + Quote(package_) + " -i " + Quote(property)));
  }

  std::wstring WriteIdt(const std::string& name, const std::string& text) {
    prefix_.WriteDriveCFile("pkg/idt/" + name, text);
    return L"C:\\pkg\\idt\\" + std::wstring(name.begin(), name.end());
  }

  // The Value of a Property row read back through a read-only view; "<none>" when absent.
  static std::string PropertyValue(InstallerDatabase& db, const std::string& name) {
    InstallerView view;
    EXPECT_EQ(kSuccess, view.Open(db, "SELECT `Value` FROM `Property` WHERE `Property` = ?"));
    InstallerRecord key(1);
    key.SetString(1, name);
    EXPECT_EQ(kSuccess, view.Execute(&key));
    std::unique_ptr<InstallerRecord> row;
    if (view.Fetch(row) != kSuccess) return "<none>";
    std::string value = row->GetString(1);
    EXPECT_EQ(kNoMoreItems, view.Fetch(row));
    return value;
  }

  // What msiinfo prints for `command` (export, streams, extract, suminfo) on the package.
  std::string Msiinfo(const std::string& command, const std::string& argument = "") const {
    std::string output;
    EXPECT_EQ(0, Tool("msiinfo " + command + " " + Quote(package_) + " " + argument, &output)) << command << argument;
    return output;
  }

  static size_t RowCount(InstallerDatabase& db, const std::string& table) {
    InstallerView view;
    if (view.Open(db, "SELECT * FROM `" + table + "`") != kSuccess) return 0;
    EXPECT_EQ(kSuccess, view.Execute(nullptr));
    size_t count = 0;
    std::unique_ptr<InstallerRecord> row;
    while (view.Fetch(row) == kSuccess) ++count;
    return count;
  }

  FixturePrefix prefix_;
  fs::path package_;
  const std::wstring packagePath_ = L"C:\\pkg\\package.msi";
};

TEST_F(InstallerDatabaseTest, RoundTripIsReadBackByItselfAndByMsitools) {
  const std::string quoted = "it's 日本語 Ω naïve – \"q\"";
  const std::string iconBytes = std::string("ICON\0\x01\x02\xff", 8) + std::string(5000, 'i');
  const std::string cabBytes = std::string("MSCF\0\0\0\0", 8) + std::string(70000, 'c');
  prefix_.WriteDriveCFile("pkg/app.ico", iconBytes);
  prefix_.WriteDriveCFile("pkg/MSIProject.cab", cabBytes);
  {
    fs::permissions(package_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                  fs::perms::others_read);
    InstallerDatabase db;
    ASSERT_EQ(kSuccess, db.Open(packagePath_)) << db.lastError();
    ASSERT_TRUE(db.IsOpen());
    ASSERT_EQ(kSuccess, db.ImportTable(WriteIdt("cp.idt", kForceCodepage))) << db.lastError();
    ASSERT_EQ(kSuccess, db.ImportTable(WriteIdt("Component.idt", kComponentTable))) << db.lastError();
    ASSERT_EQ(kSuccess, db.ImportTable(WriteIdt("Icon.idt", kIconTable))) << db.lastError();

    InstallerRecord row(2);
    ASSERT_EQ(kSuccess, row.SetString(1, "Quoted"));
    ASSERT_EQ(kSuccess, row.SetString(2, quoted));
    EXPECT_EQ(kSuccess, db.Execute("INSERT INTO `Property` (`Property`, `Value`) VALUES (?, ?)", &row))
        << db.lastError();

    // One prepared view, executed again with other records.
    InstallerView insert;
    ASSERT_EQ(kSuccess, insert.Open(db, "INSERT INTO `Component` (`Component`, `Directory_`, `Attributes`) VALUES (?, ?, ?)"));
    for (int i = 0; i < 3; ++i) {
      InstallerRecord component(3);
      component.SetString(1, "C" + std::to_string(i));
      component.SetString(2, "TARGETDIR");
      component.SetInteger(3, -32767 + i);
      EXPECT_EQ(kSuccess, insert.Execute(&component)) << insert.lastError();
    }
    insert.Close();

    InstallerRecord icon(2);
    ASSERT_EQ(kSuccess, icon.SetString(1, "App.ico"));
    ASSERT_EQ(kSuccess, icon.SetStreamFromFile(2, L"C:\\pkg\\app.ico"));
    EXPECT_EQ(kSuccess, db.Execute("INSERT INTO `Icon` (`Name`, `Data`) VALUES (?, ?)", &icon)) << db.lastError();
    EXPECT_EQ(kSuccess, db.InsertStream("MSIProject.cab", L"C:\\pkg\\MSIProject.cab")) << db.lastError();

    for (const auto& [pid, text] : std::initializer_list<std::pair<unsigned, const char*>>{
             {kPidTitle, "Prödukt 日本_1.0"}, {kPidSubject, "Prödukt 日本_1.0"}, {kPidAuthor, ""},
             {kPidComments, "MSI created here.\nsecond line"}, {kPidRevisionNumber, "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}"},
             {kPidTemplate, "x64;1033"}, {kPidAppName, "Corvane Repackager Installation Database"}})
      EXPECT_EQ(kSuccess, db.SetSummaryText(pid, text)) << pid;
    EXPECT_EQ(kSuccess, db.SetSummaryInteger(kPidWordCount, 2));
    EXPECT_EQ("Prödukt 日本_1.0", db.GetSummaryText(kPidTitle));
    EXPECT_EQ(kSuccess, db.PersistSummary()) << db.lastError();
    EXPECT_EQ(kSuccess, db.Commit()) << db.lastError();
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read,
              fs::status(package_).permissions());
  }

  // Our own read-only reading.
  {
    InstallerDatabase db;
    ASSERT_EQ(kSuccess, db.OpenReadOnly(packagePath_)) << db.lastError();
    EXPECT_EQ(quoted, PropertyValue(db, "Quoted"));
    EXPECT_EQ("1033", PropertyValue(db, "ProductLanguage"));
    EXPECT_EQ(5u, RowCount(db, "Component"));
    InstallerView view;
    ASSERT_EQ(kSuccess, view.Open(db, "SELECT `Component`, `ComponentId`, `Attributes` FROM `Component` WHERE `Component` = 'Extra'"));
    ASSERT_EQ(kSuccess, view.Execute(nullptr));
    std::unique_ptr<InstallerRecord> row;
    ASSERT_EQ(kSuccess, view.Fetch(row));
    EXPECT_EQ(3u, row->fieldCount());
    EXPECT_EQ("Extra", row->GetString(1));
    EXPECT_TRUE(row->IsNull(2));
    EXPECT_EQ("", row->GetString(2));
    EXPECT_EQ(INT_MIN, row->GetInteger(2));
    EXPECT_EQ(256, row->GetInteger(3));
    EXPECT_EQ("256", row->GetString(3));
    EXPECT_TRUE(row->IsNull(9));  // beyond the last field
    EXPECT_EQ("Prödukt 日本_1.0", db.GetSummaryText(kPidTitle));
    EXPECT_EQ("x64;1033", db.GetSummaryText(kPidTemplate));
    EXPECT_EQ("2", db.GetSummaryText(kPidWordCount));
    EXPECT_EQ("", db.GetSummaryText(kPidAuthor));
  }

  // msitools as an independent reader.
  std::string exported = Msiinfo("export", "Property");
  EXPECT_NE(std::string::npos, exported.find("Quoted\t" + quoted + "\r\n")) << exported;
  const std::string components = Msiinfo("export", "Component");
  EXPECT_NE(std::string::npos, components.find("C0\t\tTARGETDIR\t-32767\t\t\r\n")) << components;
  EXPECT_NE(std::string::npos, components.find("Main\t{11111111-2222-3333-4444-555555555555}\tTARGETDIR\t0")) << components;
  const std::string streams = Msiinfo("streams");
  EXPECT_NE(std::string::npos, streams.find("MSIProject.cab\n")) << streams;
  EXPECT_NE(std::string::npos, streams.find("Icon.App.ico\n")) << streams;
  EXPECT_EQ(cabBytes, Msiinfo("extract", "MSIProject.cab"));
  EXPECT_EQ(iconBytes, Msiinfo("extract", "Icon.App.ico"));
  const std::string summary = Msiinfo("suminfo");
  // "Source" is msiinfo's name for the word count.
  for (const char* line : {"Title: Prödukt 日本_1.0\n", "Subject: Prödukt 日本_1.0\n", "Template: x64;1033\n",
                           "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}", "Application: Corvane Repackager Installation Database",
                           "Source: 2 (2)"})
    EXPECT_NE(std::string::npos, summary.find(line)) << summary;

  // A second commit onto the same file keeps what the first wrote, and InsertStream replaces.
  prefix_.WriteDriveCFile("pkg/MSIProject.cab", "second cabinet");
  {
    InstallerDatabase db;
    ASSERT_EQ(kSuccess, db.Open(packagePath_)) << db.lastError();
    EXPECT_EQ(kSuccess, db.Execute("INSERT INTO `Property` (`Property`, `Value`) VALUES ('Later', 'x')"));
    EXPECT_EQ(kSuccess, db.InsertStream("MSIProject.cab", L"C:\\pkg\\MSIProject.cab")) << db.lastError();
    EXPECT_EQ(kSuccess, db.Commit()) << db.lastError();
  }
  EXPECT_EQ("second cabinet", Msiinfo("extract", "MSIProject.cab"));
  EXPECT_EQ(iconBytes, Msiinfo("extract", "Icon.App.ico"));
  exported = Msiinfo("export", "Property");
  EXPECT_NE(std::string::npos, exported.find("Quoted\t" + quoted + "\r\n")) << exported;
  EXPECT_NE(std::string::npos, exported.find("Later\tx\r\n")) << exported;
}

TEST_F(InstallerDatabaseTest, ChangesWithoutCommitAreDiscarded) {
  {
    InstallerDatabase db;
    ASSERT_EQ(kSuccess, db.Open(packagePath_));
    EXPECT_EQ(kSuccess, db.Execute("INSERT INTO `Property` (`Property`, `Value`) VALUES ('Lost', 'x')"));
    EXPECT_EQ("x", PropertyValue(db, "Lost"));
  }
  // The package is still there (libmsi deletes its output file when a database closes without a
  // commit, if that output file is named) and unchanged.
  InstallerDatabase db;
  ASSERT_EQ(kSuccess, db.OpenReadOnly(packagePath_));
  EXPECT_EQ("<none>", PropertyValue(db, "Lost"));
  EXPECT_EQ("1033", PropertyValue(db, "ProductLanguage"));
}

TEST_F(InstallerDatabaseTest, RefusedStatementsAndRowsReportTheirStatus) {
  InstallerDatabase db;
  ASSERT_EQ(kSuccess, db.Open(packagePath_));
  ASSERT_EQ(kSuccess, db.ImportTable(WriteIdt("cp.idt", kForceCodepage)));
  ASSERT_EQ(kSuccess, db.ImportTable(WriteIdt("Component.idt", kComponentTable)));

  EXPECT_EQ(kBadQuerySyntax, db.Execute("SELEKT * FROM `Property`"));
  EXPECT_NE(std::string::npos, db.lastError().find("SELEKT * FROM `Property`")) << db.lastError();
  EXPECT_NE(std::string::npos, db.lastError().find("1615")) << db.lastError();
  EXPECT_EQ(kBadQuerySyntax, db.Execute("INSERT INTO `Property` (`Property`, `Value`) VALUES ('a', 'b'"));
  InstallerView view;
  EXPECT_EQ(kBadQuerySyntax, view.Open(db, "SELECT * FROM `NoSuchTable`"));
  EXPECT_EQ(kInvalidHandle, view.Execute(nullptr));

  // Duplicate key.
  EXPECT_EQ(kFunctionFailed, db.Execute("INSERT INTO `Property` (`Property`, `Value`) VALUES ('ProductLanguage', '1')"));
  EXPECT_EQ("1033", PropertyValue(db, "ProductLanguage"));

  // Integers the column cannot hold: refused, and no half row stays behind.
  const std::string insert = "INSERT INTO `Component` (`Component`, `Directory_`, `Attributes`) VALUES (?, ?, ?)";
  InstallerRecord big(3);
  big.SetString(1, "Big");
  big.SetString(2, "TARGETDIR");
  big.SetInteger(3, 70000);
  EXPECT_EQ(kFunctionFailed, db.Execute(insert, &big));
  EXPECT_NE(std::string::npos, db.lastError().find("Attributes")) << db.lastError();
  big.SetString(3, "70000");
  EXPECT_EQ(kFunctionFailed, db.Execute(insert, &big));
  big.SetInteger(3, -32768);  // the engine would store NULL in a NOT NULL column
  EXPECT_EQ(kFunctionFailed, db.Execute(insert, &big));
  EXPECT_EQ(kFunctionFailed, db.Execute("INSERT INTO `Component` (`Component`, `Directory_`, `Attributes`) VALUES ('Lit', 'TARGETDIR', 70000)"));
  EXPECT_EQ(kFunctionFailed, db.Execute("UPDATE `Component` SET `Attributes` = 99999 WHERE `Component` = 'Main'"));
  big.SetString(3, "abc");
  EXPECT_EQ(kFunctionFailed, db.Execute(insert, &big));
  EXPECT_EQ(2u, RowCount(db, "Component"));
  big.SetInteger(3, 32767);
  EXPECT_EQ(kSuccess, db.Execute(insert, &big)) << db.lastError();
  EXPECT_EQ(3u, RowCount(db, "Component"));

  // Streams from files that are not there.
  InstallerRecord record(2);
  EXPECT_EQ(kFileNotFound, record.SetStreamFromFile(2, L"C:\\pkg\\missing.ico"));
  EXPECT_EQ(kPathNotFound, record.SetStreamFromFile(2, L"C:\\pkg\\nofolder\\missing.ico"));
  EXPECT_EQ(kPathNotFound, record.SetStreamFromFile(2, L"Q:\\unmapped.ico"));
  EXPECT_EQ(kFileNotFound, db.InsertStream("MSIProject.cab", L"C:\\pkg\\missing.cab"));
  EXPECT_NE(std::string::npos, db.lastError().find("missing.cab")) << db.lastError();

  // Record fields out of range or text that is not UTF-8.
  EXPECT_EQ(kInvalidParameter, record.SetString(3, "x"));
  EXPECT_EQ(kInvalidParameter, record.SetInteger(3, 1));
  EXPECT_EQ(kInvalidParameter, record.SetString(1, std::string("\xff\xfe", 2)));
  EXPECT_EQ(kSuccess, record.SetNull(1));
  EXPECT_TRUE(record.IsNull(1));

  // Summary properties of the other type.
  EXPECT_EQ(1629, db.SetSummaryInteger(kPidTitle, 3));
  EXPECT_EQ(1629, db.SetSummaryText(kPidPageCount, "200"));

  // The database is still usable and commits.
  EXPECT_EQ(kSuccess, db.Commit()) << db.lastError();
}

TEST_F(InstallerDatabaseTest, OpeningWhatIsNotAPackageFails) {
  InstallerDatabase db;
  EXPECT_EQ(kFileNotFound, db.Open(L"C:\\pkg\\missing.msi"));
  EXPECT_FALSE(db.IsOpen());
  EXPECT_NE(std::string::npos, db.lastError().find("missing.msi")) << db.lastError();
  EXPECT_EQ(kPathNotFound, db.OpenReadOnly(L"C:\\nofolder\\missing.msi"));
  EXPECT_EQ(kPathNotFound, db.Open(L"Q:\\package.msi"));
  prefix_.WriteDriveCFile("pkg/text.msi", "this is not a compound file\n");
  EXPECT_EQ(kOpenFailed, db.Open(L"C:\\pkg\\text.msi"));
  EXPECT_EQ(kOpenFailed, db.OpenReadOnly(L"C:\\pkg\\text.msi"));
  EXPECT_EQ("this is not a compound file\n", ReadHostFile(prefix_.driveC() / "pkg" / "text.msi"));
  prefix_.WriteDriveCFile("pkg/empty.msi", "");
  EXPECT_EQ(kOpenFailed, db.Open(L"C:\\pkg\\empty.msi"));
  EXPECT_EQ(kAccessDenied, db.Open(L"C:\\pkg"));

  // Nothing open: every operation says so and nothing crashes.
  EXPECT_EQ(kInvalidHandle, db.Execute("SELECT * FROM `Property`"));
  EXPECT_EQ(kInvalidHandle, db.ImportTable(WriteIdt("cp.idt", kForceCodepage)));
  EXPECT_EQ(kInvalidHandle, db.InsertStream("x", L"C:\\pkg\\idt\\cp.idt"));
  EXPECT_EQ(kInvalidHandle, db.SetSummaryText(kPidTitle, "x"));
  EXPECT_EQ(kInvalidHandle, db.PersistSummary());
  EXPECT_EQ(kInvalidHandle, db.Commit());
  EXPECT_EQ("", db.GetSummaryText(kPidTitle));
  InstallerView view;
  EXPECT_EQ(kInvalidHandle, view.Open(db, "SELECT * FROM `Property`"));
  std::unique_ptr<InstallerRecord> row;
  EXPECT_EQ(kInvalidHandle, view.Fetch(row));
}

TEST_F(InstallerDatabaseTest, ReadOnlyDatabasesRefuseChanges) {
  InstallerDatabase db;
  ASSERT_EQ(kSuccess, db.OpenReadOnly(packagePath_));
  EXPECT_EQ(kAccessDenied, db.Execute("INSERT INTO `Property` (`Property`, `Value`) VALUES ('a', 'b')"));
  EXPECT_EQ(kAccessDenied, db.ImportTable(WriteIdt("cp.idt", kForceCodepage)));
  EXPECT_EQ(kAccessDenied, db.SetSummaryText(kPidTitle, "x"));
  EXPECT_EQ(kAccessDenied, db.Commit());
  EXPECT_EQ("1033", PropertyValue(db, "ProductLanguage"));
}

TEST_F(InstallerDatabaseTest, ViewsOutlivingTheirDatabaseAreHarmless) {
  auto db = std::make_unique<InstallerDatabase>();
  ASSERT_EQ(kSuccess, db->Open(packagePath_));
  InstallerView view;
  ASSERT_EQ(kSuccess, view.Open(*db, "SELECT * FROM `Property`"));
  db.reset();
  EXPECT_EQ(kInvalidHandle, view.Execute(nullptr));
  view.Close();
}

TEST_F(InstallerDatabaseTest, ImportReplacesTheTableAndRefusesBadFilesWhole) {
  InstallerDatabase db;
  ASSERT_EQ(kSuccess, db.Open(packagePath_));
  ASSERT_EQ(kSuccess, db.ImportTable(WriteIdt("cp.idt", kForceCodepage)));
  ASSERT_EQ(kSuccess, db.ImportTable(WriteIdt("Component.idt", kComponentTable)));
  EXPECT_EQ(2u, RowCount(db, "Component"));

  const std::string header = "Property\tValue\r\ns72\tl0\r\nProperty\tProperty\r\n";
  const std::vector<std::string> bad = {
      header + "A\tone\r\nB\ttwo\tthree\r\n",  // a tab inside a value
      header + "A\tone\r\nB\tline\nbreak\r\n",    // a line feed inside a value
      header + "A\tone\r\nB\tcarriage\rreturn\r\n",
      header + "A\tone\r\nB\t\r\n",               // a required value missing
      header + "A\tone\r\nA\ttwo\r\n",            // the same key twice
      header + "A\t\xff\xfe\r\n",                 // not UTF-8
      "Property\tValue\r\ns72\r\nProperty\tProperty\r\n",
      "Property\tValue\r\n",
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    EXPECT_EQ(kInvalidData, db.ImportTable(WriteIdt("Property.idt", bad[i]))) << i;
    EXPECT_NE(std::string::npos, db.lastError().find("Property.idt")) << db.lastError();
    EXPECT_EQ("1033", PropertyValue(db, "ProductLanguage")) << i;  // the table is untouched
  }
  EXPECT_EQ(kInvalidData, db.ImportTable(WriteIdt("Component.idt",
      "Component\tDirectory_\tAttributes\r\ns72\ts72\ti2\r\nComponent\tComponent\r\nA\tTARGETDIR\t70000\r\n")));
  EXPECT_EQ(kInvalidData, db.ImportTable(WriteIdt("Icon.idt", "Name\tData\r\ns72\tv0\r\nIcon\tName\r\nApp\tapp.ico\r\n")));
  EXPECT_EQ(2u, RowCount(db, "Component"));
  EXPECT_EQ(kFileNotFound, db.ImportTable(L"C:\\pkg\\idt\\missing.idt"));

  // A good file replaces the whole table, including values with quotes and non-Latin text.
  EXPECT_EQ(kSuccess, db.ImportTable(WriteIdt("Property.idt", header + "A\tit's 日本\r\nB\t two \r\n\r\n")))
      << db.lastError();
  EXPECT_EQ("<none>", PropertyValue(db, "ProductLanguage"));
  EXPECT_EQ("it's 日本", PropertyValue(db, "A"));
  EXPECT_EQ(" two ", PropertyValue(db, "B"));
}

TEST_F(InstallerDatabaseTest, TextOutsideANonUnicodeCodepageIsRefusedBeforeItBreaksTheCommit) {
  // msibuild leaves the code page at 0: libmsi then works in Windows-1252.
  InstallerDatabase db;
  ASSERT_EQ(kSuccess, db.Open(packagePath_));
  const std::string insert = "INSERT INTO `Property` (`Property`, `Value`) VALUES (?, ?)";
  InstallerRecord latin(2);
  latin.SetString(1, "Latin");
  latin.SetString(2, "naïve € déjà");
  EXPECT_EQ(kSuccess, db.Execute(insert, &latin)) << db.lastError();
  InstallerRecord mixed(2);
  mixed.SetString(1, "Mixed");
  mixed.SetString(2, "ü日");
  EXPECT_EQ(kFunctionFailed, db.Execute(insert, &mixed));
  EXPECT_NE(std::string::npos, db.lastError().find("code page")) << db.lastError();
  EXPECT_EQ(kFunctionFailed, db.Execute("INSERT INTO `Property` (`Property`, `Value`) VALUES ('Lit', 'a日')"));
  EXPECT_EQ(kSuccess, db.Commit()) << db.lastError();
  db.Close();
  ASSERT_EQ(kSuccess, db.OpenReadOnly(packagePath_));
  EXPECT_EQ("naïve € déjà", PropertyValue(db, "Latin"));
  EXPECT_EQ("<none>", PropertyValue(db, "Mixed"));
}

TEST(InstallerTableFileTest, ChecksRowsAgainstTheHeader) {
  using platform::wine::CheckTableFile;
  using platform::wine::TableFileFacts;
  TableFileFacts facts;
  std::string problem;
  EXPECT_TRUE(CheckTableFile(
      "File\tComponent_\tFileSize\tAttributes\r\ns72\ts72\ti4\tI2\r\nFile\tFile\r\n"
      "a\tC\t2147483647\t\r\nb\tC\t-5\t-32767\n",
      facts, problem)) << problem;
  EXPECT_EQ("File", facts.table);
  EXPECT_EQ(2u, facts.rows);
  EXPECT_TRUE(CheckTableFile("\r\n\r\n65001\t_ForceCodepage\r\n", facts, problem)) << problem;
  EXPECT_TRUE(facts.codepageOnly);
  EXPECT_EQ(65001, facts.codepage);

  EXPECT_FALSE(CheckTableFile("F\tS\r\ns72\ti4\r\nF\tF\r\na\t2147483648\r\n", facts, problem));
  EXPECT_NE(std::string::npos, problem.find("line 4")) << problem;
  EXPECT_FALSE(CheckTableFile("F\tS\r\ns72\ti2\r\nF\tF\r\na\t1x\r\n", facts, problem));
  EXPECT_FALSE(CheckTableFile("F\tS\r\ns72\tq2\r\nF\tF\r\n", facts, problem));
  EXPECT_FALSE(CheckTableFile("F\tS\r\ns72\ti2\r\nF\tMissing\r\n", facts, problem));
  EXPECT_FALSE(CheckTableFile("F\tS\r\ns72\ti2\r\nF\tF\r\na\t1\r\n\r\nb\t2\r\n", facts, problem));
  // Keys of several columns: only the whole key must be unique.
  EXPECT_TRUE(CheckTableFile("A\tB\r\ns38\ts72\r\nT\tA\tB\r\nf\tc1\r\nf\tc2\r\n", facts, problem)) << problem;
  EXPECT_FALSE(CheckTableFile("A\tB\r\ns38\ts72\r\nT\tA\tB\r\nf\tc1\r\nf\tc1\r\n", facts, problem));
  EXPECT_TRUE(CanImportAsTableText("it's \"fine\" 日本 \\ x"));
  EXPECT_TRUE(CanImportAsTableText(""));
  for (const char* bad : {"a\tb", "a\nb", "a\rb"}) EXPECT_FALSE(CanImportAsTableText(bad)) << bad;
}

TEST(InstallerSqlTargetsTest, FindsTheColumnOfEachValue) {
  using platform::wine::ReadSqlTargets;
  using platform::wine::SqlTargets;
  using platform::wine::SqlValue;
  SqlTargets insert = ReadSqlTargets(
      "INSERT INTO `Shortcut` (`Shortcut`, `Name`, Hotkey, `IconIndex`) VALUES ('S''x', ?, -12, ?) TEMPORARY");
  // The doubled quote ends the first literal early; the reading then gives up rather than guess.
  EXPECT_EQ(SqlTargets::Kind::kOther, insert.kind);

  insert = ReadSqlTargets("insert into `Shortcut` (`Shortcut`, `Name`, Hotkey, `IconIndex`) values ('S', ?, -12, ?)");
  ASSERT_EQ(SqlTargets::Kind::kInsert, insert.kind);
  EXPECT_EQ("Shortcut", insert.table);
  ASSERT_EQ(4u, insert.assignments.size());
  EXPECT_EQ(SqlValue::Kind::kString, insert.assignments[0].value.kind);
  EXPECT_EQ(1u, insert.assignments[1].value.parameter);
  EXPECT_EQ("Hotkey", insert.assignments[2].column);
  EXPECT_EQ(SqlValue::Kind::kInteger, insert.assignments[2].value.kind);
  EXPECT_EQ("-12", insert.assignments[2].value.text);
  EXPECT_EQ(2u, insert.assignments[3].value.parameter);

  SqlTargets update = ReadSqlTargets("UPDATE `File` SET `Sequence` = ?, `Attributes` = 16384 WHERE `File` = ?");
  ASSERT_EQ(SqlTargets::Kind::kUpdate, update.kind);
  EXPECT_EQ("File", update.table);
  ASSERT_EQ(2u, update.assignments.size());
  EXPECT_EQ(1u, update.assignments[0].value.parameter);
  EXPECT_EQ("16384", update.assignments[1].value.text);

  EXPECT_EQ(SqlTargets::Kind::kSchemaChange, ReadSqlTargets("CREATE TABLE `X` (`A` CHAR(72) PRIMARY KEY `A`)").kind);
  EXPECT_EQ(SqlTargets::Kind::kOther, ReadSqlTargets("SELECT * FROM `X`").kind);
  EXPECT_EQ(SqlTargets::Kind::kOther, ReadSqlTargets("INSERT INTO `X` (`A` VALUES (1)").kind);
  EXPECT_EQ(SqlTargets::Kind::kOther, ReadSqlTargets("INSERT INTO `X` (`A`) VALUES ('unterminated").kind);
  EXPECT_EQ(SqlTargets::Kind::kOther, ReadSqlTargets("").kind);
}

}  // namespace
