// The include page on a real Wine machine: a folder outside the default rules is added and saved
// as default; the next capture from the command line walks it, and the file a setup writes there
// is in the package.
#include <QTest>

#include "platform/machine.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/pe_builder.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"
#include "ui/advance_include.h"
#include "ui/folder_tree_ctrl.h"
#include "ui/parent_sheet.h"
#include "wizard_fixture.h"

namespace fs = std::filesystem;

class IncludeEditorWineTest : public QObject {
  Q_OBJECT

 private slots:
  void FolderSavedAsDefaultIsCaptured();
};

void IncludeEditorWineTest::FolderSavedAsDefaultIsCaptured() {
  WinePrefixCopy machine;
  QVERIFY2(machine.ok(), machine.error().c_str());
  TempFolder work;
  const fs::path program = CopyProgram(work);
  fs::create_directories(machine.prefix() / "drive_c" / "CorvaneData");
  {
    WizardFixture wizard(machine.prefix());
    // The editor rewrites the rule file of the program the command line runs.
    wizard.StartContext().RulesFilePath = platform::Machine::WindowsPath(program / "DefaultIncludeExclude.xml");
    wizard.Open();
    const CaptureChoiceMap choices = wizard.Session().BuildCaptureChoices(L"", {});
    QVERIFY(choices.at(L"File").size() > 1);
    CParentSheet sheet(wizard.Session(), choices, wizard.Sheet().Prompter());
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    CAdvanceInclude& page = *sheet.IncludePage();
    QVERIFY(page.FolderTree()->SelectByPath("C:\\CorvaneData"));
    QTest::mouseClick(page.SaveAsDefaultButton(), Qt::LeftButton);
    QCOMPARE(sheet.Apply(), 1);
    // Every default root is still there, and the new one.
    const CaptureChoiceMap next = wizard.Session().BuildCaptureChoices(L"", {});
    QCOMPARE(next.at(L"File").size(), choices.at(L"File").size() + 1);
  }

  std::string log;
  const fs::path setup = pe_builder::BuildNsisProgram(
      work.path(), "datasetup",
      "Section \"data\"\n  FileOpen $0 \"C:\\CorvaneData\\settings.dat\" w\n  FileWrite $0 \"kept\"\n"
      "  FileClose $0\nSectionEnd",
      &log);
  QVERIFY2(!setup.empty(), log.c_str());
  const fs::path out = work.path() / "out";
  std::string output;
  QCOMPARE(RunProgram(program, machine, {"-Capture=" + setup.string(), "-Path=" + out.string(), "-File=data.msi"},
                      &output),
           0);
  PackageTable files;
  std::string error;
  QVERIFY2(ReadPackageTable(out / "data.msi", "File", files, error), error.c_str());
  bool found = false;
  for (const auto& row : files.rows) found = found || files.Get(row, "FileName").find("settings.dat") != std::string::npos;
  QVERIFY2(found, output.c_str());
  PackageTable directories;
  QVERIFY2(ReadPackageTable(out / "data.msi", "Directory", directories, error), error.c_str());
  bool folder = false;
  for (const auto& row : directories.rows) {
    folder = folder || directories.Get(row, "DefaultDir").find("CorvaneData") != std::string::npos;
  }
  QVERIFY(folder);
  machine.WaitForServer();
}

QTEST_MAIN(IncludeEditorWineTest)
#include "include_editor_wine_test.moc"
