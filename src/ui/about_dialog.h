#pragma once
#include <QDialog>
#include <string>

// The program's About box: name, version, what it does and where its logs are.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(const std::string& programFolder, QWidget* parent = nullptr);
};
