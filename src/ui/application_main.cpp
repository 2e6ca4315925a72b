#include "ui/application_main.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/capture_session.h"
#include "ui/about_dialog.h"
#include "ui/banner_strip.h"
#include "ui/build_msi_page.h"
#include "ui/capture_snapshot_page.h"
#include "ui/content_review_file_page.h"
#include "ui/content_review_registry_page.h"
#include "ui/corvane_property_page.h"
#include "ui/create_project_page.h"
#include "ui/existing_snapshot_page.h"
#include "ui/launch_setup_page.h"
#include "ui/main_page.h"
#include "ui/second_snapshot_page.h"
#include "ui/show_project_page.h"
#include "ui/start_page.h"

CApplicationMain::CApplicationMain(CCaptureSession& session, CLogger* logger, QWidget* parent)
    : CResizablePropertySheet(QStringLiteral("Corvane Repackager Main"), parent), session_(session), logger_(logger) {
  setObjectName(QStringLiteral("CApplicationMain"));
  setWindowIcon(CBannerStrip::ProgramIcon());
  HeaderLayout()->addWidget(new CBannerStrip(this));
  auto* about = new QPushButton(tr("&About..."), this);
  about->setAutoDefault(false);
  ExtraButtonLayout()->addWidget(about);
  connect(about, &QPushButton::clicked, this, &CApplicationMain::ShowAbout);

  AddPage(new CCorvaneRepackagerStartDlg(this));
  AddPage(new CCorvaneRepackagerDlg(this));
  AddPage(new CCaptureSnapshotDlg(this));
  AddPage(new CLaunchSetupDlg(this));
  AddPage(new CSecondSnapshotDlg(this));
  AddPage(new CContentReviewFileDlg(this));
  AddPage(new CContentReviewRegistryDlg(this));
  AddPage(new CCreateProjectFileMsiDlg(this));
  AddPage(new CShowProjectFileDlg(this));
  AddPage(new CBuildMSIDlg(this));
  AddPage(new CExistingSnapshotDlg(this));
  resize(760, 560);
  SetActivePage(kStartPage);
}

CApplicationMain::~CApplicationMain() {
  // No worker may outlive the pages it reports to.
  for (const auto& [number, index] : indexOfPage_) Page(number)->WaitForWorker();
}

QFont CApplicationMain::UIFont() {
  QFont font(QStringLiteral("Verdana"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(9.0);
  return font;
}

void CApplicationMain::AddPage(CCorvanePropertyPage* page) {
  // The sheet gives the margins, so that every page lines up with the buttons below it.
  if (page->layout() != nullptr) page->layout()->setContentsMargins(0, 0, 0, 0);
  indexOfPage_[page->PageNumber()] = AddPageWidget(page);
}

bool CApplicationMain::SetActivePage(int number) {
  const auto found = indexOfPage_.find(number);
  if (found == indexOfPage_.end()) return false;
  ShowPageAt(found->second);
  Page(number)->OnSetActive();
  return true;
}

bool CApplicationMain::SetActivePageByPosition(int position) {
  if (position < 0 || position >= static_cast<int>(kPageOrder.size())) return false;
  return SetActivePage(kPageOrder[static_cast<size_t>(position)]);
}

int CApplicationMain::ActivePageNumber() const {
  const int index = CurrentIndex();
  for (const auto& [number, at] : indexOfPage_) {
    if (at == index) return number;
  }
  return -1;
}

CCorvanePropertyPage* CApplicationMain::Page(int number) const {
  const auto found = indexOfPage_.find(number);
  if (found == indexOfPage_.end()) return nullptr;
  return static_cast<CCorvanePropertyPage*>(PageWidgetAt(found->second));
}

void CApplicationMain::OnBack() {
  CCorvanePropertyPage* page = ActivePage();
  if (page == nullptr) return;
  const int next = page->OnWizardBack();
  if (next != -1) SetActivePage(next);
}

void CApplicationMain::OnNext() {
  CCorvanePropertyPage* page = ActivePage();
  if (page == nullptr) return;
  const int next = page->OnWizardNext();
  if (next != -1) SetActivePage(next);
}

void CApplicationMain::OnFinish() {
  CCorvanePropertyPage* page = ActivePage();
  if (page != nullptr && page->OnWizardFinish()) EndWizard(true);
}

void CApplicationMain::OnCancel() {
  CCorvanePropertyPage* page = ActivePage();
  if (page == nullptr || page->OnQueryCancel()) EndWizard(false);
}

void CApplicationMain::EndWizard(bool finished) { EndSheet(finished ? QDialog::Accepted : QDialog::Rejected); }

void CApplicationMain::ShowAbout() {
  CAboutDlg about(Session().Context().ProgramFolder, this);
  prompter_.Dialog(about);
}
