#include "ui/second_snapshot_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QVBoxLayout>

#include "session/capture_session.h"
#include "ui/application_main.h"
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
  auto* lists = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  filesLabel_ = new QLabel(tr("&Folders:"), this);
  files_ = new QListWidget(this);
  filesLabel_->setBuddy(files_);
  left->addWidget(filesLabel_);
  left->addWidget(files_);
  auto* right = new QVBoxLayout;
  keysLabel_ = new QLabel(tr("Registry &keys:"), this);
  keys_ = new QListWidget(this);
  keysLabel_->setBuddy(keys_);
  right->addWidget(keysLabel_);
  right->addWidget(keys_);
  // Registry paths are the longer ones.
  lists->addLayout(left, 2);
  lists->addLayout(right, 3);
  layout->addLayout(lists, 1);
  statusCaption_ = new QLabel(this);
  statusCaption_->setWordWrap(true);
  statusDetail_ = new QLabel(this);
  statusDetail_->setTextFormat(Qt::PlainText);
  statusDetail_->setMinimumWidth(1);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  layout->addWidget(statusCaption_);
  layout->addWidget(statusDetail_);
  layout->addWidget(bar_);
  // While a step runs the lists are hidden: this takes their room, so that the progress stays
  // together at the top.
  layout->addStretch(0);
  trailingStretch_ = layout->count() - 1;
  layout_ = layout;
  SetProgressControls(bar_, statusCaption_, statusDetail_);
  statusCaption_->hide();
  statusDetail_->hide();
  bar_->hide();
}

void CSecondSnapshotDlg::ShowChoices() {
  const CaptureChoiceMap choices = Session().GetScanDetails();
  files_->clear();
  keys_->clear();
  itemCount_ = 0;
  for (const auto& [list, key] : {std::pair{files_, L"File"}, std::pair{keys_, L"Registry"}}) {
    const auto found = choices.find(key);
    if (found == choices.end()) continue;
    for (const std::wstring& root : found->second) {
      list->addItem(QString::fromStdWString(root));
      list->item(list->count() - 1)->setToolTip(QString::fromStdWString(root));
      ++itemCount_;
    }
  }
  const QString name = QString::fromStdWString(Session().Manager().GetSetupFileInfo().ApplicationName);
  introduction_->setText(Text(173) + name + Text(174) + Text(110));
}

void CSecondSnapshotDlg::ShowResults(bool shown) {
  // The lists show what the snapshots walk; while a step runs, its progress takes their place.
  for (QWidget* widget : std::initializer_list<QWidget*>{filesLabel_, files_, keysLabel_, keys_}) {
    widget->setVisible(shown);
  }
  statusCaption_->setVisible(!shown);
  statusDetail_->setVisible(!shown);
  bar_->setVisible(!shown);
  layout_->setStretch(trailingStretch_, shown ? 0 : 1);
}

void CSecondSnapshotDlg::OnSetActive() {
  if (WorkerRunning()) return;
  ShowChoices();
  ShowResults(true);
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
  ShowResults(false);
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
  statusCaption_->clear();
  statusDetail_->clear();
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
  statusCaption_->clear();
  statusDetail_->clear();
  introduction_->setText(Text(168));
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
  if (Sheet()->ActivePageNumber() == PageNumber()) Sheet()->SetActivePageByPosition(5);
}

void CSecondSnapshotDlg::Failed(const COperationResult& result) {
  ShowChoices();
  ShowResults(true);
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
  Message(Text(186) + QStringLiteral("\n") + QString::fromStdString(result.error()) + QStringLiteral("\n\n") + Text(187),
          QStringLiteral("Error"), QMessageBox::Critical);
}
