#include "ui/build_msi_page.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/application_main.h"

CBuildMSIDlg::CBuildMSIDlg(CApplicationMain* sheet) : CCorvanePropertyPage(CApplicationMain::kBuildMSIPage, sheet) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(Text(181), this);
  description_->setWordWrap(true);
  description_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(description_);
  layout->addStretch(1);
}

// Nothing leads on from here yet: Back only.
void CBuildMSIDlg::OnSetActive() { Sheet()->SetWizardButtons(CResizablePropertySheet::kBack); }

int CBuildMSIDlg::OnWizardBack() { return CApplicationMain::kShowProjectPage; }

int CBuildMSIDlg::OnWizardNext() { return -1; }
