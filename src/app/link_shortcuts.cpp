#include "app/link_shortcuts.h"

#include <string_view>

#include "app/shell_link.h"
#include "core/strings.h"
#include "core/work_paths.h"

namespace {

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && FoldAsciiLower(text.substr(text.size() - tail.size())) == FoldAsciiLower(tail);
}

}  // namespace
namespace {

// The folder property a link's folder stands for, or null. A subfolder of a Start Menu programs
// folder counts as that folder (the package's shortcut table knows the three places only).
const wchar_t* ShortcutFolderProperty(const std::wstring& linkFolder, bool& inSubfolder) {
  const std::wstring programs = L"\\Microsoft\\Windows\\Start Menu\\Programs";
  const struct {
    std::wstring folder;
    const wchar_t* property;
  } places[] = {
      {EnvironmentValues.allusersprofile + programs, L"ProgramMenuFolder"},
      {EnvironmentValues.appdata + programs, L"ProgramMenuFolder"},
      {EnvironmentValues.userprofile + L"\\Desktop", L"DesktopFolder"},
      {EnvironmentValues.systemdrive + L"\\users\\Public\\Desktop", L"DesktopFolder"},
      {EnvironmentValues.allusersprofile + L"\\Desktop", L"DesktopFolder"},
      {EnvironmentValues.appdata + L"\\Microsoft\\Internet Explorer\\Quick Launch", L"QuickLaunchFolder"},
  };
  const std::wstring folder = FoldAsciiLower(linkFolder);
  for (const auto& place : places) {
    const std::wstring wanted = FoldAsciiLower(place.folder);
    if (wanted.size() < 4) continue;  // an unset value would match everything
    if (folder == wanted) {
      inSubfolder = false;
      return place.property;
    }
    if (place.property == std::wstring_view(L"ProgramMenuFolder") && folder.size() > wanted.size() &&
        folder.compare(0, wanted.size(), wanted) == 0 && folder[wanted.size()] == L'\\') {
      inSubfolder = true;
      return place.property;
    }
  }
  return nullptr;
}

}  // namespace

ShortcutList ShortcutsFromLinks(const std::vector<std::wstring>& linkPaths, const std::vector<std::wstring>& executables,
                                std::vector<std::string>& notes) {
  ShortcutList shortcuts;
  for (std::wstring link : linkPaths) {
    FromTokenForm(link);
    if (!EndsWithNoCase(link, L".lnk")) continue;
    const std::string shown = WideToUtf8(link);
    const size_t slash = link.find_last_of(L'\\');
    if (slash == std::wstring::npos) continue;
    bool inSubfolder = false;
    const wchar_t* property = ShortcutFolderProperty(link.substr(0, slash), inSubfolder);
    if (property == nullptr) {
      notes.push_back("the shortcut " + shown + " is left out: the package places shortcuts on the Start Menu, the "
                      "desktop and the quick-launch bar only");
      continue;
    }
    CShellLink parsed;
    if (!parsed.Load(link)) {
      notes.push_back("the shortcut " + shown + " is left out: it cannot be read");
      continue;
    }
    const std::wstring* target = nullptr;
    for (const std::wstring& executable : executables) {
      if (FoldAsciiLower(executable) == FoldAsciiLower(parsed.target())) target = &executable;
    }
    if (target == nullptr) {
      notes.push_back("the shortcut " + shown + " is left out: its target " + WideToUtf8(parsed.target()) +
                      " is not a captured program");
      continue;
    }
    ShortcutRecord record;
    std::wstring name = link.substr(slash + 1);
    name.resize(name.size() - 4);
    record.name = name;
    record.exeName = FileNameOf(*target);
    record.directory = property;
    record.icon = parsed.iconLocation().empty() ? *target : parsed.iconLocation();
    record.iconIndex = std::to_wstring(parsed.iconIndex());
    if (inSubfolder) notes.push_back("the shortcut " + shown + " goes to the Programs menu itself, not to its subfolder");
    if (!parsed.arguments().empty()) {
      notes.push_back("the shortcut " + shown + " loses its arguments " + WideToUtf8(parsed.arguments()));
    }
    shortcuts.push_back(record);
  }
  return shortcuts;
}
