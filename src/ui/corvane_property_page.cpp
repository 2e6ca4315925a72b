#include "ui/corvane_property_page.h"

#include <QLabel>

#include "core/message_texts.h"
#include "ui/application_main.h"
#include "ui/progress_worker.h"

namespace {
// Red 230, green 0, blue 0.
const char* const kInvalidStyle = "color: rgb(230, 0, 0);";
}  // namespace

CCorvanePropertyPage::CCorvanePropertyPage(int pageNumber, CApplicationMain* sheet)
    : QWidget(nullptr), pageNumber_(pageNumber), sheet_(sheet) {
  setObjectName(QStringLiteral("page%1").arg(pageNumber));
  setFont(CApplicationMain::UIFont());
}

CCorvanePropertyPage::~CCorvanePropertyPage() = default;

CCaptureSession& CCorvanePropertyPage::Session() const { return sheet_->Session(); }

QString CCorvanePropertyPage::Text(int number) { return QString::fromStdWString(MessageText(number)); }

const CPrompter& CCorvanePropertyPage::Prompter() const { return sheet_->Prompter(); }

QMessageBox::StandardButton CCorvanePropertyPage::Message(const QString& text, const QString& caption,
                                                          QMessageBox::Icon icon,
                                                          QMessageBox::StandardButtons buttons) {
  return Prompter().Message(sheet_, CPrompt{text, caption, icon, buttons});
}

void CCorvanePropertyPage::MarkInvalid(QLabel* label) {
  if (label == nullptr || invalid_.contains(label)) return;
  invalid_.append(label);
  label->setStyleSheet(kInvalidStyle);
}

void CCorvanePropertyPage::ClearInvalid() {
  for (QLabel* label : invalid_) label->setStyleSheet(QString());
  invalid_.clear();
}

void CCorvanePropertyPage::MakeNoteLabel(QLabel* label) { label->setStyleSheet(kInvalidStyle); }

void CCorvanePropertyPage::SetProgressControls(QProgressBar* bar, QLabel* caption, QLabel* detail) {
  delete worker_;
  worker_ = new CProgressWorker(bar, caption, detail, this);
}

bool CCorvanePropertyPage::RunWorker(int itemCount, std::function<COperationResult()> work,
                                     std::function<void(const COperationResult&)> done) {
  if (worker_ == nullptr) SetProgressControls(nullptr, nullptr, nullptr);
  return worker_->Start(itemCount, std::move(work), [this, done = std::move(done)](const COperationResult& result) {
    if (cancelling_) {
      cancelling_ = false;
      sheet_->EndWizard(false);
      return;
    }
    if (done) done(result);
  });
}

bool CCorvanePropertyPage::WorkerRunning() const { return worker_ != nullptr && worker_->IsRunning(); }

void CCorvanePropertyPage::WaitForWorker() {
  if (worker_ != nullptr) worker_->WaitForEnd();
}

bool CCorvanePropertyPage::OnQueryCancel() {
  if (!WorkerRunning()) return true;
  // The engine undoes what the stopped step had half-written; the wizard ends when it has stopped.
  cancelling_ = true;
  worker_->RequestCancel();
  sheet_->SetWizardButtons(0);
  sheet_->EnableCancel(false);
  return false;
}
