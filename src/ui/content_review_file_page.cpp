#include "ui/content_review_file_page.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/application_main.h"

CContentReviewFileDlg::CContentReviewFileDlg(CApplicationMain* sheet) : CCorvanePropertyPage(CApplicationMain::kContentReviewFilePage, sheet) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(tr("The review of the captured file changes."), this);
  description_->setWordWrap(true);
  layout->addWidget(description_);
  layout->addStretch(1);
}

void CContentReviewFileDlg::OnSetActive() {
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
}

int CContentReviewFileDlg::OnWizardBack() { return CApplicationMain::kSecondSnapshotPage; }

int CContentReviewFileDlg::OnWizardNext() { return CApplicationMain::kContentReviewRegistryPage; }
