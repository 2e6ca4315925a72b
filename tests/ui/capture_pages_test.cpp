// The capture pages on a hand-made machine: the roots the capture page shows and counts, the
// question before capturing nothing, the first snapshot on a worker that leads to the launch page,
// the launch page's second Next, the second snapshot and the comparison leading to the review;
// and what Cancel leaves at each page.
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "ui/capture_snapshot_page.h"
#include "ui/existing_snapshot_page.h"
#include "ui/launch_setup_page.h"
#include "ui/second_snapshot_page.h"
#include "ui/wizard_program.h"
#include "wizard_fixture.h"

namespace fs = std::filesystem;

namespace {

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int row = 0; row < list->count(); ++row) items << list->item(row)->text();
  return items;
}

}  // namespace

class CapturePagesTest : public QObject {
  Q_OBJECT

 private slots:
  void CaptureRoadToTheReview();
  void NothingToCaptureIsAskedFirst_data();
  void NothingToCaptureIsAskedFirst();
  void PendingCaptureContinueOrDiscard_data();
  void PendingCaptureContinueOrDiscard();
  void CancelAtEachPage_data();
  void CancelAtEachPage();
  void FinishEndsThePendingCaptureCancelKeepsIt();
};

void CapturePagesTest::CaptureRoadToTheReview() {
  WizardFixture wizard;
  FixturePrefix& prefix = *wizard.Prefix();
  prefix.WriteDriveCFile("Program Files/App/old.txt", "v1");
  prefix.AddSystemReg("\n[Software\\\\Vendor] 1700000000\n\"Old\"=\"1\"\n");
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  wizard.ToCapturePage();
  QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kCaptureSnapshotPage));

  // The roots of the rules: folders from token form, keys as they stand; one item each.
  auto* capture = wizard.PageAs<CCaptureSnapshotDlg>(CApplicationMain::kCaptureSnapshotPage);
  QCOMPARE(Items(capture->FileList()), QStringList{"C:\\Program Files"});
  QCOMPARE(Items(capture->RegistryList()), QStringList{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor"});
  QCOMPARE(capture->ItemCount(), 2);

  // The first snapshot runs on a worker; the window stays usable; then the launch page.
  QCOMPARE(wizard.PendingMark(), std::wstring());
  wizard.ClickNext();
  QVERIFY(capture->WorkerRunning() || capture->CaptureDone());
  QVERIFY(!sheet.NextButton()->isEnabled() || capture->CaptureDone());
  QVERIFY(wizard.WaitForPage(CApplicationMain::kLaunchSetupPage));
  QVERIFY(capture->CaptureDone());
  QCOMPARE(wizard.PendingMark(), std::wstring(L"1"));
  QCOMPARE(wizard.prompts.size(), size_t(0));

  // The launch page names the setup. Its run fails here (the setup is gone by now): the page says
  // so and goes on to the second snapshot, the capture still pending.
  auto* launch = wizard.PageAs<CLaunchSetupDlg>(CApplicationMain::kLaunchSetupPage);
  QCOMPARE(launch->LaunchNowButton()->text(), "&" + TextOf(171) + "app-setup.exe");
  QCOMPARE(launch->AlreadyRunButton()->text(), "&" + TextOf(172) + "app-setup.exe");
  fs::remove(platform::Machine::HostPath(wizard.Session().GetSetupFilePath()));
  wizard.ClickNext();
  QVERIFY(wizard.WaitForPage(CApplicationMain::kSecondSnapshotPage));
  QVERIFY(launch->SetupLaunched());
  QCOMPARE(wizard.prompts.size(), size_t(1));
  QVERIFY(wizard.prompts[0].text.startsWith(TextOf(186)));
  QVERIFY(wizard.prompts[0].text.endsWith(TextOf(187)));
  QCOMPARE(wizard.PendingMark(), std::wstring(L"1"));

  // Back to the launch page: a second Next goes straight on, the setup is not run again.
  wizard.ClickBack();
  QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kLaunchSetupPage));
  wizard.ClickNext();
  QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kSecondSnapshotPage));
  QVERIFY(!launch->WorkerRunning());
  QCOMPARE(wizard.prompts.size(), size_t(1));

  // What the setup did; then the second snapshot and the comparison, and the file review.
  prefix.WriteDriveCFile("Program Files/App/new.dll", "MZ");
  auto* second = wizard.PageAs<CSecondSnapshotDlg>(CApplicationMain::kSecondSnapshotPage);
  QCOMPARE(second->ItemCount(), 2);
  wizard.ClickNext();
  QVERIFY(wizard.WaitForPage(CApplicationMain::kContentReviewFilePage));
  QVERIFY(second->CompareDone());
  QCOMPARE(wizard.prompts.size(), size_t(1));
  QVERIFY(fs::is_regular_file(platform::Machine::HostPath(wizard.Session().Context().FileChangesPath)));
  // Once compared, Back and Next on the second-snapshot page only move.
  wizard.ClickBack();
  QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kSecondSnapshotPage));
  QVERIFY(!sheet.BackButton()->isEnabled());
  wizard.ClickNext();
  QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kContentReviewFilePage));
}

void CapturePagesTest::NothingToCaptureIsAskedFirst_data() {
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("captured");
  QTest::newRow("no") << int(QMessageBox::No) << false;
  QTest::newRow("yes") << int(QMessageBox::Yes) << true;
}

void CapturePagesTest::NothingToCaptureIsAskedFirst() {
  QFETCH(int, answer);
  QFETCH(bool, captured);
  WizardFixture wizard;
  // A rules file whose included lists are empty gives no roots at all.
  wizard.WriteRules({}, {});
  wizard.Open();
  wizard.ToCapturePage();
  auto* capture = wizard.PageAs<CCaptureSnapshotDlg>(CApplicationMain::kCaptureSnapshotPage);
  QCOMPARE(capture->ItemCount(), 0);
  wizard.answers.push_back(static_cast<QMessageBox::StandardButton>(answer));
  wizard.ClickNext();
  QCOMPARE(wizard.PromptTexts(), QStringList{TextOf(127)});
  QCOMPARE(wizard.prompts[0].buttons, QMessageBox::Yes | QMessageBox::No);
  QVERIFY(wizard.WaitForPage(captured ? CApplicationMain::kLaunchSetupPage : CApplicationMain::kCaptureSnapshotPage));
  QCOMPARE(capture->CaptureDone(), captured);
}

void CapturePagesTest::PendingCaptureContinueOrDiscard_data() {
  QTest::addColumn<QString>("action");
  QTest::addColumn<bool>("snapshotComplete");
  QTest::addColumn<int>("page");
  QTest::addColumn<bool>("pendingAfter");
  using M = CApplicationMain;
  QTest::newRow("continue") << "continue" << true << int(M::kSecondSnapshotPage) << true;
  QTest::newRow("continue, snapshot damaged") << "continue" << false << int(M::kMainPage) << false;
  QTest::newRow("discard") << "discard" << true << int(M::kMainPage) << false;
  // A new capture while one is pending asks first; No keeps the pending one as it was.
  QTest::newRow("new capture, not confirmed") << "new" << true << int(M::kCaptureSnapshotPage) << true;
}

void CapturePagesTest::PendingCaptureContinueOrDiscard() {
  QFETCH(QString, action);
  QFETCH(bool, snapshotComplete);
  QFETCH(int, page);
  QFETCH(bool, pendingAfter);
  WizardFixture wizard;
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  wizard.ToCapturePage();
  wizard.ClickNext();
  QVERIFY(wizard.WaitForPage(CApplicationMain::kLaunchSetupPage));
  const fs::path firstFiles = platform::Machine::HostPath(Utf8ToWide(wizard.Session().Manager().SnapshotFolderPath())) /
                              "FileSystemDir" / "FirstSnapShot.txt";
  QVERIFY(fs::is_regular_file(firstFiles));
  if (!snapshotComplete) fs::remove(firstFiles);

  // From the start page a pending capture leads to its page, which offers Back only.
  sheet.SetActivePage(CApplicationMain::kStartPage);
  wizard.ClickNext();
  QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kExistingSnapshotPage));
  QCOMPARE(sheet.WizardButtons(), int(CResizablePropertySheet::kBack));
  auto* pending = wizard.PageAs<CExistingSnapshotDlg>(CApplicationMain::kExistingSnapshotPage);
  if (action == "new") {
    const fs::path details = firstFiles.parent_path().parent_path() / "ScanDetails.txt";
    const auto written = fs::last_write_time(details);
    // The program starts again with the capture pending.
    wizard.Reopen();
    wizard.answers.push_back(QMessageBox::No);
    wizard.ToCapturePage();
    wizard.ClickNext();
    QCOMPARE(wizard.Sheet().ActivePageNumber(), page);
    QCOMPARE(wizard.PromptTexts(), QStringList{TextOf(190)});
    QCOMPARE(fs::last_write_time(details), written);
    QCOMPARE(wizard.PendingMark(), std::wstring(L"1"));
    QVERIFY(fs::is_regular_file(firstFiles));
    return;
  }
  QTest::mouseClick(pending->findChild<QPushButton*>(action), Qt::LeftButton);
  QCOMPARE(sheet.ActivePageNumber(), page);
  QCOMPARE(wizard.PendingMark() == L"1", pendingAfter);
  QCOMPARE(fs::is_regular_file(firstFiles), pendingAfter);
  QCOMPARE(sheet.ResumedCapture(), pendingAfter);
  // A damaged capture is said to be gone.
  QCOMPARE(wizard.prompts.size(), size_t(snapshotComplete ? 0 : 1));
  if (pendingAfter) {
    // Back from the resumed capture's second snapshot returns to the pending-capture page.
    wizard.ClickBack();
    QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kExistingSnapshotPage));
  }
}

void CapturePagesTest::CancelAtEachPage_data() {
  QTest::addColumn<int>("page");
  QTest::addColumn<bool>("pendingBefore");
  QTest::addColumn<bool>("runningWorker");
  using M = CApplicationMain;
  QTest::newRow("start") << int(M::kStartPage) << false << false;
  QTest::newRow("start, pending") << int(M::kStartPage) << true << false;
  QTest::newRow("pending capture") << int(M::kExistingSnapshotPage) << true << false;
  QTest::newRow("main") << int(M::kMainPage) << false << false;
  QTest::newRow("capture") << int(M::kCaptureSnapshotPage) << false << false;
  QTest::newRow("capture, while it runs") << int(M::kCaptureSnapshotPage) << false << true;
  QTest::newRow("launch, pending") << int(M::kLaunchSetupPage) << true << false;
  QTest::newRow("second snapshot, pending") << int(M::kSecondSnapshotPage) << true << false;
  QTest::newRow("second snapshot, while it runs") << int(M::kSecondSnapshotPage) << true << true;
  QTest::newRow("project view") << int(M::kShowProjectPage) << false << false;
}

void CapturePagesTest::CancelAtEachPage() {
  QFETCH(int, page);
  QFETCH(bool, pendingBefore);
  QFETCH(bool, runningWorker);
  WizardFixture wizard;
  wizard.Prefix()->WriteDriveCFile("Program Files/App/old.txt", "v1");
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  if (pendingBefore) {
    // A capture whose first snapshot is complete, as an earlier run leaves it.
    wizard.ToCapturePage();
    wizard.ClickNext();
    QVERIFY(wizard.WaitForPage(CApplicationMain::kLaunchSetupPage));
    QCOMPARE(wizard.PendingMark(), std::wstring(L"1"));
  }
  if (page == CApplicationMain::kCaptureSnapshotPage) {
    wizard.ToCapturePage();
  } else {
    sheet.SetActivePage(page);
  }
  QCOMPARE(sheet.ActivePageNumber(), page);
  if (runningWorker) wizard.ClickNext();

  wizard.ClickCancel();
  // A running step is stopped first: the wizard ends when it has stopped.
  QVERIFY(QTest::qWaitFor([&] { return !sheet.isVisible(); }, 20000));
  QCOMPARE(sheet.result(), int(QDialog::Rejected));
  QVERIFY(!sheet.ActivePage()->WorkerRunning());
  if (pendingBefore) {
    // Cancel keeps a pending capture for the next start, its first snapshot with it.
    QCOMPARE(wizard.PendingMark(), std::wstring(L"1"));
    QVERIFY(wizard.Session().IsFirstSnapshotExist());
  } else if (runningWorker) {
    // A first snapshot stopped half-way leaves nothing pending; one that completed before the
    // request arrived is pending with all its files.
    QCOMPARE(wizard.PendingMark() == L"1", wizard.Session().IsFirstSnapshotExist());
  } else {
    QCOMPARE(wizard.PendingMark(), std::wstring());
  }
}

void CapturePagesTest::FinishEndsThePendingCaptureCancelKeepsIt() {
  for (const bool finished : {false, true}) {
    WizardFixture wizard;
    wizard.Open();
    wizard.ToCapturePage();
    wizard.ClickNext();
    QVERIFY(wizard.WaitForPage(CApplicationMain::kLaunchSetupPage));
    EndWizardRun(wizard.Session(), finished);
    QCOMPARE(wizard.PendingMark(), finished ? std::wstring() : std::wstring(L"1"));
  }
}

QTEST_MAIN(CapturePagesTest)
#include "capture_pages_test.moc"
