#pragma once
#include <QDialog>
#include <optional>
#include <string>

class CRegistryTreeCtrl;

// The registry key chooser: a registry tree without check marks; OK gives the selected key.
class CDialogRegistry : public QDialog {
  Q_OBJECT

 public:
  CDialogRegistry(const QString& title, const std::wstring& startKey, QWidget* parent = nullptr);

  CRegistryTreeCtrl* Tree() const { return tree_; }
  // The selected key's path without a trailing "\" ("HKEY_LOCAL_MACHINE\SOFTWARE\Vendor"); empty
  // when nothing is selected.
  std::wstring SelectedKey() const;

  // Runs the chooser modally, opened at `startKey` when that key exists. The chosen key, or
  // nothing when the chooser was cancelled (or OK was pressed without a key).
  static std::optional<std::wstring> Choose(QWidget* parent, const QString& title, const std::wstring& startKey);

 private:
  CRegistryTreeCtrl* tree_;
};
