#pragma once
#include <string>

// One shortcut a person defines on the build pages, for one target program.
struct ShortcutInfo {
  std::wstring iconSource;  // an .exe, .dll or .ico file (at most 260 characters)
  std::wstring name;        // at most 50 characters
  int iconIndex = 0;        // the icon inside the icon source
  bool inProgramMenu = false;
  bool inQuickLaunch = false;
  bool onDesktop = false;
};
