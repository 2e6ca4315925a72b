#include "project/captured_file.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"

namespace {

std::mutex g_skippedMutex;
std::vector<std::wstring> g_skippedFiles;

bool OpensForReading(const std::wstring& path) {
  const std::filesystem::path host = platform::Machine::HostPath(path);
  if (host.empty()) return false;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(host, ec)) return false;
  std::ifstream in(host, std::ios::binary);
  return static_cast<bool>(in);
}

}  // namespace

bool IsUsableCapturedFile(const std::wstring& path) {
  std::wstring real = path;
  FromTokenForm(real);
  bool usable = real.find(L".tmp") == std::wstring::npos &&
                real.find(L".lnk") == std::wstring::npos && OpensForReading(real);
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
