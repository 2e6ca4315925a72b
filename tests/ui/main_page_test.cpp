// The main page's checks on Next, in their order: option, path, file, type, product texts; then
// the session receives the setup (or the project) and the wizard moves on. Also what the page keeps
// when the option changes and when the administrator leaves and comes back.
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "core/work_paths.h"
#include "wizard_fixture.h"

namespace {
// A click on an option button's indicator (its middle may lie beyond its text).
void ClickOption(QRadioButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->height() / 2, button->height() / 2));
}
}  // namespace

class MainPageTest : public QObject {
  Q_OBJECT

 private slots:
  void NextChecks_data();
  void NextChecks();
  void OptionsKeepTheirValues();
};

void MainPageTest::NextChecks_data() {
  QTest::addColumn<int>("option");
  QTest::addColumn<QString>("file");  // which file the path names
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("version");
  QTest::addColumn<QString>("company");
  QTest::addColumn<int>("message");    // the numbered text shown, 0 for none
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QStringList>("red");  // labels drawn red
  QTest::addColumn<int>("page");         // where Next led (-1 stays)
  QTest::addColumn<bool>("locked");      // Back and Next off until an option is chosen again
  QTest::addColumn<bool>("emptied");     // path and product fields emptied

  const int kSetup = CCorvaneRepackagerDlg::kSetupProgram;
  const int kProject = CCorvaneRepackagerDlg::kProjectFile;
  const QStringList none;
  QTest::newRow("no option") << 0 << "" << "" << "" << "" << 116 << "Information" << none << -1 << false << false;
  QTest::newRow("no path") << kSetup << "" << "App" << "1" << "V" << 0 << "" << QStringList{"path"} << -1 << false
                           << false;
  QTest::newRow("missing file") << kSetup << "missing" << "App" << "1" << "V" << 120 << "Warning" << none << -1
                                << false << true;
  QTest::newRow("a folder") << kSetup << "folder" << "App" << "1" << "V" << 120 << "Warning" << none << -1 << false
                            << true;
  // ".MSI" anywhere in the path refuses it, before ".EXE" is looked for.
  QTest::newRow("msi in the path") << kSetup << "msiFolder" << "App" << "1" << "V" << 117 << "Error" << none << -1
                                   << true << true;
  QTest::newRow("msi package") << kSetup << "msi" << "App" << "1" << "V" << 117 << "Error" << none << -1 << true
                               << true;
  QTest::newRow("not an exe") << kSetup << "text" << "App" << "1" << "V" << 118 << "Error" << none << -1 << true
                              << true;
  QTest::newRow("project not xml") << kProject << "text" << "App" << "1" << "V" << 0 << "" << none << -1 << true
                                   << true;
  QTest::newRow("product texts missing") << kSetup << "exe" << "" << " " << "V" << 119 << "Warning"
                                         << QStringList{"name", "version"} << -1 << false << false;
  QTest::newRow("setup.exe is no name") << kSetup << "exe" << "setup.exe" << "1" << "" << 119 << "Warning"
                                        << QStringList{"name", "company"} << -1 << false << false;
  QTest::newRow("Setup.exe is a name") << kSetup << "exe" << "Setup.exe" << "1" << "V" << 0 << "" << none
                                       << int(CApplicationMain::kCaptureSnapshotPage) << false << false;
  QTest::newRow("project") << kProject << "xml" << " App " << "2" << "V" << 0 << "" << none
                           << int(CApplicationMain::kShowProjectPage) << false << false;
}

void MainPageTest::NextChecks() {
  QFETCH(int, option);
  QFETCH(QString, file);
  QFETCH(QString, name);
  QFETCH(QString, version);
  QFETCH(QString, company);
  QFETCH(int, message);
  QFETCH(QString, caption);
  QFETCH(QStringList, red);
  QFETCH(int, page);
  QFETCH(bool, locked);
  QFETCH(bool, emptied);

  WizardFixture wizard;
  std::map<QString, std::wstring> files;
  files["exe"] = wizard.WriteSetup("Setups/app-setup.exe", L"", L"", L"");
  files["msi"] = wizard.WriteFile("Setups/app.msi", "not really a package");
  files["msiFolder"] = wizard.WriteSetup("Old/app.msi/setup.exe", L"", L"", L"");
  files["text"] = wizard.WriteFile("Setups/readme.txt", "text");
  files["xml"] = wizard.WriteFile("Projects/app.xml", ProjectXml(""));
  files["folder"] = files["exe"].substr(0, files["exe"].rfind(L'\\')) + L"\\sub.exe";
  wizard.WriteFile("Setups/sub.exe/inside.txt", "a folder named like a program");
  files["missing"] = files["exe"] + L".gone.exe";
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  sheet.SetActivePage(CApplicationMain::kMainPage);
  auto* main = wizard.PageAs<CCorvaneRepackagerDlg>(CApplicationMain::kMainPage);
  QRadioButton* optionButton =
      option == CCorvaneRepackagerDlg::kSetupProgram ? main->SetupOptionButton() : main->ProjectOptionButton();
  if (option != 0) ClickOption(optionButton);
  if (!file.isEmpty()) main->TakeChosenPath(QString::fromStdWString(files[file]));
  main->ProductNameField()->setText(name);
  main->VersionField()->setText(version);
  main->CompanyField()->setText(company);

  wizard.ClickNext();
  QCOMPARE(sheet.ActivePageNumber(), page == -1 ? int(CApplicationMain::kMainPage) : page);
  QCOMPARE(wizard.PromptTexts(), message == 0 ? QStringList{} : QStringList{TextOf(message)});
  if (message != 0) QCOMPARE(wizard.prompts[0].caption, caption);
  const std::pair<const char*, QLabel*> labels[] = {{"path", main->PathLabel()}, {"name", main->ProductNameLabel()},
                                                     {"version", main->VersionLabel()}, {"company", main->CompanyLabel()}};
  QStringList shownRed;
  for (const auto& [key, label] : labels) {
    if (main->InvalidLabels().contains(label)) shownRed << key;
  }
  QCOMPARE(shownRed, red);
  QCOMPARE(!sheet.BackButton()->isEnabled() && !sheet.NextButton()->isEnabled(), locked);
  if (emptied) {
    QVERIFY(main->PathField()->text().isEmpty() && main->ProductNameField()->text().isEmpty() &&
            main->VersionField()->text().isEmpty() && main->CompanyField()->text().isEmpty());
  } else {
    QCOMPARE(main->CompanyField()->text(), company.trimmed());
  }
  if (locked) {
    // Choosing an option again gives Back and Next back.
    ClickOption(optionButton);
    QVERIFY(sheet.BackButton()->isEnabled() && sheet.NextButton()->isEnabled());
  }
  const CCaptureSession& manager = wizard.Session();
  if (page == CApplicationMain::kCaptureSnapshotPage) {
    QCOMPARE(manager.GetSetupFilePath(), files["exe"]);
    QCOMPARE(manager.GetSetupFileInfo().ApplicationName, name.toStdWString());
  }
  if (page == CApplicationMain::kShowProjectPage) {
    QCOMPARE(wizard.Session().Context().ProjectFilePath, files["xml"]);
    // Trimmed before they are handed over.
    QCOMPARE(manager.GetSetupFileInfo().ApplicationName, std::wstring(L"App"));
  }
  if (page == -1) QCOMPARE(manager.GetSetupFilePath(), std::wstring());
}

void MainPageTest::OptionsKeepTheirValues() {
  WizardFixture wizard;
  const std::wstring setup = wizard.WriteSetup("Setups/tool-setup.exe", L" Tool ", L"3.1", L"Tool Labs");
  const std::wstring project = wizard.WriteFile("Projects/demo.xml", ProjectXml(""));
  wizard.Open();
  CApplicationMain& sheet = wizard.Sheet();
  sheet.SetActivePage(CApplicationMain::kMainPage);
  auto* main = wizard.PageAs<CCorvaneRepackagerDlg>(CApplicationMain::kMainPage);

  // A chosen setup fills the product texts from its version resource, trimmed; a project from its
  // product information.
  main->ChooseOption(CCorvaneRepackagerDlg::kSetupProgram);
  QCOMPARE(main->PathLabel()->text(), TextOf(156));
  main->TakeChosenPath(QString::fromStdWString(setup));
  QCOMPARE(main->ProductNameField()->text(), QString("Tool"));
  QCOMPARE(main->VersionField()->text(), QString("3.1"));
  QCOMPARE(main->CompanyField()->text(), QString("Tool Labs"));
  // Typing a path and leaving the field is a browse that chose it.
  main->ChooseOption(CCorvaneRepackagerDlg::kProjectFile);
  QCOMPARE(main->PathLabel()->text(), TextOf(157));
  QVERIFY(main->PathField()->text().isEmpty());
  main->PathField()->setFocus();
  QTest::keyClicks(main->PathField(), QString::fromStdWString(project));
  QTest::keyClick(main->PathField(), Qt::Key_Tab);
  QCOMPARE(main->ProductNameField()->text(), QString("Demo"));
  QCOMPARE(wizard.Session().Context().ProjectFilePath, project);

  // Back to the start page and forward again: the project's values are still there.
  wizard.ClickBack();
  QCOMPARE(sheet.ActivePageNumber(), int(CApplicationMain::kStartPage));
  sheet.SetActivePage(CApplicationMain::kMainPage);
  QCOMPARE(main->PathField()->text(), QString::fromStdWString(project));
  // Another option empties the fields; the option chosen on arrival puts them back.
  main->ChooseOption(CCorvaneRepackagerDlg::kSetupProgram);
  QVERIFY(main->PathField()->text().isEmpty());
  QVERIFY(main->ProductNameField()->text().isEmpty());
  main->ChooseOption(CCorvaneRepackagerDlg::kProjectFile);
  QCOMPARE(main->PathField()->text(), QString::fromStdWString(project));
  QCOMPARE(main->CompanyField()->text(), QString("Maker"));
  // A cancelled browse empties the path.
  QTest::mouseClick(main->findChild<QPushButton*>(), Qt::LeftButton);
  QVERIFY(main->PathField()->text().isEmpty());
}

QTEST_MAIN(MainPageTest)
#include "main_page_test.moc"
