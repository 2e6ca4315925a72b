#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/wine_prefix.h"

// Running the built program on a test machine, as a user would from a shell: a private copy of the
// program folder (so each test has its own configuration file, pending-capture state and logs),
// a clean environment that names the machine, and the samples of examples/ built on demand.

// Copies the program folder of the build into `folder`/program; returns that folder.
std::filesystem::path CopyProgram(const TempFolder& folder);
// The environment the program runs with on `machine`.
std::vector<std::string> ProgramEnvironment(const WinePrefixCopy& machine);
// Runs the program copy with arguments (and `extraEnvironment` added to its environment); standard
// output and error go to `output`. The exit status.
int RunProgram(const std::filesystem::path& program, const WinePrefixCopy& machine,
               const std::vector<std::string>& arguments, std::string* output,
               const std::vector<std::string>& extraEnvironment = {});
// Whether the program copy's configuration file marks a capture as pending.
bool CapturePending(const std::filesystem::path& program);
// The last line of a command's output (where the build scripts print their result).
std::string LastLine(const std::string& output);
// Builds examples/<which> with its build.sh into `out`; the built setup's path, or empty (with a
// test failure added) when the build failed.
std::filesystem::path BuildSample(const std::string& which, const std::filesystem::path& out);
// Builds the setup of tests/fixtures/<script> (an NSIS script that takes OUTFILE) as `setup`; false
// (with a test failure added) when makensis failed.
bool BuildFixtureSetup(const std::string& script, const std::filesystem::path& setup);
