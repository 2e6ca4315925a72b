// Pictures of the review pages, the project page, the shortcut dialog, the project view and the
// build page with real content, for a person to look at: page_screenshots <folder> writes one PNG
// per view (run it under Xvfb, at QT_SCALE_FACTOR=1 and 2).
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QListWidget>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

#include "project/include_exclude_rules.h"
#include "snapshot/file_enumerate.h"
#include "snapshot/registry_enumerate.h"
#include "ui/content_review_file_page.h"
#include "ui/content_review_registry_page.h"
#include "ui/create_project_page.h"
#include "ui/msi_screen_handler.h"
#include "ui/show_project_page.h"
#include <QCheckBox>
#include "core/strings.h"
#include "ui/project_tree_ctrl.h"
#include "ui/shortcut_dlg.h"
#include "wizard_fixture.h"

namespace {
std::string Ico(QColor colour, int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  for (int y = 2; y < size - 2; ++y) {
    for (int x = 2; x < size - 2; ++x) image.setPixelColor(x, y, (x + y) % 8 < 4 ? colour : colour.darker(150));
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "ICO");
  return bytes.toStdString();
}

void Save(QWidget* widget, const QString& folder, const QString& name) {
  QApplication::processEvents();
  QTest::qWait(200);
  widget->grab().save(folder + "/" + name + ".png");
}
}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
  QDir().mkpath(folder);
  WizardFixture wizard;
  const std::wstring icon = wizard.WriteFile("Icons/app.ico", Ico(QColor(30, 120, 200), 32));
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  wizard.Session().SetSetupFileInfo(L"Corvane Sample", L"1.0", L"Corvane");
  sheet.resize(760, 560);

  FolderFileMap* added = nullptr;
  FolderFileMap* modified = nullptr;
  FolderFileMap* deleted = nullptr;
  wizard.Session().GetFileChangeMaps(added, modified, deleted);
  const std::wstring app = L"C:\\Program Files\\Corvane Sample";
  (*added)[app] = {app + L"\\CorvaneSample.exe", app + L"\\readme.txt", app + L"\\uninstall.exe"};
  (*added)[app + L"\\Data"] = {app + L"\\Data\\sample.dat", app + L"\\Data\\settings.ini"};
  (*added)[L"C:\\users\\root\\AppData\\Roaming\\Corvane"] = {L"C:\\users\\root\\AppData\\Roaming\\Corvane\\cache.bin"};
  wizard.Session().ExcludedFileChanges()[L"C:\\windows\\temp"] = {L"C:\\windows\\temp\\setup.log"};
  RegKeyMap* keys = nullptr;
  RegKeyMap* changedKeys = nullptr;
  RegKeyMap* gone = nullptr;
  wizard.Session().GetRegistryChangeMaps(keys, changedKeys, gone);
  for (const wchar_t* key : {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Sample", L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Sample\\Settings",
                             L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\CorvaneSample",
                             L"HKEY_CURRENT_USER\\Software\\Corvane\\Sample"}) {
    (*keys)[key] = {RegValueRecord{key, L"\"Version\"", L"REG_SZ", L""}};
  }
  wizard.Session().ExcludedKeyChanges()[L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wine\\MSI"] = {};
  wizard.Session().Rules().AddExcludedRule(RuleKind::kRegistry, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wine\\MSI", L"Wine's own bookkeeping");

  sheet.SetActivePage(CApplicationMain::kContentReviewFilePage);
  auto* files = static_cast<CContentReviewFileDlg*>(sheet.Page(CApplicationMain::kContentReviewFilePage));
  files->ChangeView()->SetChecked(QString::fromStdWString(app + L"\\readme.txt"), true);
  files->ReasonField()->setText("Documentation only");
  Save(&sheet, folder, "143-file-review");

  sheet.SetActivePage(CApplicationMain::kContentReviewRegistryPage);
  auto* registry = static_cast<CContentReviewRegistryDlg*>(sheet.Page(CApplicationMain::kContentReviewRegistryPage));
  registry->ExclusionView()->setCurrentItem(registry->ExclusionView()->Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wine\\MSI"));
  Save(&sheet, folder, "144-registry-review");

  sheet.SetActivePage(CApplicationMain::kCreateProjectPage);
  auto* project = static_cast<CCreateProjectFileMsiDlg*>(sheet.Page(CApplicationMain::kCreateProjectPage));
  ShortcutInfo info;
  info.name = L"Corvane Sample";
  info.iconSource = icon;
  info.onDesktop = true;
  info.inProgramMenu = true;
  project->Shortcuts().AddShortcutToList(info, L"CorvaneSample.exe");
  project->AddExecutable(app + L"\\CorvaneSample.exe");
  project->AddExecutable(app + L"\\uninstall.exe");
  Save(&sheet, folder, "145-project");

  {
    CShortcutDlg dialog(info, sheet.Prompter(), &sheet);
    dialog.show();
    Save(&dialog, folder, "175-shortcut");
  }

  // A project opened on a machine where part of it is missing: its data folder was moved.
  wizard.Prefix()->WriteDriveCFile("Program Files/Corvane Sample/CorvaneSample.exe", "MZ");
  wizard.Prefix()->WriteDriveCFile("Program Files/Corvane Sample/readme.txt", "read me");
  wizard.Prefix()->AddSystemReg("[Software\\\\Corvane\\\\Sample] 1700000000\n\"Version\"=\"1.0\"\n");
  const std::string iconData =
      QByteArray::fromStdString(Ico(QColor(30, 120, 200), 32)).toBase64(QByteArray::OmitTrailingEquals).toStdString();
  const std::string projectXml =
      "<?xml version=\"1.0\"?><CorvaneProject><FileSystem><AddedItems><DirectoryList>"
      "<Directory Name=\"%PROGRAMFILES%\\Corvane Sample\\Data\"><File Name=\"sample.dat\"/><File Name=\"settings.ini\"/></Directory>"
      "<Directory Name=\"%PROGRAMFILES%\\Corvane Sample\"><File Name=\"CorvaneSample.exe\"/><File Name=\"readme.txt\"/></Directory>"
      "</DirectoryList></AddedItems><ModifiedItems><DirectoryList/></ModifiedItems><DeletedItems><DirectoryList/></DeletedItems>"
      "</FileSystem><RegistrySystem><AddedItems><SubKeyList>"
      "<SubKey Name=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Sample\"><Value Name=\"&quot;Version&quot;\" Type=\"REG_SZ\"/></SubKey>"
      "<SubKey Name=\"HKEY_CURRENT_USER\\Software\\Corvane\\Sample\"><Value Name=\"&quot;Window&quot;\" Type=\"REG_BINARY\"/></SubKey>"
      "</SubKeyList></AddedItems><ModifiedItems><SubKeyList/></ModifiedItems><DeletedItems><SubKeyList/></DeletedItems>"
      "</RegistrySystem><INIFileSystem><AddedItems><FileList/></AddedItems><ModifiedItems><FileList/></ModifiedItems>"
      "<DeletedItems><FileList/></DeletedItems></INIFileSystem><ShortcutList>"
      "<Shortcut Name=\"Corvane Sample\" ExeName=\"CorvaneSample.exe\" Directory=\"DesktopFolder\" Icon=\"" +
      WideToUtf8(icon) + "\" IconIndex=\"\"/>"
      "<Shortcut Name=\"Corvane Sample\" ExeName=\"CorvaneSample.exe\" Directory=\"ProgramMenuFolder\" Icon=\"" +
      WideToUtf8(icon) + "\" IconIndex=\"\"/>"
      "</ShortcutList><ShortcutICONs><Icon Name=\"" + WideToUtf8(icon) + "\" Size=\"" + std::to_string(iconData.size()) +
      "\" Data=\"" + iconData + "\"><EXE Name=\"CorvaneSample.exe\"/></Icon></ShortcutICONs><ProductInformation><ProductInformation ApplicationName=\"Corvane Sample\" "
      "Version=\"1.0\" CompanyName=\"Corvane\"/></ProductInformation></CorvaneProject>";
  wizard.Session().Context().SetProjectFilePath(wizard.WriteFile("Projects/sample.xml", projectXml));
  sheet.SetActivePage(CApplicationMain::kShowProjectPage);
  auto* view = static_cast<CShowProjectFileDlg*>(sheet.Page(CApplicationMain::kShowProjectPage));
  Save(&sheet, folder, "146-project-view-missing");
  view->MissingFilesOnlyBox()->setChecked(false);
  view->MissingKeysOnlyBox()->setChecked(false);
  view->FileTree()->SetChecked("C:\\Program Files\\Corvane Sample\\Data", true);
  Save(&sheet, folder, "146-project-view-all");
  view->BuildAnywayBox()->setChecked(true);
  wizard.ClickNext();
  Save(&sheet, folder, "163-build");
  return 0;
}
