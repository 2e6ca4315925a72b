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

extern CStatusText StatusCaption;
extern CStatusText StatusDetail;
extern CStatusText BuildStatusText;
extern std::atomic<int> ProgressCounter;
// Keys written by the registry capture so far (feeds StatusDetail).
extern std::atomic<long> KeyCounter;

// Characters a file name cannot hold ("/", "\", ":", "*", "?", '"', "<", ">", "|") become "_".
std::wstring SanitizeFileName(const std::wstring& text);
