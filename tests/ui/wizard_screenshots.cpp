// Pictures of every page of the wizard with real content, for the README and for looking at the
// layout at any scale: drives a wizard on a real prefix to each page and saves what it shows
// (QWidget::grab), message boxes and dialogs included. scripts/screenshots.sh runs it under Xvfb.
//
//   wizard_screenshots <output folder> <prefix folder>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <cstdio>
#include <fstream>

#include "core/status_values.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "support/pe_builder.h"
#include "ui/about_dialog.h"
#include "ui/advance_exclude.h"
#include "ui/advance_include.h"
#include "ui/capture_snapshot_page.h"
#include "ui/dialog_registry.h"
#include "ui/folder_tree_ctrl.h"
#include "ui/parent_sheet.h"
#include "ui/registry_tree_ctrl.h"
#include "ui/start_page.h"
#include "ui/warning_msi_detected.h"
#include "ui/warning_no_reason_given.h"
#include "wizard_fixture.h"

namespace fs = std::filesystem;

namespace {

QString g_output;
int g_failures = 0;

void Save(QWidget* widget, const QString& name) {
  const QString path = QDir(g_output).filePath(name + ".png");
  if (!SavePicture(widget, path)) {
    std::fprintf(stderr, "wizard_screenshots: %s could not be written\n", qPrintable(path));
    ++g_failures;
    return;
  }
  std::printf("%s\n", qPrintable(path));
}

// Message boxes and dialogs are shown, pictured and answered.
void PictureQuestions(WizardFixture& wizard, const QString& prefix) {
  CPrompter& prompter = wizard.Sheet().Prompter();
  prompter.onMessage = [&wizard, prefix](const CPrompt& prompt) {
    wizard.prompts.push_back(prompt);
    QMessageBox box(prompt.icon, prompt.caption, prompt.text, prompt.buttons, &wizard.Sheet());
    box.show();
    Save(&box, QStringLiteral("%1-message-%2").arg(prefix).arg(wizard.prompts.size()));
    return QMessageBox::No;
  };
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: wizard_screenshots <output folder> <prefix folder>\n");
    return 2;
  }
  g_output = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(g_output);
  const fs::path prefix = fs::absolute(argv[2]);

  WizardFixture wizard(prefix);
  // The rules and the configuration the program ships (the start page's HTML pages).
  for (const char* name : {"DefaultIncludeExclude.xml", "CorvaneRepackager.ini"}) {
    fs::copy_file(fs::path(CORVANE_SOURCE_DIR) / "data" / name, wizard.Scratch() / name,
                  fs::copy_options::overwrite_existing);
  }
  const std::wstring setup =
      wizard.WriteSetup("Setups/notepadplus-setup.exe", L"Notepad Plus", L"8.5.2", L"Plus Software Ltd");
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  sheet.resize(780, 580);
  auto* start = wizard.PageAs<CCorvaneRepackagerStartDlg>(CApplicationMain::kStartPage);
  if (!QTest::qWaitFor([&] { return start->IsLoaded(); }, 15000)) {
    std::fprintf(stderr, "wizard_screenshots: the start page did not load\n");
    ++g_failures;
  }
  Save(&sheet, "01-start");

  PictureQuestions(wizard, "02-start-admin");
  start->SetAdministratorTest([] { return false; });
  wizard.ClickNext();
  start->SetAdministratorTest([] { return true; });
  wizard.prompts.clear();

  sheet.SetActivePage(CApplicationMain::kMainPage);
  Save(&sheet, "03-main");
  CCorvaneRepackagerDlg* main = wizard.ChooseOnMainPage(CCorvaneRepackagerDlg::kSetupProgram, setup);
  Save(&sheet, "04-main-setup");
  main->ProductNameField()->setText("setup.exe");
  main->VersionField()->clear();
  PictureQuestions(wizard, "05-main-incomplete");
  wizard.ClickNext();
  Save(&sheet, "05-main-incomplete");
  wizard.prompts.clear();
  main->ChooseOption(CCorvaneRepackagerDlg::kProjectFile);
  Save(&sheet, "06-main-project");
  sheet.SetActivePage(CApplicationMain::kShowProjectPage);
  Save(&sheet, "07-project-view");

  wizard.ToCapturePage(setup);
  Save(&sheet, "08-capture");
  sheet.SetActivePage(CApplicationMain::kLaunchSetupPage);
  Save(&sheet, "09-launch");
  sheet.SetActivePage(CApplicationMain::kSecondSnapshotPage);
  Save(&sheet, "10-second-snapshot");
  sheet.SetActivePage(CApplicationMain::kExistingSnapshotPage);
  Save(&sheet, "11-pending-capture");

  {
    CWarningMSIDetected warning({"msiexec.exe (412) C:\\windows\\system32\\msiexec.exe /i \"C:\\Temp\\plus.msi\""},
                                &sheet);
    warning.show();
    Save(&warning, "12-msi-detected");
    CWarningNoReasonGiven noReason(sheet.Session().Context().ConfigFilePath, &sheet);
    noReason.show();
    Save(&noReason, "13-no-reason-given");
    noReason.hide();
    CAboutDlg about(sheet.Session().Context().ProgramFolder, &sheet);
    about.show();
    Save(&about, "14-about");
  }

  // The include and exclude editor of the capture page (cancelled: nothing is written), its folder
  // menu, and the registry key chooser.
  {
    sheet.SetActivePage(CApplicationMain::kCaptureSnapshotPage);
    auto* capture = wizard.PageAs<CCaptureSnapshotDlg>(CApplicationMain::kCaptureSnapshotPage);
    CPrompter& prompter = sheet.Prompter();
    const auto previous = prompter.onDialog;
    prompter.onDialog = [](QDialog& dialog) {
      auto& advanced = static_cast<CParentSheet&>(dialog);
      advanced.show();
      CFolderTreeCtrl* folders = advanced.IncludePage()->FolderTree();
      folders->ShowPath("C:\\Program Files\\Common Files");
      advanced.IncludePage()->RegistryTree()->ShowPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft");
      Save(&advanced, "17-advanced-include");
      QMenu* menu = folders->MakeContextMenu(folders->Model().Find("C:\\Program Files"));
      menu->popup(folders->viewport()->mapToGlobal(folders->visualRect(folders->currentIndex()).center()));
      Save(menu, "18-advanced-folder-menu");
      menu->close();
      delete menu;
      advanced.Tabs()->setCurrentIndex(1);
      advanced.ExcludePage()->FolderTree()->ShowPath("C:\\windows\\temp");
      Save(&advanced, "19-advanced-exclude");
      return int(QDialog::Rejected);
    };
    capture->OpenAdvanced();
    prompter.onDialog = previous;
    CDialogRegistry chooser("Relocate Registry Key", L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft", &sheet);
    chooser.show();
    Save(&chooser, "20-registry-chooser");
  }

  // The first snapshot while it runs, and the launch page while a setup (one that only waits)
  // runs; then the wizard is cancelled, which ends the setup.
  sheet.SetActivePage(CApplicationMain::kCaptureSnapshotPage);
  wizard.ClickNext();
  QTest::qWait(300);
  Save(&sheet, "15-capture-running");
  if (!wizard.WaitForPage(CApplicationMain::kLaunchSetupPage, 120000)) {
    std::fprintf(stderr, "wizard_screenshots: the first snapshot did not end\n");
    ++g_failures;
  }
  std::string log;
  const fs::path waiting = pe_builder::BuildNsisProgram(wizard.Scratch() / "files" / "Setups", "plus-setup",
                                                        "Section\n  Sleep 120000\nSectionEnd", &log);
  if (waiting.empty()) {
    std::fprintf(stderr, "wizard_screenshots: makensis failed: %s\n", log.c_str());
    ++g_failures;
  } else {
    wizard.Session().SetSetupFilePath(platform::Machine::WindowsPath(waiting));
    sheet.SetActivePage(CApplicationMain::kLaunchSetupPage);
    wizard.ClickNext();
    (void)QTest::qWaitFor([] { return StatusDetail.Get().find(L" s") != std::wstring::npos; }, 60000);
    QTest::qWait(1200);
    Save(&sheet, "16-launch-running");
  }
  wizard.ClickCancel();
  if (!QTest::qWaitFor([&] { return !sheet.isVisible(); }, 120000)) {
    std::fprintf(stderr, "wizard_screenshots: the cancelled capture did not stop\n");
    ++g_failures;
  }
  return g_failures == 0 ? 0 : 1;
}
