#pragma once
#include <QString>
#include <map>
#include <string>

#include "core/operation_result.h"
#include "project/change_types.h"
#include "ui/corvane_property_page.h"

class CMSIScreenHandler;
class CPackageBuildPanel;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

// The build of a package from a saved project: the project's shortcuts with their icons (the
// icons the project holds are extracted into the icon folder), changed or removed here, where the
// package goes and its name; Finish checks the fields, writes the shortcuts into the project file
// and builds the package on a worker thread, with its progress (Cancel stops it). What came of it
// is shown on the page: the package's path, or the errors.
class CBuildMSIDlg : public CCorvanePropertyPage {
  Q_OBJECT

 public:
  explicit CBuildMSIDlg(CApplicationMain* sheet);

  void OnSetActive() override;
  int OnWizardBack() override;
  int OnWizardNext() override { return -1; }
  bool OnWizardFinish() override;

  CMSIScreenHandler& Shortcuts() const { return *handler_; }
  QTreeWidget* ShortcutList() const { return shortcutList_; }
  QLineEdit* FolderField() const;
  QLineEdit* PackageNameField() const;
  QPlainTextEdit* ResultView() const;
  QPushButton* EditButton() const { return edit_; }
  QPushButton* RemoveButton() const { return remove_; }
  // The shortcuts the project keeps as they are (those made from a setup's links).
  const ::ShortcutList& KeptShortcuts() const { return kept_; }
  bool Done() const { return done_; }
  bool Busy() const { return busy_; }

  // The buttons' work, for the buttons and for tests.
  bool EditSelectedShortcut();
  void RemoveSelectedShortcut();
  // A folder chosen in the folder browser: a drive root of 3 characters loses its "\".
  void TakeChosenFolder(const QString& folder);
  // The checks of the fields, in order (the first failure is told and its field reset). True when
  // all pass; an existing folder is then shown in its normalised form.
  bool Validate();

 private:
  void Initialize();
  void ExtractIcons(const IconMap& icons);
  void SetBusy(bool busy);
  void OnBuilt(const COperationResult& result);

  bool busy_ = false;
  bool done_ = false;
  // Target file name -> its full path (token form), as the project's shortcuts name it.
  std::map<std::wstring, std::wstring> targetPaths_;
  ::ShortcutList kept_;
  CMSIScreenHandler* handler_ = nullptr;
  QLabel* description_ = nullptr;
  QTreeWidget* shortcutList_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* remove_ = nullptr;
  CPackageBuildPanel* panel_ = nullptr;
};
