#include "wizard_fixture.h"

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QImage>
#include <QTest>
#include <cstdlib>
#include <fstream>

#include "core/message_texts.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "session/ui_manager.h"
#include "ui/corvane_property_page.h"
#include "ui/start_page.h"
#include "support/capture_program.h"
#include "support/capture_setup.h"
#include "support/pe_builder.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;

QString TextOf(int number) { return QString::fromStdWString(MessageText(number)); }

std::string IconFileBytes(const QColor& colour, int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "ICO")) qFatal("no ICO writer");
  return bytes.toStdString();
}

std::string ProjectXml(const std::string& addedFiles, const std::string& addedKeys, const std::string& deletedFiles,
                       const std::string& ini, const std::string& shortcuts, const std::string& icons) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CorvaneProject>"
         "<FileSystem><AddedItems><DirectoryList>" + addedFiles + "</DirectoryList></AddedItems>"
         "<ModifiedItems><DirectoryList/></ModifiedItems>"
         "<DeletedItems><DirectoryList>" + deletedFiles + "</DirectoryList></DeletedItems></FileSystem>"
         "<RegistrySystem><AddedItems><SubKeyList>" + addedKeys + "</SubKeyList></AddedItems>"
         "<ModifiedItems><SubKeyList/></ModifiedItems><DeletedItems><SubKeyList/></DeletedItems></RegistrySystem>"
         "<INIFileSystem><AddedItems><FileList>" + ini + "</FileList></AddedItems>"
         "<ModifiedItems><FileList/></ModifiedItems><DeletedItems><FileList/></DeletedItems></INIFileSystem>"
         "<ShortcutList>" + shortcuts + "</ShortcutList><ShortcutICONs>" + icons + "</ShortcutICONs>"
         "<ProductInformation><ProductInformation ApplicationName=\"Demo\" Version=\"1.0\" CompanyName=\"Maker\"/>"
         "</ProductInformation></CorvaneProject>\n";
}

std::string ProjectDirectory(const std::string& name, const std::vector<std::string>& files) {
  std::string xml = "<Directory Name=\"" + name + "\">";
  for (const std::string& file : files) xml += "<File Name=\"" + file + "\"/>";
  return xml + "</Directory>";
}

fs::path BuiltPackage(const QString& result) {
  const qsizetype at = result.indexOf(QStringLiteral("Package: "));
  if (at < 0) return {};
  return result.mid(at + 9).section(QLatin1Char('\n'), 0, 0).toStdString();
}

bool SavePicture(QWidget* widget, const QString& path) {
  QApplication::processEvents();
  QTest::qWait(200);
  return widget->grab().save(path);
}

WizardFixture::WizardFixture(const fs::path& prefix) {
  if (prefix.empty()) {
    prefix_ = std::make_unique<FixturePrefix>();
    prefix_->Activate();
    scratch_ = prefix_->Scratch();
  } else {
    if (const char* previous = std::getenv("WINEPREFIX")) previousPrefix_ = previous;
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    platform::Machine::Reset();
    scratch_ = prefix.parent_path() / "scratch";
  }
  SetUpCaptureWorkPaths(context_, scratch_);
  // The start page's HTML pages lie in the program folder of the build.
  context_.ProgramFolder = WideToUtf8(platform::Machine::WindowsPath(CORVANE_PROGRAM_DIR));
  context_.SnapshotTaken = false;
  WriteRules({L"%PROGRAMFILES%"}, {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor"});
}

WizardFixture::~WizardFixture() {
  Close();
  if (!prefix_) {
    if (previousPrefix_.empty()) {
      ::unsetenv("WINEPREFIX");
    } else {
      ::setenv("WINEPREFIX", previousPrefix_.c_str(), 1);
    }
    platform::Machine::Reset();
  }
}

void WizardFixture::Close() {
  if (sheet_) {
    for (int number : CApplicationMain::kPageOrder) sheet_->Page(number)->WaitForWorker();
  }
  sheet_.reset();
  session_.reset();
}

namespace {
// The next recorded answer, or `otherwise` when none is left.
template <typename Answer>
Answer Next(std::deque<Answer>& answers, Answer otherwise) {
  if (answers.empty()) return otherwise;
  const Answer answer = answers.front();
  answers.pop_front();
  return answer;
}
}  // namespace

void WizardFixture::Open() {
  session_ = std::make_unique<CCaptureSession>(nullptr);
  session_->Context() = context_;
  if (!session_->Initialize().succeeded()) qFatal("the capture session does not start");
  session_->Manager().Wrapper().SetPrepareMachine(false);
  sheet_ = std::make_unique<CApplicationMain>(*session_, nullptr);
  CPrompter& prompter = sheet_->Prompter();
  prompter.onMessage = [this](const CPrompt& prompt) {
    prompts.push_back(prompt);
    return Next(answers, QMessageBox::Ok);
  };
  prompter.onDialog = [this](QDialog& dialog) {
    dialogs.push_back(dialog.objectName());
    return Next(dialogAnswers, static_cast<int>(QDialog::Accepted));
  };
  prompter.onOpenFile = [](const QString&, const QString&) { return QString(); };
  prompter.onOpenUrl = [this](const QUrl& address) { openedUrls.push_back(address); };
  sheet_->show();
  QApplication::processEvents();
}

void WizardFixture::Reopen() {
  Close();
  prompts.clear();
  Open();
}

QStringList WizardFixture::PromptTexts() const {
  QStringList texts;
  for (const CPrompt& prompt : prompts) texts << prompt.text;
  return texts;
}

void WizardFixture::WriteRules(const std::vector<std::wstring>& folders, const std::vector<std::wstring>& keys,
                               const ExcludedRules& excludedFolders, const ExcludedRules& excludedKeys) {
  const auto lists = [](const std::vector<std::wstring>& included, const ExcludedRules& excluded) {
    std::string xml = "<IncludedItems>";
    for (const std::wstring& name : included) xml += "<IncludedEntry Name=\"" + WideToUtf8(name) + "\"/>";
    xml += "</IncludedItems><ExcludedItems>";
    for (const auto& [name, text] : excluded) xml += "<ExcludedEntry Name=\"" + name + "\" Description=\"" + text + "\"/>";
    return xml + "</ExcludedItems>";
  };
  std::ofstream(scratch_ / "DefaultIncludeExclude.xml", std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<IncludeExclude><FileSystem>" << lists(folders, excludedFolders)
      << "</FileSystem><RegistrySystem>" << lists(keys, excludedKeys) << "</RegistrySystem></IncludeExclude>\n";
}

std::wstring WizardFixture::WriteFile(const std::string& relative, const std::string& bytes) {
  const fs::path host = scratch_ / "files" / relative;
  fs::create_directories(host.parent_path());
  std::ofstream(host, std::ios::binary) << bytes;
  return platform::Machine::WindowsPath(host);
}

std::wstring WizardFixture::WriteSetup(const std::string& relative, const std::wstring& product,
                                       const std::wstring& version, const std::wstring& company) {
  using namespace pe_builder;
  const std::string block = VersionBlock(
      FixedFileInfo(1, 0, 0, 0), {0x04B00409u},
      {{L"040904B0", {{L"ProductName", product}, {L"ProductVersion", version}, {L"CompanyName", company}}}});
  return WriteFile(relative, BuildPe({{16, 1, 1033, block}}));
}

void WizardFixture::MarkPending() {
  platform::WriteProfileText(L"SnapshotDetails", L"IsSnapshotTaken", L"1", context_.ConfigFilePath);
}

std::wstring WizardFixture::PendingMark() const {
  return platform::GetProfileText(L"SnapshotDetails", L"IsSnapshotTaken", L"", context_.ConfigFilePath);
}

void WizardFixture::Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton);
  QApplication::processEvents();
}

bool WizardFixture::LeaveStartPage() {
  auto* start = PageAs<CCorvaneRepackagerStartDlg>(CApplicationMain::kStartPage);
  if (!QTest::qWaitFor([&] { return start->IsLoaded(); }, 10000)) return false;
  ClickNext();
  return sheet_->ActivePageNumber() == CApplicationMain::kMainPage;
}

bool WizardFixture::WaitForPage(int number, int milliseconds) {
  return QTest::qWaitFor(
      [&] {
        const CCorvanePropertyPage* page = sheet_->ActivePage();
        return sheet_->ActivePageNumber() == number && page != nullptr && !page->WorkerRunning();
      },
      milliseconds);
}

int CaptureByCommandLine(const TempFolder& work, const fs::path& setup, const fs::path& out, std::string* output) {
  WinePrefixCopy machine;
  if (!machine.ok()) {
    *output = machine.error();
    return -1;
  }
  const fs::path program = CopyProgram(work);
  return RunProgram(program, machine, {"-Capture=" + setup.string(), "-Path=" + out.string()}, output);
}

CCorvaneRepackagerDlg* WizardFixture::ChooseOnMainPage(CCorvaneRepackagerDlg::Option option, const std::wstring& path) {
  sheet_->SetActivePage(CApplicationMain::kMainPage);
  auto* main = PageAs<CCorvaneRepackagerDlg>(CApplicationMain::kMainPage);
  main->ChooseOption(option);
  main->TakeChosenPath(QString::fromStdWString(path));
  return main;
}

void WizardFixture::ToCapturePage(const std::wstring& setup) {
  ChooseOnMainPage(CCorvaneRepackagerDlg::kSetupProgram,
                   setup.empty() ? WriteSetup("Setups/app-setup.exe", L"App", L"1.0", L"Vendor") : setup);
  ClickNext();
}
