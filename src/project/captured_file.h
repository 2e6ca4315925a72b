#pragma once
#include <mutex>
#include <string>
#include <vector>

// The captured files of one session that failed the usability test (IsUsableCapturedFile), as
// real Windows paths in the order they failed: the change-file writer adds to it on the worker
// thread, the session reads it afterwards (links among them become shortcuts). Guarded by the
// object's lock.
class CSkippedFiles {
 public:
  CSkippedFiles() = default;
  CSkippedFiles(const CSkippedFiles&) = delete;
  CSkippedFiles& operator=(const CSkippedFiles&) = delete;

  void AddSkippedFile(const std::wstring& path);
  // A copy of the list, and forgetting it.
  std::vector<std::wstring> GetSkippedFiles() const;
  void ClearSkippedFiles();

 private:
  mutable std::mutex mutex_;
  std::vector<std::wstring> files_;
};

// Whether a captured file can go into a package: the path (token form allowed) is expanded; a
// path containing ".tmp" or ".lnk" (case as written) fails; otherwise the file must exist as a
// file and open for reading. A failing path is added (expanded) to `skipped` when one is given.
bool IsUsableCapturedFile(const std::wstring& path, CSkippedFiles* skipped);

// Whether a captured file is an executable: its lower-cased path ends in ".exe" with something
// before it (so "Setup.EXE" is one, "Setup.exe.bak" is not, and neither is a bare ".exe").
bool IsExecutablePath(const std::wstring& path);
