#include "ui/prompter.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>

#include "session/machine_path.h"
#include "ui/dialog_registry.h"

QMessageBox::StandardButton CPrompter::Message(QWidget* parent, const CPrompt& prompt) const {
  if (onMessage) return onMessage(prompt);
  QMessageBox box(prompt.icon, prompt.caption, prompt.text, prompt.buttons, parent);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

int CPrompter::Dialog(QDialog& dialog) const {
  if (onDialog) return onDialog(dialog);
  return dialog.exec();
}

QString CPrompter::OpenFile(QWidget* parent, const QString& caption, const QString& filter) const {
  if (onOpenFile) return onOpenFile(caption, filter);
  return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

void CPrompter::OpenUrl(const QUrl& address) const {
  if (onOpenUrl) {
    onOpenUrl(address);
    return;
  }
  QDesktopServices::openUrl(address);
}

QString CPrompter::ChooseFolder(QWidget* parent, const QString& title) const {
  if (onChooseFolder) return onChooseFolder(title);
  const QString chosen = QFileDialog::getExistingDirectory(parent, title);
  if (chosen.isEmpty()) return QString();
  return QString::fromStdWString(ToMachinePath(chosen.toStdString()));
}

std::optional<std::wstring> CPrompter::ChooseRegistryKey(QWidget* parent, const QString& title,
                                                        const std::wstring& currentKey) const {
  if (onChooseRegistryKey) return onChooseRegistryKey(title, currentKey);
  return CDialogRegistry::Choose(parent, title, currentKey);
}
