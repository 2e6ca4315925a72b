#pragma once
#include <QObject>
#include <QString>
#include <map>
#include <string>

#include "project/change_types.h"
#include "ui/shortcut_info.h"

class CLogger;
class CPrompter;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// The shortcuts of a build page: one ShortcutInfo per target program (keyed by the target's file
// name, e.g. app.exe), shown in a list with their icons, edited with CShortcutDlg, and turned into
// the shortcut records and the icon catalog the project file stores.
class CMSIScreenHandler : public QObject {
  Q_OBJECT

 public:
  using ShortcutMap = std::map<std::wstring, ShortcutInfo>;

  CMSIScreenHandler(QTreeWidget* list, const CPrompter& prompter, QWidget* dialogParent, CLogger* logger,
                    std::string extractedIconFolder);

  // The list's two columns ("Shortcut Name", "Exe name") and its 16 x 16 icons.
  void InitShortcutList();
  // Stores the info under the target and shows (or refreshes) its row.
  void AddShortcutToList(const ShortcutInfo& info, const std::wstring& targetFileName);
  // Opens CShortcutDlg on the stored info; OK stores the result and refreshes the row. False when
  // there is no such shortcut or the dialog was cancelled.
  bool EditShortcut(const std::wstring& targetFileName);
  // Forgets the shortcut of a target and its row.
  void RemoveShortcut(const std::wstring& targetFileName);
  // Adds a target to the catalog entry of an .ico file (keyed by the file's name), reading and
  // encoding the file when it is new to the catalog. False when the file cannot be read (nothing
  // is added).
  bool AddIconToCatalog(const std::wstring& iconPath, const std::wstring& targetFileName);
  // Turns the shortcut map into the records (one per chosen place: desktop, program menu, quick
  // launch) and the icon catalog. `targetPaths` gives a target's full path where it is known
  // (target file name -> token-form path). Icon files that cannot be read are named in `unread`.
  bool BuildShortcutRecords(const std::map<std::wstring, std::wstring>& targetPaths = {},
                            std::vector<std::wstring>* unread = nullptr);

  const ShortcutMap& Shortcuts() const { return shortcuts_; }
  const ShortcutList& ShortcutRecords() const { return records_; }
  const IconMap& IconCatalog() const { return catalog_; }
  void ClearIconCatalog() { catalog_.clear(); }
  // The target file name of the row selected in the list (empty when none).
  std::wstring SelectedTarget() const;
  // Edits the selected row's shortcut; false when none is selected or the dialog was cancelled.
  bool EditSelectedShortcut();
  // Shows a shortcut kept whole (one made from a setup's link) as a row that carries its index
  // in the page's list of kept shortcuts.
  void AddKeptRow(const ShortcutRecord& record, int index);
  // Removes the selected row: a kept shortcut is emptied in `kept` (later rows keep their
  // indexes), any other is forgotten.
  void RemoveSelectedShortcut(ShortcutList& kept);

  // What the build pages share besides the list.
  // The checks of the output folder and of the package name, in order: the number of the text
  // that tells the first failure, or 0 when all pass (the name compared in lower case).
  static int CheckOutputFolder(const QString& folder);
  static int CheckPackageName(const QString& name);
  // A folder as it is shown after the checks: forward slashes turned, doubled and trailing
  // backslashes dropped (a UNC path keeps its leading pair).
  static QString NormalisedFolder(QString folder);
  // A folder chosen in the folder browser: a drive root of 3 characters loses its "\".
  static QString ChosenFolderText(const QString& folder);
  // Makes `outputFolder`\Packages with every level below the drive (logging `failureFormat`, with
  // the folder and the status, at level 1 when it cannot be made); its path.
  static std::string EnsurePackagesFolder(const std::string& outputFolder, CLogger* logger, const char* failureFormat);

 private:
  QTreeWidgetItem* RowOf(const std::wstring& targetFileName) const;
  void ShowRow(QTreeWidgetItem* row, const ShortcutInfo& info, const std::wstring& targetFileName);

  QTreeWidget* list_;
  const CPrompter& prompter_;
  QWidget* dialogParent_;
  CLogger* logger_;
  std::string extractedIconFolder_;  // where the icons of the shortcuts are extracted
  ShortcutMap shortcuts_;
  ShortcutList records_;
  IconMap catalog_;
};
