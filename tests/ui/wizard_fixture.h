#pragma once
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "session/capture_session.h"
#include "support/fixture_prefix.h"
#include "ui/application_main.h"
#include "ui/main_page.h"
#include "ui/prompter.h"

class CCorvanePropertyPage;
class TempFolder;
class QColor;
class QWidget;

// A wizard on a hand-made prefix, as the page tests and the screenshots need it: the work folders
// and the configuration and rules files in a scratch folder, the capture session started, the
// machine's preparation off (no Wine runs), and every question the wizard asks recorded and
// answered from a queue (Ok, or the first button, when the queue is empty).
class WizardFixture {
 public:
  // `prefix`: an existing prefix to work on (screenshots); empty makes a hand-made one.
  explicit WizardFixture(const std::filesystem::path& prefix = {});
  ~WizardFixture();

  // Starts the session and opens the wizard (on the start page).
  void Open();
  // As a restart of the program: the wizard and the session end (Cancel) and start again.
  void Reopen();
  CApplicationMain& Sheet() { return *sheet_; }
  // A page of the wizard as its own class.
  template <typename Page>
  Page* PageAs(int number) {
    return static_cast<Page*>(sheet_->Page(number));
  }
  CCaptureSession& Session() { return *session_; }
  FixturePrefix* Prefix() { return prefix_.get(); }
  std::filesystem::path Scratch() const { return scratch_; }
  // The work paths every session of the fixture starts with (copied into it by Open).
  CWorkContext& StartContext() { return context_; }

  // The rules file: these folders (token form) and keys included, these rules (name, description) excluded.
  using ExcludedRules = std::vector<std::pair<std::string, std::string>>;
  void WriteRules(const std::vector<std::wstring>& folders, const std::vector<std::wstring>& keys,
                  const ExcludedRules& excludedFolders = {}, const ExcludedRules& excludedKeys = {});
  // A setup program with these version texts, below drive C: (Windows path back).
  std::wstring WriteSetup(const std::string& relative, const std::wstring& product, const std::wstring& version,
                          const std::wstring& company);
  // A file below drive C: (Windows path back).
  std::wstring WriteFile(const std::string& relative, const std::string& bytes);
  // Writes the pending mark of this machine into the configuration file, as a first snapshot of
  // an earlier run left it (call before Open).
  void MarkPending();
  // The pending mark in the configuration file ("1", or empty).
  std::wstring PendingMark() const;

  // Clicks Back, Next (or Finish, where it stands), Cancel: the real buttons; the events are processed.
  void ClickBack() { Click(sheet_->BackButton()); }
  void ClickNext() { Click(sheet_->NextButton()->isVisible() ? sheet_->NextButton() : sheet_->FinishButton()); }
  void ClickCancel() { Click(sheet_->CancelButton()); }
  // The main page shown, with this option chosen and this file (Windows path) taken as browsed.
  CCorvaneRepackagerDlg* ChooseOnMainPage(CCorvaneRepackagerDlg::Option option, const std::wstring& path);
  // From the main page, with this setup program chosen, on to the capture page (Next clicked). By
  // default a setup of App 1.0 by Vendor, written as Setups\app-setup.exe.
  void ToCapturePage(const std::wstring& setup = {});
  // Waits for the start page to load and clicks Next; true when the main page is then shown.
  bool LeaveStartPage();
  // Waits until the page's worker and what follows it have ended (events are processed).
  bool WaitForPage(int number, int milliseconds = 20000);

  // What the wizard asked, in order (and their texts); and the answers it gets.
  std::vector<CPrompt> prompts;
  QStringList PromptTexts() const;
  std::deque<QMessageBox::StandardButton> answers;
  std::vector<QString> dialogs;
  std::deque<int> dialogAnswers;
  std::vector<QUrl> openedUrls;

 private:
  void Click(QAbstractButton* button);
  // The wizard and the session end (their workers waited for).
  void Close();

  std::unique_ptr<FixturePrefix> prefix_;
  std::filesystem::path scratch_;
  CWorkContext context_;
  std::unique_ptr<CCaptureSession> session_;
  std::unique_ptr<CApplicationMain> sheet_;
  std::string previousPrefix_;
};

// The text of a numbered message.
QString TextOf(int number);

// A one-image .ico file of one colour, as Qt writes it (a DIB entry).
std::string IconFileBytes(const QColor& colour, int size = 32);

// A project file: the added files and keys, the deleted files, the INI files, shortcuts and
// icons as XML (what the project's lists hold), the product Demo 1.0 of Maker.
std::string ProjectXml(const std::string& addedFiles, const std::string& addedKeys = "",
                       const std::string& deletedFiles = "", const std::string& ini = "",
                       const std::string& shortcuts = "", const std::string& icons = "");
// A folder of a project file's file lists with these files.
std::string ProjectDirectory(const std::string& name, const std::vector<std::string>& files);

// The package a build page names in its result box ("Package: <host path>"), or an empty path.
std::filesystem::path BuiltPackage(const QString& result);

// Saves a picture of a widget (after its events are handled); false when it cannot be written.
bool SavePicture(QWidget* widget, const QString& path);

// Captures `setup` with the command line on a fresh copy of the test machine (the program copied
// into `work`), its work folder `out`. The program's exit status, or -1 when no machine copy could
// be made; what it printed (or why there is no machine) in `output`.
int CaptureByCommandLine(const TempFolder& work, const std::filesystem::path& setup, const std::filesystem::path& out,
                         std::string* output);
