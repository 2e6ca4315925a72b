#pragma once
#include "core/strings.h"

// The machine's case tables are declared with the string helpers (core/strings.h), which need
// them; each backend's text.cpp defines them. Older callers name them through the seam.
namespace platform {
using ::ToLowerSimple;
using ::ToUpperSimple;
}  // namespace platform
