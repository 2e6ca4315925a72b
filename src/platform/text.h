#pragma once
#include <string>

// Character services whose answer depends on the platform's Unicode tables.
namespace platform {

// Unicode simple upper-case mapping of one character (no change where none exists).
wchar_t ToUpperSimple(wchar_t c);
// Unicode simple lower-case mapping of one character.
wchar_t ToLowerSimple(wchar_t c);

}  // namespace platform
