#include "ui/existing_snapshot_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/capture_session.h"
#include "ui/application_main.h"

CExistingSnapshotDlg::CExistingSnapshotDlg(CApplicationMain* sheet)
    : CCorvanePropertyPage(CApplicationMain::kExistingSnapshotPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  status_ = new QLabel(Text(183), this);
  status_->setWordWrap(true);
  status_->setStyleSheet(QStringLiteral("color: rgb(0, 0, 200);"));
  layout->addWidget(status_);
  layout->addSpacing(8);
  setup_ = new QLabel(this);
  setup_->setWordWrap(true);
  setup_->setTextFormat(Qt::PlainText);
  layout->addWidget(setup_);
  layout->addSpacing(12);
  auto* buttons = new QHBoxLayout;
  continue_ = new QPushButton(tr("&Continue the capture"), this);
  continue_->setObjectName(QStringLiteral("continue"));
  discard_ = new QPushButton(tr("&Discard the capture"), this);
  discard_->setObjectName(QStringLiteral("discard"));
  for (QPushButton* button : {continue_, discard_}) {
    button->setAutoDefault(false);
    // Room around the text; the style's own padding is tight.
    button->setMinimumWidth(button->sizeHint().width() + button->fontMetrics().averageCharWidth() * 4);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->addStretch(1);
  connect(continue_, &QPushButton::clicked, this, &CExistingSnapshotDlg::Continue);
  connect(discard_, &QPushButton::clicked, this, &CExistingSnapshotDlg::Discard);
}

void CExistingSnapshotDlg::OnSetActive() {
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack);
  const CCaptureSession& manager = Session();
  const SetupFileInformation& info = manager.GetSetupFileInfo();
  QString text = tr("Setup program: %1").arg(QString::fromStdWString(manager.GetSetupFilePath()));
  if (!info.ApplicationName.empty()) {
    text += QStringLiteral("\n") + tr("Product: %1 %2 (%3)")
                                       .arg(QString::fromStdWString(info.ApplicationName),
                                            QString::fromStdWString(info.Version),
                                            QString::fromStdWString(info.CompanyName));
  }
  setup_->setText(text);
}

int CExistingSnapshotDlg::OnWizardBack() { return CApplicationMain::kStartPage; }

int CExistingSnapshotDlg::OnWizardNext() { return CApplicationMain::kMainPage; }

void CExistingSnapshotDlg::Continue() {
  const COperationResult resumed = Session().ResumePendingCapture();
  if (!resumed.succeeded()) {
    // What was left of it is gone: a new capture starts on the main page.
    Message(QString::fromStdString(resumed.error()), QStringLiteral("Warning"), QMessageBox::Warning);
    Sheet()->SetResumedCapture(false);
    Sheet()->SetActivePageByPosition(1);
    return;
  }
  Sheet()->SetResumedCapture(true);
  Sheet()->SetActivePageByPosition(4);
}

void CExistingSnapshotDlg::Discard() {
  Session().DiscardPendingCapture();
  status_->setText(Text(165));
  Sheet()->SetResumedCapture(false);
  Sheet()->SetActivePageByPosition(1);
}
