#include "core/work_paths.h"

#include <utility>

EnvironmentValueSet EnvironmentValues;
const std::vector<std::wstring> RegTypeNames = {L"REG_SZ", L"REG_EXPAND_SZ", L"REG_BINARY", L"REG_DWORD", L"REG_QWORD"};

namespace {

// The token table, in the order both conversions try it.
struct TokenEntry {
  const wchar_t* token;
  std::wstring EnvironmentValueSet::*value;
};
const TokenEntry kTokens[] = {
    {L"%PROGRAMFILES%", &EnvironmentValueSet::programfiles},
    {L"%WINDIR%", &EnvironmentValueSet::windir},
    {L"%APPDATA%", &EnvironmentValueSet::appdata},
    {L"%USERPROFILE%", &EnvironmentValueSet::userprofile},
    {L"%ALLUSERSPROFILE%", &EnvironmentValueSet::allusersprofile},
    {L"%SYSDRIVE%", &EnvironmentValueSet::systemdrive},
};

}  // namespace

void ToTokenForm(std::wstring& text) {
  for (const TokenEntry& entry : kTokens) {
    if (std::wstring_view(entry.token) == L"%SYSDRIVE%") break;
    const std::wstring& value = EnvironmentValues.*entry.value;
    if (text.compare(0, value.size(), value) == 0) {
      // An empty value matches every text: the conversion stops there, changing nothing.
      if (!value.empty()) ReplaceAll(text, value, entry.token);
      return;
    }
  }
  // An unset system drive never matches (an empty text would otherwise become the token).
  if (!EnvironmentValues.systemdrive.empty() && text == EnvironmentValues.systemdrive) text = L"%SYSDRIVE%";
}

void FromTokenForm(std::wstring& text) {
  for (const TokenEntry& entry : kTokens) {
    std::wstring_view token(entry.token);
    if (text.compare(0, token.size(), token) == 0) {
      ReplaceAll(text, token, EnvironmentValues.*entry.value);
      return;
    }
  }
}
