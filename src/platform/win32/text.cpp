#include "core/strings.h"

#include <windows.h>

// The system's own case tables (LCMapStringEx with the invariant locale), one UTF-16 unit at a time.
wchar_t ToUpperSimple(wchar_t c) {
  wchar_t out = c;
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &c, 1, &out, 1, nullptr, nullptr, 0) != 1) return c;
  return out;
}

wchar_t ToLowerSimple(wchar_t c) {
  wchar_t out = c;
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &c, 1, &out, 1, nullptr, nullptr, 0) != 1) return c;
  return out;
}

