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

CCaptureSnapshotDlg::CCaptureSnapshotDlg(CApplicationMain* sheet)
    : CCorvanePropertyPage(CApplicationMain::kCaptureSnapshotPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  caption_ = new QLabel(Text(103), this);
  caption_->setWordWrap(true);
  layout->addWidget(caption_);
  layout->addSpacing(8);

  auto* lists = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  filesLabel_ = new QLabel(tr("&Folders:"), this);
  files_ = new QListWidget(this);
  files_->setObjectName(QStringLiteral("fileRoots"));
  filesLabel_->setBuddy(files_);
  left->addWidget(filesLabel_);
  left->addWidget(files_);
  auto* right = new QVBoxLayout;
  keysLabel_ = new QLabel(tr("Registry &keys:"), this);
  keys_ = new QListWidget(this);
  keys_->setObjectName(QStringLiteral("registryRoots"));
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
  statusDetail_->setMinimumWidth(1);  // a long folder path must not widen the window
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

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  advanced_ = new QPushButton(tr("&Advanced..."), this);
  advanced_->setAutoDefault(false);
  buttons->addWidget(advanced_);
  layout->addLayout(buttons);
  // The include and exclude editor comes with a later version.
  connect(advanced_, &QPushButton::clicked, this,
          [this] { Message(Text(182), QStringLiteral("Corvane Repackager"), QMessageBox::Information); });

  SetProgressControls(bar_, statusCaption_, statusDetail_);
  statusCaption_->hide();
  statusDetail_->hide();
  bar_->hide();
}

void CCaptureSnapshotDlg::PrepareChoices() {
  // The roots follow the rules and the setup chosen on the main page; they are saved with the
  // setup when the capture starts (not before: a capture of an earlier run may still be pending).
  CCaptureSession& session = Session();
  const SetupFileInformation& info = session.Manager().GetSetupFileInfo();
  const std::wstring setup = session.Manager().GetSetupFilePath();
  const ProductTexts texts{info.ApplicationName, info.Version, info.CompanyName};
  choices_ = session.BuildCaptureChoices(setup, texts);
  const CaptureChoiceMap& choices = choices_;
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
}

void CCaptureSnapshotDlg::ShowLists(bool shown) {
  for (QWidget* widget : std::initializer_list<QWidget*>{filesLabel_, files_, keysLabel_, keys_}) {
    widget->setVisible(shown);
  }
  statusCaption_->setVisible(!shown);
  statusDetail_->setVisible(!shown);
  bar_->setVisible(!shown);
  layout_->setStretch(trailingStretch_, shown ? 0 : 1);
}

void CCaptureSnapshotDlg::OnSetActive() {
  if (!captureDone_ && !WorkerRunning()) PrepareChoices();
  ShowLists(true);
  caption_->setText(Text(captureDone_ ? 161 : 103));
  advanced_->setEnabled(!captureDone_);
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
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
  const CUIManager& manager = session->Manager();
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
  ShowLists(false);
  RunWorker(session->RootCount(), [session] { return session->CaptureFirstSnapshot(); },
            [this](const COperationResult& result) { OnCaptureEnded(result); });
  return -1;
}

void CCaptureSnapshotDlg::OnCaptureEnded(const COperationResult& result) {
  statusCaption_->clear();
  statusDetail_->clear();
  if (!result.succeeded()) {
    // Nothing of a failed first snapshot is kept: the page is as before, and Next tries again.
    ShowLists(true);
    caption_->setText(Text(103));
    advanced_->setEnabled(true);
    Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
    Message(Text(186) + QStringLiteral("\n") + QString::fromStdString(result.error()), QStringLiteral("Error"),
            QMessageBox::Critical);
    return;
  }
  bar_->hide();
  caption_->setText(Text(160));
  captureDone_ = true;
  Sheet()->SetResumedCapture(false);
  // A moment to read that the snapshot is complete, then the launch page.
  QTimer::singleShot(500, this, [this] {
    Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
    if (Sheet()->ActivePageNumber() == PageNumber()) Sheet()->SetActivePageByPosition(3);
  });
}
