#pragma once
#include <filesystem>
#include <string>

class CWorkContext;

// Points a work context at the machine the seam currently sees (a fixture prefix or a copy of the
// test prefix) for capture tests: CWorkContext::Setup, the template from the source tree's data
// folder, the rule file and the configuration file in `scratch` (a host folder; the rule file does
// not exist until a test writes it).
void SetUpCaptureWorkPaths(CWorkContext& context, const std::filesystem::path& scratch);

// The Windows path of a host path.
std::wstring WindowsPathOf(const std::filesystem::path& host);
