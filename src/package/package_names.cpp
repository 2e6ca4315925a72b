#include "package/package_names.h"

#include <cstdio>
#include <mutex>
#include <random>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/text.h"

int EmptyFolderCounter = 1;
int FileSequence = 0;
int CabinetFileCount = 0;

namespace {

bool Contains(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

std::wstring ToLower(const std::wstring& text) {
  std::wstring lower = text;
  for (wchar_t& c : lower) c = platform::ToLowerSimple(c);
  return lower;
}

// The token form of the 32-bit program-files folder of a 64-bit machine: "C:\Program Files" is a
// prefix of "C:\Program Files (x86)", so the token rules write the latter as this.
constexpr wchar_t kProgramFilesX86[] = L"%PROGRAMFILES% (x86)";
constexpr size_t kProgramFilesX86Length = sizeof kProgramFilesX86 / sizeof kProgramFilesX86[0] - 1;

// Whether the text holds that folder as a whole path component (not "...(x86)Old").
bool ContainsProgramFilesX86(const std::wstring& text) {
  for (size_t at = text.find(kProgramFilesX86); at != std::wstring::npos; at = text.find(kProgramFilesX86, at + 1)) {
    const size_t end = at + kProgramFilesX86Length;
    if (end == text.size() || text[end] == L'\\') return true;
  }
  return false;
}

// A folder property as the package names it.
void ApplyBitness(std::wstring& property, bool package64) {
  if (!package64) return;
  if (const wchar_t* twin = CPackageNames::Folder64BitTwin(property)) property = twin;
}

}  // namespace

const wchar_t* CPackageNames::Folder64BitTwin(const std::wstring& property) {
  static const struct {
    const wchar_t* folder;
    const wchar_t* twin;
  } kTwins[] = {
      {L"ProgramFilesFolder", L"ProgramFiles64Folder"},
      {L"SystemFolder", L"System64Folder"},
  };
  for (const auto& entry : kTwins) {
    if (property == entry.folder) return entry.twin;
  }
  return nullptr;
}

bool CPackageNames::UseFolder64BitTwins(std::wstring& text) {
  bool changed = false;
  for (const wchar_t* folder : {L"ProgramFilesFolder", L"SystemFolder"}) {
    const std::wstring reference = L"[" + std::wstring(folder) + L"]";
    if (text.find(reference) == std::wstring::npos) continue;
    ReplaceAll(text, reference, L"[" + std::wstring(Folder64BitTwin(folder)) + L"]");
    changed = true;
  }
  return changed;
}

bool CPackageNames::MapRootComponent(std::wstring& path, bool package64) {
  static const struct {
    const wchar_t* root;
    const wchar_t* property;
  } kRoots[] = {
      {L"%WINDIR%", L"WindowsFolder"},         {L"system32", L"SystemFolder"},
      {L"%USERPROFILE%", L"USERPROFILE"},      {L"%ALLUSERSPROFILE%", L"ALLUSERSPROFILE"},
      {L"%APPDATA%", L"AppDataFolder"},        {L"%PROGRAMFILES%", L"ProgramFilesFolder"},
  };
  // In a 64-bit package the plain program-files property is the 32-bit folder: exactly what
  // "Program Files (x86)" needs, and it must not become the 64-bit twin.
  if (package64 && path == kProgramFilesX86) {
    path = L"ProgramFilesFolder";
    return true;
  }
  for (const auto& entry : kRoots) {
    if (path == entry.root) {
      path = entry.property;
      ApplyBitness(path, package64);
      return true;
    }
  }
  const std::wstring& systemDrive = EnvironmentValues.systemdrive;
  if ((!systemDrive.empty() && path == systemDrive) ||
      (path.size() == 2 && path.find(L':') != std::wstring::npos)) {
    path = L"TARGETDIR";
    return true;
  }
  return false;
}

void CPackageNames::MapFolderToProperty(std::wstring& path, bool package64) {
  static const struct {
    const wchar_t* token;
    const wchar_t* property;
  } kTokens[] = {
      {L"%PROGRAMFILES%", L"ProgramFilesFolder"}, {L"%WINDIR%\\system32", L"SystemFolder"},
      {L"%WINDIR%\\system", L"System16Folder"},   {L"%WINDIR%", L"WindowsFolder"},
      {L"%APPDATA%", L"APPDATA"},                 {L"%USERPROFILE%", L"USERPROFILE"},
      {L"%ALLUSERSPROFILE%", L"ALLUSERSPROFILE"}, {L"%SYSDRIVE%", L"WindowsVolume"},
  };
  // Checked before "%PROGRAMFILES%", which it contains (see MapRootComponent).
  if (package64 && ContainsProgramFilesX86(path)) {
    path = L"ProgramFilesFolder";
    return;
  }
  for (const auto& entry : kTokens) {
    if (Contains(path, entry.token)) {
      path = entry.property;
      ApplyBitness(path, package64);
      return;
    }
  }
  const std::wstring& systemDrive = EnvironmentValues.systemdrive;
  if (!systemDrive.empty() && ToUpperUnicode(path) == ToUpperUnicode(systemDrive)) path = L"WindowsVolume";
}

void CPackageNames::SubstituteFolderReferences(std::wstring& text, bool package64) {
  const struct {
    const std::wstring* value;
    const wchar_t* property;
  } kFolders[] = {
      {&EnvironmentValues.programfiles, L"ProgramFilesFolder"},
      {&EnvironmentValues.windir, L"WindowsFolder"},
      {&EnvironmentValues.appdata, L"APPDATA"},
      {&EnvironmentValues.temp, L"TempFolder"},
      {&EnvironmentValues.userprofile, L"USERPROFILE"},
      {&EnvironmentValues.allusersprofile, L"ALLUSERSPROFILE"},
  };
  for (const auto& entry : kFolders) {
    // An unset value would match every text; it stands for no folder.
    if (entry.value->empty() || text.find(*entry.value) == std::wstring::npos) continue;
    std::wstring property = entry.property;
    if (package64 && property == L"ProgramFilesFolder") {
      // "C:\Program Files (x86)\" is the 32-bit folder, which the plain property names in a
      // 64-bit package; it goes first so the 64-bit reference below cannot take its prefix.
      ReplaceAll(text, *entry.value + L" (x86)\\", L"[ProgramFilesFolder]");
    }
    ApplyBitness(property, package64);
    ReplaceAll(text, *entry.value + L"\\", L"[" + property + L"]");
    return;
  }
}

void CPackageNames::SanitizeIdentifier(std::wstring& text) {
  for (wchar_t& c : text) {
    const bool allowed = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
                         c == L'_' || c == L'.';
    if (!allowed) c = L'_';
  }
}

std::string CPackageNames::NewGuidString() {
  static std::mutex mutex;
  static std::mt19937_64 engine{std::random_device{}()};
  uint64_t high;
  uint64_t low;
  {
    std::lock_guard<std::mutex> lock(mutex);
    high = engine();
    low = engine();
  }
  // A version-4 (random) GUID.
  high = (high & 0xFFFFFFFFFFFF0FFFull) | 0x0000000000004000ull;
  low = (low & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
  char text[64];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
  return text;
}

bool CPackageNames::MakeUniqueDirectoryName(std::wstring& name, bool reserve) {
  const std::wstring key = ToLower(name);
  auto found = directoryNameCounts_.find(key);
  if (found == directoryNameCounts_.end()) {
    if (reserve) directoryNameCounts_.emplace(key, 0);
    return false;
  }
  const int next = found->second + 1;
  name += std::to_wstring(next);
  if (reserve) found->second = next;
  return true;
}

bool CPackageNames::RegisterDirectory(const std::wstring& folderPath, std::wstring& identifier, bool insert) {
  auto found = directoryIds_.find(folderPath);
  if (found != directoryIds_.end()) {
    identifier = found->second;
    return true;
  }
  if (insert) directoryIds_.emplace(folderPath, identifier);
  return false;
}

void CPackageNames::MakeUniqueFileName(std::wstring& name, FileNameMap which) {
  std::map<std::wstring, int>& counts = which == FileNameMap::Table ? tableFileNameCounts_ : cabinetFileNameCounts_;
  auto found = counts.find(name);
  if (found == counts.end()) {
    counts.emplace(name, 0);
    return;
  }
  found->second += 1;
  name += std::to_wstring(found->second);
}

std::wstring CPackageNames::MakeFileKey(const std::wstring& fileName, FileNameMap which) {
  std::map<std::wstring, int>& counts = which == FileNameMap::Table ? tableFileNameCounts_ : cabinetFileNameCounts_;
  std::map<std::wstring, int>& used = which == FileNameMap::Table ? usedTableKeys_ : usedCabinetKeys_;
  std::wstring key = fileName;
  MakeUniqueFileName(key, which);
  SanitizeIdentifier(key);
  while (used.count(key) != 0) {
    int& count = counts[fileName];
    count += 1;
    key = fileName + std::to_wstring(count);
    SanitizeIdentifier(key);
  }
  used.emplace(key, 0);
  if (which == FileNameMap::Table) firstTableKeys_.emplace(fileName, key);
  return key;
}

bool CPackageNames::HasTableFileName(const std::wstring& name) const {
  return tableFileNameCounts_.count(name) != 0;
}

std::wstring CPackageNames::FirstTableFileKey(const std::wstring& name) const {
  auto found = firstTableKeys_.find(name);
  return found == firstTableKeys_.end() ? std::wstring() : found->second;
}

void CPackageNames::Clear() {
  directoryIds_.clear();
  directoryNameCounts_.clear();
  tableFileNameCounts_.clear();
  cabinetFileNameCounts_.clear();
  firstTableKeys_.clear();
  usedTableKeys_.clear();
  usedCabinetKeys_.clear();
}
