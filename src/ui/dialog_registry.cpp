#include "ui/dialog_registry.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/registry_tree_ctrl.h"

CDialogRegistry::CDialogRegistry(const QString& title, const std::wstring& startKey, QWidget* parent)
    : QDialog(parent), tree_(new CRegistryTreeCtrl(this, true)) {
  setObjectName(QStringLiteral("CDialogRegistry"));
  setWindowTitle(title);
  auto* label = new QLabel(tr("&Registry key:"), this);
  label->setBuddy(tree_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(tree_, 1);
  layout->addWidget(buttons);
  // OK means a key: without one selected there is nothing to give back.
  connect(tree_, &CCheckTreeCtrl::CurrentChanged, this, [ok](const QModelIndex& index) { ok->setEnabled(index.isValid()); });
  ok->setEnabled(false);
  if (!startKey.empty()) tree_->ShowPath(QString::fromStdWString(startKey));
  resize(520, 560);
}

std::wstring CDialogRegistry::SelectedKey() const {
  std::wstring path = tree_->CurrentPath().toStdWString();
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::optional<std::wstring> CDialogRegistry::Choose(QWidget* parent, const QString& title, const std::wstring& startKey) {
  CDialogRegistry dialog(title, startKey, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const std::wstring key = dialog.SelectedKey();
  if (key.empty()) return std::nullopt;
  return key;
}
