#include "platform/clock.h"

#include <time.h>

namespace platform {

bool ToLocalTime(int64_t unixSeconds, std::tm& out) {
  time_t t = static_cast<time_t>(unixSeconds);
  std::tm result{};
  if (localtime_r(&t, &result) == nullptr) return false;
  out = result;
  return true;
}

bool FromLocalTime(const std::tm& local, int64_t& unixSeconds) {
  std::tm copy = local;
  copy.tm_isdst = -1;
  time_t t = mktime(&copy);
  if (t == static_cast<time_t>(-1) && !(local.tm_year == 69 && local.tm_mday == 31)) return false;
  unixSeconds = static_cast<int64_t>(t);
  return true;
}

}  // namespace platform
