#pragma once
#include <string>
#include <vector>

// What one build made (CMSIHandler::Build): whether the project loaded and the package was
// opened, whether the package is complete, its path (UTF-8 Windows path; no file is there unless
// built), the rows the database refused, and the errors and warnings of the build in order
// (warnings begin with "warning: ").
struct PackageBuildResult {
  bool initialized = false;
  bool built = false;
  std::string packagePath;
  int refusedRows = 0;
  std::vector<std::string> errors;
};
