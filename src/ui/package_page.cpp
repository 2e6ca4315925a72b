#include "ui/package_page.h"

#include <QTreeWidget>

#include "session/capture_session.h"
#include "ui/application_main.h"
#include "ui/msi_screen_handler.h"
#include "ui/package_build_panel.h"

CPackagePage::CPackagePage(int pageNumber, CApplicationMain* sheet) : CCorvanePropertyPage(pageNumber, sheet) {}

void CPackagePage::OnSetActive() {
  if (busy_) return;
  if (done_) {
    Sheet()->SetWizardButtons(CResizablePropertySheet::kFinish);
    return;
  }
  Initialize();
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kFinish);
}

QLineEdit* CPackagePage::FolderField() const { return panel_->FolderField(); }
QLineEdit* CPackagePage::PackageNameField() const { return panel_->PackageNameField(); }
QPlainTextEdit* CPackagePage::ResultView() const { return panel_->ResultView(); }

bool CPackagePage::EditSelectedShortcut() { return handler_->EditSelectedShortcut(); }

void CPackagePage::TakeChosenFolder(const QString& folder) { panel_->TakeChosenFolder(folder); }

void CPackagePage::MakeBuildPanel() {
  panel_ = new CPackageBuildPanel(this, Prompter(), [this](const QString& text) {
    Message(text, QStringLiteral("Warning"), QMessageBox::Warning);
  });
}

void CPackagePage::MakeShortcutHandler() {
  handler_ = new CMSIScreenHandler(shortcutList_, Prompter(), this, Sheet()->Logger(), Session().Context().ExtractedIconFolder);
  handler_->InitShortcutList();
}

void CPackagePage::SetBusy(bool busy) {
  busy_ = busy;
  for (QWidget* widget : fields_) widget->setEnabled(!busy);
  panel_->EnableFields(!busy);
  Sheet()->SetWizardButtons(busy ? 0 : CResizablePropertySheet::kBack | CResizablePropertySheet::kFinish);
}

void CPackagePage::MarkDone() {
  busy_ = false;
  done_ = true;
  Sheet()->SetWizardButtons(CResizablePropertySheet::kFinish);
}
