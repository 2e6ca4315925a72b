#pragma once
#include <string>
#include <vector>

#include "project/change_types.h"

// The package's shortcuts for the shell links (.lnk) a setup created: a link does not go into the
// package as a file (it would point at the capturing machine's places); it becomes a shortcut of
// the same name on the package's Start Menu programs folder, desktop or quick-launch bar, whichever
// folder it was found in, aimed at its target when the target is one of the captured executables
// (`executables`, full paths). Links elsewhere, with an unknown target, or that cannot be read are
// left out, with a note in `notes` saying why.
ShortcutList ShortcutsFromLinks(const std::vector<std::wstring>& linkPaths, const std::vector<std::wstring>& executables,
                                std::vector<std::string>& notes);
