#include "ui/capture_snapshot_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "session/capture_session.h"
#include "session/ui_manager.h"
#include "ui/application_main.h"
#include "ui/parent_sheet.h"
#include "ui/snapshot_roots_panel.h"

CCaptureSnapshotDlg::CCaptureSnapshotDlg(CApplicationMain* sheet)
    : CCorvanePropertyPage(CApplicationMain::kCaptureSnapshotPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  caption_ = new QLabel(Text(103), this);
  caption_->setWordWrap(true);
  layout->addWidget(caption_);
  layout->addSpacing(8);

  roots_ = std::make_unique<CSnapshotRootsPanel>(this, layout);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  advanced_ = new QPushButton(tr("&Advanced..."), this);
  advanced_->setAutoDefault(false);
  buttons->addWidget(advanced_);
  layout->addLayout(buttons);
  connect(advanced_, &QPushButton::clicked, this, &CCaptureSnapshotDlg::OpenAdvanced);

  SetProgressControls(roots_->Bar(), roots_->Caption(), roots_->Detail());
  roots_->ShowLists(true);
}

CCaptureSnapshotDlg::~CCaptureSnapshotDlg() = default;

QListWidget* CCaptureSnapshotDlg::FileList() const { return roots_->Files(); }
QListWidget* CCaptureSnapshotDlg::RegistryList() const { return roots_->Keys(); }

void CCaptureSnapshotDlg::PrepareChoices() {
  // The roots follow the rules and the setup chosen on the main page; they are saved with the
  // setup when the capture starts (not before: a capture of an earlier run may still be pending).
  CCaptureSession& session = Session();
  const SetupFileInformation& info = session.GetSetupFileInfo();
  const std::wstring setup = session.GetSetupFilePath();
  const ProductTexts texts{info.ApplicationName, info.Version, info.CompanyName};
  choices_ = session.BuildCaptureChoices(setup, texts);
  // Roots chosen in the advanced sheet stay chosen when the page is shown again.
  if (!editedRoots_.empty()) {
    choices_[L"File"] = editedRoots_[L"File"];
    choices_[L"Registry"] = editedRoots_[L"Registry"];
  }
  itemCount_ = roots_->ShowChoices(choices_);
}

void CCaptureSnapshotDlg::OnSetActive() {
  if (!captureDone_ && !WorkerRunning()) PrepareChoices();
  roots_->ShowLists(true);
  caption_->setText(Text(captureDone_ ? 161 : 103));
  advanced_->setEnabled(!captureDone_);
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
}

void CCaptureSnapshotDlg::OpenAdvanced() {
  CParentSheet sheet(Session(), choices_, Prompter(), this);
  if (Prompter().Dialog(sheet) != QDialog::Accepted) return;
  sheet.Apply();
  // The choices are saved with the capture when it starts (a pending capture's must stay as they are).
  const CaptureChoiceMap edited = sheet.Choices();
  editedRoots_[L"File"] = edited.at(L"File");
  editedRoots_[L"Registry"] = edited.at(L"Registry");
  PrepareChoices();
}

int CCaptureSnapshotDlg::OnWizardBack() { return CApplicationMain::kMainPage; }

int CCaptureSnapshotDlg::OnWizardNext() {
  if (captureDone_) return CApplicationMain::kLaunchSetupPage;
  if (itemCount_ == 0 && Message(Text(127), QStringLiteral("Warning"), QMessageBox::Warning,
                                 QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
    return -1;
  }
  CCaptureSession* session = &Session();
  if (Session().Context().SnapshotTaken) {
    // The capture of an earlier run was not continued: a new one replaces it.
    if (Message(Text(190), QStringLiteral("Warning"), QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes) {
      return -1;
    }
    session->DiscardPendingCapture();
  }
  const CCaptureSession& manager = *session;
  const SetupFileInformation& info = manager.GetSetupFileInfo();
  const COperationResult begun =
      session->BeginCapture(manager.GetSetupFilePath(), {info.ApplicationName, info.Version, info.CompanyName},
                            std::wstring(), choices_);
  if (!begun.succeeded()) {
    Message(Text(186) + QStringLiteral("\n") + QString::fromStdString(begun.error()), QStringLiteral("Error"),
            QMessageBox::Critical);
    return -1;
  }
  advanced_->setEnabled(false);
  caption_->setText(Text(104));
  Sheet()->SetWizardButtons(0);
  roots_->ShowLists(false);
  RunWorker(session->RootCount(), [session] { return session->CaptureFirstSnapshot(); },
            [this](const COperationResult& result) { OnCaptureEnded(result); });
  return -1;
}

void CCaptureSnapshotDlg::OnCaptureEnded(const COperationResult& result) {
  roots_->Caption()->clear();
  roots_->Detail()->clear();
  if (!result.succeeded()) {
    // Nothing of a failed first snapshot is kept: the page is as before, and Next tries again.
    roots_->ShowLists(true);
    caption_->setText(Text(103));
    advanced_->setEnabled(true);
    Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
    Message(Text(186) + QStringLiteral("\n") + QString::fromStdString(result.error()), QStringLiteral("Error"),
            QMessageBox::Critical);
    return;
  }
  roots_->Bar()->hide();
  caption_->setText(Text(160));
  captureDone_ = true;
  Sheet()->SetResumedCapture(false);
  // A moment to read that the snapshot is complete, then the launch page.
  QTimer::singleShot(500, this, [this] {
    Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
    if (Sheet()->ActivePageNumber() == PageNumber()) Sheet()->SetActivePageByPosition(3);
  });
}
