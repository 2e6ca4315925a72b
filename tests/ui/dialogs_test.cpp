// The warning about an exclusion without a reason remembers its check box in the configuration
// file whichever way it is closed, and the review pages ask it whether to show it.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>

#include "core/work_paths.h"
#include "platform/profile.h"
#include "ui/warning_no_reason_given.h"
#include "wizard_fixture.h"

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void NoReasonGivenRemembersTheCheckBox_data();
  void NoReasonGivenRemembersTheCheckBox();
};

void DialogsTest::NoReasonGivenRemembersTheCheckBox_data() {
  QTest::addColumn<bool>("ticked");
  QTest::addColumn<bool>("accepted");
  QTest::addColumn<QString>("written");
  QTest::newRow("ok, ticked") << true << true << "0";
  QTest::newRow("cancel, ticked") << true << false << "0";
  QTest::newRow("ok, not ticked") << false << true << "1";
  QTest::newRow("cancel, not ticked") << false << false << "1";
}

void DialogsTest::NoReasonGivenRemembersTheCheckBox() {
  QFETCH(bool, ticked);
  QFETCH(bool, accepted);
  QFETCH(QString, written);
  WizardFixture wizard;
  // Shown while the key is missing.
  const std::wstring config = wizard.StartContext().ConfigFilePath;
  QVERIFY(CWarningNoReasonGiven::ShouldShow(config));
  CWarningNoReasonGiven warning(config);
  warning.show();
  // The box comes first in the tab order, then the buttons.
  QVERIFY(QTest::qWaitForWindowActive(&warning));
  QCOMPARE(QApplication::focusWidget(), warning.DoNotShowAgain());
  QTest::keyClick(warning.DoNotShowAgain(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), warning.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
  if (ticked) QTest::mouseClick(warning.DoNotShowAgain(), Qt::LeftButton, {}, QPoint(4, warning.DoNotShowAgain()->height() / 2));
  QCOMPARE(warning.DoNotShowAgain()->isChecked(), ticked);
  if (accepted) {
    QTest::keyClick(&warning, Qt::Key_Return);
  } else {
    QTest::keyClick(&warning, Qt::Key_Escape);
  }
  QCOMPARE(warning.result(), accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
  QCOMPARE(QString::fromStdWString(platform::GetProfileText(L"Options", L"ShowNoReasonGivenWarning", L"", config)),
           written);
  QCOMPARE(CWarningNoReasonGiven::ShouldShow(config), !ticked);
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
