#pragma once
#include <atomic>
#include <mutex>
#include <string>

// The process-wide status values that the engine writes while it works on a worker thread and
// that the progress displays read: a caption, a detail line, a counter, and the package build's
// status text. Texts are exchanged under a lock, numbers atomically, so reading while the worker
// writes is safe.
class CStatusText {
 public:
  void Set(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_ = text;
  }
  std::wstring Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  void Clear() { Set(std::wstring()); }

 private:
  mutable std::mutex mutex_;
  std::wstring text_;
};

// A request to stop the long operation that runs (a snapshot, the comparison, the project file,
// the build, the wait for a setup). Any thread may request; the worker polls at its natural steps
// (per folder, per key, per batch of rows) and undoes what the stopped step had half-written. The
// one who starts an operation clears the request first.
class CCancelRequest {
 public:
  void Request() { requested_.store(true); }
  void Clear() { requested_.store(false); }
  bool IsRequested() const { return requested_.load(); }

 private:
  std::atomic<bool> requested_{false};
};

extern CStatusText StatusCaption;
extern CStatusText StatusDetail;
extern CStatusText BuildStatusText;
extern std::atomic<int> ProgressCounter;
// Keys written by the registry capture so far (feeds StatusDetail).
extern std::atomic<long> KeyCounter;
extern CCancelRequest CancelRequest;

// Characters a file name cannot hold ("/", "\", ":", "*", "?", '"', "<", ">", "|") become "_".
std::wstring SanitizeFileName(const std::wstring& text);
