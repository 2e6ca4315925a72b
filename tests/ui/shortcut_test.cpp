// The shortcuts of the project page: the records and the icon catalog made from the page's
// shortcuts, the shortcut dialog on program and icon files, and the page's checks of its fields.
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTreeWidget>

#include "core/work_paths.h"
#include "support/pe_builder.h"
#include "ui/create_project_page.h"
#include "ui/msi_screen_handler.h"
#include "ui/shortcut_dlg.h"
#include "wizard_fixture.h"

namespace {

// A program file whose resources hold one icon group per .ico given, each a one-image file as
// IconFileBytes writes it (a 6-byte header, one 16-byte entry, then the image).
std::string ProgramWithIcons(const std::vector<std::string>& icos) {
  std::vector<pe_builder::Resource> resources;
  for (size_t i = 0; i < icos.size(); ++i) {
    const auto id = static_cast<uint16_t>(i + 1);
    resources.push_back({3, id, 1033, icos[i].substr(22)});
    // The group: the file's header, its entry without the offset, then the image's id.
    resources.push_back({14, static_cast<uint16_t>(100 + i), 1033, icos[i].substr(0, 18) + char(id) + '\0'});
  }
  return pe_builder::BuildPe(resources);
}

}  // namespace

class ShortcutTest : public QObject {
  Q_OBJECT

 private slots:
  void Records_data();
  void Records();
  void DialogShowsTheIconsOfItsSource();
  void Validation_data();
  void Validation();
};

void ShortcutTest::Records_data() {
  // Shortcuts as "target|name|icon|index|places" (places: D desktop, M program menu, Q quick
  // launch); records as "name|exe|folder|icon|index"; catalog as "icon file name=targets".
  QTest::addColumn<QStringList>("shortcuts");
  QTest::addColumn<QStringList>("records");
  QTest::addColumn<QStringList>("catalog");
  QTest::newRow("all three places, in order")
      << QStringList{"app.exe|App|APP|2|DMQ"}
      << QStringList{"App|app.exe|DesktopFolder|APP|2", "App|app.exe|ProgramMenuFolder|APP|2",
                     "App|app.exe|QuickLaunchFolder|APP|2"}
      << QStringList{};
  QTest::newRow("an icon file: no index, the icon in the catalog")
      << QStringList{"app.exe|App|ICO|3|M"} << QStringList{"App|app.exe|ProgramMenuFolder|ICO|"}
      << QStringList{"app.ico=app.exe"};
  QTest::newRow("two shortcuts share an icon file")
      << QStringList{"a.exe|A|ICO|0|D", "b.exe|B|ICO|0|D"}
      << QStringList{"A|a.exe|DesktopFolder|ICO|", "B|b.exe|DesktopFolder|ICO|"} << QStringList{"app.ico=a.exe,b.exe"};
  QTest::newRow("no name, no icon, no place")
      << QStringList{"a.exe|||4|D", "b.exe|B|APP|0|"} << QStringList{"a.exe|a.exe|DesktopFolder||"} << QStringList{};
}

void ShortcutTest::Records() {
  QFETCH(QStringList, shortcuts);
  QFETCH(QStringList, records);
  QFETCH(QStringList, catalog);

  WizardFixture wizard;
  const std::string ico = IconFileBytes(Qt::red);
  const QString icoPath = QString::fromStdWString(wizard.WriteFile("Icons/app.ico", ico));
  const QString appPath = QString::fromStdWString(wizard.WriteFile("App/app.exe", ProgramWithIcons({ico})));
  wizard.Open();
  auto* page = wizard.PageAs<CCreateProjectFileMsiDlg>(CApplicationMain::kCreateProjectPage);
  CMSIScreenHandler& handler = page->Shortcuts();
  auto expand = [&](QString text) { return text.replace("ICO", icoPath).replace("APP", appPath); };
  for (const QString& line : shortcuts) {
    const QStringList f = expand(line).split('|');
    handler.AddShortcutToList(ShortcutInfo{f[2].toStdWString(), f[1].toStdWString(), f[3].toInt(), f[4].contains('M'),
                                           f[4].contains('Q'), f[4].contains('D')},
                              f[0].toStdWString());
  }
  QCOMPARE(page->ShortcutList()->topLevelItemCount(), shortcuts.size());
  QVERIFY(handler.BuildShortcutRecords());

  QStringList made;
  for (const ShortcutRecord& record : handler.ShortcutRecords()) {
    made << QString::fromStdWString(record.name + L"|" + record.exeName + L"|" + record.directory + L"|" +
                                    record.icon + L"|" + record.iconIndex);
  }
  QStringList wanted;
  for (const QString& line : records) wanted << expand(line);
  QCOMPARE(made, wanted);

  QStringList entries;
  for (const auto& [path, icon] : handler.IconCatalog()) {
    QStringList targets;
    for (const std::wstring& target : icon.exeNames) targets << QString::fromStdWString(target);
    entries << QString::fromStdWString(path) + "=" + targets.join(',');
    // The file itself, in Base64 without padding, and its length as the size.
    const QByteArray data = QByteArray::fromBase64(QString::fromStdWString(icon.data).toLatin1());
    QCOMPARE(data.toStdString(), ico);
    QVERIFY(!QString::fromStdWString(icon.data).endsWith('='));
    QCOMPARE(QString::fromStdWString(icon.size), QString::number(icon.data.size()));
  }
  QStringList wantedEntries;
  for (const QString& line : catalog) wantedEntries << expand(line);
  QCOMPARE(entries, wantedEntries);
}

void ShortcutTest::DialogShowsTheIconsOfItsSource() {
  WizardFixture wizard;
  const std::wstring program =
      wizard.WriteFile("App/app.exe", ProgramWithIcons({IconFileBytes(Qt::red), IconFileBytes(Qt::blue, 16)}));
  const std::wstring icon = wizard.WriteFile("Icons/green.ico", IconFileBytes(Qt::green, 48));
  wizard.Open();
  CPrompter& prompter = wizard.Sheet().Prompter();

  // A new shortcut: the program's icons, the first chosen; desktop and program menu ticked.
  CShortcutDlg added(L"app", program, prompter);
  QCOMPARE(added.IconList()->count(), 2);
  QCOMPARE(added.IconList()->currentRow(), 0);
  QVERIFY(added.DesktopBox()->isChecked() && added.ProgramMenuBox()->isChecked());
  QVERIFY(!added.QuickLaunchBox()->isChecked());
  QCOMPARE(added.Preview()->Image().size(), QSize(32, 32));
  QCOMPARE(added.Preview()->Image().pixelColor(16, 16), QColor(Qt::red));

  // Editing (in the program menu only): the stored index chosen (the 16-pixel icon drawn at 32);
  // ticking quick launch warns.
  CShortcutDlg edited(ShortcutInfo{program, L"App", 1, true, false, false}, prompter);
  QCOMPARE(edited.IconList()->currentRow(), 1);
  QCOMPARE(edited.Preview()->Image().size(), QSize(32, 32));
  QCOMPARE(edited.Preview()->Image().pixelColor(16, 16), QColor(Qt::blue));
  QTest::mouseClick(edited.QuickLaunchBox(), Qt::LeftButton);
  QCOMPARE(wizard.PromptTexts(), QStringList{TextOf(179)});
  QCOMPARE(wizard.prompts[0].caption, QString("Caution:"));
  QVERIFY(edited.QuickLaunchBox()->isChecked());

  // Another source: an icon file holds one icon and sets the index to 0; OK stores the fields.
  edited.TakeIconSource(QString::fromStdWString(icon));
  QCOMPARE(edited.IconList()->count(), 1);
  QCOMPARE(edited.Preview()->Image().pixelColor(16, 16), QColor(Qt::green));
  edited.NameField()->setText("  Green  ");
  edited.accept();
  QCOMPARE(QString::fromStdWString(edited.Info().name), QString("Green"));
  QCOMPARE(edited.Info().iconSource, icon);
  QCOMPARE(edited.Info().iconIndex, 0);
  QVERIFY(edited.Info().inQuickLaunch && edited.Info().inProgramMenu && !edited.Info().onDesktop);

  // A source that is neither, or is damaged: no icons, and the list row gets the default icon.
  for (const std::wstring& source : {wizard.WriteFile("App/readme.txt", "text"), wizard.WriteFile("App/bad.exe", "MZ")}) {
    CShortcutDlg other(L"x", source, prompter);
    QCOMPARE(other.IconList()->count(), 0);
    QVERIFY(other.Preview()->Image().isNull());
  }
}

void ShortcutTest::Validation_data() {
  QTest::addColumn<QString>("folder");
  QTest::addColumn<QString>("project");
  QTest::addColumn<QString>("package");
  // The numbered text told, 0 when all pass.
  QTest::addColumn<int>("text");
  QTest::newRow("all good, names in any case") << "OUT" << "App.XML" << "Setup.MSI" << 0;
  QTest::newRow("no such folder") << "OUT\\missing" << "a.xml" << "a.msi" << 123;
  QTest::newRow("a file for a folder") << "FILE" << "a.xml" << "a.msi" << 122;
  QTest::newRow("no project name") << "OUT" << "  " << "a.msi" << 132;
  QTest::newRow("project without .xml") << "OUT" << "a.txt" << "a.msi" << 133;
  QTest::newRow("project only .xml") << "OUT" << ".xml" << "a.msi" << 134;
  QTest::newRow("no package name") << "OUT" << "a.xml" << "" << 124;
  QTest::newRow("package msi") << "OUT" << "a.xml" << "msi" << 125;
  QTest::newRow("package .msi") << "OUT" << "a.xml" << ".msi" << 126;
  QTest::newRow("package named .msi.txt") << "OUT" << "a.xml" << "a.msi.txt" << 125;
}

void ShortcutTest::Validation() {
  QFETCH(QString, folder);
  QFETCH(QString, project);
  QFETCH(QString, package);
  QFETCH(int, text);

  WizardFixture wizard;
  const QString out = QString::fromStdWString(wizard.WriteFile("Out/keep.txt", "x")).chopped(9);
  const QString file = QString::fromStdWString(wizard.WriteFile("Out/keep.txt", "x"));
  wizard.Open();
  wizard.Sheet().SetActivePage(CApplicationMain::kCreateProjectPage);
  auto* page = wizard.PageAs<CCreateProjectFileMsiDlg>(CApplicationMain::kCreateProjectPage);
  const QString initialFolder = page->FolderField()->text();
  page->FolderField()->setText(QString(folder).replace("OUT", out + "\\").replace("FILE", file));
  page->ProjectNameField()->setText(project);
  page->PackageNameField()->setText(package);

  QCOMPARE(page->Validate(), text == 0);
  QCOMPARE(wizard.PromptTexts(), text == 0 ? QStringList{} : QStringList{TextOf(text)});
  if (text != 0) QCOMPARE(wizard.prompts[0].caption, QString("Warning"));
  // An existing folder is shown in its normal form; a bad one is reset.
  if (text == 0) QCOMPARE(page->FolderField()->text(), out);
  if (text == 122 || text == 123) QCOMPARE(page->FolderField()->text(), initialFolder);

  // The folder browser's drive root loses its backslash.
  page->TakeChosenFolder("D:\\");
  QCOMPARE(page->FolderField()->text(), QString("D:"));
}

QTEST_MAIN(ShortcutTest)
#include "shortcut_test.moc"
