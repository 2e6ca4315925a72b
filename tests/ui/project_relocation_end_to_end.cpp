// A project moved to another machine, through the wizard on real Wine machines under Xvfb. The
// sample setup is captured on machine A by the command line. On machine B the sample is installed
// too, but its program folder and one of its registry keys were moved since; the wizard opens A's
// project there, the administrator relocates the folder and the key in the project view and builds
// the package on the build page. The package installs on a fresh machine C with the content at the
// relocated places, and nothing at the old ones.
#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTest>
#include <cstdlib>

#include "platform/machine.h"
#include "platform/registry.h"
#include "session/project_relocation.h"
#include "support/capture_program.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"
#include "ui/build_msi_page.h"
#include "ui/project_tree_ctrl.h"
#include "ui/show_project_page.h"
#include "wizard_fixture.h"

namespace fs = std::filesystem;

namespace {
const char* const kOldKey = "HKLM\\SOFTWARE\\Corvane Labs\\Corvane Sample";
const char* const kNewKey = "HKLM\\SOFTWARE\\Moved Labs\\Corvane Sample";
}  // namespace

class ProjectRelocationEndToEnd : public QObject {
  Q_OBJECT

 private slots:
  void ProjectOpenedOnAnotherMachine();
};

void ProjectRelocationEndToEnd::ProjectOpenedOnAnotherMachine() {
  TempFolder work;
  const fs::path setup = BuildSample("sample-installer", work.path() / "setup");
  QVERIFY(!setup.empty());

  // Machine A: the capture's project file.
  fs::path projectFile;
  {
    const fs::path out = work.path() / "cli";
    std::string output;
    QVERIFY2(CaptureByCommandLine(work, setup, out, &output) == 0, output.c_str());
    for (const auto& entry : fs::directory_iterator(out / "Packages")) {
      if (entry.path().extension() == ".xml") projectFile = work.path() / "project.xml";
      if (entry.path().extension() == ".xml") fs::copy_file(entry.path(), projectFile);
    }
    QVERIFY2(!projectFile.empty(), output.c_str());
  }

  // Machine B: the sample installed, then its folder and its machine key moved.
  fs::path package;
  {
    WinePrefixCopy machine;
    QVERIFY2(machine.ok(), machine.error().c_str());
    fs::copy_file(setup, machine.driveC() / "setup.exe");
    QCOMPARE(machine.Run({"C:\\setup.exe"}), 0);
    fs::create_directories(machine.driveC() / "Apps");
    fs::rename(machine.driveC() / "Program Files" / "Corvane Sample", machine.driveC() / "Apps" / "Corvane Sample");
    std::string output;
    QCOMPARE(machine.Run({"reg", "copy", kOldKey, kNewKey, "/s", "/f"}, &output), 0);
    QCOMPARE(machine.Run({"reg", "delete", kOldKey, "/f"}, &output), 0);
    machine.WaitForServer();

    // Left so: the program ends with this one test.
    setenv("HOME", machine.home().c_str(), 1);
    WizardFixture wizard(machine.prefix());
    wizard.Open();
    CApplicationMain& sheet = wizard.Sheet();
    QVERIFY(wizard.LeaveStartPage());
    wizard.ChooseOnMainPage(CCorvaneRepackagerDlg::kProjectFile, platform::Machine::WindowsPath(projectFile));
    wizard.ClickNext();
    QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kShowProjectPage));

    auto* view = wizard.PageAs<CShowProjectFileDlg>(CApplicationMain::kShowProjectPage);
    QCOMPARE(view->Relocation().MissingFileCount(), 4);
    QCOMPARE(view->Relocation().MissingKeyCount(), 2);
    // Next is refused while they are missing.
    wizard.ClickNext();
    QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kShowProjectPage));
    QCOMPARE(wizard.prompts.back().text, TextOf(135));

    QVERIFY(view->FileTree()->SetChecked("C:\\Program Files\\Corvane Sample", true));
    sheet.Prompter().onChooseFolder = [](const QString&) { return QString("C:\\Apps\\Corvane Sample"); };
    QTest::mouseClick(view->RelocateFolderButton(), Qt::LeftButton);
    QCOMPARE(view->Relocation().MissingFileCount(), 0);
    QVERIFY(view->KeyTree()->SetChecked("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane Labs\\Corvane Sample", true));
    sheet.Prompter().onChooseRegistryKey = [](const QString&, const std::wstring&) {
      return std::optional<std::wstring>(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Moved Labs\\Corvane Sample");
    };
    QTest::mouseClick(view->RelocateKeyButton(), Qt::LeftButton);
    QCOMPARE(view->Relocation().MissingKeyCount(), 0);
    QVERIFY(!view->BuildAnywayBox()->isEnabled());
    const size_t asked = wizard.prompts.size();
    wizard.ClickNext();
    QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kBuildMSIPage));

    auto* build = wizard.PageAs<CBuildMSIDlg>(CApplicationMain::kBuildMSIPage);
    QTest::mouseClick(sheet.FinishButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !build->Busy() && !build->WorkerRunning(); }, 600000));
    QCOMPARE(wizard.prompts.size(), asked);
    const QString result = build->ResultView()->toPlainText();
    QVERIFY2(build->Done(), qPrintable(result));
    QVERIFY2(fs::is_regular_file(BuiltPackage(result)), qPrintable(result));
    package = work.path() / "relocated.msi";
    fs::copy_file(BuiltPackage(result), package);
  }

  // Machine C: the package puts the content at the relocated places.
  {
    WinePrefixCopy target;
    QVERIFY2(target.ok(), target.error().c_str());
    fs::copy_file(package, target.driveC() / "package.msi");
    QCOMPARE(target.Run({"msiexec", "/i", "C:\\package.msi", "/qn"}), 0);
    const fs::path moved = target.driveC() / "Apps" / "Corvane Sample";
    for (const char* file : {"CorvaneSample.exe", "readme.txt", "sample.ini", "data/settings.dat"}) {
      QVERIFY2(fs::is_regular_file(moved / file), file);
    }
    QVERIFY(fs::is_directory(moved / "logs"));
    QVERIFY(!fs::exists(target.driveC() / "Program Files" / "Corvane Sample"));
    platform::RegistryKey key;
    QCOMPARE(key.Open(platform::RootKey::LocalMachine, L"SOFTWARE\\Moved Labs\\Corvane Sample\\Features"),
             platform::kSuccess);
    uint32_t build = 0;
    QCOMPARE(key.Open(platform::RootKey::LocalMachine, L"SOFTWARE\\Moved Labs\\Corvane Sample"), platform::kSuccess);
    QCOMPARE(key.QueryDword(L"Build", build), platform::kSuccess);
    QCOMPARE(build, 42u);
    platform::RegistryKey old;
    QVERIFY(old.Open(platform::RootKey::LocalMachine, L"SOFTWARE\\Corvane Labs\\Corvane Sample") != platform::kSuccess);
  }
}

int main(int argc, char** argv) {
  // Three machines, a capture and a build: longer than Qt Test's five minutes for a function.
  qputenv("QTEST_FUNCTION_TIMEOUT", "2300000");
  QApplication application(argc, argv);
  ProjectRelocationEndToEnd test;
  return QTest::qExec(&test, argc, argv);
}
#include "project_relocation_end_to_end.moc"
