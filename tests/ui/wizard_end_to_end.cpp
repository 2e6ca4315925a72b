// The sample setup captured through the wizard on a real Wine machine, under Xvfb: the test clicks
// the wizard's buttons from the start page to Finish (the sample runs silently), excludes one
// registry key with a reason on the review page and defines a shortcut on the project page. The
// package must hold what the command line's package of the same setup holds, minus the excluded
// key and plus the shortcut; it must install on a fresh machine; the rules file must hold the new
// exclusion with its reason.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <set>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/environment.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "support/capture_program.h"
#include "support/package_places.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"
#include "ui/content_review_registry_page.h"
#include "ui/create_project_page.h"
#include "ui/launch_setup_page.h"
#include "ui/project_tree_ctrl.h"
#include "wizard_fixture.h"

namespace fs = std::filesystem;

namespace {

const char* const kExcludedKey = "HKEY_CURRENT_USER\\Software\\Corvane Labs\\Corvane Sample\\Preferences";
const char* const kReason = "Per-user preferences stay out of the package";

// Every item of a package's places, as comparable texts.
std::set<std::string> Items(const PackagePlaces& places) {
  std::set<std::string> items;
  for (const std::string& file : places.files) items.insert("file|" + file);
  for (const std::string& folder : places.createdFolders) items.insert("folder|" + folder);
  for (const auto& value : places.values) items.insert("value|" + value.place());
  for (const auto& entry : places.iniEntries) items.insert("ini|" + entry.place());
  for (const auto& link : places.shortcuts) items.insert("shortcut|" + link.path + "|" + link.target);
  return items;
}

std::string Join(const std::set<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += "  " + item + "\n";
  return text;
}

// Clicks Next until `page` is shown with no worker running (pages that end their work move on by
// themselves, others wait for Next).
bool AdvanceTo(WizardFixture& wizard, int page, int milliseconds) {
  return QTest::qWaitFor(
      [&] {
        CCorvanePropertyPage* active = wizard.Sheet().ActivePage();
        if (active == nullptr || active->WorkerRunning()) return false;
        if (wizard.Sheet().ActivePageNumber() == page) return true;
        if (wizard.Sheet().NextButton()->isEnabled() && wizard.Sheet().NextButton()->isVisible()) wizard.ClickNext();
        return false;
      },
      milliseconds);
}

}  // namespace

class WizardEndToEnd : public QObject {
  Q_OBJECT

 private slots:
  void SampleCapturedThroughTheWizard();
};

void WizardEndToEnd::SampleCapturedThroughTheWizard() {
  TempFolder work;
  const fs::path setup = BuildSample("sample-installer", work.path() / "setup");
  QVERIFY(!setup.empty());

  // The command line's package of the same setup, on machine A.
  fs::path cliPackage;
  {
    const fs::path out = work.path() / "cli";
    std::string output;
    QVERIFY2(CaptureByCommandLine(work, setup, out, &output) == 0, output.c_str());
    cliPackage = out / "Corvane Sample.msi";
    QVERIFY2(fs::is_regular_file(cliPackage), output.c_str());
  }

  // The wizard on machine B.
  fs::path wizardPackage;
  fs::path rulesFile;
  PackagePlaces cliPlaces;
  PackagePlaces wizardPlaces;
  {
    WinePrefixCopy machine;
    QVERIFY2(machine.ok(), machine.error().c_str());
    // Left so: the program ends with this one test.
    setenv("HOME", machine.home().c_str(), 1);
    WizardFixture wizard(machine.prefix());
    // The rules the program is delivered with, as the command line used them.
    rulesFile = wizard.Scratch() / "DefaultIncludeExclude.xml";
    fs::copy_file(fs::path(CORVANE_PROGRAM_DIR) / "DefaultIncludeExclude.xml", rulesFile,
                  fs::copy_options::overwrite_existing);
    wizard.Open();
    wizard.Session().Manager().Wrapper().SetPrepareMachine(true);
    CApplicationMain& sheet = wizard.Sheet();
    QVERIFY(wizard.LeaveStartPage());
    CCorvaneRepackagerDlg* main =
        wizard.ChooseOnMainPage(CCorvaneRepackagerDlg::kSetupProgram, platform::Machine::WindowsPath(setup));
    QCOMPARE(main->ProductNameField()->text(), QString("Corvane Sample"));
    QVERIFY(AdvanceTo(wizard, CApplicationMain::kLaunchSetupPage, 600000));
    QTest::mouseClick(wizard.PageAs<CLaunchSetupDlg>(CApplicationMain::kLaunchSetupPage)->LaunchNowButton(),
                      Qt::LeftButton);
    QVERIFY(AdvanceTo(wizard, CApplicationMain::kContentReviewFilePage, 900000));
    QVERIFY(AdvanceTo(wizard, CApplicationMain::kContentReviewRegistryPage, 10000));

    auto* review = wizard.PageAs<CContentReviewRegistryDlg>(CApplicationMain::kContentReviewRegistryPage);
    QVERIFY2(review->ChangeView()->SetChecked(kExcludedKey, true), kExcludedKey);
    QTest::keyClicks(review->ReasonField(), kReason);
    QTest::mouseClick(review->ExcludeButton(), Qt::LeftButton);
    QVERIFY(review->ExclusionView()->Find(kExcludedKey) != nullptr);
    QVERIFY(AdvanceTo(wizard, CApplicationMain::kCreateProjectPage, 10000));

    auto* project = wizard.PageAs<CCreateProjectFileMsiDlg>(CApplicationMain::kCreateProjectPage);
    const QList<QListWidgetItem*> programs = project->ExecutableList()->findItems("CorvaneSample.exe", Qt::MatchExactly);
    QCOMPARE(programs.size(), 1);
    project->ExecutableList()->setCurrentItem(programs[0]);
    // The shortcut dialog is answered with OK: the proposed name, the program's icon, desktop and
    // program menu.
    QVERIFY(project->AddShortcut());
    QTest::mouseClick(sheet.FinishButton(), Qt::LeftButton);
    // Done, or stopped: by a question, or by a failure shown on the page.
    QVERIFY(QTest::qWaitFor(
        [&] { return project->Done() || !wizard.prompts.empty() || (!project->Busy() && !project->WorkerRunning()); },
        1200000));
    for (const CPrompt& prompt : wizard.prompts) QVERIFY2(false, qPrintable("asked: " + prompt.text));
    const QString result = project->ResultView()->toPlainText();
    QVERIFY2(project->Done(), qPrintable(result));
    QVERIFY2(fs::is_regular_file(BuiltPackage(result)), qPrintable(result));
    // The machine goes with its scratch folder: the package is kept for machine C.
    wizardPackage = work.path() / "wizard.msi";
    fs::copy_file(BuiltPackage(result), wizardPackage);

    // The rules file holds the exclusion with its reason.
    const std::string rules = ReadHostFile(rulesFile);
    QVERIFY2(rules.find(std::string("Name=\"") + kExcludedKey + "\" Description=\"" + kReason + "\"") != std::string::npos,
             rules.c_str());

    // Both packages' places, seen on the same machine.
    EnvironmentValues = platform::ReadEnvironmentValues();
    std::string error;
    QVERIFY2(ReadPackagePlaces(cliPackage, cliPlaces, error), error.c_str());
    QVERIFY2(ReadPackagePlaces(wizardPackage, wizardPlaces, error), error.c_str());
  }
  std::set<std::string> expected;
  for (const std::string& item : Items(cliPlaces)) {
    if (item.find(std::string("value|") + kExcludedKey + "|") != 0) expected.insert(item);
  }
  const std::set<std::string> made = Items(wizardPlaces);
  QVERIFY(Items(cliPlaces).size() > expected.size());
  // Besides, the shortcut defined on the page, on the desktop and in the program menu.
  std::set<std::string> extra;
  std::set<std::string> missing;
  std::set_difference(made.begin(), made.end(), expected.begin(), expected.end(), std::inserter(extra, extra.end()));
  std::set_difference(expected.begin(), expected.end(), made.begin(), made.end(), std::inserter(missing, missing.end()));
  QVERIFY2(missing.empty(), ("missing from the wizard's package:\n" + Join(missing)).c_str());
  QCOMPARE(extra.size(), size_t(2));
  for (const std::string& item : extra) {
    QVERIFY2(item.find("CorvaneSample.lnk|") != std::string::npos && item.find("CorvaneSample.exe") != std::string::npos,
             Join(extra).c_str());
  }

  // The wizard's package installs on a fresh machine C and puts its files and values there.
  {
    WinePrefixCopy target;
    QVERIFY2(target.ok(), target.error().c_str());
    fs::copy_file(wizardPackage, target.driveC() / "package.msi");
    QCOMPARE(target.Run({"msiexec", "/i", "C:\\package.msi", "/qn"}), 0);
    for (const std::string& file : wizardPlaces.files) {
      QVERIFY2(fs::is_regular_file(platform::Machine::HostPath(Utf8ToWide(file))), file.c_str());
    }
    platform::RegistryKey excluded;
    QVERIFY(excluded.Open(platform::RootKey::CurrentUser,
                          L"Software\\Corvane Labs\\Corvane Sample\\Preferences") != platform::kSuccess);
    platform::RegistryKey kept;
    QCOMPARE(kept.Open(platform::RootKey::CurrentUser, L"Software\\Corvane Labs\\Corvane Sample"), platform::kSuccess);
  }
}

int main(int argc, char** argv) {
  // Three machines, two captures and a build: longer than Qt Test's five minutes for a function.
  qputenv("QTEST_FUNCTION_TIMEOUT", "2300000");
  QApplication application(argc, argv);
  WizardEndToEnd test;
  return QTest::qExec(&test, argc, argv);
}
#include "wizard_end_to_end.moc"
