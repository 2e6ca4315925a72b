#pragma once
#include <QDialog>
#include <QWidget>

#include "ui/shortcut_info.h"

class CPrompter;
class QCheckBox;
class QLineEdit;
class QListWidget;

// The preview of a shortcut's icon: the icon drawn at 32 x 32, centred.
class CIconPreview : public QWidget {
  Q_OBJECT

 public:
  explicit CIconPreview(QWidget* parent = nullptr);
  void SetImage(const QImage& image);
  const QImage& Image() const { return image_; }
  QSize sizeHint() const override { return QSize(72, 72); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};

// Edits one shortcut: its name, its icon (from a program file or an .ico file) and the places
// where it is created. Opened for a new shortcut (a name and an icon source proposed: desktop and
// program menu ticked) or on an existing one; on OK the fields go into Info().
class CShortcutDlg : public QDialog {
  Q_OBJECT

 public:
  // A new shortcut.
  CShortcutDlg(const std::wstring& name, const std::wstring& iconSource, const CPrompter& prompter,
               QWidget* parent = nullptr);
  // An existing one.
  CShortcutDlg(const ShortcutInfo& info, const CPrompter& prompter, QWidget* parent = nullptr);

  const ShortcutInfo& Info() const { return info_; }

  QLineEdit* IconSourceField() const { return iconSource_; }
  QLineEdit* NameField() const { return name_; }
  QListWidget* IconList() const { return icons_; }
  QCheckBox* DesktopBox() const { return desktop_; }
  QCheckBox* ProgramMenuBox() const { return programMenu_; }
  QCheckBox* QuickLaunchBox() const { return quickLaunch_; }
  CIconPreview* Preview() const { return preview_; }

  // Takes a chosen icon file (the browse button's work).
  void TakeIconSource(const QString& path);
  void accept() override;

 private:
  void Build();
  void Show(const ShortcutInfo& info);
  // Fills the icon list from the icon source and selects `index` (when it exists).
  void FillIcons(int index);
  void Browse();

  const CPrompter& prompter_;
  ShortcutInfo info_;
  QLineEdit* iconSource_ = nullptr;
  QLineEdit* name_ = nullptr;
  QListWidget* icons_ = nullptr;
  QCheckBox* desktop_ = nullptr;
  QCheckBox* programMenu_ = nullptr;
  QCheckBox* quickLaunch_ = nullptr;
  CIconPreview* preview_ = nullptr;
};
