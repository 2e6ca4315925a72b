#include "ui/advance_exclude.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/message_texts.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "ui/folder_list.h"
#include "ui/folder_tree_ctrl.h"
#include "ui/registry_list.h"
#include "ui/registry_tree_ctrl.h"
#include "ui/rule_editor_model.h"

namespace {

// A tree path as the rules name it: without its trailing "\", folders in token form.
std::wstring RuleName(RuleKind kind, const QString& treePath) {
  std::wstring path = treePath.toStdWString();
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  if (kind == RuleKind::kFiles) ToTokenForm(path);
  return path;
}

// A rule name as the folder or key it stands for, upper-cased: Windows paths ignore letter case,
// and the tree may show C:\Windows where the rule says C:\WINDOWS or %WINDIR% (whose value may
// itself be written in another case than the folder).
std::wstring ComparableName(const std::wstring& name) {
  std::wstring path = name;
  FromTokenForm(path);
  return ToUpperUnicode(path);
}

// The rule of a map that names this path (token form or not): by its key, else by the folder or
// key both stand for.
template <typename Map>
auto FindRule(Map& rules, const std::wstring& name) {
  auto rule = rules.find(ToUpperUnicode(name));
  if (rule != rules.end()) return rule;
  const std::wstring comparable = ComparableName(name);
  for (rule = rules.begin(); rule != rules.end(); ++rule) {
    if (ComparableName(rule->second.name) == comparable) break;
  }
  return rule;
}

// True when `path` is `folder` or lies below it (both comparable names).
bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder) {
  if (folder.empty()) return true;
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == L'\\' || folder.back() == L'\\');
}

QString KindName(RuleKind kind, bool checked) {
  const QString name = kind == RuleKind::kFiles ? QStringLiteral("File") : QStringLiteral("Registry");
  return checked ? name : name + QStringLiteral("NotChecked");
}

}  // namespace

CAdvanceExclude::CAdvanceExclude(CRuleEditorModel& rules, std::function<void(const QString&, const QString&)> message,
                                 QWidget* parent)
    : CAdvancePages(tr("Tick the folders and registry keys whose changes are not part of an application, and "
                       "describe why each is set aside."),
                    parent),
      rules_(rules), message_(std::move(message)), path_(new QLineEdit(this)), description_(new QLineEdit(this)),
      describe_(new QPushButton(tr("&Describe"), this)) {
  setObjectName(QStringLiteral("CAdvanceExclude"));
  auto* grid = new QGridLayout;
  auto* pathLabel = new QLabel(tr("&Path:"), this);
  pathLabel->setBuddy(path_);
  auto* descriptionLabel = new QLabel(tr("De&scription:"), this);
  descriptionLabel->setBuddy(description_);
  describe_->setAutoDefault(false);
  grid->addWidget(pathLabel, 0, 0);
  grid->addWidget(path_, 0, 1, 1, 2);
  grid->addWidget(descriptionLabel, 1, 0);
  grid->addWidget(description_, 1, 1);
  grid->addWidget(describe_, 1, 2);
  grid->setColumnStretch(1, 1);
  Bottom()->addLayout(grid);
  setTabOrder(RegistryTree(), path_);
  setTabOrder(path_, description_);
  setTabOrder(description_, describe_);
  connect(describe_, &QPushButton::clicked, this, &CAdvanceExclude::Describe);
  // Enter in the description describes (and does not press the sheet's OK).
  description_->installEventFilter(this);

  for (RuleKind kind : {RuleKind::kFiles, RuleKind::kRegistry}) {
    ExcludedRuleMap& read = kind == RuleKind::kFiles ? readFiles_ : readKeys_;
    ExcludedRuleMap& own = kind == RuleKind::kFiles ? fileRules_ : keyRules_;
    ExcludedRuleMap& unplaced = kind == RuleKind::kFiles ? unplacedFiles_ : unplacedKeys_;
    read = rules_.Excluded(kind);
    for (const auto& [upper, rule] : read) {
      std::wstring path = rule.name;
      FromTokenForm(path);
      if (!Tree(kind)->SelectByPath(QString::fromStdWString(path))) unplaced[upper] = rule;
      own[upper] = rule;
    }
    CCheckTreeCtrl* tree = Tree(kind);
    connect(tree, &CCheckTreeCtrl::CurrentChanged, this,
            [this, kind](const QModelIndex& index) { ShowSelection(kind, index); });
    connect(tree, &CCheckTreeCtrl::CheckChanged, this, [this, kind, tree] {
      if (tree->hasFocus()) ShowSelection(kind, tree->currentIndex());
    });
  }
  FolderTree()->setCurrentIndex(FolderTree()->Model().index(0, 0));
  RegistryTree()->setCurrentIndex(RegistryTree()->Model().index(0, 0));
  path_->clear();
  description_->clear();
}

bool CAdvanceExclude::eventFilter(QObject* watched, QEvent* event) {
  if (watched == description_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      Describe();
      return true;
    }
  }
  return CAdvancePages::eventFilter(watched, event);
}

CCheckTreeCtrl* CAdvanceExclude::Tree(RuleKind kind) const {
  return kind == RuleKind::kFiles ? static_cast<CCheckTreeCtrl*>(FolderTree())
                                  : static_cast<CCheckTreeCtrl*>(RegistryTree());
}

void CAdvanceExclude::ShowSelection(RuleKind kind, const QModelIndex& index) {
  if (!index.isValid()) return;
  const CCheckTreeModel& model = Tree(kind)->Model();
  const ExcludedRuleMap& own = Rules(kind);
  for (QModelIndex item = index; item.isValid() && model.IsChecked(item); item = item.parent()) {
    const std::wstring name = RuleName(kind, model.FullPath(item));
    const auto rule = FindRule(own, name);
    if (rule != own.end()) {
      path_->setText(KindName(kind, true) + QLatin1Char('\\') + QString::fromStdWString(name));
      description_->setText(QString::fromStdWString(rule->second.description));
      return;
    }
  }
  // No rule at or above a checked item names the item itself, so that describing it never
  // reaches further than what was selected.
  path_->setText(KindName(kind, model.IsChecked(index)) + QLatin1Char('\\') +
                 QString::fromStdWString(RuleName(kind, model.FullPath(index))));
  description_->clear();
}

void CAdvanceExclude::Describe() {
  const QString field = path_->text();
  const qsizetype slash = field.indexOf(QLatin1Char('\\'));
  const QString kindText = slash < 0 ? field : field.left(slash);
  const std::wstring path = slash < 0 ? std::wstring() : field.mid(slash + 1).toStdWString();
  const std::wstring description = description_->text().trimmed().toStdWString();
  if (description.empty()) {
    message_(QString::fromStdWString(MessageText(114)), QStringLiteral("Warning"));
    return;
  }
  RuleKind kind = RuleKind::kFiles;
  bool notChecked = false;
  if (kindText == QLatin1String("FileNotChecked") || kindText == QLatin1String("File")) {
    kind = RuleKind::kFiles;
    notChecked = kindText.endsWith(QLatin1String("NotChecked"));
  } else if (kindText == QLatin1String("RegistryNotChecked") || kindText == QLatin1String("Registry")) {
    kind = RuleKind::kRegistry;
    notChecked = kindText.endsWith(QLatin1String("NotChecked"));
  } else {
    message_(QString::fromStdWString(MessageText(115)), QStringLiteral("Error"));
    path_->clear();
    description_->clear();
    return;
  }
  if (path.empty()) {
    message_(QString::fromStdWString(MessageText(115)), QStringLiteral("Error"));
    return;
  }
  ExcludedRuleMap& own = kind == RuleKind::kFiles ? fileRules_ : keyRules_;
  ExcludedRuleMap& unplaced = kind == RuleKind::kFiles ? unplacedFiles_ : unplacedKeys_;
  const std::wstring upper = ToUpperUnicode(path);
  std::wstring expanded = path;
  FromTokenForm(expanded);
  bool placed = true;
  if (notChecked) placed = Tree(kind)->SelectByPath(QString::fromStdWString(expanded));
  const auto existing = FindRule(own, path);
  if (existing != own.end()) {
    existing->second.description = description;
    if (!placed || unplaced.count(existing->first) != 0) unplaced[existing->first] = existing->second;
  } else {
    own[upper] = ExcludedRule{path, description};
    // A typed path the tree does not show (a fragment) is kept as written.
    if (!notChecked) placed = Tree(kind)->Model().Find(QString::fromStdWString(expanded)).isValid();
    if (!placed) unplaced[upper] = own[upper];
  }
  path_->clear();
  description_->clear();
}

ExcludedRuleMap CAdvanceExclude::Collected(RuleKind kind) const {
  const QStringList paths =
      kind == RuleKind::kFiles ? CFolderList(*FolderTree()).Paths() : CRegistryList(*RegistryTree()).Paths();
  const ExcludedRuleMap& own = Rules(kind);
  const ExcludedRuleMap& read = kind == RuleKind::kFiles ? readFiles_ : readKeys_;
  const ExcludedRuleMap& unplaced = kind == RuleKind::kFiles ? unplacedFiles_ : unplacedKeys_;
  ExcludedRuleMap out;
  std::vector<std::wstring> folders;
  for (const QString& treePath : paths) {
    const std::wstring name = RuleName(kind, treePath);
    folders.push_back(ComparableName(name));
    // An existing rule keeps its key and its name as written.
    const auto rule = FindRule(own, name);
    if (rule != own.end()) out[rule->first] = rule->second;
    else out[ToUpperUnicode(name)] = ExcludedRule{name, std::wstring()};
  }
  // The rules below a checked item go on as they were (not those of a sibling whose name merely
  // begins the same, C:\Data\CacheOld beside a checked C:\Data\Cache: it may have been unchecked).
  for (const auto& [upper, rule] : read) {
    const std::wstring comparable = ComparableName(rule.name);
    for (const std::wstring& folder : folders) {
      if (IsAtOrBelow(comparable, folder)) {
        out.emplace(upper, rule);
        break;
      }
    }
  }
  for (const auto& [upper, rule] : unplaced) out.emplace(upper, rule);
  return out;
}

int CAdvanceExclude::Save() {
  const int files = rules_.SaveExcluded(RuleKind::kFiles, Collected(RuleKind::kFiles));
  const int keys = rules_.SaveExcluded(RuleKind::kRegistry, Collected(RuleKind::kRegistry));
  return files == 1 && keys == 1 ? 1 : 0;
}
