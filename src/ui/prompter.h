#pragma once
#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <functional>

class QDialog;
class QWidget;

// One question or message of the wizard, as a message box shows it.
struct CPrompt {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

// Every modal question the wizard asks goes through here: message boxes, modal dialogs and the
// open-file dialog, and the web pages it opens. A test replaces a hook to see what was asked and to answer it; without hooks
// the real dialogs run.
class CPrompter {
 public:
  std::function<QMessageBox::StandardButton(const CPrompt&)> onMessage;
  // Receives the dialog (its objectName tells which one); returns what exec() would.
  std::function<int(QDialog&)> onDialog;
  // Receives the caption and the filter; returns the chosen path (empty: cancelled).
  std::function<QString(const QString&, const QString&)> onOpenFile;

  // Receives an address the wizard would open in the desktop's browser.
  std::function<void(const QUrl&)> onOpenUrl;

  QMessageBox::StandardButton Message(QWidget* parent, const CPrompt& prompt) const;
  int Dialog(QDialog& dialog) const;
  QString OpenFile(QWidget* parent, const QString& caption, const QString& filter) const;
  // Opens a web page with the desktop's "open" action.
  void OpenUrl(const QUrl& address) const;
};
