#pragma once
#include <string>
#include <vector>

namespace platform::wine {

// Splits a Windows command-line text into arguments the way Windows programs read their command
// line (the C runtime's rules): blanks separate arguments outside double quotes; a quote toggles
// quoting and is dropped; inside quotes two quotes give one literal quote; 2n backslashes before
// a quote give n backslashes (and the quote acts), 2n+1 give n backslashes and a literal quote;
// other backslashes are literal.
//
// Why: Wine's "start" (and the loader before it) take one host argument per Windows argument and
// write each back quoted when it holds a blank or a quote. Handing them the arguments found here
// gives the setup the same arguments it would get from the text typed after its name, and an
// argument without blanks or quotes arrives exactly as typed: NSIS's "/D=C:\Program Files\X",
// which must not be quoted, is split at its blank here and written back as it stood.
std::vector<std::wstring> SplitWindowsArguments(const std::wstring& text);

}  // namespace platform::wine
