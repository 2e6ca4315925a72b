#pragma once
#include <string>
#include <vector>

// Whether a captured file can go into a package: the path (token form allowed) is expanded; a
// path containing ".tmp" or ".lnk" (case as written) fails; otherwise the file must exist as a
// file and open for reading. A failing path is appended to the process-wide list of skipped files.
bool IsUsableCapturedFile(const std::wstring& path);

// Whether a captured file is an executable: its lower-cased path ends in ".exe" with something
// before it (so "Setup.EXE" is one, "Setup.exe.bak" is not, and neither is a bare ".exe").
bool IsExecutablePath(const std::wstring& path);

// The paths that failed the usability test in this process (copy), and forgetting them.
std::vector<std::wstring> GetSkippedFiles();
void ClearSkippedFiles();
