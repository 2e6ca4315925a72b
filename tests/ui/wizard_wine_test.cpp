// The wizard on real Wine machines. The launch page: the setup runs on a worker while the window
// stays responsive, and Cancel during the run ends the setup's processes and the wizard, the
// capture still pending for the next start; a setup that used the Windows Installer is reported:
// OK goes on, Cancel discards the capture and ends the wizard. The include page: a folder outside
// the default rules is added and saved as default; the next capture from the command line walks
// it, and the file a setup writes there is in the package.
#include <QLineEdit>
#include <QTest>

#include "core/status_values.h"
#include "platform/machine.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/pe_builder.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"
#include "ui/advance_include.h"
#include "ui/folder_tree_ctrl.h"
#include "ui/launch_setup_page.h"
#include "ui/parent_sheet.h"
#include "wizard_fixture.h"

namespace fs = std::filesystem;

class WizardWineTest : public QObject {
  Q_OBJECT

 private slots:
  void CancelWhileTheSetupRuns();
  void WindowsInstallerDuringTheSetup_data();
  void WindowsInstallerDuringTheSetup();
  void FolderSavedAsDefaultIsCaptured();

 private:
  // Builds an NSIS setup of this script, opens the wizard, takes the first snapshot through the
  // pages with the setup chosen and arrives on the launch page. False otherwise (makensis says why
  // in `log` when the setup was not built).
  static bool ToLaunchPage(WizardFixture& wizard, const std::string& name, const std::string& script, std::string* log);
};

bool WizardWineTest::ToLaunchPage(WizardFixture& wizard, const std::string& name, const std::string& script,
                                  std::string* log) {
  fs::create_directories(wizard.Scratch() / "setups");
  const fs::path setup = pe_builder::BuildNsisProgram(wizard.Scratch() / "setups", name, script, log);
  if (setup.empty()) return false;
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  CCorvaneRepackagerDlg* main =
      wizard.ChooseOnMainPage(CCorvaneRepackagerDlg::kSetupProgram, platform::Machine::WindowsPath(setup));
  main->ProductNameField()->setText("Hang");
  main->VersionField()->setText("1.0");
  main->CompanyField()->setText("Corvane Labs");
  wizard.ClickNext();
  if (sheet.ActivePageNumber() != CApplicationMain::kCaptureSnapshotPage) return false;
  wizard.ClickNext();
  return wizard.WaitForPage(CApplicationMain::kLaunchSetupPage, 120000);
}

void WizardWineTest::WindowsInstallerDuringTheSetup_data() {
  QTest::addColumn<int>("answer");
  QTest::newRow("go on") << int(QDialog::Accepted);
  QTest::newRow("discard") << int(QDialog::Rejected);
}

void WizardWineTest::WindowsInstallerDuringTheSetup() {
  QFETCH(int, answer);
  WinePrefixCopy machine;
  QVERIFY2(machine.ok(), machine.error().c_str());
  WizardFixture wizard(machine.prefix());
  std::string log;
  // A setup that has the Windows Installer run (on a package that does not exist: it ends at once).
  QVERIFY2(ToLaunchPage(wizard, "withmsi", "Section\n  ExecWait 'msiexec /i C:\\none.msi /qn'\nSectionEnd", &log),
           log.c_str());
  CApplicationMain& sheet = wizard.Sheet();
  wizard.dialogAnswers.push_back(answer);
  wizard.ClickNext();
  const bool goOn = answer == QDialog::Accepted;
  QVERIFY(QTest::qWaitFor(
      [&] {
        return goOn ? sheet.ActivePageNumber() == CApplicationMain::kSecondSnapshotPage : !sheet.isVisible();
      },
      120000));
  QCOMPARE(wizard.dialogs, std::vector<QString>{"CWarningMSIDetected"});
  QCOMPARE(wizard.PendingMark(), goOn ? std::wstring(L"1") : std::wstring());
  QCOMPARE(wizard.Session().IsFirstSnapshotExist(), goOn);
  if (!goOn) {
    QCOMPARE(sheet.result(), int(QDialog::Rejected));
    QCOMPARE(wizard.openedUrls.size(), size_t(1));
  }
  machine.WaitForServer();
}

void WizardWineTest::CancelWhileTheSetupRuns() {
  WinePrefixCopy machine;
  QVERIFY2(machine.ok(), machine.error().c_str());
  WizardFixture wizard(machine.prefix());
  // A silent setup that only waits (not for ever: under Wine a cancelled setup's own process has
  // been seen to outlive the cancel, and it must not keep the prefix's server up for long).
  std::string log;
  QVERIFY2(ToLaunchPage(wizard, "hang", "Section\n  Sleep 40000\nSectionEnd", &log), log.c_str());
  CApplicationMain& sheet = wizard.Sheet();
  QCOMPARE(wizard.PendingMark(), std::wstring(L"1"));

  auto* launch = wizard.PageAs<CLaunchSetupDlg>(CApplicationMain::kLaunchSetupPage);
  wizard.ClickNext();
  QVERIFY(launch->WorkerRunning());
  // The window goes on handling events while the setup runs: the status line follows the run.
  QVERIFY(QTest::qWaitFor([] { return StatusDetail.Get().find(L" s") != std::wstring::npos; }, 60000));
  QVERIFY(launch->WorkerRunning());
  QVERIFY(!sheet.NextButton()->isEnabled());
  QVERIFY(sheet.CancelButton()->isEnabled());

  wizard.ClickCancel();
  QVERIFY(QTest::qWaitFor([&] { return !sheet.isVisible(); }, 120000));
  QCOMPARE(sheet.result(), int(QDialog::Rejected));
  QVERIFY(!launch->WorkerRunning());
  // The capture stays pending, its first snapshot with it; no prompt was needed.
  QCOMPARE(wizard.PendingMark(), std::wstring(L"1"));
  QVERIFY(wizard.Session().IsFirstSnapshotExist());
  QCOMPARE(wizard.prompts.size(), size_t(0));
  machine.WaitForServer();
}

void WizardWineTest::FolderSavedAsDefaultIsCaptured() {
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

QTEST_MAIN(WizardWineTest)
#include "wizard_wine_test.moc"
