#include "ui/show_project_page.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/application_main.h"

CShowProjectFileDlg::CShowProjectFileDlg(CApplicationMain* sheet) : CCorvanePropertyPage(CApplicationMain::kShowProjectPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(Text(181), this);
  description_->setWordWrap(true);
  description_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(description_);
  layout->addStretch(1);
}

// Nothing leads on from here yet: Back only.
void CShowProjectFileDlg::OnSetActive() { Sheet()->SetWizardButtons(CResizablePropertySheet::kBack); }

int CShowProjectFileDlg::OnWizardBack() { return CApplicationMain::kMainPage; }

int CShowProjectFileDlg::OnWizardNext() { return -1; }
