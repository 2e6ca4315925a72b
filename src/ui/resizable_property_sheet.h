#pragma once
#include <QDialog>

class QFrame;
class QHBoxLayout;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

// A resizable wizard window: a header area, a stack of pages, and Back, Next, Finish and Cancel
// along the bottom right (they keep their place when the window grows). Enter presses Next (or
// Finish when that is shown), Escape is Cancel. What the buttons do is the subclass's.
class CResizablePropertySheet : public QDialog {
  Q_OBJECT

 public:
  // The flags of SetWizardButtons: Back enabled; Next shown and enabled; Finish shown (instead of
  // Next) and enabled; Finish shown but disabled. Without Next or Finish, Next is shown disabled.
  enum WizardButton { kBack = 0x1, kNext = 0x2, kFinish = 0x4, kDisabledFinish = 0x8 };

  explicit CResizablePropertySheet(const QString& caption, QWidget* parent = nullptr);

  void SetWizardButtons(int flags);
  int WizardButtons() const { return buttonFlags_; }
  // Cancel is refused (disabled) while nothing can be cancelled safely.
  void EnableCancel(bool enabled);

  QPushButton* BackButton() const { return back_; }
  QPushButton* NextButton() const { return next_; }
  QPushButton* FinishButton() const { return finish_; }
  QPushButton* CancelButton() const { return cancel_; }

 protected:
  // The area above the pages (the banner goes there).
  QVBoxLayout* HeaderLayout() const { return header_; }
  // The area left of the navigation buttons (e.g. an About button).
  QHBoxLayout* ExtraButtonLayout() const { return extraButtons_; }
  int AddPageWidget(QWidget* page);
  void ShowPageAt(int index);
  int CurrentIndex() const;
  QWidget* PageWidgetAt(int index) const;
  int PageWidgetCount() const;

  virtual void OnBack() = 0;
  virtual void OnNext() = 0;
  virtual void OnFinish() = 0;
  // Called for the Cancel button, Escape and the window's close button; the subclass decides.
  virtual void OnCancel() = 0;

  // Escape and the close button come here: they are the Cancel button.
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  // Ends the dialog with the given result, bypassing OnCancel.
  void EndSheet(int result);

 private:
  void UpdateDefaultButton();

  QVBoxLayout* header_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QHBoxLayout* extraButtons_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* finish_ = nullptr;
  QPushButton* cancel_ = nullptr;
  int buttonFlags_ = 0;
  bool ending_ = false;
};
