#include "ui/create_project_page.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/application_main.h"

CCreateProjectFileMsiDlg::CCreateProjectFileMsiDlg(CApplicationMain* sheet) : CCorvanePropertyPage(CApplicationMain::kCreateProjectPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(tr("Writing the project file and building the package."), this);
  description_->setWordWrap(true);
  layout->addWidget(description_);
  layout->addStretch(1);
}

void CCreateProjectFileMsiDlg::OnSetActive() {
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kDisabledFinish);
}

int CCreateProjectFileMsiDlg::OnWizardBack() { return CApplicationMain::kContentReviewRegistryPage; }

int CCreateProjectFileMsiDlg::OnWizardNext() { return -1; }
