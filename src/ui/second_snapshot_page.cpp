#include "ui/second_snapshot_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QVBoxLayout>

#include "session/capture_session.h"
#include "ui/application_main.h"
#include "ui/snapshot_roots_panel.h"
#include "ui/progress_worker.h"

namespace {
const char* const kComparedText =
    "Corvane Repackager has taken pre- and post-installation snapshots and a comparision of both snapshots has been "
    "performed.";
}  // namespace

CSecondSnapshotDlg::CSecondSnapshotDlg(CApplicationMain* sheet)
    : CCorvanePropertyPage(CApplicationMain::kSecondSnapshotPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  introduction_ = new QLabel(this);
  introduction_->setWordWrap(true);
  layout->addWidget(introduction_);
  layout->addSpacing(8);
  roots_ = std::make_unique<CSnapshotRootsPanel>(this, layout);
  SetProgressControls(roots_->Bar(), roots_->Caption(), roots_->Detail());
  roots_->ShowLists(true);
}

CSecondSnapshotDlg::~CSecondSnapshotDlg() = default;

void CSecondSnapshotDlg::ShowChoices() {
  itemCount_ = roots_->ShowChoices(Session().GetScanDetails());
  const QString name = QString::fromStdWString(Session().GetSetupFileInfo().ApplicationName);
  introduction_->setText(Text(173) + name + Text(174) + Text(110));
}

void CSecondSnapshotDlg::OnSetActive() {
  if (WorkerRunning()) return;
  ShowChoices();
  roots_->ShowLists(true);
  if (compareDone_) {
    introduction_->setText(QString::fromLatin1(kComparedText));
    Sheet()->SetWizardButtons(CResizablePropertySheet::kNext);
  } else {
    Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
  }
}

int CSecondSnapshotDlg::OnWizardBack() {
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack);
  return Sheet()->ResumedCapture() ? CApplicationMain::kExistingSnapshotPage : CApplicationMain::kLaunchSetupPage;
}

int CSecondSnapshotDlg::OnWizardNext() {
  if (compareDone_) return CApplicationMain::kContentReviewFilePage;
  Sheet()->SetWizardButtons(0);
  roots_->ShowLists(false);
  introduction_->setText(Text(169));
  CCaptureSession* session = &Session();
  RunWorker(session->RootCount(), [session] { return session->CaptureSecondSnapshot(); },
            [this](const COperationResult& result) { OnSecondCaptureEnded(result); });
  return -1;
}

void CSecondSnapshotDlg::OnSecondCaptureEnded(const COperationResult& result) {
  if (!result.succeeded()) {
    Failed(result);
    return;
  }
  introduction_->setText(Text(166) + QStringLiteral(" ") + Text(167));
  roots_->Caption()->clear();
  roots_->Detail()->clear();
  CCaptureSession* session = &Session();
  // Two halves (files, registry), each half the bar.
  RunWorker(2, [session] { return session->CompareSnapshot(); },
            [this](const COperationResult& compared) { OnCompareEnded(compared); });
}

void CSecondSnapshotDlg::OnCompareEnded(const COperationResult& result) {
  if (!result.succeeded()) {
    Failed(result);
    return;
  }
  compareDone_ = true;
  roots_->Caption()->clear();
  roots_->Detail()->clear();
  introduction_->setText(Text(168));
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
  if (Sheet()->ActivePageNumber() == PageNumber()) Sheet()->SetActivePageByPosition(5);
}

void CSecondSnapshotDlg::Failed(const COperationResult& result) {
  ShowChoices();
  roots_->ShowLists(true);
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
  Message(Text(186) + QStringLiteral("\n") + QString::fromStdString(result.error()) + QStringLiteral("\n\n") + Text(187),
          QStringLiteral("Error"), QMessageBox::Critical);
}
