#include "platform/profile.h"

#include <windows.h>

#include <vector>

// The system's private-profile functions. Reads grow their buffer until the text fits.
namespace platform {
namespace {

// Calls read(buffer, size) until the result is shorter than size - slack (the API's "truncated").
template <typename Fn>
std::wstring ReadGrowing(Fn&& read, DWORD slack) {
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    DWORD length = read(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length + slack < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<std::wstring> SplitDoubleNul(const std::wstring& block) {
  std::vector<std::wstring> out;
  size_t start = 0;
  while (start < block.size()) {
    size_t end = block.find(L'\0', start);
    if (end == std::wstring::npos) end = block.size();
    if (end > start) out.push_back(block.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

}  // namespace

std::wstring GetProfileText(const std::wstring& section, const std::wstring& key,
                            const std::wstring& defaultValue, const std::wstring& file) {
  return ReadGrowing(
      [&](wchar_t* buffer, DWORD size) {
        return GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buffer, size,
                                        file.c_str());
      },
      1);
}

int GetProfileNumber(const std::wstring& section, const std::wstring& key, int defaultValue,
                     const std::wstring& file) {
  return static_cast<int>(GetPrivateProfileIntW(section.c_str(), key.c_str(), defaultValue, file.c_str()));
}

std::vector<std::wstring> GetProfileSectionNames(const std::wstring& file) {
  return SplitDoubleNul(ReadGrowing(
      [&](wchar_t* buffer, DWORD size) { return GetPrivateProfileSectionNamesW(buffer, size, file.c_str()); }, 2));
}

std::vector<std::wstring> GetProfileSection(const std::wstring& section, const std::wstring& file) {
  std::vector<std::wstring> lines = SplitDoubleNul(ReadGrowing(
      [&](wchar_t* buffer, DWORD size) {
        return GetPrivateProfileSectionW(section.c_str(), buffer, size, file.c_str());
      },
      2));
  std::vector<std::wstring> out;
  for (std::wstring& line : lines) {
    if (!line.empty() && line[0] != L';') out.push_back(std::move(line));
  }
  return out;
}

std::vector<ProfileSection> GetProfileSections(const std::wstring& file) {
  // The system reads the file once per call; there is no call that gives every section at once.
  std::vector<ProfileSection> sections;
  for (std::wstring& name : GetProfileSectionNames(file)) {
    std::vector<std::wstring> lines = GetProfileSection(name, file);
    sections.push_back(ProfileSection{std::move(name), std::move(lines)});
  }
  return sections;
}

bool WriteProfileText(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                      const std::wstring& file) {
  if (value.find_first_of(L"\r\n") != std::wstring::npos) return false;
  return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != FALSE;
}

bool DeleteProfileKey(const std::wstring& section, const std::wstring& key, const std::wstring& file) {
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  // One call removes one occurrence: repeat while the key is still there (bounded).
  const std::wstring absent = L"<corvane: no such key>";
  for (int i = 0; i < 1000 && GetProfileText(section, key, absent, file) != absent; ++i) {
    if (!WritePrivateProfileStringW(section.c_str(), key.c_str(), nullptr, file.c_str())) return false;
  }
  return true;
}

}  // namespace platform
