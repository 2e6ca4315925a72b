#pragma once
#include <QDialog>

class QDialogButtonBox;
class QVBoxLayout;

// A warning as the program's warning dialogs show it: the warning icon beside a wrapped text, what
// the dialog adds below them, then OK and Cancel.
class CWarningDialog : public QDialog {
  Q_OBJECT

 protected:
  CWarningDialog(const QString& objectName, const QString& title, const QString& text, int minimumWidth,
                 QWidget* parent);
  // Puts a widget below the text, above the buttons and before them in the tab order.
  void AddBelowText(QWidget* widget);

 private:
  QVBoxLayout* layout_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};
