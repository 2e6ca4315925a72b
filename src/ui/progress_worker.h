#pragma once
#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "core/operation_result.h"

class QLabel;
class QProgressBar;

// Runs one long operation of the engine on its own thread and, every 100 ms on the user-interface
// thread, shows the engine's status values (StatusCaption, StatusDetail, ProgressCounter) in a
// caption, a detail line and a progress bar. The operation and the window share nothing else:
// the result is handed over when the thread has ended.
//
// The bar runs from 0 to 1000; each tick moves it one step towards (ProgressCounter + 1) * step - 50,
// where the step is 1000 divided by the number of items the operation walks (no items: a busy
// bar). When the operation has ended the bar is filled and `done` is called with its result.
class CProgressWorker : public QObject {
  Q_OBJECT

 public:
  using Work = std::function<COperationResult()>;
  using Done = std::function<void(const COperationResult&)>;

  CProgressWorker(QProgressBar* bar, QLabel* caption, QLabel* detail, QObject* parent = nullptr);
  // A worker still running is asked to cancel and waited for: the engine never outlives its page.
  ~CProgressWorker() override;

  // Clears CancelRequest, ProgressCounter and the status texts, then starts `work`. False when an
  // operation is running already.
  bool Start(int itemCount, Work work, Done done);
  bool IsRunning() const { return thread_.joinable(); }
  // The step towards which the bar moves per counted item (1000 / items by default).
  void SetStep(int step) { step_ = step; }
  // Asks the running operation to stop (CancelRequest); `done` follows when it has stopped.
  void RequestCancel();
  // Blocks until the running operation has ended and `done` has run. For the end of the program
  // and for tests.
  void WaitForEnd();

 private:
  void Tick();
  void Finish();

  QProgressBar* bar_;
  QLabel* caption_;
  QLabel* detail_;
  QTimer timer_;
  std::thread thread_;
  std::atomic<bool> ended_{false};
  std::mutex resultMutex_;
  COperationResult result_ = COperationResult::Success();
  Done done_;
  int step_ = 1;
};
