#pragma once
#include <QString>
#include <map>
#include <string>

#include "core/operation_result.h"
#include "project/change_types.h"
#include "ui/package_page.h"

class QLabel;
class QPushButton;

// The build of a package from a saved project: the project's shortcuts with their icons (the
// icons the project holds are extracted into the icon folder), changed or removed here, where the
// package goes and its name; Finish checks the fields, writes the shortcuts into the project file
// and builds the package on a worker thread, with its progress (Cancel stops it). What came of it
// is shown on the page: the package's path, or the errors.
class CBuildMSIDlg : public CPackagePage {
  Q_OBJECT

 public:
  explicit CBuildMSIDlg(CApplicationMain* sheet);

  int OnWizardBack() override;
  bool OnWizardFinish() override;

  QPushButton* EditButton() const { return edit_; }
  QPushButton* RemoveButton() const { return remove_; }
  // The shortcuts the project keeps as they are (those made from a setup's links).
  const ::ShortcutList& KeptShortcuts() const { return kept_; }

  // The button's work, for the button and for tests.
  void RemoveSelectedShortcut();
  // The checks of the fields, in order (the first failure is told and its field reset). True when
  // all pass; an existing folder is then shown in its normalised form.
  bool Validate();

 private:
  void Initialize() override;
  void ExtractIcons(const IconMap& icons);
  void OnBuilt(const COperationResult& result);

  // Target file name -> its full path (token form), as the project's shortcuts name it.
  std::map<std::wstring, std::wstring> targetPaths_;
  ::ShortcutList kept_;
  QLabel* description_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* remove_ = nullptr;
};
