#include "ui/progress_worker.h"

#include <QLabel>
#include <QProgressBar>
#include <algorithm>
#include <chrono>

#include "core/status_values.h"

namespace {
constexpr int kBarMaximum = 1000;
}

CProgressWorker::CProgressWorker(QProgressBar* bar, QLabel* caption, QLabel* detail, QObject* parent)
    : QObject(parent), bar_(bar), caption_(caption), detail_(detail) {
  timer_.setInterval(100);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

CProgressWorker::~CProgressWorker() {
  if (thread_.joinable()) {
    CancelRequest.Request();
    thread_.join();
  }
}

bool CProgressWorker::Start(int itemCount, Work work, Done done) {
  if (thread_.joinable()) return false;
  CancelRequest.Clear();
  ProgressCounter = 0;
  StatusCaption.Clear();
  StatusDetail.Clear();
  done_ = std::move(done);
  step_ = itemCount > 0 ? kBarMaximum / itemCount : 0;
  if (bar_ != nullptr) {
    // No items to count: a busy bar.
    bar_->setRange(0, step_ > 0 ? kBarMaximum : 0);
    bar_->setValue(0);
    bar_->show();
  }
  ended_ = false;
  thread_ = std::thread([this, work = std::move(work)] {
    COperationResult result = work();
    {
      std::lock_guard<std::mutex> lock(resultMutex_);
      result_ = std::move(result);
    }
    ended_ = true;
  });
  timer_.start();
  return true;
}

void CProgressWorker::RequestCancel() {
  if (thread_.joinable()) CancelRequest.Request();
}

void CProgressWorker::Tick() {
  if (caption_ != nullptr) caption_->setText(QString::fromStdWString(StatusCaption.Get()));
  if (detail_ != nullptr) detail_->setText(QString::fromStdWString(StatusDetail.Get()));
  if (bar_ != nullptr && step_ > 0) {
    const int target = (ProgressCounter.load() + 1) * step_ - 50;
    if (target >= bar_->value()) bar_->setValue(std::min(kBarMaximum, bar_->value() + step_));
  }
  if (ended_) Finish();
}

void CProgressWorker::Finish() {
  timer_.stop();
  thread_.join();
  if (bar_ != nullptr) {
    bar_->setRange(0, kBarMaximum);
    bar_->setValue(kBarMaximum);
  }
  COperationResult result = COperationResult::Success();
  {
    std::lock_guard<std::mutex> lock(resultMutex_);
    result = result_;
  }
  Done done = std::move(done_);
  done_ = nullptr;
  if (done) done(result);
}

void CProgressWorker::WaitForEnd() {
  while (thread_.joinable()) {
    while (!ended_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Finish();
  }
}
