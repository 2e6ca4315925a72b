#include "ui/launch_setup_page.h"

#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>
#include <memory>

#include "core/strings.h"
#include "session/capture_session.h"
#include "ui/application_main.h"
#include "ui/warning_msi_detected.h"

namespace {
// The maker's page about repackaging Windows Installer packages, opened when a capture is
// discarded because one ran.
const char* const kPackagePage = "https://corvane.example/repackager/msi";

QString SetupFileName(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return QString::fromStdWString(slash == std::wstring::npos ? path : path.substr(slash + 1));
}
}  // namespace

CLaunchSetupDlg::CLaunchSetupDlg(CApplicationMain* sheet) : CCorvanePropertyPage(CApplicationMain::kLaunchSetupPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(Text(107), this);
  description_->setWordWrap(true);
  layout->addWidget(description_);
  layout->addSpacing(8);
  launchNow_ = new QRadioButton(this);
  launchNow_->setObjectName(QStringLiteral("launchNow"));
  alreadyRun_ = new QRadioButton(this);
  alreadyRun_->setObjectName(QStringLiteral("alreadyRun"));
  launchNow_->setChecked(true);
  layout->addWidget(launchNow_);
  layout->addWidget(alreadyRun_);
  layout->addSpacing(12);
  running_ = new QLabel(Text(184), this);
  running_->setWordWrap(true);
  statusCaption_ = new QLabel(this);
  statusDetail_ = new QLabel(this);
  statusDetail_->setTextFormat(Qt::PlainText);
  statusDetail_->setMinimumWidth(1);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  layout->addWidget(running_);
  layout->addWidget(statusCaption_);
  layout->addWidget(statusDetail_);
  layout->addWidget(bar_);
  layout->addStretch(1);
  SetProgressControls(bar_, statusCaption_, statusDetail_);
  for (QWidget* widget : std::initializer_list<QWidget*>{running_, statusCaption_, statusDetail_, bar_}) widget->hide();
}

void CLaunchSetupDlg::OnSetActive() {
  // The radio buttons name the setup chosen (or resumed) in this run.
  const QString name = SetupFileName(Session().GetSetupFilePath());
  launchNow_->setText(QStringLiteral("&") + Text(171) + name);
  alreadyRun_->setText(QStringLiteral("&") + Text(172) + name);
  if (!WorkerRunning()) Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
}

int CLaunchSetupDlg::OnWizardBack() { return CApplicationMain::kCaptureSnapshotPage; }

int CLaunchSetupDlg::OnWizardNext() {
  if (!launchNow_->isChecked() && !alreadyRun_->isChecked()) {
    Message(Text(116), QStringLiteral("Information"), QMessageBox::Information);
    return -1;
  }
  if (launched_ || alreadyRun_->isChecked()) return CApplicationMain::kSecondSnapshotPage;

  launchNow_->setEnabled(false);
  alreadyRun_->setEnabled(false);
  running_->show();
  statusCaption_->show();
  statusDetail_->show();
  Sheet()->SetWizardButtons(0);
  CCaptureSession* session = &Session();
  auto run = std::make_shared<SetupRun>();
  // No time limit: the administrator may take as long as the setup needs; Cancel ends the wait.
  RunWorker(
      0,
      [session, run] {
        *run = session->RunSetup(0, nullptr);
        return run->result;
      },
      [this, run](const COperationResult& result) { OnSetupEnded(result, *run); });
  return -1;
}

void CLaunchSetupDlg::OnSetupEnded(const COperationResult& result, const SetupRun& run) {
  for (QWidget* widget : std::initializer_list<QWidget*>{running_, statusCaption_, statusDetail_, bar_}) widget->hide();
  launched_ = true;
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);

  if (!run.launch.installerProcesses.empty()) {
    QStringList processes;
    for (const platform::InstallerProcess& process : run.launch.installerProcesses) {
      processes << QStringLiteral("msiexec.exe (%1) %2")
                       .arg(process.processId)
                       .arg(QString::fromStdWString(process.commandLine));
    }
    CWarningMSIDetected warning(processes, Sheet());
    if (Prompter().Dialog(warning) != QDialog::Accepted) {
      // The capture is worth nothing: it goes, and so does the wizard.
      Session().DiscardPendingCapture();
      Prompter().OpenUrl(QUrl(QString::fromLatin1(kPackagePage)));
      Sheet()->EndWizard(false);
      return;
    }
  }
  if (!result.succeeded()) {
    // The capture is still pending; the administrator decides whether what the setup did is worth
    // a second snapshot.
    QString text = Text(186) + QStringLiteral("\n") + QString::fromStdString(result.error());
    for (const std::string& note : run.notes) text += QStringLiteral("\n") + QString::fromStdString(note);
    Message(text + QStringLiteral("\n\n") + Text(187), QStringLiteral("Warning"), QMessageBox::Warning);
  }
  if (Sheet()->ActivePageNumber() == PageNumber()) Sheet()->SetActivePageByPosition(4);
}
