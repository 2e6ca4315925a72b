// The review pages: what Exclude and Include again do to the change maps, the excluded changes
// and the rules; the no-reason warning's Cancel, and its check box remembered in the configuration
// file whichever way it is closed; the rewrite of the files on Next only after a move.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QTest>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "project/change_types.h"
#include "project/include_exclude_rules.h"
#include "support/temp_folder.h"
#include "ui/content_review_file_page.h"
#include "ui/content_review_registry_page.h"
#include "ui/project_tree_ctrl.h"
#include "ui/registry_tooltip.h"
#include "ui/warning_no_reason_given.h"
#include "wizard_fixture.h"

namespace {

QStringList Keys(const RegKeyMap& map) {
  QStringList out;
  for (const auto& [key, values] : map) out << QString::fromStdWString(key);
  return out;
}

QStringList Keys(const FolderFileMap& map) {
  QStringList out;
  for (const auto& [folder, files] : map) {
    out << QString::fromStdWString(folder);
    for (const std::wstring& file : files) out << QString::fromStdWString(file);
  }
  return out;
}

// "NAME=description" for each rule of the kind in a session's rules.
QStringList Rules(const CIncludeExcludeRules& rules, RuleKind kind) {
  QStringList out;
  for (const auto& [key, rule] : rules.GetExcludedRules(kind)) {
    out << QString::fromStdWString(rule.name) + "=" + QString::fromStdWString(rule.description);
  }
  return out;
}

std::string ReadWindowsFile(const std::wstring& windowsPath) {
  return ReadHostFile(platform::Machine::HostPath(windowsPath));
}

RegValueRecord Value(const std::wstring& key) { return RegValueRecord{key, L"\"Name\"", L"REG_SZ", L""}; }

// A wizard whose review maps hold the given changes, before the review pages are first shown.
struct ReviewWizard {
  WizardFixture wizard;
  RegKeyMap* added = nullptr;
  RegKeyMap* modified = nullptr;
  RegKeyMap* deleted = nullptr;
  FolderFileMap* addedFolders = nullptr;
  FolderFileMap* modifiedFolders = nullptr;
  FolderFileMap* deletedFolders = nullptr;

  ReviewWizard() {
    wizard.Open();
    wizard.Session().GetRegistryChangeMaps(added, modified, deleted);
    wizard.Session().GetFileChangeMaps(addedFolders, modifiedFolders, deletedFolders);
  }
  template <typename Page>
  Page* Show(int number) {
    wizard.Sheet().SetActivePage(number);
    return wizard.PageAs<Page>(number);
  }
};

}  // namespace

class ContentReviewTest : public QObject {
  Q_OBJECT

 private slots:
  void RegistryExclude_data();
  void RegistryExclude();
  void IncludeAgainReturnsAsAddedAndNextRewrites();
  void FileExclude_data();
  void FileExclude();
  void RegistryTooltip_data();
  void RegistryTooltip();
  void NoReasonGivenRemembersTheCheckBox_data();
  void NoReasonGivenRemembersTheCheckBox();
};

void ContentReviewTest::RegistryExclude_data() {
  QTest::addColumn<QStringList>("added");
  QTest::addColumn<QStringList>("modified");
  QTest::addColumn<QStringList>("ticked");
  QTest::addColumn<QString>("reason");
  // The no-reason warning's answers, in order (1 OK, 0 Cancel).
  QTest::addColumn<QList<int>>("warnings");
  QTest::addColumn<QStringList>("remaining");
  QTest::addColumn<QStringList>("excluded");
  QTest::addColumn<QStringList>("rules");

  const QString vendor = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor";
  QTest::newRow("a key covers its subkeys, not its namesakes")
      << QStringList{vendor, vendor + "\\App", vendor + "Tools"} << QStringList{vendor + "\\Settings"}
      << QStringList{vendor} << " not ours " << QList<int>{} << QStringList{vendor + "Tools"}
      << QStringList{vendor, vendor + "\\App", vendor + "\\Settings"}
      << QStringList{vendor + "=not ours", vendor + "\\App=not ours", vendor + "\\Settings=not ours"};
  QTest::newRow("cancel on the second of three")
      << QStringList{vendor + "\\A", vendor + "\\B", vendor + "\\C"} << QStringList{}
      << QStringList{vendor + "\\A", vendor + "\\B", vendor + "\\C"} << "" << QList<int>{1, 0}
      << QStringList{vendor + "\\B", vendor + "\\C"} << QStringList{vendor + "\\A"} << QStringList{vendor + "\\A="};
  QTest::newRow("a class key and its machine copy")
      << QStringList{"HKEY_CLASSES_ROOT\\.corv", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.corv",
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Other"}
      << QStringList{} << QStringList{"HKEY_CLASSES_ROOT\\.corv"} << "file type" << QList<int>{}
      << QStringList{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Other"}
      << QStringList{"HKEY_CLASSES_ROOT\\.corv", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.corv"}
      << QStringList{"HKEY_CLASSES_ROOT\\.corv=file type", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.corv=file type"};
}

void ContentReviewTest::RegistryExclude() {
  QFETCH(QStringList, added);
  QFETCH(QStringList, modified);
  QFETCH(QStringList, ticked);
  QFETCH(QString, reason);
  QFETCH(QList<int>, warnings);
  QFETCH(QStringList, remaining);
  QFETCH(QStringList, excluded);
  QFETCH(QStringList, rules);

  ReviewWizard review;
  // The machine copy of the class key exists (the equivalent keys are those found on the machine).
  review.wizard.Prefix()->AddSystemReg("[Software\\\\Classes\\\\.corv] 1700000000\n@=\"corvfile\"\n");
  for (const QString& key : added) (*review.added)[key.toStdWString()] = {Value(key.toStdWString())};
  for (const QString& key : modified) (*review.modified)[key.toStdWString()] = {Value(key.toStdWString())};
  auto* page = review.Show<CContentReviewRegistryDlg>(CApplicationMain::kContentReviewRegistryPage);
  for (const QString& key : ticked) QVERIFY(page->ChangeView()->SetChecked(key, true));
  for (int answer : warnings) review.wizard.dialogAnswers.push_back(answer == 1 ? QDialog::Accepted : QDialog::Rejected);
  page->ReasonField()->setText(reason);
  QTest::mouseClick(page->ExcludeButton(), Qt::LeftButton);

  QStringList left = Keys(*review.added) + Keys(*review.modified);
  left.sort();
  QCOMPARE(left, remaining);
  QCOMPARE(Keys(review.wizard.Session().ExcludedKeyChanges()), excluded);
  QCOMPARE(Rules(review.wizard.Session().Rules(), RuleKind::kRegistry), rules);
  QCOMPARE(page->PageRules().size(), size_t(rules.size()));
  QCOMPARE(review.wizard.dialogs.size(), size_t(warnings.size()));
  // The views follow the maps: what left is gone from the changes and shown as excluded; what
  // stays is still ticked for a second try.
  for (const QString& key : excluded) {
    QVERIFY2(page->ChangeView()->Find(key) == nullptr, qPrintable(key));
    QVERIFY2(page->ExclusionView()->Find(key) != nullptr, qPrintable(key));
  }
  for (const QString& key : remaining) QVERIFY2(page->ChangeView()->Find(key) != nullptr, qPrintable(key));
  const QStringList stillTicked = page->ChangeView()->CheckedPaths();
  for (const QString& key : ticked) {
    if (remaining.contains(key)) QVERIFY2(stillTicked.contains(key), qPrintable(key));
  }
  QVERIFY(page->ReasonField()->text().isEmpty());
  QCOMPARE(page->Changed(), !excluded.isEmpty());
}

void ContentReviewTest::IncludeAgainReturnsAsAddedAndNextRewrites() {
  ReviewWizard review;
  const std::wstring app = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App";
  const std::wstring run = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Run";
  (*review.modified)[app] = {Value(app)};
  (*review.added)[run] = {Value(run)};
  auto* page = review.Show<CContentReviewRegistryDlg>(CApplicationMain::kContentReviewRegistryPage);

  // Leaving without a move writes neither file.
  const std::string changesBefore = ReadWindowsFile(review.wizard.Session().Context().RegChangesPath);
  const std::string rulesBefore = ReadWindowsFile(review.wizard.Session().Context().RulesFilePath);
  review.wizard.ClickNext();
  QCOMPARE(review.wizard.Sheet().ActivePageNumber(), int(CApplicationMain::kCreateProjectPage));
  QCOMPARE(ReadWindowsFile(review.wizard.Session().Context().RegChangesPath), changesBefore);
  QCOMPARE(ReadWindowsFile(review.wizard.Session().Context().RulesFilePath), rulesBefore);

  review.wizard.Sheet().SetActivePage(CApplicationMain::kContentReviewRegistryPage);
  page->ChangeView()->SetChecked(QString::fromStdWString(app), true);
  page->ChangeView()->SetChecked(QString::fromStdWString(run), true);
  page->ReasonField()->setText("from the vendor");
  page->Exclude();
  // Selecting an excluded key shows its reason; one of the changes empties the field.
  page->ExclusionView()->setCurrentItem(page->ExclusionView()->Find(QString::fromStdWString(app)));
  QCOMPARE(page->ReasonField()->text(), QString("from the vendor"));
  page->ExclusionView()->SetChecked(QString::fromStdWString(app), true);
  QTest::mouseClick(page->IncludeButton(), Qt::LeftButton);
  QVERIFY(review.added->count(app) == 1);
  QVERIFY(review.modified->count(app) == 0);
  QCOMPARE(Keys(review.wizard.Session().ExcludedKeyChanges()), QStringList{QString::fromStdWString(run)});
  QCOMPARE(Rules(review.wizard.Session().Rules(), RuleKind::kRegistry), QStringList{QString::fromStdWString(run) + "=from the vendor"});

  // Back and forth keeps the move pending; Next writes both files.
  review.wizard.ClickBack();
  review.wizard.Sheet().SetActivePage(CApplicationMain::kContentReviewRegistryPage);
  review.wizard.ClickNext();
  QCOMPARE(review.wizard.Sheet().ActivePageNumber(), int(CApplicationMain::kCreateProjectPage));
  QVERIFY(!page->Changed());
  const std::string changes = ReadWindowsFile(review.wizard.Session().Context().RegChangesPath);
  QVERIFY(changes != changesBefore);
  QVERIFY(changes.find("Vendor\\App") != std::string::npos);
  const std::string rules = ReadWindowsFile(review.wizard.Session().Context().RulesFilePath);
  QVERIFY(rules != rulesBefore);
  QVERIFY2(rules.find("Name=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Run\" Description=\"from the vendor\"") !=
               std::string::npos,
           rules.c_str());
  QVERIFY(rules.find("Vendor\\App\"") == std::string::npos);
}

void ContentReviewTest::FileExclude_data() {
  QTest::addColumn<QString>("ticked");
  QTest::addColumn<QStringList>("remaining");
  QTest::addColumn<QStringList>("excluded");
  QTest::addColumn<QStringList>("rules");
  QTest::addColumn<int>("message");

  const QString app = "C:\\Program Files\\App";
  const QStringList all{app, app + "\\app.exe", app + "\\readme.txt", app + "\\Sub", app + "\\Sub\\a.dll",
                        app + "Data", app + "Data\\d.dat"};
  QTest::newRow("a folder with its subfolders")
      << app << QStringList{app + "Data", app + "Data\\d.dat"}
      << QStringList{app, app + "\\app.exe", app + "\\readme.txt", app + "\\Sub", app + "\\Sub\\a.dll"}
      << QStringList{"%PROGRAMFILES%\\App=r", "%PROGRAMFILES%\\App\\Sub=r"} << 0;
  QTest::newRow("one file")
      << app + "\\readme.txt"
      << QStringList{app, app + "\\app.exe", app + "\\Sub", app + "\\Sub\\a.dll", app + "Data", app + "Data\\d.dat"}
      << QStringList{app, app + "\\readme.txt"} << QStringList{"%PROGRAMFILES%\\App\\readme.txt=r"} << 0;
  QTest::newRow("nothing ticked") << QString() << all << QStringList{} << QStringList{} << 128;
}

void ContentReviewTest::FileExclude() {
  QFETCH(QString, ticked);
  QFETCH(QStringList, remaining);
  QFETCH(QStringList, excluded);
  QFETCH(QStringList, rules);
  QFETCH(int, message);

  ReviewWizard review;
  const std::wstring app = L"C:\\Program Files\\App";
  (*review.addedFolders)[app] = {app + L"\\app.exe", app + L"\\readme.txt"};
  (*review.addedFolders)[app + L"\\Sub"] = {app + L"\\Sub\\a.dll"};
  (*review.modifiedFolders)[app + L"Data"] = {app + L"Data\\d.dat"};
  auto* page = review.Show<CContentReviewFileDlg>(CApplicationMain::kContentReviewFilePage);
  if (!ticked.isEmpty()) QVERIFY(page->ChangeView()->SetChecked(ticked, true));
  page->ReasonField()->setText("r");
  page->Exclude();

  QCOMPARE(Keys(*review.addedFolders) + Keys(*review.modifiedFolders), remaining);
  QCOMPARE(Keys(review.wizard.Session().ExcludedFileChanges()), excluded);
  QCOMPARE(Rules(review.wizard.Session().Rules(), RuleKind::kFiles), rules);
  QCOMPARE(review.wizard.PromptTexts(), message == 0 ? QStringList{} : QStringList{TextOf(message)});
  if (ticked.isEmpty()) return;

  // Include again restores the maps as they were (the folder of a file back where it was).
  page->ExclusionView()->SetChecked(ticked, true);
  page->IncludeAgain();
  QCOMPARE(Keys(review.wizard.Session().ExcludedFileChanges()), QStringList{});
  QCOMPARE(Rules(review.wizard.Session().Rules(), RuleKind::kFiles), QStringList{});
  QVERIFY(page->ChangeView()->Find(ticked) != nullptr);
  QVERIFY(page->ExclusionView()->topLevelItemCount() == 0);
  QStringList back = Keys(*review.addedFolders) + Keys(*review.modifiedFolders);
  back.sort();
  QStringList expected = remaining + excluded;
  expected.removeDuplicates();
  expected.sort();
  QCOMPARE(back, expected);
}

void ContentReviewTest::RegistryTooltip_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("tooltip");
  // In the machine's order of values (Wine keeps them sorted by name).
  QTest::newRow("each type of value")
      << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tip\\Types"
      << "Values:\n(Default): default text\nBlob: ...\nCount: 42\nEmpty\nLong: ...\nNegative: -1";
  QString twenty = "Values:";
  for (int i = 0; i < 20; ++i) twenty += QString("\nV%1: %2").arg(i, 2, 10, QChar('0')).arg(i);
  QTest::newRow("at most twenty values") << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tip\\Many" << twenty + "\n...";
  QTest::newRow("a key without values") << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tip" << "No values";
  QTest::newRow("a key that is gone") << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tip\\Gone" << "Can't read key";
  QTest::newRow("a root that does not exist") << "HKEY_NOWHERE\\Tip" << "Can't read key";
}

void ContentReviewTest::RegistryTooltip() {
  QFETCH(QString, key);
  QFETCH(QString, tooltip);
  WizardFixture wizard;
  std::string text = "[Software\\\\Tip\\\\Types] 1700000000\n@=\"default text\"\n\"Count\"=dword:0000002a\n"
                     "\"Negative\"=dword:ffffffff\n\"Blob\"=hex:01,02\n\"Empty\"=\"\"\n\"Long\"=\"" +
                     std::string(100, 'x') + "\"\n\n[Software\\\\Tip\\\\Many] 1700000000\n";
  for (int i = 0; i < 21; ++i) text += FormatText("\"V%02d\"=dword:%08x\n", i, i);
  wizard.Prefix()->AddSystemReg(text);
  QCOMPARE(QString::fromStdWString(RegistryKeyTooltip(key.toStdWString())), tooltip);
}

void ContentReviewTest::NoReasonGivenRemembersTheCheckBox_data() {
  QTest::addColumn<bool>("ticked");
  QTest::addColumn<bool>("accepted");
  QTest::addColumn<QString>("written");
  QTest::newRow("ok, ticked") << true << true << "0";
  QTest::newRow("cancel, ticked") << true << false << "0";
  QTest::newRow("ok, not ticked") << false << true << "1";
  QTest::newRow("cancel, not ticked") << false << false << "1";
}

void ContentReviewTest::NoReasonGivenRemembersTheCheckBox() {
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

QTEST_MAIN(ContentReviewTest)
#include "content_review_test.moc"
