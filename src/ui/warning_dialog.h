#pragma once
#include <QDialog>

// A warning as the program's warning dialogs show it: the warning icon beside a wrapped text, what
// the dialog adds below them, then OK and Cancel.
class CWarningDialog : public QDialog {
  Q_OBJECT

 protected:
  // `below`: a widget made without a parent, shown between the text and the buttons and before the
  // buttons in the tab order (the dialog takes it over); nullptr for none.
  CWarningDialog(const QString& objectName, const QString& title, const QString& text, int minimumWidth,
                 QWidget* below, QWidget* parent);
};
