#pragma once
#include <QDialog>

// The program's About box: name, version, what it does and where its logs are.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};
