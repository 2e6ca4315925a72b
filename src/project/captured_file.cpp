#include "project/captured_file.h"

#include <mutex>

#include "core/strings.h"
#include "core/work_paths.h"

namespace {

std::mutex g_skippedMutex;
std::vector<std::wstring> g_skippedFiles;

}  // namespace

bool IsUsableCapturedFile(const std::wstring& path) {
  std::wstring real = path;
  FromTokenForm(real);
  bool usable = real.find(L".tmp") == std::wstring::npos &&
                real.find(L".lnk") == std::wstring::npos && IsReadableFile(real);
  if (!usable) {
    std::lock_guard<std::mutex> lock(g_skippedMutex);
    g_skippedFiles.push_back(real);
  }
  return usable;
}

bool IsExecutablePath(const std::wstring& path) {
  if (path.size() <= 4) return false;
  const std::wstring lower = FoldAsciiLower(path);
  return lower.compare(lower.size() - 4, 4, L".exe") == 0;
}

std::vector<std::wstring> GetSkippedFiles() {
  std::lock_guard<std::mutex> lock(g_skippedMutex);
  return g_skippedFiles;
}

void ClearSkippedFiles() {
  std::lock_guard<std::mutex> lock(g_skippedMutex);
  g_skippedFiles.clear();
}
