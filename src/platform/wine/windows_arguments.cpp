#include "platform/wine/windows_arguments.h"

namespace platform::wine {

std::vector<std::wstring> SplitWindowsArguments(const std::wstring& text) {
  std::vector<std::wstring> arguments;
  std::wstring current;
  bool inArgument = false;
  bool quoted = false;
  size_t i = 0;
  while (i < text.size()) {
    const wchar_t c = text[i];
    if (!quoted && (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n')) {
      if (inArgument) {
        arguments.push_back(current);
        current.clear();
        inArgument = false;
      }
      ++i;
      continue;
    }
    inArgument = true;
    if (c == L'\\') {
      size_t backslashes = 0;
      while (i < text.size() && text[i] == L'\\') {
        ++backslashes;
        ++i;
      }
      if (i < text.size() && text[i] == L'"') {
        current.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          current.push_back(L'"');
          ++i;
        }
        // With an even count the quote is handled as a quote on the next turn.
      } else {
        current.append(backslashes, L'\\');
      }
      continue;
    }
    if (c == L'"') {
      if (quoted && i + 1 < text.size() && text[i + 1] == L'"') {
        current.push_back(L'"');
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    current.push_back(c);
    ++i;
  }
  if (inArgument) arguments.push_back(current);
  return arguments;
}

}  // namespace platform::wine
