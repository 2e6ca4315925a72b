// The launch page with real Wine: the setup runs on a worker while the window stays responsive,
// and Cancel during the run ends the setup's processes and the wizard, the capture still pending
// for the next start.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "core/status_values.h"
#include "platform/machine.h"
#include "support/pe_builder.h"
#include "support/wine_prefix.h"
#include "ui/capture_snapshot_page.h"
#include "ui/launch_setup_page.h"
#include "ui/main_page.h"
#include "wizard_fixture.h"

namespace fs = std::filesystem;

class SetupRunWineTest : public QObject {
  Q_OBJECT

 private slots:
  void CancelWhileTheSetupRuns();
};

void SetupRunWineTest::CancelWhileTheSetupRuns() {
  WinePrefixCopy machine;
  QVERIFY2(machine.ok(), machine.error().c_str());
  WizardFixture wizard(machine.prefix());
  // A silent setup that only waits.
  fs::create_directories(wizard.Scratch() / "setups");
  std::string log;
  const fs::path setup =
      pe_builder::BuildNsisProgram(wizard.Scratch() / "setups", "hang", "Section\n  Sleep 600000\nSectionEnd", &log);
  QVERIFY2(!setup.empty(), log.c_str());
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  sheet.SetActivePage(CApplicationMain::kMainPage);
  auto* main = static_cast<CCorvaneRepackagerDlg*>(sheet.Page(CApplicationMain::kMainPage));
  main->ChooseOption(CCorvaneRepackagerDlg::kSetupProgram);
  main->TakeChosenPath(QString::fromStdWString(platform::Machine::WindowsPath(setup)));
  main->ProductNameField()->setText("Hang");
  main->VersionField()->setText("1.0");
  main->CompanyField()->setText("Corvane Labs");
  wizard.ClickNext();
  QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kCaptureSnapshotPage));
  wizard.ClickNext();
  QVERIFY(wizard.WaitForPage(CApplicationMain::kLaunchSetupPage, 120000));
  QCOMPARE(wizard.PendingMark(), std::wstring(L"1"));

  auto* launch = static_cast<CLaunchSetupDlg*>(sheet.Page(CApplicationMain::kLaunchSetupPage));
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
