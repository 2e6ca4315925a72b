#include "package/package_names.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>
#include <mutex>
#include <random>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/text.h"

namespace {

std::wstring ToLower(const std::wstring& text) {
  std::wstring lower = text;
  for (wchar_t& c : lower) c = platform::ToLowerSimple(c);
  return lower;
}

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

using Bitness = CPackageNames::Bitness;

// The installer's predefined folders as paths in token form. A token of null stands for the
// system drive's value ("C:"), which has no token inside longer paths. The 32-bit view is that of
// a 32-bit machine, where the plain program-files and system folders are the only ones.
struct FolderEntry {
  const wchar_t* token;
  const wchar_t* suffix;
  const wchar_t* property32;  // as a 32-bit machine sees it
  const wchar_t* property64;  // as a 64-bit machine sees it
  Bitness bitness64;          // on a 64-bit machine; on a 32-bit one non-neutral means 32-bit
  bool inData;                // named by reference in registry data
};

constexpr FolderEntry kFolders[] = {
    {L"%PROGRAMFILES%", L"", L"ProgramFilesFolder", L"ProgramFiles64Folder", Bitness::Bits64, true},
    {L"%PROGRAMFILES%", L"\\Common Files", L"CommonFilesFolder", L"CommonFiles64Folder", Bitness::Bits64, true},
    {L"%PROGRAMFILES%", L" (x86)", L"ProgramFilesFolder", L"ProgramFilesFolder", Bitness::Bits32, true},
    {L"%PROGRAMFILES%", L" (x86)\\Common Files", L"CommonFilesFolder", L"CommonFilesFolder", Bitness::Bits32, true},
    {L"%WINDIR%", L"", L"WindowsFolder", L"WindowsFolder", Bitness::Neutral, true},
    {L"%WINDIR%", L"\\system32", L"SystemFolder", L"System64Folder", Bitness::Bits64, false},
    {L"%WINDIR%", L"\\syswow64", L"SystemFolder", L"SystemFolder", Bitness::Bits32, false},
    {L"%WINDIR%", L"\\system", L"System16Folder", L"System16Folder", Bitness::Neutral, false},
    {L"%WINDIR%", L"\\Fonts", L"FontsFolder", L"FontsFolder", Bitness::Neutral, true},
    {L"%APPDATA%", L"", L"AppDataFolder", L"AppDataFolder", Bitness::Neutral, true},
    {L"%APPDATA%", L"\\Microsoft\\Windows\\Start Menu", L"StartMenuFolder", L"StartMenuFolder", Bitness::Neutral, true},
    {L"%APPDATA%", L"\\Microsoft\\Windows\\Start Menu\\Programs", L"ProgramMenuFolder", L"ProgramMenuFolder",
     Bitness::Neutral, true},
    {L"%APPDATA%", L"\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", L"StartupFolder", L"StartupFolder",
     Bitness::Neutral, true},
    {L"%APPDATA%", L"\\Microsoft\\Windows\\SendTo", L"SendToFolder", L"SendToFolder", Bitness::Neutral, true},
    {L"%APPDATA%", L"\\Microsoft\\Windows\\Templates", L"TemplateFolder", L"TemplateFolder", Bitness::Neutral, true},
    {L"%APPDATA%", L"\\Microsoft\\Internet Explorer\\Quick Launch", L"QuickLaunchFolder", L"QuickLaunchFolder",
     Bitness::Neutral, true},
    {L"%USERPROFILE%", L"", L"USERPROFILE", L"USERPROFILE", Bitness::Neutral, true},
    {L"%USERPROFILE%", L"\\AppData\\Local", L"LocalAppDataFolder", L"LocalAppDataFolder", Bitness::Neutral, true},
    {L"%USERPROFILE%", L"\\AppData\\Roaming", L"AppDataFolder", L"AppDataFolder", Bitness::Neutral, true},
    {L"%USERPROFILE%", L"\\Documents", L"PersonalFolder", L"PersonalFolder", Bitness::Neutral, true},
    {L"%USERPROFILE%", L"\\Desktop", L"DesktopFolder", L"DesktopFolder", Bitness::Neutral, true},
    {L"%USERPROFILE%", L"\\Favorites", L"FavoritesFolder", L"FavoritesFolder", Bitness::Neutral, true},
    {L"%USERPROFILE%", L"\\Pictures", L"MyPicturesFolder", L"MyPicturesFolder", Bitness::Neutral, true},
    {L"%ALLUSERSPROFILE%", L"", L"CommonAppDataFolder", L"CommonAppDataFolder", Bitness::Neutral, true},
    // The all-users menu folders and desktop are packaged at their own paths, below
    // CommonAppDataFolder and the system drive: Wine's installer resolves ProgramMenuFolder and
    // DesktopFolder to the user's folders even with ALLUSERS=1, so naming them by those properties
    // moved all-users shortcuts into the user's menu. This is the one deliberate difference from
    // the other folder-to-property table, kAllUsersPlaces in session/link_shortcuts.cpp: there the
    // all-users places do name the menu or desktop property, because that table only says what
    // kind of place a shortcut's folder is in the project file, never where the package puts it.
};

CPackageNames::KnownFolder MakeKnown(const wchar_t* property32, const wchar_t* property64, Bitness bitness64,
                                     bool machine64) {
  CPackageNames::KnownFolder folder;
  folder.property = machine64 ? property64 : property32;
  folder.bitness = bitness64 == Bitness::Neutral ? Bitness::Neutral : machine64 ? bitness64 : Bitness::Bits32;
  return folder;
}

// Every known folder as (path in token form, or as a real path for the system drive's entries;
// the folder), plus the temporary folder, which follows the machine's "temp" value.
struct FolderPath {
  std::wstring path;
  CPackageNames::KnownFolder folder;
  bool inData;
};

std::vector<FolderPath> FolderPaths(bool machine64) {
  std::vector<FolderPath> paths;
  for (const FolderEntry& entry : kFolders) {
    std::wstring path;
    if (entry.token == nullptr) {
      if (EnvironmentValues.systemdrive.empty()) continue;
      path = EnvironmentValues.systemdrive + entry.suffix;
    } else {
      path = std::wstring(entry.token) + entry.suffix;
    }
    paths.push_back({path, MakeKnown(entry.property32, entry.property64, entry.bitness64, machine64), entry.inData});
  }
  std::wstring temp = EnvironmentValues.temp;
  if (!temp.empty()) {
    ToTokenForm(temp);
    paths.push_back({temp, {L"TempFolder", Bitness::Neutral}, true});
  }
  return paths;
}

// Whether `path` is `folder` or lies in it: the token part exactly, the rest without regard to
// the case of A-Z, ending at a "\" or at the end.
bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
  if (folder.empty() || path.size() < folder.size()) return false;
  size_t exact = 0;
  if (folder[0] == L'%') {
    exact = folder.find(L'%', 1);
    exact = exact == std::wstring::npos ? 0 : exact + 1;
  }
  if (path.compare(0, exact, folder, 0, exact) != 0) return false;
  if (!EqualsNoCase(std::wstring_view(path).substr(exact, folder.size() - exact),
                    std::wstring_view(folder).substr(exact)))
    return false;
  return path.size() == folder.size() || path[folder.size()] == L'\\';
}

// The names a made-up Directory identifier must not take: the template's Directory rows and the
// installer's public properties that a Directory row (which sets the property of its name) would
// change.
constexpr const wchar_t* kReservedNames[] = {
    L"TARGETDIR", L"SourceDir", L"INSTALLDIR", L"USERPROFILE", L"ALLUSERSPROFILE", L"APPDATA", L"WindowsFolder",
    L"WindowsVolume", L"System16Folder", L"TempFolder", L"ALLUSERS", L"ROOTDRIVE", L"PRIMARYFOLDER",
    L"INSTALLLEVEL", L"REMOVE", L"ADDLOCAL", L"ADDSOURCE", L"ADDDEFAULT", L"ADVERTISE", L"REINSTALL",
    L"REINSTALLMODE", L"COMPADDLOCAL", L"COMPADDSOURCE", L"COMPADDDEFAULT", L"FILEADDLOCAL", L"FILEADDSOURCE",
    L"FILEADDDEFAULT", L"FEATUREADDLOCAL", L"PATCH", L"TRANSFORMS", L"REBOOT", L"REBOOTPROMPT", L"LIMITUI",
    L"LOGACTION", L"MSIFASTINSTALL", L"MSIINSTALLPERUSER", L"COMPANYNAME", L"USERNAME", L"PIDKEY",
    L"ARPSYSTEMCOMPONENT", L"ARPNOREMOVE", L"ARPNOMODIFY", L"ARPNOREPAIR", L"ACTION", L"EXECUTEACTION",
    L"ProductLanguage", L"ProductCode", L"UpgradeCode", L"ProductName", L"ProductVersion", L"Manufacturer",
};

}  // namespace

CPackageNames::CPackageNames() { ReserveNames(); }

void CPackageNames::ReserveNames() {
  for (const wchar_t* name : kReservedNames) directoryNameCounts_.emplace(ToLower(name), 0);
  for (const FolderEntry& entry : kFolders) {
    directoryNameCounts_.emplace(ToLower(entry.property32), 0);
    directoryNameCounts_.emplace(ToLower(entry.property64), 0);
  }
}

const wchar_t* CPackageNames::Folder64BitTwin(const std::wstring& property) {
  static const struct {
    const wchar_t* folder;
    const wchar_t* twin;
  } kTwins[] = {
      {L"ProgramFilesFolder", L"ProgramFiles64Folder"},
      {L"SystemFolder", L"System64Folder"},
      {L"CommonFilesFolder", L"CommonFiles64Folder"},
  };
  for (const auto& entry : kTwins) {
    if (property == entry.folder) return entry.twin;
  }
  return nullptr;
}

bool CPackageNames::UseFolder64BitTwins(std::wstring& text) {
  bool changed = false;
  for (const wchar_t* folder : {L"ProgramFilesFolder", L"SystemFolder", L"CommonFilesFolder"}) {
    const std::wstring reference = L"[" + std::wstring(folder) + L"]";
    if (text.find(reference) == std::wstring::npos) continue;
    ReplaceAll(text, reference, L"[" + std::wstring(Folder64BitTwin(folder)) + L"]");
    changed = true;
  }
  return changed;
}

bool CPackageNames::FindKnownFolder(const std::wstring& path, bool machine64, KnownFolder& folder) {
  for (const FolderPath& known : FolderPaths(machine64)) {
    if (path.size() == known.path.size() && StartsWithFolder(path, known.path)) {
      folder = known.folder;
      return true;
    }
  }
  return false;
}

bool CPackageNames::FindKnownAncestor(const std::wstring& path, bool machine64, KnownFolder& folder,
                                      size_t& length) {
  bool found = false;
  length = 0;
  for (const FolderPath& known : FolderPaths(machine64)) {
    if (known.path.size() > length && StartsWithFolder(path, known.path)) {
      folder = known.folder;
      length = known.path.size();
      found = true;
    }
  }
  if (!found && path.size() >= 2 && path[1] == L':' && (path.size() == 2 || path[2] == L'\\')) {
    folder = {L"TARGETDIR", Bitness::Neutral};
    length = 2;
    found = true;
  }
  return found;
}

CPackageNames::Bitness CPackageNames::FolderBitness(const std::wstring& path, bool machine64) {
  KnownFolder folder;
  size_t length = 0;
  return FindKnownAncestor(path, machine64, folder, length) ? folder.bitness : Bitness::Neutral;
}

bool CPackageNames::MapRootComponent(std::wstring& path, bool machine64) {
  if (path == L"system32") {
    path = machine64 ? L"System64Folder" : L"SystemFolder";
    return true;
  }
  KnownFolder folder;
  if (FindKnownFolder(path, machine64, folder)) {
    path = folder.property;
    return true;
  }
  const std::wstring& systemDrive = EnvironmentValues.systemdrive;
  if ((!systemDrive.empty() && path == systemDrive) ||
      (path.size() == 2 && path.find(L':') != std::wstring::npos)) {
    path = L"TARGETDIR";
    return true;
  }
  return false;
}

void CPackageNames::MapFolderToProperty(std::wstring& path, bool machine64) {
  KnownFolder folder;
  size_t length = 0;
  if (FindKnownAncestor(path, machine64, folder, length) && folder.property != L"TARGETDIR") {
    path = folder.property;
    return;
  }
  const std::wstring& systemDrive = EnvironmentValues.systemdrive;
  if (path.compare(0, 10, L"%SYSDRIVE%") == 0 ||
      (!systemDrive.empty() && ToUpperUnicode(path) == ToUpperUnicode(systemDrive))) {
    path = L"WindowsVolume";
  }
}

std::wstring CPackageNames::FormattedText(const std::wstring& text, bool machine64, bool folders, bool escape) {
  struct Reference {
    std::wstring value;  // the folder's real path followed by "\"
    std::wstring reference;
  };
  std::vector<Reference> references;
  if (folders) {
    for (const FolderPath& known : FolderPaths(machine64)) {
      if (!known.inData) continue;
      std::wstring value = known.path;
      if (value[0] == L'%') {
        const size_t end = value.find(L'%', 1);
        const std::wstring token = value.substr(0, end + 1);
        FromTokenForm(value);
        if (value.compare(0, token.size(), token) == 0) continue;  // an unset value
      }
      if (value.size() < 3) continue;
      references.push_back({value + L"\\", L"[" + known.folder.property + L"]"});
    }
    // The longest folder first: "C:\Program Files (x86)\" before "C:\Program Files\".
    std::stable_sort(references.begin(), references.end(),
                     [](const Reference& a, const Reference& b) { return a.value.size() > b.value.size(); });
  }
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const Reference& folder : references) {
      if (EqualsNoCase(std::wstring_view(text).substr(i, folder.value.size()), folder.value)) {
        out += folder.reference;
        i += folder.value.size();
        replaced = true;
        break;
      }
    }
    if (replaced) continue;
    if (escape && text[i] == L'[') {
      out += L"[\\[]";
    } else if (escape && text[i] == L']') {
      out += L"[\\]]";
    } else {
      out += text[i];
    }
    ++i;
  }
  return out;
}

void CPackageNames::SubstituteFolderReferences(std::wstring& text, bool machine64) {
  text = FormattedText(text, machine64, true, false);
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
  const bool seen = found != directoryNameCounts_.end();
  std::wstring candidate = name;
  int count = seen ? found->second : 0;
  if (seen || handedDirectoryNames_.count(key) != 0) {
    do {
      ++count;
      candidate = name + std::to_wstring(count);
    } while (handedDirectoryNames_.count(ToLower(candidate)) != 0);
  }
  if (reserve) {
    directoryNameCounts_[key] = count;
    handedDirectoryNames_.insert(ToLower(candidate));
  }
  name = candidate;
  return seen;
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
  handedDirectoryNames_.clear();
  ReserveNames();
  tableFileNameCounts_.clear();
  cabinetFileNameCounts_.clear();
  firstTableKeys_.clear();
  usedTableKeys_.clear();
  usedCabinetKeys_.clear();
}
