#include "project/captured_file.h"

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/folder_tree.h"

void CSkippedFiles::AddSkippedFile(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  files_.push_back(path);
}

std::vector<std::wstring> CSkippedFiles::GetSkippedFiles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return files_;
}

void CSkippedFiles::ClearSkippedFiles() {
  std::lock_guard<std::mutex> lock(mutex_);
  files_.clear();
}

bool IsUsableCapturedFile(const std::wstring& path, CSkippedFiles* skipped) {
  std::wstring real = path;
  FromTokenForm(real);
  bool usable = real.find(L".tmp") == std::wstring::npos &&
                real.find(L".lnk") == std::wstring::npos && platform::IsReadableFile(real);
  if (!usable && skipped != nullptr) skipped->AddSkippedFile(real);
  return usable;
}

bool IsExecutablePath(const std::wstring& path) {
  if (path.size() <= 4) return false;
  const std::wstring lower = FoldAsciiLower(path);
  return lower.compare(lower.size() - 4, 4, L".exe") == 0;
}
