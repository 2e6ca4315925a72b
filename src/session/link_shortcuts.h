#pragma once
#include <set>
#include <string>
#include <vector>

#include "project/change_types.h"
#include "project/include_exclude_rules.h"

// What a capture set aside: the captured files the include and exclude rules left out of the
// package, as upper-cased paths in token form, and the rules that exclude folders.
struct CapturedFiles {
  std::set<std::wstring> setAside;
  ExcludedRuleMap folderRules;
};

// The set-aside files listed in a file change file (FileChanges.xml after its included/excluded
// split; none when the file cannot be read) and the file rules in force in `rules`.
CapturedFiles ReadCapturedFiles(const std::wstring& fileChangesPath, const CIncludeExcludeRules& rules);

// The package's shortcuts for the shell links (.lnk) a setup created: a link does not go into the
// package as a file (it would point at the capturing machine's places); it becomes a shortcut of
// the same name in the same folder (a Start Menu subfolder, the desktop, the quick-launch bar, ...),
// with the link's target, arguments, working folder, description and icon. A target that is a
// captured file becomes that packaged file; any other path stays a path (the Windows folder's
// notepad.exe). Links the rules set aside (the Recent folder's) are no shortcuts of the package.
// Links that cannot be carried are left out with a note in `notes` saying why: a
// link outside the installer's known folders, one that cannot be read, one without a local
// target, and one whose target is a captured file the rules set aside (the package would not hold
// the file it points at).
ShortcutList ShortcutsFromLinks(const std::vector<std::wstring>& linkPaths, const CapturedFiles& captured,
                                std::vector<std::string>& notes);
