#include "platform/clock.h"

#include <ctime>

namespace platform {

bool ToLocalTime(int64_t unixSeconds, std::tm& out) {
  __time64_t value = static_cast<__time64_t>(unixSeconds);
  std::tm local{};
  if (_localtime64_s(&local, &value) != 0) return false;
  out = local;
  return true;
}

bool FromLocalTime(const std::tm& local, int64_t& unixSeconds) {
  std::tm copy = local;
  __time64_t value = _mktime64(&copy);
  if (value == -1) return false;
  unixSeconds = static_cast<int64_t>(value);
  return true;
}

}  // namespace platform
