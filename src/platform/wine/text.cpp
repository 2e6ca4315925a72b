#include "core/strings.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace {

// A UTF-8 locale object for the character tables, independent of the process locale.
locale_t UnicodeLocale() {
  static locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!l) l = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return locale;
}

}  // namespace

wchar_t ToUpperSimple(wchar_t c) {
  locale_t l = UnicodeLocale();
  if (!l) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
  return static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), l));
}

wchar_t ToLowerSimple(wchar_t c) {
  locale_t l = UnicodeLocale();
  if (!l) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
  return static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), l));
}
