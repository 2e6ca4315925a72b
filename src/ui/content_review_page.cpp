#include "ui/content_review_page.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/strings.h"
#include "project/change_types.h"
#include "session/capture_session.h"
#include "ui/application_main.h"
#include "ui/project_tree_ctrl.h"
#include "ui/warning_no_reason_given.h"

namespace {
constexpr int kReasonCharacters = 512;

const wchar_t* RuleListOf(RuleKind kind) {
  return kind == RuleKind::kFiles ? xmlpath::kExcludedFileRules : xmlpath::kExcludedRegistryRules;
}

QString CountText(int count) { return QStringLiteral("%1 Selected Folder(s)").arg(count); }
}  // namespace

CContentReviewPage::CContentReviewPage(int pageNumber, CApplicationMain* sheet, int descriptionText, RuleKind rules)
    : CCorvanePropertyPage(pageNumber, sheet), descriptionText_(descriptionText), kind_(rules) {
  auto* layout = new QVBoxLayout(this);
  description_ = new QLabel(Text(descriptionText_), this);
  description_->setWordWrap(true);
  layout->addWidget(description_);

  auto* grid = new QGridLayout;
  auto* changeLabel = new QLabel(tr("C&hanges in the package:"), this);
  changeView_ = new CProjectTreeCtrl(this);
  changeView_->setObjectName(QStringLiteral("changeView"));
  changeLabel->setBuddy(changeView_);
  auto* exclusionLabel = new QLabel(tr("Ex&cluded changes:"), this);
  exclusionView_ = new CProjectTreeCtrl(this);
  exclusionView_->setObjectName(QStringLiteral("exclusionView"));
  exclusionLabel->setBuddy(exclusionView_);
  changeCount_ = new QLabel(CountText(0), this);
  exclusionCount_ = new QLabel(CountText(0), this);

  exclude_ = new QPushButton(tr("&Exclude >>"), this);
  include_ = new QPushButton(tr("<< &Include again"), this);
  for (QPushButton* button : {exclude_, include_}) button->setAutoDefault(false);
  auto* buttons = new QVBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(exclude_);
  buttons->addWidget(include_);
  buttons->addStretch(1);

  grid->addWidget(changeLabel, 0, 0);
  grid->addWidget(exclusionLabel, 0, 2);
  grid->addWidget(changeView_, 1, 0);
  grid->addLayout(buttons, 1, 1);
  grid->addWidget(exclusionView_, 1, 2);
  grid->addWidget(changeCount_, 2, 0);
  grid->addWidget(exclusionCount_, 2, 2);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(1, 1);
  layout->addLayout(grid, 1);

  auto* reasonRow = new QHBoxLayout;
  auto* reasonLabel = new QLabel(tr("&Reason for the exclusion:"), this);
  reason_ = new QLineEdit(this);
  reason_->setObjectName(QStringLiteral("reason"));
  reason_->setMaxLength(kReasonCharacters);
  reasonLabel->setBuddy(reason_);
  reasonRow->addWidget(reasonLabel);
  reasonRow->addWidget(reason_, 1);
  layout->addLayout(reasonRow);

  // Tab: the changes, the reason, Exclude, the excluded changes, Include again.
  setTabOrder(changeView_, reason_);
  setTabOrder(reason_, exclude_);
  setTabOrder(exclude_, exclusionView_);
  setTabOrder(exclusionView_, include_);

  connect(exclude_, &QPushButton::clicked, this, &CContentReviewPage::Exclude);
  connect(include_, &QPushButton::clicked, this, &CContentReviewPage::IncludeAgain);
  connect(changeView_, &CProjectTreeCtrl::CheckChanged, this, &CContentReviewPage::UpdateCounts);
  connect(exclusionView_, &CProjectTreeCtrl::CheckChanged, this, &CContentReviewPage::UpdateCounts);
  connect(changeView_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item != nullptr) reason_->clear();
  });
  connect(exclusionView_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { ShowReasonOf(item); });
}

void CContentReviewPage::OnSetActive() {
  Sheet()->SetWizardButtons(CResizablePropertySheet::kBack | CResizablePropertySheet::kNext);
  if (created_) return;
  created_ = true;
  // The rules in force, as the rules file holds them; exclusions of this page are added.
  rules_ = Session().GetExcludedItems(RuleListOf(kind_));
  FillViews();
  changeView_->expandAll();
  exclusionView_->expandAll();
  UpdateCounts();
}

bool CContentReviewPage::SaveIfChanged() {
  // The flag is cleared only once both files are written: a move made before going Back and
  // coming here again must still reach the files.
  if (changed_) {
    const bool rewritten = RewriteChangeFile();
    const bool rulesWritten = Session().RegenerateIncludeExcludeFile(true, RuleListOf(kind_)).succeeded();
    if (!rewritten || !rulesWritten) {
      Message(tr("The reviewed changes could not be saved (%1). The details are in the error log.")
                  .arg(!rewritten ? tr("change file") : tr("rules file")),
              QStringLiteral("Error"), QMessageBox::Critical);
      return false;
    }
    changed_ = false;
  }
  return true;
}

bool CContentReviewPage::Covers(const std::wstring& a, const std::wstring& b) {
  if (a.empty() || b.size() < a.size() || b.compare(0, a.size(), a) != 0) return false;
  return b.size() == a.size() || b[a.size()] == L'\\' || a.back() == L'\\';
}

void CContentReviewPage::AddRule(const std::wstring& changePath, const std::wstring& description) {
  const std::wstring name = RuleNameOf(changePath);
  const ExcludedRule rule{name, description};
  const std::wstring key = ToUpperUnicode(name);
  rules_[key] = rule;
  pageRules_[key] = rule;
}

void CContentReviewPage::RemoveRule(const std::wstring& changePath) {
  const std::wstring key = ToUpperUnicode(RuleNameOf(changePath));
  rules_.erase(key);
  pageRules_.erase(key);
}

void CContentReviewPage::Publish() { Session().Rules().SetExcludedRules(kind_, rules_); }

void CContentReviewPage::Exclude() {
  const QStringList ticked = changeView_->CheckedPaths();
  if (ticked.isEmpty()) {
    NothingTicked(true);
    return;
  }
  for (const QString& path : ticked) {
    const std::wstring reason = reason_->text().trimmed().toStdWString();
    if (reason.empty() && CWarningNoReasonGiven::ShouldShow(Session().Context().ConfigFilePath)) {
      CWarningNoReasonGiven warning(Session().Context().ConfigFilePath, this);
      // Cancel leaves this path and the ones after it as they are.
      if (Prompter().Dialog(warning) != QDialog::Accepted) break;
    }
    ExcludePath(path.toStdWString(), changeView_, reason);
  }
  reason_->clear();
  Publish();
  UpdateCounts();
}

void CContentReviewPage::IncludeAgain() {
  const QStringList ticked = exclusionView_->CheckedPaths();
  if (ticked.isEmpty()) {
    NothingTicked(false);
    return;
  }
  for (const QString& path : ticked) IncludePath(path.toStdWString());
  // The rules left are those later captures use.
  Publish();
  UpdateCounts();
}

void CContentReviewPage::ShowReasonOf(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  const std::wstring path = CProjectTreeCtrl::PathOf(item).toStdWString();
  const std::wstring key = ToUpperUnicode(RuleNameOf(path));
  std::wstring reason;
  std::wstring matched;
  if (const auto found = rules_.find(key); found != rules_.end()) {
    reason = found->second.description;
  } else {
    // Set aside by the capture itself, or by a rule that covers more than this item.
    reason = Session().Rules().ExclusionReason(path);
    if (reason.empty() && MatchesExcludedRule(rules_, key, &matched)) reason = rules_[matched].description;
  }
  reason_->setText(QString::fromStdWString(reason));
}

void CContentReviewPage::UpdateCounts() {
  changeCount_->setText(CountText(changeView_->CheckedCount()));
  exclusionCount_->setText(CountText(exclusionView_->CheckedCount()));
}
