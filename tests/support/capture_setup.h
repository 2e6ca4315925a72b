#pragma once
#include <filesystem>
#include <string>

// Points the process-wide folder values at the machine the seam currently sees (a fixture prefix
// or a copy of the test prefix) for capture tests: SetupWorkPaths, the template from the source
// tree's data folder, the rule file and the configuration file in `scratch` (a host folder; the
// rule file does not exist until a test writes it), and no excluded changes left from an earlier
// test.
void SetUpCaptureWorkPaths(const std::filesystem::path& scratch);

// The Windows path of a host path.
std::wstring WindowsPathOf(const std::filesystem::path& host);
