#include "ui/prompter.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>

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
