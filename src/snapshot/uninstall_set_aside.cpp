#include "snapshot/uninstall_set_aside.h"

#include <set>
#include <utility>
#include <vector>

#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "project/include_exclude_rules.h"

namespace {

// %NAME% replaced by the machine's value, as the shell does for an expandable string; unknown
// names stay as written.
std::wstring ExpandValues(const std::wstring& text) {
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find(L'%', i);
    const size_t close = open == std::wstring::npos ? std::wstring::npos : text.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    const std::wstring value = platform::GetEnvironmentValue(text.substr(open + 1, close - open - 1));
    out.append(text, i, open - i);
    if (value.empty()) {
      out.append(text, open, close - open);
      i = close;
    } else {
      out += value;
      i = close + 1;
    }
  }
  out.append(text, i, std::wstring::npos);
  return out;
}

std::wstring ReadMachineValue(const std::wstring& keyPath, const std::wstring& valueName) {
  const size_t slash = keyPath.find(L'\\');
  const auto root = platform::RootKeyTable.find(keyPath.substr(0, slash));
  if (root == platform::RootKeyTable.end()) return {};
  platform::RegistryKey key;
  if (key.Open(root->second, slash == std::wstring::npos ? std::wstring() : keyPath.substr(slash + 1)) !=
      platform::kSuccess) {
    return {};
  }
  std::wstring value;
  if (key.QueryString(valueName, value) != platform::kSuccess) return {};
  return ExpandValues(value);
}

// Moves every key of `from` that lies in an uninstall entry into `to`; the entries met go to `entries`.
void MoveEntryKeys(RegKeyMap& from, RegKeyMap& to, std::set<std::wstring>& entries,
                   std::vector<std::wstring>& moved, CIncludeExcludeRules& reasons) {
  for (auto it = from.begin(); it != from.end();) {
    const std::wstring entry = CUninstallSetAside::EntryOf(it->first);
    if (entry.empty()) {
      ++it;
      continue;
    }
    entries.insert(entry);
    reasons.SetExclusionReason(it->first, CUninstallSetAside::kEntryReason);
    std::vector<RegValueRecord>& target = to[it->first];
    target.insert(target.end(), it->second.begin(), it->second.end());
    moved.push_back(it->first);
    it = from.erase(it);
  }
}

}  // namespace

CUninstallSetAside::CUninstallSetAside()
    : CUninstallSetAside(ReadMachineValue, [](const std::wstring& path) {
        const uint32_t attributes = platform::GetAttributes(path);
        return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) == 0;
      }) {}

CUninstallSetAside::CUninstallSetAside(ValueReader reader, FileTest exists)
    : reader_(std::move(reader)), exists_(std::move(exists)) {}

std::wstring CUninstallSetAside::EntryOf(const std::wstring& keyPath) {
  const std::vector<std::wstring> pieces = SplitPathComponents(keyPath);
  if (pieces.size() < 2) return {};
  const std::wstring root = FoldAsciiUpper(pieces[0]);
  if (root != L"HKEY_LOCAL_MACHINE" && root != L"HKEY_CURRENT_USER") return {};
  // SOFTWARE [\Wow6432Node] \Microsoft\Windows\CurrentVersion\Uninstall\<name>
  static const wchar_t* const kTail[] = {L"MICROSOFT", L"WINDOWS", L"CURRENTVERSION", L"UNINSTALL"};
  size_t i = 1;
  if (FoldAsciiUpper(pieces[i]) != L"SOFTWARE") return {};
  ++i;
  if (i < pieces.size() && FoldAsciiUpper(pieces[i]) == L"WOW6432NODE") ++i;
  for (const wchar_t* piece : kTail) {
    if (i >= pieces.size() || FoldAsciiUpper(pieces[i]) != piece) return {};
    ++i;
  }
  if (i >= pieces.size()) return {};  // the Uninstall key itself is no entry
  std::wstring entry = pieces[0];
  for (size_t k = 1; k <= i; ++k) entry += L"\\" + pieces[k];
  return entry;
}

std::wstring CUninstallSetAside::ProgramOf(const std::wstring& commandLine) const {
  const size_t start = commandLine.find_first_not_of(L" \t");
  if (start == std::wstring::npos) return {};
  if (commandLine[start] == L'"') {
    const size_t close = commandLine.find(L'"', start + 1);
    return commandLine.substr(start + 1, close == std::wstring::npos ? std::wstring::npos : close - start - 1);
  }
  // Unquoted, the words are tried from the shortest run on, as Windows starts such a command.
  const std::wstring text = commandLine.substr(start);
  for (size_t end = text.find(L' ');; end = text.find(L' ', end + 1)) {
    const std::wstring candidate = text.substr(0, end);
    if (exists_(candidate)) return candidate;
    if (exists_(candidate + L".exe")) return candidate + L".exe";
    if (end == std::wstring::npos) break;
  }
  return text.substr(0, text.find(L' '));
}

namespace {

// "C:\App\unins000" of "C:\App\unins000.exe", upper-cased: an uninstaller's own data files
// (unins000.dat beside unins000.exe) share its folder and name.
std::wstring StemPathOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  const size_t dot = path.find_last_of(L'.');
  const bool hasExtension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash + 1);
  return ToUpperUnicode(hasExtension ? path.substr(0, dot) : path);
}

}  // namespace

void CUninstallSetAside::MoveFile(const std::wstring& program, FolderFileMap& from, FolderFileMap& excludedFiles,
                                  std::vector<std::wstring>& moved, CIncludeExcludeRules& reasons) const {
  const std::wstring wanted = StemPathOf(program);
  for (auto& [folder, files] : from) {
    for (auto it = files.begin(); it != files.end();) {
      if (StemPathOf(*it) != wanted) {
        ++it;
        continue;
      }
      reasons.SetExclusionReason(*it, kUninstallerReason);
      excludedFiles[folder].push_back(*it);
      moved.push_back(*it);
      it = files.erase(it);
    }
  }
}

std::vector<std::wstring> CUninstallSetAside::Apply(RegKeyMap& addedKeys, RegKeyMap& modifiedKeys,
                                                    RegKeyMap& excludedKeys, FolderFileMap& addedFiles,
                                                    FolderFileMap& modifiedFiles, FolderFileMap& excludedFiles,
                                                    CIncludeExcludeRules& reasons) const {
  std::set<std::wstring> entries;
  std::vector<std::wstring> moved;
  MoveEntryKeys(addedKeys, excludedKeys, entries, moved, reasons);
  MoveEntryKeys(modifiedKeys, excludedKeys, entries, moved, reasons);
  for (const std::wstring& entry : entries) {
    for (const wchar_t* name : {L"UninstallString", L"QuietUninstallString"}) {
      const std::wstring program = ProgramOf(reader_(entry, name));
      if (program.empty()) continue;
      MoveFile(program, addedFiles, excludedFiles, moved, reasons);
      MoveFile(program, modifiedFiles, excludedFiles, moved, reasons);
    }
  }
  return moved;
}
