#pragma once
#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <string>

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
  // Receives the title; returns the chosen folder as a Windows path (empty: cancelled).
  std::function<QString(const QString&)> onChooseFolder;
  // Receives the title and the key shown first; returns the chosen key path (nullopt: cancelled).
  std::function<std::optional<std::wstring>(const QString&, const std::wstring&)> onChooseRegistryKey;

  QMessageBox::StandardButton Message(QWidget* parent, const CPrompt& prompt) const;
  int Dialog(QDialog& dialog) const;
  QString OpenFile(QWidget* parent, const QString& caption, const QString& filter) const;
  // Opens a web page with the desktop's "open" action.
  void OpenUrl(const QUrl& address) const;
  // A folder of the machine, chosen in the folder browser (file-system folders only); its Windows
  // path, or empty when cancelled.
  QString ChooseFolder(QWidget* parent, const QString& title) const;
  // A registry key of the machine ("HKEY_LOCAL_MACHINE\SOFTWARE\..."), chosen in the registry key
  // chooser opened at `currentKey`; nullopt when cancelled.
  std::optional<std::wstring> ChooseRegistryKey(QWidget* parent, const QString& title,
                                                const std::wstring& currentKey) const;
};
