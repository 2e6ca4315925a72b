// The project view (a saved project checked against this machine, its missing folders and keys
// relocated) and the build page that follows it, on a hand-made machine.
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include "core/strings.h"
#include "core/work_paths.h"
#include "package/project_reader.h"
#include "platform/machine.h"
#include "project/xml_document_handler.h"
#include "session/project_relocation.h"
#include "support/temp_folder.h"
#include "ui/build_msi_page.h"
#include "ui/msi_screen_handler.h"
#include "ui/project_tree_ctrl.h"
#include "ui/show_project_page.h"
#include "wizard_fixture.h"

namespace fs = std::filesystem;

namespace {

// The project file as written: its lists read back, folders expanded from token form.
struct WrittenProject {
  FolderFileMap files;
  RegKeyMap keys;
  INIFileMap ini;
  ShortcutList shortcuts;
};

WrittenProject ReadProject(const std::wstring& path) {
  WrittenProject written;
  CXMLDocumentHandler document;
  if (document.Load(path) != 1) return written;
  const auto real = [](std::wstring text) {
    FromTokenForm(text);
    return text;
  };
  std::vector<std::wstring> folders, files;
  FolderFileMap map;
  project_reader::ReadFolders(document, xmlpath::kFileAdded, folders, files, map);
  for (auto& [folder, paths] : map) {
    for (std::wstring& file : paths) FromTokenForm(file);
    written.files[real(folder)] = paths;
  }
  std::vector<RegValueRecord> entries;
  project_reader::ReadRegistry(document, xmlpath::kRegAdded, entries, &written.keys);
  INIFileMap ini;
  project_reader::ReadIni(document, xmlpath::kIniAdded, ini);
  for (const auto& [file, entriesOfFile] : ini) written.ini[real(file)] = entriesOfFile;
  project_reader::ReadShortcuts(document, written.shortcuts);
  return written;
}

bool IsRed(const QTreeWidgetItem* item) {
  return item != nullptr && item->foreground(0).color() == CShowProjectFileDlg::MissingColour();
}
bool IsGreen(const QTreeWidgetItem* item) {
  return item != nullptr && item->foreground(0).color() == CShowProjectFileDlg::PresentColour();
}

// A wizard with the project opened from the main page (as its Next leaves it).
class ProjectWizard {
 public:
  explicit ProjectWizard(const std::string& xml) {
    // Not the program folder's: that one is shared by every test process.
    wizard.StartContext().ExtractedIconFolder = WideToUtf8(platform::Machine::WindowsPath(wizard.Scratch() / "icons"));
    project = wizard.WriteFile("Projects/project.xml", xml);
    projectHost = platform::Machine::HostPath(project);
  }
  void Open() {
    wizard.Open();
    wizard.Session().Context().SetProjectFilePath(project);
    wizard.Session().Manager().SetSetupFileInfo(L"Demo", L"1.0", L"Maker");
    wizard.Sheet().SetActivePage(CApplicationMain::kShowProjectPage);
  }
  CShowProjectFileDlg* View() {
    return wizard.PageAs<CShowProjectFileDlg>(CApplicationMain::kShowProjectPage);
  }
  CBuildMSIDlg* Build() { return wizard.PageAs<CBuildMSIDlg>(CApplicationMain::kBuildMSIPage); }
  // Clicks Next: the page then shown.
  int Next() {
    wizard.ClickNext();
    return wizard.Sheet().ActivePageNumber();
  }
  void AnswerFolder(const std::wstring& folder) {
    wizard.Sheet().Prompter().onChooseFolder = [folder](const QString&) { return QString::fromStdWString(folder); };
  }
  void AnswerKey(const std::wstring& key) {
    wizard.Sheet().Prompter().onChooseRegistryKey = [key](const QString&, const std::wstring&) {
      return std::optional<std::wstring>(key);
    };
  }

  WizardFixture wizard;
  std::wstring project;
  fs::path projectHost;
};

}  // namespace

class ProjectViewTest : public QObject {
  Q_OBJECT

 private slots:
  void NothingMissing();
  void OneMissingFile_data();
  void OneMissingFile();
  void PartialRelocation();
  void ShortcutFollowsItsProgram();
  void RegistryKeysRelocated();
  void BuildPageReadsAndBuilds();
  void KeyboardReachesEveryControl();
  void CheckMarkIsNotColoured();
  void CancelWhileBuilding();
};

void ProjectViewTest::NothingMissing() {
  // Every file and key is here; what the project lists as deleted is no concern of the view.
  ProjectWizard project(ProjectXml(ProjectDirectory("%PROGRAMFILES%\\Here", {"a.txt"}),
                                   "<SubKey Name=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\HereVendor\"><Value Name=\"&quot;V&quot;\" "
                                   "Type=\"REG_SZ\"/></SubKey>",
                                   ProjectDirectory("%PROGRAMFILES%\\Gone", {"old.txt"})));
  project.wizard.Prefix()->WriteDriveCFile("Program Files/Here/a.txt", "a");
  project.wizard.Prefix()->AddSystemReg("[Software\\\\HereVendor] 1700000000\n\"V\"=\"1\"\n");
  const std::string before = ReadHostFile(project.projectHost);
  project.Open();
  CShowProjectFileDlg* view = project.View();
  QVERIFY(IsGreen(view->FileTree()->Find("C:\\Program Files\\Here\\a.txt")));
  QVERIFY(IsGreen(view->FileTree()->Find("C:")));
  QVERIFY(IsGreen(view->KeyTree()->Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\HereVendor")));
  QVERIFY(view->FileTree()->Find("C:\\Program Files\\Gone") == nullptr);
  QCOMPARE(view->Relocation().TotalFileCount(), 1);
  QCOMPARE(view->Relocation().MissingFileCount(), 0);
  QVERIFY(!view->MissingFilesOnlyBox()->isChecked() && !view->MissingKeysOnlyBox()->isChecked());
  QVERIFY(!view->BuildAnywayBox()->isEnabled());
  QCOMPARE(project.Next(), int(CApplicationMain::kBuildMSIPage));
  QCOMPARE(project.wizard.prompts.size(), size_t(0));
  // Nothing was relocated: the project file is not rewritten (the build page writes only on Finish).
  QCOMPARE(ReadHostFile(project.projectHost), before);
}

void ProjectViewTest::OneMissingFile_data() {
  QTest::addColumn<bool>("relocate");
  QTest::newRow("relocated") << true;
  QTest::newRow("built anyway") << false;
}

void ProjectViewTest::OneMissingFile() {
  QFETCH(bool, relocate);
  ProjectWizard project(ProjectXml(ProjectDirectory("%PROGRAMFILES%\\One\\Data", {"gone.dat"}) +
                                   ProjectDirectory("%PROGRAMFILES%\\One", {"one.exe"})));
  project.wizard.Prefix()->WriteDriveCFile("Program Files/One/one.exe", "MZ");
  project.wizard.Prefix()->WriteDriveCFile("Moved/One/Data/gone.dat", "data");
  const std::string before = ReadHostFile(project.projectHost);
  project.Open();
  CShowProjectFileDlg* view = project.View();
  // Only the missing file is shown at first: it and every folder above it in red.
  QVERIFY(view->MissingFilesOnlyBox()->isChecked());
  QVERIFY(view->BuildAnywayBox()->isEnabled());
  QVERIFY(view->FileTree()->Find("C:\\Program Files\\One\\one.exe") == nullptr);
  for (const char* path : {"C:\\Program Files\\One\\Data\\gone.dat", "C:\\Program Files\\One\\Data",
                           "C:\\Program Files\\One", "C:\\Program Files", "C:"}) {
    QVERIFY2(IsRed(view->FileTree()->Find(path)), path);
  }
  // All files: the one that is here is green, the shared folders stay red.
  QTest::mouseClick(view->MissingFilesOnlyBox(), Qt::LeftButton);
  QVERIFY(IsGreen(view->FileTree()->Find("C:\\Program Files\\One\\one.exe")));
  QVERIFY(IsRed(view->FileTree()->Find("C:\\Program Files\\One")));
  QVERIFY(view->FileCounter()->text().contains("1 missing"));

  // Next is refused while the file is missing.
  QCOMPARE(project.Next(), int(CApplicationMain::kShowProjectPage));
  QCOMPARE(project.wizard.PromptTexts(), QStringList{TextOf(135)});
  QCOMPARE(project.wizard.prompts[0].caption, QString("Information"));

  if (relocate) {
    // Relocate without a ticked item is told; then the program folder is ticked and pointed to
    // its new place.
    QTest::mouseClick(view->RelocateFolderButton(), Qt::LeftButton);
    QCOMPARE(project.wizard.prompts.back().text, TextOf(136));
    QVERIFY(view->FileTree()->SetChecked("C:\\Program Files\\One", true));
    project.AnswerFolder(L"C:\\Moved\\One\\");
    QTest::mouseClick(view->RelocateFolderButton(), Qt::LeftButton);
    QCOMPARE(view->Relocation().MissingFileCount(), 0);
    QVERIFY(IsGreen(view->FileTree()->Find("C:\\Moved\\One\\Data\\gone.dat")));
    QVERIFY(!view->BuildAnywayBox()->isEnabled());
  } else {
    QTest::keyClick(view->BuildAnywayBox(), Qt::Key_Space);
  }
  QCOMPARE(project.Next(), int(CApplicationMain::kBuildMSIPage));
  if (!relocate) {
    QCOMPARE(ReadHostFile(project.projectHost), before);
    return;
  }
  // Written back: the file in its new folder, the old folder gone, the program where it was.
  const WrittenProject written = ReadProject(project.project);
  QCOMPARE(written.files.count(L"C:\\Program Files\\One\\Data"), size_t(0));
  QCOMPARE(written.files.at(L"C:\\Moved\\One\\Data"), std::vector<std::wstring>{L"C:\\Moved\\One\\Data\\gone.dat"});
  QCOMPARE(written.files.at(L"C:\\Program Files\\One"), std::vector<std::wstring>{L"C:\\Program Files\\One\\one.exe"});
}

void ProjectViewTest::PartialRelocation() {
  // Two files of a folder are missing; only one is at the new place. A folder whose name only
  // begins like the relocated one (App2) is not touched, nor is its INI file.
  ProjectWizard project(ProjectXml(
      ProjectDirectory("%PROGRAMFILES%\\App", {"a.txt", "b.txt"}) + ProjectDirectory("%PROGRAMFILES%\\App2", {"c.txt"}), "", "",
      "<File Name=\"%PROGRAMFILES%\\App\\app.ini\"><Section Name=\"S\" Key=\"K\" Value=\"V\"/></File>"
      "<File Name=\"%PROGRAMFILES%\\App2\\other.ini\"><Section Name=\"S\" Key=\"K\" Value=\"W\"/></File>"));
  project.wizard.Prefix()->WriteDriveCFile("New/a.txt", "a");
  project.wizard.Prefix()->WriteDriveCFile("New/c.txt", "c");
  project.Open();
  CShowProjectFileDlg* view = project.View();
  QCOMPARE(view->Relocation().MissingFileCount(), 3);
  QVERIFY(view->FileTree()->SetChecked("C:\\Program Files\\App", true));
  project.AnswerFolder(L"C:\\New");
  QTest::mouseClick(view->RelocateFolderButton(), Qt::LeftButton);
  QCOMPARE(view->Relocation().MissingFileCount(), 2);
  QVERIFY(view->FileCounter()->text().contains("2 missing"));
  QVERIFY(view->FileTree()->Find("C:\\New\\a.txt") == nullptr);  // missing files only are shown
  QVERIFY(IsRed(view->FileTree()->Find("C:\\Program Files\\App\\b.txt")));
  QVERIFY(IsRed(view->FileTree()->Find("C:\\Program Files\\App2\\c.txt")));
  QVERIFY(view->BuildAnywayBox()->isEnabled());

  QCOMPARE(project.Next(), int(CApplicationMain::kShowProjectPage));
  QTest::keyClick(view->BuildAnywayBox(), Qt::Key_Space);
  QCOMPARE(project.Next(), int(CApplicationMain::kBuildMSIPage));
  const WrittenProject written = ReadProject(project.project);
  QCOMPARE(written.files.at(L"C:\\New"), std::vector<std::wstring>{L"C:\\New\\a.txt"});
  QCOMPARE(written.files.at(L"C:\\Program Files\\App"), std::vector<std::wstring>{L"C:\\Program Files\\App\\b.txt"});
  QCOMPARE(written.files.at(L"C:\\Program Files\\App2"), std::vector<std::wstring>{L"C:\\Program Files\\App2\\c.txt"});
  // The INI file of the relocated folder follows it; the other stays.
  QCOMPARE(written.ini.count(L"C:\\New\\app.ini"), size_t(1));
  QCOMPARE(written.ini.count(L"C:\\Program Files\\App\\app.ini"), size_t(0));
  QCOMPARE(written.ini.count(L"C:\\Program Files\\App2\\other.ini"), size_t(1));
}

void ProjectViewTest::ShortcutFollowsItsProgram() {
  // The program and the shortcut that points at it; a second shortcut has an icon file of its own.
  ProjectWizard project(ProjectXml(
      ProjectDirectory("%PROGRAMFILES%\\Tool", {"tool.exe"}), "", "", "",
      "<Shortcut Name=\"Tool\" ExeName=\"tool.exe\" Directory=\"DesktopFolder\" Icon=\"%PROGRAMFILES%\\Tool\\tool.exe\" "
      "IconIndex=\"0\" Target=\"%PROGRAMFILES%\\Tool\\tool.exe\"/>"
      "<Shortcut Name=\"Tool (menu)\" ExeName=\"tool.exe\" Directory=\"ProgramMenuFolder\" "
      "Icon=\"%PROGRAMFILES%\\Tool\\tool.ico\" IconIndex=\"\" Target=\"%PROGRAMFILES%\\Tool\\tool.exe\"/>"));
  project.wizard.Prefix()->WriteDriveCFile("Tools2/tool.exe", "MZ");
  project.Open();
  CShowProjectFileDlg* view = project.View();
  // The program itself is ticked and pointed to the folder it is in now.
  QVERIFY(view->FileTree()->SetChecked("C:\\Program Files\\Tool\\tool.exe", true));
  project.AnswerFolder(L"C:\\Tools2");
  QTest::mouseClick(view->RelocateFolderButton(), Qt::LeftButton);
  QCOMPARE(view->Relocation().MissingFileCount(), 0);
  QCOMPARE(project.Next(), int(CApplicationMain::kBuildMSIPage));
  const WrittenProject written = ReadProject(project.project);
  QCOMPARE(written.shortcuts.size(), size_t(2));
  for (ShortcutRecord shortcut : written.shortcuts) {
    FromTokenForm(shortcut.target);
    QCOMPARE(shortcut.target, std::wstring(L"C:\\Tools2\\tool.exe"));
    QCOMPARE(shortcut.icon, shortcut.name == L"Tool" ? std::wstring(L"C:\\Tools2\\tool.exe")
                                                      : std::wstring(L"C:\\Program Files\\Tool\\tool.ico"));
  }
}

void ProjectViewTest::RegistryKeysRelocated() {
  auto value = [](const char* name) { return std::string("<Value Name=\"&quot;") + name + "&quot;\" Type=\"REG_SZ\"/>"; };
  ProjectWizard project(ProjectXml(
      "", "<SubKey Name=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\OldVendor\\App\">" + value("Path") + "</SubKey>" +
              "<SubKey Name=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\OldVendor\\App\\Settings\">" + value("Level") + "</SubKey>" +
              "<SubKey Name=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\OldVendor\\Apple\">" + value("Other") + "</SubKey>"));
  project.wizard.Prefix()->AddSystemReg(
      "[Software\\\\NewVendor\\\\App] 1700000000\n\"Path\"=\"p\"\n"
      "[Software\\\\NewVendor\\\\App\\\\Settings] 1700000000\n\"Level\"=\"1\"\n");
  project.Open();
  CShowProjectFileDlg* view = project.View();
  QCOMPARE(view->Relocation().MissingKeyCount(), 3);
  QVERIFY(view->MissingKeysOnlyBox()->isChecked());
  QVERIFY(IsRed(view->KeyTree()->Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\OldVendor")));
  QVERIFY(view->KeyTree()->SetChecked("HKEY_LOCAL_MACHINE\\SOFTWARE\\OldVendor\\App", true));

  // A key that is not on this machine changes nothing.
  project.AnswerKey(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\NoSuchVendor");
  QTest::mouseClick(view->RelocateKeyButton(), Qt::LeftButton);
  QCOMPARE(view->Relocation().MissingKeyCount(), 3);
  QVERIFY(!view->Relocation().Changed());

  view->KeyTree()->SetChecked("HKEY_LOCAL_MACHINE\\SOFTWARE\\OldVendor\\App", true);
  project.AnswerKey(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\NewVendor\\App");
  QTest::mouseClick(view->RelocateKeyButton(), Qt::LeftButton);
  QCOMPARE(view->Relocation().MissingKeyCount(), 1);
  QVERIFY(view->KeyCounter()->text().contains("1 missing"));
  QVERIFY(IsRed(view->KeyTree()->Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\OldVendor\\Apple")));

  QTest::keyClick(view->BuildAnywayBox(), Qt::Key_Space);
  QCOMPARE(project.Next(), int(CApplicationMain::kBuildMSIPage));
  // The structure below the ticked key is kept: each key with its own values.
  const WrittenProject written = ReadProject(project.project);
  QCOMPARE(written.keys.size(), size_t(3));
  QCOMPARE(written.keys.at(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\NewVendor\\App").at(0).valueName, std::wstring(L"\"Path\""));
  QCOMPARE(written.keys.at(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\NewVendor\\App\\Settings").at(0).valueName,
           std::wstring(L"\"Level\""));
  QCOMPARE(written.keys.count(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\OldVendor\\Apple"), size_t(1));
}

void ProjectViewTest::BuildPageReadsAndBuilds() {
  const std::string ico = IconFileBytes(QColor(200, 40, 40), 16);
  const std::string data = QByteArray::fromStdString(ico).toBase64(QByteArray::OmitTrailingEquals).toStdString();
  ProjectWizard project(ProjectXml(
      ProjectDirectory("%PROGRAMFILES%\\Demo", {"demo.exe", "readme.txt"}), "", "", "",
      "<Shortcut Name=\"Demo\" ExeName=\"demo.exe\" Directory=\"DesktopFolder\" Icon=\"C:\\Elsewhere\\demo.ico\" IconIndex=\"\"/>"
      "<Shortcut Name=\"Demo\" ExeName=\"demo.exe\" Directory=\"ProgramMenuFolder\" Icon=\"C:\\Elsewhere\\demo.ico\" IconIndex=\"\"/>"
      "<Shortcut Name=\"Read me\" ExeName=\"readme.txt\" Directory=\"ProgramMenuFolder\" Icon=\"\" IconIndex=\"\" "
      "Target=\"%PROGRAMFILES%\\Demo\\readme.txt\" Folder=\"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Demo\"/>",
      "<Icon Name=\"C:\\Elsewhere\\demo.ico\" Size=\"" + std::to_string(data.size()) + "\" Data=\"" + data +
          "\"><EXE Name=\"demo.exe\"/></Icon>"));
  project.wizard.Prefix()->WriteDriveCFile("Program Files/Demo/demo.exe", "MZ");
  project.wizard.Prefix()->WriteDriveCFile("Program Files/Demo/readme.txt", "read me");
  project.Open();
  QCOMPARE(project.Next(), int(CApplicationMain::kBuildMSIPage));
  CBuildMSIDlg* build = project.Build();

  // The icon is extracted; the two records of the program are one shortcut with two places; the
  // shortcut made from a link is kept whole.
  const std::wstring extracted = Utf8ToWide(project.wizard.Session().Context().ExtractedIconFolder) + L"\\demo.ico";
  QCOMPARE(ReadHostFile(platform::Machine::HostPath(extracted)), ico);
  const auto& shortcuts = build->Shortcuts().Shortcuts();
  QCOMPARE(shortcuts.size(), size_t(1));
  const ShortcutInfo& demo = shortcuts.at(L"demo.exe");
  QVERIFY(demo.onDesktop && demo.inProgramMenu && !demo.inQuickLaunch);
  QCOMPARE(demo.iconSource, extracted);
  QCOMPARE(build->KeptShortcuts().size(), size_t(1));
  QCOMPARE(build->ShortcutList()->topLevelItemCount(), 2);
  QCOMPARE(build->PackageNameField()->text(), QString("Demo.msi"));

  // A bad name is told and reset; then the package is built.
  build->PackageNameField()->setText("demo");
  project.wizard.ClickNext();
  QCOMPARE(project.wizard.PromptTexts(), QStringList{TextOf(125)});
  QCOMPARE(build->PackageNameField()->text(), QString("Demo.msi"));
  project.wizard.ClickNext();
  QVERIFY(QTest::qWaitFor([&] { return !build->Busy(); }, 60000));
  const QString result = build->ResultView()->toPlainText();
  QVERIFY2(build->Done(), qPrintable(result));
  QVERIFY2(result.contains("Package: "), qPrintable(result));
  QVERIFY(fs::is_regular_file(BuiltPackage(result)));
  // The project file holds the shortcuts as the page built them.
  const WrittenProject written = ReadProject(project.project);
  QCOMPARE(written.shortcuts.size(), size_t(3));
}

void ProjectViewTest::KeyboardReachesEveryControl() {
  ProjectWizard project(ProjectXml(ProjectDirectory("%PROGRAMFILES%\\Keys", {"k.txt"}),
                                   "<SubKey Name=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\KeysVendor\"><Value Name=\"@\" "
                                   "Type=\"REG_SZ\"/></SubKey>"));
  project.Open();
  CShowProjectFileDlg* view = project.View();
  // Tab walks the file half, the registry half, then the box to build anyway.
  const QList<QWidget*> order = {view->FileTree(),          view->MissingFilesOnlyBox(), view->RelocateFolderButton(),
                                 view->KeyTree(),           view->MissingKeysOnlyBox(),  view->RelocateKeyButton(),
                                 view->BuildAnywayBox()};
  view->FileTree()->setFocus();
  for (int i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), order[i]);
  }
  // Space ticks the current item of a tree.
  QTreeWidgetItem* item = view->FileTree()->Find("C:\\Program Files\\Keys");
  view->FileTree()->setFocus();
  view->FileTree()->setCurrentItem(item);
  QTest::keyClick(view->FileTree(), Qt::Key_Space);
  QCOMPARE(view->FileTree()->CheckedPaths(), QStringList{"C:\\Program Files\\Keys"});
}

void ProjectViewTest::CheckMarkIsNotColoured() {
  // A missing item's text is red; its check mark (what ticking it changes) is drawn as anywhere.
  CProjectTreeCtrl tree;
  QTreeWidgetItem* item = tree.AddPath("C:\\Gone", CProjectTreeCtrl::kFolder);
  item->setForeground(0, CShowProjectFileDlg::MissingColour());
  tree.show();
  QVERIFY(QTest::qWaitForWindowExposed(&tree));
  item->setCheckState(0, Qt::Unchecked);
  const QImage unticked = tree.viewport()->grab().toImage();
  item->setCheckState(0, Qt::Checked);
  const QImage ticked = tree.viewport()->grab().toImage();
  int mark = 0, redMark = 0, red = 0;
  for (int y = 0; y < ticked.height(); ++y) {
    for (int x = 0; x < ticked.width(); ++x) {
      const QColor colour = ticked.pixelColor(x, y);
      const bool isRed = colour.red() > 150 && colour.green() < 100 && colour.blue() < 100;
      red += isRed ? 1 : 0;
      if (colour == unticked.pixelColor(x, y)) continue;
      ++mark;
      redMark += isRed ? 1 : 0;
    }
  }
  QVERIFY(mark > 0 && red > 0);
  QCOMPARE(redMark, 0);
}

void ProjectViewTest::CancelWhileBuilding() {
  // Cancel while the package is built: the build stops (or has just ended), the wizard ends, and
  // no half-written package is left.
  std::vector<std::string> files;
  for (int i = 0; i < 40; ++i) files.push_back("f" + std::to_string(i) + ".bin");
  ProjectWizard project(ProjectXml(ProjectDirectory("%PROGRAMFILES%\\Big", files)));
  for (size_t i = 0; i < files.size(); ++i) {
    project.wizard.Prefix()->WriteDriveCFile("Program Files/Big/" + files[i], std::string(256 * 1024, char(i)));
  }
  project.Open();
  QCOMPARE(project.Next(), int(CApplicationMain::kBuildMSIPage));
  CBuildMSIDlg* build = project.Build();
  project.wizard.ClickNext();
  project.wizard.ClickCancel();
  QVERIFY(QTest::qWaitFor([&] { return !project.wizard.Sheet().isVisible(); }, 60000));
  QCOMPARE(project.wizard.Sheet().result(), int(QDialog::Rejected));
  QVERIFY(!build->WorkerRunning());
  const fs::path output = platform::Machine::HostPath(Utf8ToWide(project.wizard.Session().Context().OutputFolder));
  for (const auto& entry : fs::recursive_directory_iterator(output)) {
    QVERIFY2(entry.path().extension() != ".partial", entry.path().c_str());
  }
}

QTEST_MAIN(ProjectViewTest)
#include "project_view_test.moc"
