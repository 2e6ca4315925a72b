#pragma once
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

#include "core/operation_result.h"
#include "ui/prompter.h"

class CApplicationMain;
class CCaptureSession;
class CProgressWorker;
class QLabel;
class QProgressBar;

// The base of every page of the wizard. A page is known by its number; its Back and Next handlers
// return the number of the page to show, or -1 to stay. Pages hold no engine state: they call the
// capture session and show the status values the engine writes.
class CCorvanePropertyPage : public QWidget {
  Q_OBJECT

 public:
  CCorvanePropertyPage(int pageNumber, CApplicationMain* sheet);
  ~CCorvanePropertyPage() override;

  int PageNumber() const { return pageNumber_; }

  // The page is shown (after the sheet switched to it): it sets the wizard buttons.
  virtual void OnSetActive() {}
  virtual int OnWizardBack() { return -1; }
  virtual int OnWizardNext() { return -1; }
  // Cancel was pressed: true lets the wizard end. While a worker runs, it is asked to stop and the
  // wizard ends when it has stopped (false now).
  virtual bool OnQueryCancel();
  // Finish was pressed: true ends the wizard.
  virtual bool OnWizardFinish() { return true; }

  CApplicationMain* Sheet() const { return sheet_; }
  CCaptureSession& Session() const;
  // A numbered text of the program.
  static QString Text(int number);

  // The labels drawn in red, as the page marked them invalid.
  const QList<QLabel*>& InvalidLabels() const { return invalid_; }
  // True while a worker of this page runs.
  bool WorkerRunning() const;
  // For the end of the program and for tests: waits until this page's worker (and any worker it
  // starts when it ends) has ended.
  void WaitForWorker();

 protected:
  // A message box through the sheet's prompter.
  QMessageBox::StandardButton Message(const QString& text, const QString& caption, QMessageBox::Icon icon,
                                      QMessageBox::StandardButtons buttons = QMessageBox::Ok);
  const CPrompter& Prompter() const;

  // The red "invalid" labels: MarkInvalid draws a label in red until ClearInvalid. A note label
  // is always red.
  void MarkInvalid(QLabel* label);
  void ClearInvalid();
  static void MakeNoteLabel(QLabel* label);

  // The long work of a page: `work` runs on a worker thread while the bar, the caption and the
  // detail show the engine's status values every 100 ms; `done` runs on this thread with the
  // result. When the wizard was cancelled meanwhile, the wizard ends instead of `done`.
  void SetProgressControls(QProgressBar* bar, QLabel* caption, QLabel* detail);
  bool RunWorker(int itemCount, std::function<COperationResult()> work,
                 std::function<void(const COperationResult&)> done);
  CProgressWorker* Worker() const { return worker_; }

 private:
  int pageNumber_;
  CApplicationMain* sheet_;
  QList<QLabel*> invalid_;
  CProgressWorker* worker_ = nullptr;
  bool cancelling_ = false;
};
