// Every row of the wizard's navigation table: from which page, in which state, Back or Next leads
// where (-1: stays). Back goes where the table says, never simply to the page shown before. The
// keyboard drives the wizard. The start page's advertisement area: the remote page when it loads,
// else the static page of the program folder (also when the wait runs out), else a page of the
// program's own; Next is enabled once a page is shown. The pages come from section
// "AdvertisementURL" of the configuration file.
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <map>

#include "core/work_paths.h"
#include "platform/profile.h"
#include "ui/banner_ctrl.h"
#include "ui/launch_setup_page.h"
#include "ui/start_page.h"
#include "wizard_fixture.h"

class NavigationTest : public QObject {
  Q_OBJECT

 private slots:
  void Transitions_data();
  void Transitions();
  void KeyboardDrivesTheWizard();
  void AdvertisementArea_data();
  void AdvertisementArea();
};

void NavigationTest::Transitions_data() {
  QTest::addColumn<int>("page");
  QTest::addColumn<QString>("state");
  QTest::addColumn<bool>("next");
  QTest::addColumn<int>("expected");
  using M = CApplicationMain;
  // Start page: Next only; to the pending-capture page when a capture is pending. A user who is
  // no administrator is asked; No stays.
  QTest::newRow("151 next") << int(M::kStartPage) << "" << true << int(M::kMainPage);
  QTest::newRow("151 next pending") << int(M::kStartPage) << "pending" << true << int(M::kExistingSnapshotPage);
  // Another machine's pending capture is no concern of this wizard's (it is told, once).
  QTest::newRow("151 next other machine pending") << int(M::kStartPage) << "otherMachine" << true
                                                  << int(M::kMainPage);
  QTest::newRow("151 next not admin, no") << int(M::kStartPage) << "notAdmin:No" << true << -1;
  QTest::newRow("151 next not admin, yes") << int(M::kStartPage) << "notAdmin:Yes" << true << int(M::kMainPage);
  QTest::newRow("134 back") << int(M::kExistingSnapshotPage) << "" << false << int(M::kStartPage);
  QTest::newRow("134 next") << int(M::kExistingSnapshotPage) << "enableNext" << true << int(M::kMainPage);
  QTest::newRow("102 back") << int(M::kMainPage) << "" << false << int(M::kStartPage);
  // 102's Next, to the capture page or the project view, is main_page_test's.
  QTest::newRow("133 back") << int(M::kCaptureSnapshotPage) << "" << false << int(M::kMainPage);
  QTest::newRow("130 back") << int(M::kLaunchSetupPage) << "" << false << int(M::kCaptureSnapshotPage);
  QTest::newRow("130 next already run") << int(M::kLaunchSetupPage) << "alreadyRun" << true
                                        << int(M::kSecondSnapshotPage);
  QTest::newRow("131 back") << int(M::kSecondSnapshotPage) << "" << false << int(M::kLaunchSetupPage);
  QTest::newRow("131 back resumed") << int(M::kSecondSnapshotPage) << "resumed" << false
                                    << int(M::kExistingSnapshotPage);
  QTest::newRow("143 back") << int(M::kContentReviewFilePage) << "" << false << int(M::kSecondSnapshotPage);
  QTest::newRow("143 next") << int(M::kContentReviewFilePage) << "" << true << int(M::kContentReviewRegistryPage);
  QTest::newRow("144 back") << int(M::kContentReviewRegistryPage) << "" << false << int(M::kContentReviewFilePage);
  QTest::newRow("144 next") << int(M::kContentReviewRegistryPage) << "" << true << int(M::kCreateProjectPage);
  QTest::newRow("145 back") << int(M::kCreateProjectPage) << "" << false << int(M::kContentReviewRegistryPage);
  QTest::newRow("146 back") << int(M::kShowProjectPage) << "" << false << int(M::kMainPage);
  // A project with nothing missing (here: none that loads) leads on to the build page.
  QTest::newRow("146 next") << int(M::kShowProjectPage) << "" << true << int(M::kBuildMSIPage);
  QTest::newRow("163 back") << int(M::kBuildMSIPage) << "" << false << int(M::kShowProjectPage);
}

void NavigationTest::Transitions() {
  QFETCH(int, page);
  QFETCH(QString, state);
  QFETCH(bool, next);
  QFETCH(int, expected);

  WizardFixture wizard;
  if (state == "pending") wizard.MarkPending();
  if (state == "otherMachine") {
    wizard.MarkPending();
    platform::WriteProfileText(L"SnapshotDetails", L"CaptureMachine", L"/elsewhere/prefix",
                               wizard.StartContext().ConfigFilePath);
  }
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  auto* start = wizard.PageAs<CCorvaneRepackagerStartDlg>(CApplicationMain::kStartPage);
  QVERIFY(QTest::qWaitFor([&] { return start->IsLoaded(); }, 5000));
  if (state.startsWith("notAdmin")) {
    start->SetAdministratorTest([] { return false; });
    wizard.answers.push_back(state.endsWith("Yes") ? QMessageBox::Yes : QMessageBox::No);
  }
  QVERIFY(sheet.SetActivePage(page));
  if (state == "alreadyRun") {
    wizard.PageAs<CLaunchSetupDlg>(CApplicationMain::kLaunchSetupPage)->AlreadyRunButton()->setChecked(true);
  }
  if (state == "resumed") sheet.SetResumedCapture(true);
  // The pending-capture page offers only Back; its Next (the table's row) is tried as the sheet
  // would, through the page's handler, with the button enabled.
  if (state == "enableNext") sheet.SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);

  if (next) {
    wizard.ClickNext();
  } else {
    wizard.ClickBack();
  }
  QCOMPARE(sheet.ActivePageNumber(), expected == -1 ? page : expected);
  if (state.startsWith("notAdmin")) {
    QCOMPARE(wizard.PromptTexts(), QStringList{TextOf(121)});
    QCOMPARE(wizard.prompts[0].caption, QString("ADMIN Rights"));
  } else if (state == "otherMachine") {
    QCOMPARE(wizard.PromptTexts(), QStringList{TextOf(191) + "/elsewhere/prefix"});
  } else {
    QCOMPARE(wizard.prompts.size(), size_t(0));
  }
}

void NavigationTest::KeyboardDrivesTheWizard() {
  WizardFixture wizard;
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  QVERIFY(QTest::qWaitFor([&] { return sheet.NextButton()->isEnabled(); }, 5000));
  // Enter is Next.
  QTest::keyClick(&sheet, Qt::Key_Return);
  QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kMainPage));
  auto* main = wizard.PageAs<CCorvaneRepackagerDlg>(CApplicationMain::kMainPage);
  main->ChooseOption(CCorvaneRepackagerDlg::kSetupProgram);

  // Tab walks the page from top to bottom, then the buttons.
  main->SetupOptionButton()->setFocus();
  const std::map<QWidget*, QString> names = {
      {main->SetupOptionButton(), "option"}, {main->PathField(), "path"},      {main->ProductNameField(), "name"},
      {main->VersionField(), "version"},     {main->CompanyField(), "company"}, {sheet.BackButton(), "back"},
      {sheet.NextButton(), "next"},          {sheet.CancelButton(), "cancel"}};
  QStringList order;
  for (int step = 0; step < 10; ++step) {
    if (names.count(QApplication::focusWidget()) != 0) order << names.at(QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  QCOMPARE(order.mid(0, 4), (QStringList{"option", "path", "name", "version"}));
  QVERIFY(order.indexOf("company") < order.indexOf("next"));
  QVERIFY(order.indexOf("next") < order.indexOf("cancel"));

  // Escape is Cancel: the wizard ends.
  QTest::keyClick(&sheet, Qt::Key_Escape);
  QVERIFY(QTest::qWaitFor([&] { return !sheet.isVisible(); }, 5000));
  QCOMPARE(sheet.result(), int(QDialog::Rejected));
}

void NavigationTest::AdvertisementArea_data() {
  QTest::addColumn<QString>("staticPage");
  QTest::addColumn<QString>("remote");
  QTest::addColumn<QString>("timeout");
  QTest::addColumn<QString>("shown");  // the file shown, or "built-in"
  // Port 9 of the loopback address refuses the connection.
  QTest::newRow("no remote page") << "StartPage.html" << "" << "10" << "StartPage.html";
  QTest::newRow("remote page fails") << "StartPage.html" << "http://127.0.0.1:9/ad.html" << "10" << "StartPage.html";
  QTest::newRow("no time to wait") << "StartPage.html" << "http://127.0.0.1:9/ad.html" << "0" << "StartPage.html";
  QTest::newRow("static page missing") << "Missing.html" << "http://127.0.0.1:9/ad.html" << "10" << "built-in";
  QTest::newRow("nothing configured") << "" << "" << "" << "built-in";
}

void NavigationTest::AdvertisementArea() {
  QFETCH(QString, staticPage);
  QFETCH(QString, remote);
  QFETCH(QString, timeout);
  QFETCH(QString, shown);
  WizardFixture wizard;
  auto write = [&wizard](const wchar_t* key, const QString& value) {
    if (!value.isEmpty()) platform::WriteProfileText(L"AdvertisementURL", key, value.toStdWString(),
                                                  wizard.StartContext().ConfigFilePath);
  };
  write(L"WaitHTML", "StartWait.html");
  write(L"StaticAdvertisementHTML", staticPage);
  write(L"DynamicAdvertisementURL", remote);
  write(L"WaitTimeOut", timeout);
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  auto* start = wizard.PageAs<CCorvaneRepackagerStartDlg>(CApplicationMain::kStartPage);
  QVERIFY(QTest::qWaitFor([&] { return start->IsLoaded(); }, 15000));
  QVERIFY(sheet.NextButton()->isEnabled());
  QVERIFY(!sheet.BackButton()->isEnabled());
  QCOMPARE(start->ShownView(), start->RemoteView());
  if (shown == "built-in") {
    QVERIFY(start->ShownView()->toPlainText().contains("Click Next to begin"));
  } else {
    QCOMPARE(start->ShownView()->Address().fileName(), shown);
    QVERIFY(start->ShownView()->toPlainText().contains("Three steps"));
  }
}

QTEST_MAIN(NavigationTest)
#include "navigation_test.moc"
