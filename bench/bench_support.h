#pragma once
// Measuring helpers shared by the benchmarks (each benchmark is its own executable).
#include <chrono>
#include <cstdlib>
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

}  // namespace bench
