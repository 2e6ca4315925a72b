#include "session/link_shortcuts.h"

#include "core/strings.h"
#include "core/work_paths.h"
#include "package/package_names.h"
#include "package/project_reader.h"
#include "platform/machine_arch.h"
#include "project/xml_document_handler.h"
#include "session/shell_link.h"

namespace {

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && FoldAsciiLower(text.substr(text.size() - tail.size())) == FoldAsciiLower(tail);
}

std::wstring TokenForm(const std::wstring& path) {
  std::wstring token = path;
  ToTokenForm(token);
  return token;
}

// The kind of place a shortcut folder is, as the project's Shortcut element names it: the all-users
// menu and desktop are packaged at their own paths (the element's folder), but they are still the
// programs menu or the desktop to whoever reads the project. kAllUsersPlaces therefore maps the
// folders that the package's own table (kFolders in package/package_names.cpp) deliberately leaves
// without a property; every other folder takes the package's property (`knownProperty`).
std::wstring PlaceProperty(const std::wstring& tokenFolder, const std::wstring& knownProperty) {
  const std::wstring folder = FoldAsciiUpper(tokenFolder);
  const struct {
    const wchar_t* folder;
    const wchar_t* property;
  } kAllUsersPlaces[] = {
      {L"%ALLUSERSPROFILE%\\MICROSOFT\\WINDOWS\\START MENU\\PROGRAMS\\STARTUP", L"StartupFolder"},
      {L"%ALLUSERSPROFILE%\\MICROSOFT\\WINDOWS\\START MENU\\PROGRAMS", L"ProgramMenuFolder"},
      {L"%ALLUSERSPROFILE%\\MICROSOFT\\WINDOWS\\START MENU", L"StartMenuFolder"},
      {L"\\USERS\\PUBLIC\\DESKTOP", L"DesktopFolder"},
  };
  for (const auto& place : kAllUsersPlaces) {
    const std::wstring wanted = place.folder;
    // "\USERS\PUBLIC\DESKTOP" stands right below the drive ("%SYSDRIVE%" or "C:").
    const size_t at = wanted[0] == L'%' ? 0 : folder.find(L'\\');
    if (at == std::wstring::npos || folder.compare(at, wanted.size(), wanted) != 0) continue;
    const size_t end = at + wanted.size();
    if (end == folder.size() || folder[end] == L'\\') return place.property;
  }
  return knownProperty;
}

}  // namespace

CapturedFiles ReadCapturedFiles(const std::wstring& fileChangesPath, const CIncludeExcludeRules& rules) {
  CapturedFiles captured;
  captured.folderRules = rules.GetExcludedRules(RuleKind::kFiles);
  CXMLDocumentHandler document;
  if (document.Load(fileChangesPath) != 1) return captured;
  std::vector<std::wstring> folders;
  std::vector<std::wstring> files;
  FolderFileMap map;
  project_reader::ReadFolders(document, xmlpath::kExcludedFiles, folders, files, map);
  for (const std::wstring& file : files) captured.setAside.insert(FoldAsciiUpper(file));
  return captured;
}

ShortcutList ShortcutsFromLinks(const std::vector<std::wstring>& linkPaths, const CapturedFiles& captured,
                                std::vector<std::string>& notes) {
  ShortcutList shortcuts;
  const bool machine64 = platform::MachineIs64Bit();
  for (std::wstring link : linkPaths) {
    FromTokenForm(link);
    if (!EndsWithNoCase(link, L".lnk")) continue;
    const std::string shown = WideToUtf8(link);
    const size_t slash = link.find_last_of(L'\\');
    if (slash == std::wstring::npos) continue;
    const std::wstring folder = TokenForm(link.substr(0, slash));
    // The rules' decision, recorded with the capture: not a note.
    if (captured.setAside.count(FoldAsciiUpper(TokenForm(link))) != 0 ||
        IsFolderExcluded(captured.folderRules, link.substr(0, slash)))
      continue;
    CPackageNames::KnownFolder known;
    size_t length = 0;
    if (!CPackageNames::FindKnownAncestor(folder, machine64, known, length)) {
      notes.push_back("the shortcut " + shown + " is left out: its folder lies in no folder the Windows Installer "
                      "knows");
      continue;
    }
    CShellLink parsed;
    if (!parsed.Load(link)) {
      notes.push_back("the shortcut " + shown + " is left out: it cannot be read");
      continue;
    }
    if (parsed.target().empty()) {
      notes.push_back("the shortcut " + shown + " is left out: it names no file or folder path as its target");
      continue;
    }
    const std::wstring target = TokenForm(parsed.target());
    if (captured.setAside.count(FoldAsciiUpper(target)) != 0) {
      notes.push_back("the shortcut " + shown + " is left out: its target " + WideToUtf8(parsed.target()) +
                      " is a captured file the rules set aside");
      continue;
    }
    ShortcutRecord record;
    std::wstring name = link.substr(slash + 1);
    name.resize(name.size() - 4);
    record.name = name;
    record.exeName = FileNameOf(parsed.target());
    record.directory = PlaceProperty(folder, known.property);
    record.folder = folder;
    record.target = target;
    record.arguments = parsed.arguments();
    record.description = parsed.description();
    if (!parsed.workingFolder().empty()) record.workingFolder = TokenForm(parsed.workingFolder());
    // The installer knows the normal, maximised and minimised windows; a normal one is its default.
    const int show = parsed.showCommand();
    if (show == 3 || show == 7) record.showCommand = std::to_wstring(show);
    if (parsed.hotkey() != 0) record.hotkey = std::to_wstring(parsed.hotkey());
    // A link without an icon of its own shows its target's: the shortcut does the same.
    if (!parsed.iconLocation().empty() && FoldAsciiUpper(parsed.iconLocation()) != FoldAsciiUpper(parsed.target())) {
      record.icon = parsed.iconLocation();
      record.iconIndex = std::to_wstring(parsed.iconIndex());
    }
    shortcuts.push_back(record);
  }
  return shortcuts;
}
