#include "core/work_paths.h"

#include <cstdio>
#include <utility>

#include "platform/environment.h"
#include "platform/file_system.h"

EnvironmentValueSet EnvironmentValues;
const std::map<std::wstring, platform::RootKey, AsciiCaseInsensitiveLess> RootKeyTable = {
    {L"HKCR", platform::RootKey::ClassesRoot},   {L"HKEY_CLASSES_ROOT", platform::RootKey::ClassesRoot},
    {L"HKCU", platform::RootKey::CurrentUser},   {L"HKEY_CURRENT_USER", platform::RootKey::CurrentUser},
    {L"HKLM", platform::RootKey::LocalMachine},  {L"HKEY_LOCAL_MACHINE", platform::RootKey::LocalMachine},
    {L"HKU", platform::RootKey::Users},          {L"HKEY_USERS", platform::RootKey::Users},
    {L"HKCC", platform::RootKey::CurrentConfig}, {L"HKEY_CURRENT_CONFIG", platform::RootKey::CurrentConfig},
};
const std::vector<std::wstring> RegTypeNames = {L"REG_SZ", L"REG_EXPAND_SZ", L"REG_BINARY", L"REG_DWORD", L"REG_QWORD"};

namespace {

// Values longer than the fixed buffers of the stored forms are cut, as a fixed buffer would.
constexpr size_t kEnvironmentBuffer = 1024;

std::wstring ReadEnvironment(const wchar_t* name) {
  std::wstring value = platform::GetEnvironmentValue(name);
  if (value.size() >= kEnvironmentBuffer) value.clear();  // would not fit: reads as unset
  return value;
}

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

void ReadEnvironmentValues() {
  EnvironmentValues.windir = ReadEnvironment(L"windir");
  EnvironmentValues.programfiles = ReadEnvironment(L"programfiles");
  EnvironmentValues.userprofile = ReadEnvironment(L"userprofile");
  EnvironmentValues.allusersprofile = ReadEnvironment(L"allusersprofile");
  EnvironmentValues.appdata = ReadEnvironment(L"appdata");
  EnvironmentValues.temp = ReadEnvironment(L"temp");
  EnvironmentValues.systemdrive = ReadEnvironment(L"systemdrive");
}

long EnsureFolder(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  if (platform::PathExists(wide)) return 0;
  return platform::MakeFolder(wide);
}

void DeleteFolderTree(const std::wstring& path) {
  std::wstring folder = path;
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  {
    platform::DirectorySearch search(folder + L"*.*");
    platform::FindData entry;
    while (search.Next(entry)) {
      if (entry.name == L"." || entry.name == L"..") continue;
      const std::wstring child = folder + entry.name;
      if ((entry.attributes & platform::kAttrDirectory) && !(entry.attributes & platform::kAttrReparsePoint)) {
        DeleteFolderTree(child);
      } else if (entry.attributes & platform::kAttrDirectory) {
        platform::RemoveFolder(child);  // a link: remove the link, never what it points to
      } else if (platform::RemoveFile(child) == platform::kAccessDenied) {
        // A read-only file would keep the whole tree alive: clear the flag and try once more.
        if (ClearReadOnly(child)) platform::RemoveFile(child);
      }
    }
  }
  folder.pop_back();
  platform::RemoveFolder(folder);
}

bool ClearReadOnly(const std::wstring& path) {
  uint32_t attributes = platform::GetAttributes(path);
  if (attributes == platform::kInvalidAttributes) return false;
  return platform::SetAttributes(path, attributes & ~platform::kAttrReadOnly) == platform::kSuccess;
}

bool IsReadableFile(const std::wstring& path) {
  const uint32_t attributes = platform::GetAttributes(path);
  if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) != 0) return false;
  std::FILE* file = platform::OpenFileStream(path, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

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
