#pragma once
#include <QList>

#include "ui/corvane_property_page.h"

class CMSIScreenHandler;
class CPackageBuildPanel;
class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;

// What the two pages that end the wizard share: the list of the package's shortcuts with its
// handler, the build panel (output folder, package name, status line, bar, result box) and the
// page's state: busy from Finish until its work has ended, done afterwards (Finish then only
// closes the wizard).
class CPackagePage : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  // A busy page is left as it is; a done page offers Finish only; otherwise the page fills itself
  // again (Initialize) and offers Back and Finish.
  void OnSetActive() override;
  int OnWizardNext() override { return -1; }

  CMSIScreenHandler& Shortcuts() const { return *handler_; }
  QTreeWidget* ShortcutList() const { return shortcutList_; }
  QLineEdit* FolderField() const;
  QLineEdit* PackageNameField() const;
  QPlainTextEdit* ResultView() const;
  bool Done() const { return done_; }
  // Between Finish and the end of its work.
  bool Busy() const { return busy_; }

  bool EditSelectedShortcut();
  // A folder chosen in the folder browser: a drive root of 3 characters loses its "\".
  void TakeChosenFolder(const QString& folder);

 protected:
  CPackagePage(int pageNumber, CApplicationMain* sheet);

  virtual void Initialize() = 0;
  // The panel, its warnings told in "Warning" message boxes (its widgets are the page's).
  void MakeBuildPanel();
  // The handler of the shortcut list (which the page has made and laid out).
  void MakeShortcutHandler();
  // The page's own fields, disabled while it is busy (besides the panel's).
  void SetFields(QList<QWidget*> fields) { fields_ = std::move(fields); }
  void SetBusy(bool busy);
  // The work has ended: Finish only.
  void MarkDone();

  bool busy_ = false;
  bool done_ = false;
  CMSIScreenHandler* handler_ = nullptr;
  QTreeWidget* shortcutList_ = nullptr;
  CPackageBuildPanel* panel_ = nullptr;

 private:
  QList<QWidget*> fields_;
};
