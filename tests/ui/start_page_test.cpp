// The start page's advertisement area: the remote page when it loads, else the static page of the
// program folder (also when the wait runs out), else a page of the program's own; Next is enabled
// once a page is shown. The pages come from section "AdvertisementURL" of the configuration file.
#include <QPushButton>
#include <QTest>

#include "core/work_paths.h"
#include "platform/profile.h"
#include "ui/banner_ctrl.h"
#include "ui/start_page.h"
#include "wizard_fixture.h"

class StartPageTest : public QObject {
  Q_OBJECT

 private slots:
  void AdvertisementArea_data();
  void AdvertisementArea();
};

void StartPageTest::AdvertisementArea_data() {
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

void StartPageTest::AdvertisementArea() {
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

QTEST_MAIN(StartPageTest)
#include "start_page_test.moc"
