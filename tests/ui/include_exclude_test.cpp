// The include and exclude editor on a hand-made prefix: the trees' check model and collectors,
// select-by-path, the counter, the folder menu, the exclude page's descriptions and what both
// pages write into the rule file, the registry key chooser, and the capture page's Advanced button.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTabWidget>
#include <QTest>

#include "core/work_paths.h"
#include "support/temp_folder.h"
#include "ui/advance_exclude.h"
#include "ui/advance_include.h"
#include "ui/capture_snapshot_page.h"
#include "ui/dialog_registry.h"
#include "ui/folder_tree_ctrl.h"
#include "ui/parent_sheet.h"
#include "ui/registry_tree_ctrl.h"
#include "ui/rule_editor_model.h"
#include "wizard_fixture.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<CParentSheet> OpenSheet(WizardFixture& wizard) {
  CaptureChoiceMap choices;
  choices[L"File"] = {L"C:\\Program Files"};
  choices[L"Registry"] = {L"HKEY_LOCAL_MACHINE\\Software\\Vendor"};
  return std::make_unique<CParentSheet>(wizard.Session(), choices, wizard.Sheet().Prompter());
}

}  // namespace

class IncludeExcludeTest : public QObject {
  Q_OBJECT

 private slots:
  void CheckModelAndCounter_data();
  void CheckModelAndCounter();
  void SelectByPathOfMissingPathChangesNothing();
  void FolderTreeLazyAndKeyboard();
  void FolderContextMenu();
  void RegistryTreeListsOneUserHive();
  void IncludePageSavesChoicesAndDefault();
  void DescribeUncheckedFolder_data();
  void DescribeUncheckedFolder();
  void ExcludePageSaveCarriesRulesOver();
  void ExcludeRuleFoundWhateverItsCase_data();
  void ExcludeRuleFoundWhateverItsCase();
  void RegistryChooserGivesTheSelectedKey();
  void KeyboardReachesEveryControl();
  void AdvancedButtonChangesTheCaptureRoots();
};

// Steps on C:\Data with sub-folders A, B, C: "+path" checks, "-path" unchecks (as a click
// on the check box does); then the collected paths, the counter and the marks of C:\Data.
void IncludeExcludeTest::CheckModelAndCounter_data() {
  QTest::addColumn<QStringList>("steps");
  QTest::addColumn<QStringList>("collected");
  QTest::addColumn<bool>("parentChecked");
  QTest::addColumn<bool>("parentBold");
  const QString pf = "C:\\Data";
  QTest::newRow("folder then its sub-folder") << QStringList{"+" + pf, "+" + pf + "\\B"}
                                              << QStringList{pf + "\\"} << true << true;
  QTest::newRow("one child of a checked folder unchecked")
      << QStringList{"+" + pf, "-" + pf + "\\A"} << QStringList{pf + "\\B\\", pf + "\\C\\"} << false << true;
  // Checked children do not check their parent: its own files were not chosen.
  QTest::newRow("all children checked one by one")
      << QStringList{"+" + pf + "\\A", "+" + pf + "\\B", "+" + pf + "\\C"}
      << QStringList{pf + "\\A\\", pf + "\\B\\", pf + "\\C\\"} << false << true;
  QTest::newRow("checked again after a child was unchecked")
      << QStringList{"+" + pf, "-" + pf + "\\A", "+" + pf + "\\A"}
      << QStringList{pf + "\\A\\", pf + "\\B\\", pf + "\\C\\"} << false << true;
  QTest::newRow("the only checked child unchecked")
      << QStringList{"+" + pf + "\\A", "-" + pf + "\\A"} << QStringList{} << false << false;
  QTest::newRow("the only sub-folder checked")
      << QStringList{"+" + pf + "\\A\\Deep"} << QStringList{pf + "\\A\\Deep\\"} << false << true;
}

void IncludeExcludeTest::CheckModelAndCounter() {
  QFETCH(QStringList, steps);
  QFETCH(QStringList, collected);
  QFETCH(bool, parentChecked);
  QFETCH(bool, parentBold);
  WizardFixture wizard;
  for (const char* folder : {"A/Deep", "B", "C"}) wizard.Prefix()->InDriveC(fs::path("Data") / folder, true);
  wizard.Open();
  CRuleEditorModel rules(wizard.Session());
  CAdvanceInclude page(rules, CaptureChoiceMap{});
  CFolderTreeCtrl& tree = *page.FolderTree();
  CCheckTreeModel& model = tree.Model();
  for (const QString& step : steps) {
    const QModelIndex item = model.Find(step.mid(1));
    QVERIFY2(item.isValid(), qPrintable(step));
    QVERIFY(model.setData(item, step[0] == '+' ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
  }
  QCOMPARE(tree.CheckedPaths(), collected);
  QCOMPARE(page.Counter()->text(), QString("%1 Selected Folder(s)").arg(collected.size()));
  const QModelIndex parent = model.Find("C:\\Data");
  QCOMPARE(model.IsChecked(parent), parentChecked);
  QCOMPARE(model.IsBold(parent), parentBold);
  QCOMPARE(model.data(parent, Qt::FontRole).value<QFont>().bold(), parentBold);
}

void IncludeExcludeTest::SelectByPathOfMissingPathChangesNothing() {
  WizardFixture wizard;
  wizard.Prefix()->InDriveC("Program Files/App", true);
  wizard.Open();
  CFolderTreeCtrl tree;
  QVERIFY(tree.SelectByPath("c:\\PROGRAM FILES\\app"));  // letter case does not matter
  const QStringList before = tree.CheckedPaths();
  QCOMPARE(before, QStringList{"C:\\Program Files\\App\\"});
  for (const char* missing : {"C:\\Program Files\\Nowhere", "C:\\Program Files\\App\\Deeper", "Q:\\Data", ""}) {
    QVERIFY2(!tree.SelectByPath(missing), qPrintable(missing));
    QCOMPARE(tree.CheckedPaths(), before);
  }
  CRegistryTreeCtrl keys;
  QVERIFY(!keys.SelectByPath("HKEY_LOCAL_MACHINE\\Software\\NoSuchVendor"));
  QVERIFY(keys.CheckedPaths().isEmpty());
}

void IncludeExcludeTest::FolderTreeLazyAndKeyboard() {
  WizardFixture wizard;
  wizard.Prefix()->InDriveC("Data/Empty", true);
  wizard.Prefix()->InDriveC("Data/Full/Inner", true);
  fs::create_directories(wizard.Prefix()->Scratch());
  wizard.Prefix()->AddDrive('a', wizard.Prefix()->Scratch());
  wizard.Prefix()->AddDrive('n', wizard.Prefix()->Scratch());
  wizard.Prefix()->AddSystemReg("\n[Software\\\\Wine\\\\Drives] 1700000000\n\"n:\"=\"network\"\n");
  wizard.Open();
  CFolderTreeCtrl tree;
  CCheckTreeModel& model = tree.Model();
  // The drives of the prefix but A: and network drives, each not walked until asked: C: and the host's root as Z:.
  QCOMPARE(model.rowCount(), 2);
  QCOMPARE(model.FullPath(model.index(0, 0)), QString("C:\\"));
  QCOMPARE(model.FullPath(model.index(1, 0)), QString("Z:\\"));
  QCOMPARE(model.rowCount(model.index(1, 0)), 0);
  QVERIFY(model.hasChildren(model.index(1, 0)));
  // A child made under a checked folder is made checked; expand buttons only where folders are.
  const QModelIndex data = model.Find("C:\\Data");
  model.SetChecked(data, true);
  QCOMPARE(model.rowCount(data), 0);
  model.Load(data);
  QCOMPARE(model.rowCount(data), 2);
  QVERIFY(model.IsChecked(model.index(0, 0, data)));
  QVERIFY(!model.hasChildren(model.Find("C:\\Data\\Empty")));
  QVERIFY(model.hasChildren(model.Find("C:\\Data\\Full")));

  // Space toggles the current item's check mark.
  tree.show();
  QVERIFY(QTest::qWaitForWindowExposed(&tree));
  tree.setFocus();
  const QModelIndex full = model.Find("C:\\Data\\Full");
  tree.setCurrentIndex(full);
  QTest::keyClick(tree.viewport(), Qt::Key_Space);
  QVERIFY(!model.IsChecked(full));
  QVERIFY(!model.IsChecked(data));
  QTest::keyClick(tree.viewport(), Qt::Key_Space);
  QVERIFY(model.IsChecked(full));
  QVERIFY(!model.IsChecked(data));
  QVERIFY(model.IsBold(data));
}

void IncludeExcludeTest::FolderContextMenu() {
  WizardFixture wizard;
  wizard.Prefix()->InDriveC("Data/A", true);
  wizard.Prefix()->InDriveC("Data/B", true);
  wizard.Open();
  CFolderTreeCtrl tree;
  std::vector<std::wstring> opened;
  tree.openFolder = [&opened](const std::wstring& path) { opened.push_back(path); };
  CCheckTreeModel& model = tree.Model();
  const QModelIndex data = model.Find("C:\\Data");
  QVERIFY(tree.SelectByPath("C:\\Data\\B"));

  const auto texts = [](QMenu* menu) {
    QStringList out;
    for (QAction* action : menu->actions()) out << (action->isSeparator() ? QString("-") : action->text());
    return out;
  };
  std::unique_ptr<QMenu> menu(tree.MakeContextMenu(data));
  QCOMPARE(texts(menu.get()), (QStringList{" Display Folder C:\\Data\\ ", "-", "Select this folder and all SubFolder", "-",
                                           "C:\\Data\\B\\"}));
  menu->actions()[0]->trigger();
  QCOMPARE(opened, std::vector<std::wstring>{L"C:\\Data\\"});
  menu->actions()[2]->trigger();
  QVERIFY(model.IsChecked(data));
  QVERIFY(model.IsChecked(model.Find("C:\\Data\\A")));

  menu.reset(tree.MakeContextMenu(model.Find("C:\\")));
  QCOMPARE(texts(menu.get()).mid(0, 3), (QStringList{" Display Disk C ", "-", "Select this folder and all SubFolder"}));
  QCOMPARE(texts(menu.get()).mid(4), QStringList{"C:\\Data\\"});
  menu.reset(tree.MakeContextMenu(model.Find("C:\\Data\\A")));
  QCOMPARE(texts(menu.get()).mid(2), (QStringList{"Deselect this folder and all SubFolder", "-", "0 Subfolder Selected"}));
}

void IncludeExcludeTest::RegistryTreeListsOneUserHive() {
  WizardFixture wizard;
  wizard.Prefix()->AddSystemReg("\n[Software\\\\Vendor\\\\App\\\\Sub] 1700000000\n\"V\"=\"1\"\n");
  wizard.Open();
  CRegistryTreeCtrl tree;
  CCheckTreeModel& model = tree.Model();
  QStringList roots;
  for (int row = 0; row < model.rowCount(); ++row) roots << model.index(row, 0).data().toString();
  QCOMPARE(roots, (QStringList{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                               "HKEY_CURRENT_CONFIG"}));
  const QModelIndex users = model.index(3, 0);
  model.Load(users);
  QCOMPARE(model.rowCount(users), 1);
  QVERIFY(tree.SelectByPath("hkey_local_machine\\software\\vendor"));
  QCOMPARE(tree.CheckedPaths(), QStringList{"HKEY_LOCAL_MACHINE\\Software\\Vendor\\"});
  QVERIFY(model.IsChecked(model.Find("HKEY_LOCAL_MACHINE\\Software\\Vendor\\App\\Sub")));
}

void IncludeExcludeTest::IncludePageSavesChoicesAndDefault() {
  WizardFixture wizard;
  wizard.Prefix()->InDriveC("Program Files/App", true);
  wizard.Prefix()->InDriveC("CorvaneData", true);
  wizard.Open();
  CRuleEditorModel rules(wizard.Session());
  CaptureChoiceMap choices;
  choices[L"File"] = {L"C:\\Program Files", L"D:\\Gone"};
  choices[L"Registry"] = {L"HKEY_LOCAL_MACHINE\\Software"};
  choices[L"SetupFilePath"] = {L"C:\\setup.exe"};
  CAdvanceInclude page(rules, choices);
  QCOMPARE(page.FolderTree()->CheckedPaths(), QStringList{"C:\\Program Files\\"});
  QCOMPARE(page.UnplacedFolders(), QStringList{"D:\\Gone"});
  QVERIFY(page.FolderTree()->SelectByPath("C:\\CorvaneData"));

  // Without "Save as Default" the rule file stays; the choices change.
  const fs::path ruleFile = wizard.Scratch() / "DefaultIncludeExclude.xml";
  const std::string before = ReadHostFile(ruleFile);
  QCOMPARE(page.Save(), 1);
  QCOMPARE(ReadHostFile(ruleFile), before);
  const CaptureChoiceMap edited = page.Choices();
  QCOMPARE(edited.at(L"File"), (std::vector<std::wstring>{L"C:\\CorvaneData", L"C:\\Program Files", L"D:\\Gone"}));
  QCOMPARE(edited.at(L"Registry"), std::vector<std::wstring>{L"HKEY_LOCAL_MACHINE\\Software"});
  QCOMPARE(edited.at(L"SetupFilePath"), std::vector<std::wstring>{L"C:\\setup.exe"});

  // "Save as Default" writes at once, in token form, and is used once.
  QTest::mouseClick(page.SaveAsDefaultButton(), Qt::LeftButton);
  QVERIFY(!page.SaveAsDefaultButton()->isEnabled());
  const std::string after = ReadHostFile(ruleFile);
  for (const char* entry : {"Name=\"C:\\CorvaneData\"", "Name=\"%PROGRAMFILES%\"", "Name=\"D:\\Gone\"",
                            "Name=\"HKEY_LOCAL_MACHINE\\Software\""}) {
    QVERIFY2(after.find(entry) != std::string::npos, entry);
  }
  QVERIFY(after.find("SOFTWARE\\Vendor") == std::string::npos);
  // The next capture's choices come from the rewritten file.
  const CaptureChoiceMap next = wizard.Session().BuildCaptureChoices(L"C:\\setup.exe", {});
  QCOMPARE(next.at(L"File").size(), size_t(3));
}

// Describing from the path field: the kinds, an empty description, a described unchecked folder.
void IncludeExcludeTest::DescribeUncheckedFolder_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("description");
  QTest::addColumn<int>("message");          // 0: none
  QTest::addColumn<QStringList>("checked");  // the folder tree's collected paths afterwards
  QTest::newRow("unchecked, empty description") << "FileNotChecked\\C:\\Data" << "  " << 114 << QStringList{};
  QTest::newRow("unchecked, described") << "FileNotChecked\\C:\\Data" << "noise" << 0
                                        << QStringList{"C:\\Data\\"};
  QTest::newRow("unknown kind") << "Folder\\C:\\Data" << "noise" << 115 << QStringList{};
  QTest::newRow("no path") << "" << "noise" << 115 << QStringList{};
}

void IncludeExcludeTest::DescribeUncheckedFolder() {
  QFETCH(QString, field);
  QFETCH(QString, description);
  QFETCH(int, message);
  QFETCH(QStringList, checked);
  WizardFixture wizard;
  wizard.Prefix()->InDriveC("Data/Sub", true);
  wizard.Open();
  std::vector<QString> messages;
  CRuleEditorModel rules(wizard.Session());
  CAdvanceExclude page(rules, [&messages](const QString& text, const QString&) { messages.push_back(text); });
  // Selecting an unchecked folder offers it as "FileNotChecked\" in token form.
  QVERIFY(page.FolderTree()->ShowPath("C:\\Data"));
  QCOMPARE(page.PathField()->text(), QString("FileNotChecked\\C:\\Data"));
  page.PathField()->setText(field);
  page.DescriptionField()->setText(description);
  QTest::mouseClick(page.DescribeButton(), Qt::LeftButton);
  QCOMPARE(messages.size(), size_t(message == 0 ? 0 : 1));
  if (message != 0) QCOMPARE(messages[0], TextOf(message));
  QCOMPARE(page.FolderTree()->CheckedPaths(), checked);
  QCOMPARE(page.Rules(RuleKind::kFiles).size(), size_t(checked.size()));
  if (message == 0) {
    QCOMPARE(page.PathField()->text(), QString());
    const ExcludedRule& rule = page.Rules(RuleKind::kFiles).at(L"C:\\DATA");
    QCOMPARE(rule.name, std::wstring(L"C:\\Data"));
    QCOMPARE(rule.description, std::wstring(L"noise"));
    // Selected again, the checked folder shows its rule.
    QVERIFY(page.FolderTree()->ShowPath("C:\\Data\\Sub"));
    QCOMPARE(page.PathField()->text(), QString("File\\C:\\Data"));
    QCOMPARE(page.DescriptionField()->text(), QString("noise"));
  }
}

void IncludeExcludeTest::ExcludePageSaveCarriesRulesOver() {
  WizardFixture wizard;
  for (const char* folder : {"windows/Temp/Sub", "windows/TempOld", "windows/Logs", "Data/Cache"}) {
    wizard.Prefix()->InDriveC(folder, true);
  }
  wizard.Prefix()->AddSystemReg("\n[Software\\\\Vendor\\\\Cache] 1700000000\n\"V\"=\"1\"\n");
  wizard.Open();
  wizard.WriteRules({L"%PROGRAMFILES%"}, {},
                    {{"%WINDIR%\\Temp", "temp"}, {"%WINDIR%\\Temp\\Sub", "below temp"}, {"%WINDIR%\\TempOld", "old"},
                     {"%WINDIR%\\Logs", "logs"}, {"\\Recycler", "fragment"}},
                    {{"HKEY_LOCAL_MACHINE\\Software\\Vendor\\Cache", "cache key"}, {"\\Software\\Wine\\", "wine"}});
  auto sheet = OpenSheet(wizard);
  sheet->Tabs()->setCurrentIndex(1);
  CAdvanceExclude& page = *sheet->ExcludePage();
  CCheckTreeModel& folders = page.FolderTree()->Model();
  QVERIFY(folders.IsChecked(folders.Find("C:\\windows\\Temp\\Sub")));
  // Logs and TempOld unchecked (their rules go, though TempOld's name begins with Temp's), Data\Cache
  // checked without describing (a new rule).
  folders.SetChecked(folders.Find("C:\\windows\\Logs"), false);
  folders.SetChecked(folders.Find("C:\\windows\\TempOld"), false);
  QVERIFY(page.FolderTree()->SelectByPath("C:\\Data\\Cache"));
  QCOMPARE(sheet->Apply(), 1);

  const std::string file = ReadHostFile(wizard.Scratch() / "DefaultIncludeExclude.xml");
  for (const char* kept : {"Name=\"%WINDIR%\\Temp\" Description=\"temp\"",
                           "Name=\"%WINDIR%\\Temp\\Sub\" Description=\"below temp\"",  // carried over
                           "Name=\"\\Recycler\" Description=\"fragment\"",            // not in the tree
                           "Name=\"C:\\Data\\Cache\" Description=\"\"",
                           "Name=\"HKEY_LOCAL_MACHINE\\Software\\Vendor\\Cache\" Description=\"cache key\"",
                           "Name=\"\\Software\\Wine\\\" Description=\"wine\""}) {
    QVERIFY2(file.find(kept) != std::string::npos, (std::string(kept) + " in " + file).c_str());
  }
  QVERIFY(file.find("Logs") == std::string::npos);
  QVERIFY(file.find("TempOld") == std::string::npos);
  // The included lists were not touched without "Save as Default".
  QVERIFY(file.find("<IncludedEntry Name=\"%PROGRAMFILES%\"") != std::string::npos);
}

// The tree shows C:\windows\Logs; the rule names it in other letters, or by a token whose value
// this machine writes in other letters. The page finds the rule: its description is shown,
// described again and saved under the rule's own name, with no second rule for the folder.
void IncludeExcludeTest::ExcludeRuleFoundWhateverItsCase_data() {
  QTest::addColumn<QString>("rule");
  QTest::addColumn<QString>("windir");
  QTest::newRow("path in upper case") << "C:\\WINDOWS\\Logs" << "C:\\windows";
  QTest::newRow("token, its value in upper case") << "%WINDIR%\\Logs" << "C:\\WINDOWS";
}

void IncludeExcludeTest::ExcludeRuleFoundWhateverItsCase() {
  QFETCH(QString, rule);
  QFETCH(QString, windir);
  WizardFixture wizard;
  wizard.Prefix()->InDriveC("windows/Logs/Old", true);
  wizard.Open();
  const EnvironmentValueSet saved = EnvironmentValues;
  EnvironmentValues.windir = windir.toStdWString();
  wizard.WriteRules({L"%PROGRAMFILES%"}, {}, {{rule.toStdString(), "logs"}});
  CRuleEditorModel rules(wizard.Session());
  CAdvanceExclude page(rules, [](const QString&, const QString&) {});
  QVERIFY(page.FolderTree()->ShowPath("C:\\windows\\Logs\\Old"));
  QCOMPARE(page.DescriptionField()->text(), QString("logs"));
  page.DescriptionField()->setText("log files");
  page.Describe();
  const ExcludedRuleMap saves = page.Collected(RuleKind::kFiles);
  EnvironmentValues = saved;
  QCOMPARE(saves.size(), size_t(1));
  QCOMPARE(QString::fromStdWString(saves.begin()->second.name), rule);
  QCOMPARE(saves.begin()->second.description, std::wstring(L"log files"));
}

void IncludeExcludeTest::RegistryChooserGivesTheSelectedKey() {
  WizardFixture wizard;
  wizard.Prefix()->AddSystemReg("\n[Software\\\\Vendor\\\\App] 1700000000\n\"V\"=\"1\"\n");
  wizard.Open();
  CDialogRegistry chooser("Choose a key", L"HKEY_LOCAL_MACHINE\\Software\\Vendor");
  QCOMPARE(chooser.SelectedKey(), std::wstring(L"HKEY_LOCAL_MACHINE\\Software\\Vendor"));
  // No check boxes, and nothing is checked by choosing.
  const QModelIndex vendor = chooser.Tree()->currentIndex();
  QVERIFY(!chooser.Tree()->Model().data(vendor, Qt::CheckStateRole).isValid());
  QVERIFY(chooser.Tree()->CheckedPaths().isEmpty());
  CDialogRegistry nowhere("Choose a key", L"HKEY_LOCAL_MACHINE\\Software\\Missing");
  QCOMPARE(nowhere.SelectedKey(), std::wstring());
}

void IncludeExcludeTest::KeyboardReachesEveryControl() {
  WizardFixture wizard;
  wizard.Open();
  auto sheet = OpenSheet(wizard);
  sheet->show();
  QVERIFY(QTest::qWaitForWindowExposed(sheet.get()));
  CAdvanceInclude& include = *sheet->IncludePage();
  include.FolderTree()->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), include.RegistryTree());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), include.SaveAsDefaultButton());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::AltModifier);
  QCOMPARE(QApplication::focusWidget(), include.FolderTree());
  // Alt+E: the exclude page; its fields by their mnemonics, Enter in the description describes.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::AltModifier);
  QCOMPARE(sheet->Tabs()->currentIndex(), 1);
  CAdvanceExclude& exclude = *sheet->ExcludePage();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::AltModifier);
  QCOMPARE(QApplication::focusWidget(), exclude.PathField());
  QTest::keyClicks(exclude.PathField(), "File\\\\Recycler");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), exclude.DescriptionField());
  QTest::keyClicks(exclude.DescriptionField(), "bin");
  QTest::keyClick(exclude.DescriptionField(), Qt::Key_Return);
  QCOMPARE(exclude.Rules(RuleKind::kFiles).at(L"\\RECYCLER").description, std::wstring(L"bin"));
  QVERIFY(sheet->isVisible());  // Enter described; it did not close the sheet
}

void IncludeExcludeTest::AdvancedButtonChangesTheCaptureRoots() {
  WizardFixture wizard;
  wizard.Prefix()->InDriveC("CorvaneData", true);
  wizard.Open();
  wizard.ToCapturePage();
  QCOMPARE(wizard.Sheet().ActivePageNumber(), int(CApplicationMain::kCaptureSnapshotPage));
  auto* capture = wizard.PageAs<CCaptureSnapshotDlg>(CApplicationMain::kCaptureSnapshotPage);
  // The Advanced button opens the sheet; a folder chosen there is a root after OK, not after Cancel.
  for (const int answer : {int(QDialog::Rejected), int(QDialog::Accepted)}) {
    wizard.Sheet().Prompter().onDialog = [answer](QDialog& dialog) {
      if (auto* advanced = qobject_cast<CParentSheet*>(&dialog)) {
        advanced->IncludePage()->FolderTree()->SelectByPath("C:\\CorvaneData");
      }
      return answer;
    };
    QTest::mouseClick(capture->findChild<QPushButton*>(), Qt::LeftButton);
    QCOMPARE(capture->FileList()->count(), answer == QDialog::Accepted ? 2 : 1);
  }
  QCOMPARE(capture->Choices().at(L"File"), (std::vector<std::wstring>{L"C:\\CorvaneData", L"C:\\Program Files"}));
  // Back and forth keeps the chosen roots.
  wizard.ClickBack();
  wizard.ClickNext();
  QCOMPARE(capture->Choices().at(L"File").size(), size_t(2));
}

QTEST_MAIN(IncludeExcludeTest)
#include "include_exclude_test.moc"
