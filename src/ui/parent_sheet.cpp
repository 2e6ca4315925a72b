#include "ui/parent_sheet.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/advance_exclude.h"
#include "ui/advance_include.h"
#include "ui/prompter.h"
#include "ui/rule_editor_model.h"

CParentSheet::CParentSheet(CCaptureSession& session, const CaptureChoiceMap& choices, const CPrompter& prompter,
                           QWidget* parent)
    : QDialog(parent), rules_(std::make_unique<CRuleEditorModel>(session)), tabs_(new QTabWidget(this)) {
  setObjectName(QStringLiteral("CParentSheet"));
  setWindowTitle(tr("Advanced: Include and Exclude"));
  if (parent != nullptr) setWindowIcon(parent->window()->windowIcon());
  include_ = new CAdvanceInclude(*rules_, choices, tabs_);
  exclude_ = new CAdvanceExclude(
      *rules_,
      [this, &prompter](const QString& text, const QString& caption) {
        prompter.Message(this, CPrompt{text, caption, QMessageBox::Warning, QMessageBox::Ok});
      },
      tabs_);
  tabs_->addTab(include_, tr("&Include"));
  tabs_->addTab(exclude_, tr("&Exclude"));
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (tabs_->widget(index) == exclude_) excludeShown_ = true;
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  layout->addWidget(buttons);
  resize(860, 600);
}

CParentSheet::~CParentSheet() = default;

CaptureChoiceMap CParentSheet::Choices() const { return include_->Choices(); }

int CParentSheet::Apply() {
  int result = include_->Save();
  if (excludeShown_ && exclude_->Save() != 1) result = 0;
  return result;
}
