#pragma once
#include <cstdint>
#include <ctime>

namespace platform {

// Converts seconds since 1970-01-01 UTC to the machine's local time. Thread-safe; false when the
// time cannot be represented (out is then untouched).
bool ToLocalTime(int64_t unixSeconds, std::tm& out);

// Converts a local broken-down time back to seconds since 1970 UTC (as mktime). False when it
// cannot be represented.
bool FromLocalTime(const std::tm& local, int64_t& unixSeconds);

}  // namespace platform
