#include "ui/content_review_registry_page.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/application_main.h"

CContentReviewRegistryDlg::CContentReviewRegistryDlg(CApplicationMain* sheet) : CCorvanePropertyPage(CApplicationMain::kContentReviewRegistryPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(tr("The review of the captured registry changes."), this);
  description_->setWordWrap(true);
  layout->addWidget(description_);
  layout->addStretch(1);
}

void CContentReviewRegistryDlg::OnSetActive() {
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
}

int CContentReviewRegistryDlg::OnWizardBack() { return CApplicationMain::kContentReviewFilePage; }

int CContentReviewRegistryDlg::OnWizardNext() { return CApplicationMain::kCreateProjectPage; }
