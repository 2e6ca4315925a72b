// Pictures of the review pages, the project page, the shortcut dialog, the project view and the
// build page with real content, for a person to look at: page_screenshots <folder> writes one PNG
// per view (run it under Xvfb, at QT_SCALE_FACTOR=1 and 2).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

#include "core/strings.h"
#include "project/change_types.h"
#include "project/include_exclude_rules.h"
#include "ui/content_review_file_page.h"
#include "ui/content_review_registry_page.h"
#include "ui/create_project_page.h"
#include "ui/msi_screen_handler.h"
#include "ui/project_tree_ctrl.h"
#include "ui/show_project_page.h"
#include "ui/shortcut_dlg.h"
#include "wizard_fixture.h"

namespace {
QString g_folder;

void Save(QWidget* widget, const QString& name) { SavePicture(widget, g_folder + "/" + name + ".png"); }
}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  g_folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
  QDir().mkpath(g_folder);
  WizardFixture wizard;
  const std::string iconBytes = IconFileBytes(QColor(30, 120, 200));
  const std::wstring icon = wizard.WriteFile("Icons/app.ico", iconBytes);
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
  auto* files = wizard.PageAs<CContentReviewFileDlg>(CApplicationMain::kContentReviewFilePage);
  files->ChangeView()->SetChecked(QString::fromStdWString(app + L"\\readme.txt"), true);
  files->ReasonField()->setText("Documentation only");
  Save(&sheet, "143-file-review");

  sheet.SetActivePage(CApplicationMain::kContentReviewRegistryPage);
  auto* registry = wizard.PageAs<CContentReviewRegistryDlg>(CApplicationMain::kContentReviewRegistryPage);
  registry->ExclusionView()->setCurrentItem(registry->ExclusionView()->Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wine\\MSI"));
  Save(&sheet, "144-registry-review");

  sheet.SetActivePage(CApplicationMain::kCreateProjectPage);
  auto* project = wizard.PageAs<CCreateProjectFileMsiDlg>(CApplicationMain::kCreateProjectPage);
  const ShortcutInfo info{icon, L"Corvane Sample", 0, true, false, true};  // program menu and desktop
  project->Shortcuts().AddShortcutToList(info, L"CorvaneSample.exe");
  project->AddExecutable(app + L"\\CorvaneSample.exe");
  project->AddExecutable(app + L"\\uninstall.exe");
  Save(&sheet, "145-project");

  {
    CShortcutDlg dialog(info, sheet.Prompter(), &sheet);
    dialog.show();
    Save(&dialog, "175-shortcut");
  }

  // A project opened on a machine where part of it is missing: its data folder was moved.
  wizard.Prefix()->WriteDriveCFile("Program Files/Corvane Sample/CorvaneSample.exe", "MZ");
  wizard.Prefix()->WriteDriveCFile("Program Files/Corvane Sample/readme.txt", "read me");
  wizard.Prefix()->AddSystemReg("[Software\\\\Corvane\\\\Sample] 1700000000\n\"Version\"=\"1.0\"\n");
  const std::string iconData = QByteArray::fromStdString(iconBytes).toBase64(QByteArray::OmitTrailingEquals).toStdString();
  // A shortcut's first five attributes are read in their order.
  const auto shortcut = [&icon](const std::string& folder) {
    return "<Shortcut Name=\"Corvane Sample\" ExeName=\"CorvaneSample.exe\" Directory=\"" + folder + "\" Icon=\"" +
           WideToUtf8(icon) + "\" IconIndex=\"\"/>";
  };
  std::string projectXml = ProjectXml(
      ProjectDirectory("%PROGRAMFILES%\\Corvane Sample\\Data", {"sample.dat", "settings.ini"}) +
          ProjectDirectory("%PROGRAMFILES%\\Corvane Sample", {"CorvaneSample.exe", "readme.txt"}),
      "<SubKey Name=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Sample\"><Value Name=\"&quot;Version&quot;\" Type=\"REG_SZ\"/>"
      "</SubKey><SubKey Name=\"HKEY_CURRENT_USER\\Software\\Corvane\\Sample\"><Value Name=\"&quot;Window&quot;\" "
      "Type=\"REG_BINARY\"/></SubKey>",
      "", "", shortcut("DesktopFolder") + shortcut("ProgramMenuFolder"),
      "<Icon Name=\"" + WideToUtf8(icon) + "\" Size=\"" + std::to_string(iconData.size()) + "\" Data=\"" + iconData +
          "\"><EXE Name=\"CorvaneSample.exe\"/></Icon>");
  ReplaceAll(projectXml, "ApplicationName=\"Demo\" Version=\"1.0\" CompanyName=\"Maker\"",
             "ApplicationName=\"Corvane Sample\" Version=\"1.0\" CompanyName=\"Corvane\"");
  wizard.Session().Context().SetProjectFilePath(wizard.WriteFile("Projects/sample.xml", projectXml));
  sheet.SetActivePage(CApplicationMain::kShowProjectPage);
  auto* view = wizard.PageAs<CShowProjectFileDlg>(CApplicationMain::kShowProjectPage);
  Save(&sheet, "146-project-view-missing");
  view->MissingFilesOnlyBox()->setChecked(false);
  view->MissingKeysOnlyBox()->setChecked(false);
  view->FileTree()->SetChecked("C:\\Program Files\\Corvane Sample\\Data", true);
  Save(&sheet, "146-project-view-all");
  view->BuildAnywayBox()->setChecked(true);
  wizard.ClickNext();
  Save(&sheet, "163-build");
  return 0;
}
