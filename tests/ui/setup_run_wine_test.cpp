// The launch page with real Wine: the setup runs on a worker while the window stays responsive,
// and Cancel during the run ends the setup's processes and the wizard, the capture still pending
// for the next start. A setup that used the Windows Installer is reported: OK goes on, Cancel
// discards the capture and ends the wizard.
#include <QLineEdit>
#include <QTest>

#include "core/status_values.h"
#include "platform/machine.h"
#include "support/pe_builder.h"
#include "support/wine_prefix.h"
#include "ui/launch_setup_page.h"
#include "wizard_fixture.h"

namespace fs = std::filesystem;

class SetupRunWineTest : public QObject {
  Q_OBJECT

 private slots:
  void CancelWhileTheSetupRuns();
  void WindowsInstallerDuringTheSetup_data();
  void WindowsInstallerDuringTheSetup();

 private:
  // Builds an NSIS setup of this script, opens the wizard, takes the first snapshot through the
  // pages with the setup chosen and arrives on the launch page. False otherwise (makensis says why
  // in `log` when the setup was not built).
  static bool ToLaunchPage(WizardFixture& wizard, const std::string& name, const std::string& script, std::string* log);
};

bool SetupRunWineTest::ToLaunchPage(WizardFixture& wizard, const std::string& name, const std::string& script,
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

void SetupRunWineTest::WindowsInstallerDuringTheSetup_data() {
  QTest::addColumn<int>("answer");
  QTest::newRow("go on") << int(QDialog::Accepted);
  QTest::newRow("discard") << int(QDialog::Rejected);
}

void SetupRunWineTest::WindowsInstallerDuringTheSetup() {
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

void SetupRunWineTest::CancelWhileTheSetupRuns() {
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

QTEST_MAIN(SetupRunWineTest)
#include "setup_run_wine_test.moc"
