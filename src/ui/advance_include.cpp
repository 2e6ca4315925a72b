#include "ui/advance_include.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <set>

#include "core/message_texts.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "ui/folder_list.h"
#include "ui/folder_tree_ctrl.h"
#include "ui/registry_list.h"
#include "ui/registry_tree_ctrl.h"
#include "ui/rule_editor_model.h"

namespace {

// The collected paths without their trailing "\", each once (without regard to case), plus the
// roots the tree could not show.
std::vector<std::wstring> Roots(const QStringList& collected, const QStringList& unplaced) {
  std::vector<std::wstring> out;
  std::set<std::wstring> seen;
  auto add = [&](std::wstring path) {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    if (!path.empty() && seen.insert(ToUpperUnicode(path)).second) out.push_back(path);
  };
  for (const QString& path : collected) add(path.toStdWString());
  for (const QString& path : unplaced) add(path.toStdWString());
  return out;
}

}  // namespace

CAdvanceInclude::CAdvanceInclude(CRuleEditorModel& rules, const CaptureChoiceMap& choices, QWidget* parent)
    : CAdvancePages(QString::fromStdWString(MessageText(109)), parent), rules_(rules), start_(choices) {
  setObjectName(QStringLiteral("CAdvanceInclude"));
  saveButton_ = new QPushButton(tr("&Save as Default"), this);
  saveButton_->setToolTip(tr("Make these folders and keys what every capture covers from now on"));
  saveButton_->setAutoDefault(false);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(saveButton_);
  Bottom()->addLayout(row);
  connect(saveButton_, &QPushButton::clicked, this, &CAdvanceInclude::SaveAsDefault);

  // The included lists are read so the rule file's own lists are the ones a later rewrite starts from.
  rules_.Included(RuleKind::kFiles);
  rules_.Included(RuleKind::kRegistry);
  const auto select = [&](const wchar_t* list, CCheckTreeCtrl* tree, QStringList& unplaced) {
    const auto found = start_.find(list);
    if (found == start_.end()) return;
    for (const std::wstring& root : found->second) {
      const QString path = QString::fromStdWString(root);
      if (!tree->SelectByPath(path)) unplaced.push_back(path);
    }
  };
  select(L"File", FolderTree(), unplacedFolders_);
  select(L"Registry", RegistryTree(), unplacedKeys_);
  FolderTree()->setCurrentIndex(FolderTree()->Model().index(0, 0));
  RegistryTree()->setCurrentIndex(RegistryTree()->Model().index(0, 0));
}

CaptureChoiceMap CAdvanceInclude::Choices() const {
  CaptureChoiceMap choices = start_;
  choices[L"File"] = Roots(CFolderList(*FolderTree()).Paths(), unplacedFolders_);
  choices[L"Registry"] = Roots(CRegistryList(*RegistryTree()).Paths(), unplacedKeys_);
  return choices;
}

int CAdvanceInclude::Save() {
  if (!saveAsDefault_) return 1;
  const CaptureChoiceMap choices = Choices();
  std::vector<std::wstring> folders;
  for (std::wstring folder : choices.at(L"File")) {
    ToTokenForm(folder);
    folders.push_back(folder);
  }
  const int files = rules_.SaveIncluded(RuleKind::kFiles, folders);
  const int keys = rules_.SaveIncluded(RuleKind::kRegistry, choices.at(L"Registry"));
  return files == 1 && keys == 1 ? 1 : 0;
}

void CAdvanceInclude::SaveAsDefault() {
  saveButton_->setEnabled(false);
  saveAsDefault_ = true;
  Save();
}
