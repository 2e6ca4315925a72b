#pragma once
// Measuring helpers shared by the benchmarks (each benchmark is its own executable).
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace bench {

// Seconds since `start`.
inline double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A "Name: value kB" line of /proc/self/status (VmHWM, VmRSS, RssAnon, ...), or -1.
inline long StatusValueKb(const char* name) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(name) + ":";
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) return std::atol(line.c_str() + prefix.size());
  }
  return -1;
}

// The folder of the pristine Wine prefix the tests use (<folder>/prefix, <folder>/home), made with
// scripts/make-prefix.sh when no test run has made it yet; empty when it cannot be made.
inline std::filesystem::path PristinePrefixFolder() {
  const std::filesystem::path folder = CORVANE_PRISTINE_DIR;
  if (!std::filesystem::exists(folder / "prefix" / "system.reg")) {
    const std::string command =
        std::string(CORVANE_SOURCE_DIR) + "/scripts/make-prefix.sh '" + folder.string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return {};
  }
  return folder;
}

}  // namespace bench
