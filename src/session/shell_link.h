#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// What a shell link file (.lnk) points at: a small reader of the link format, enough to turn a
// shortcut that a setup created into a shortcut of the package (target, arguments, working folder,
// icon). Links whose target is given only as a shell item list (no local path) are read without a
// target.
class CShellLink {
 public:
  // Reads a link from its bytes. False for anything that is not a whole, well-formed link (wrong
  // header size or class, a structure running past the end); the object is then reset.
  bool Parse(std::string_view bytes);
  // Reads the link file at a Windows path.
  bool Load(const std::wstring& windowsPath);
  void Reset();

  // The target's local path ("C:\Program Files\App\app.exe"), empty when the link has none.
  const std::wstring& target() const { return target_; }
  const std::wstring& description() const { return description_; }
  const std::wstring& relativePath() const { return relativePath_; }
  const std::wstring& workingFolder() const { return workingFolder_; }
  const std::wstring& arguments() const { return arguments_; }
  // The icon's file, empty when the link uses the target's first icon.
  const std::wstring& iconLocation() const { return iconLocation_; }
  int iconIndex() const { return iconIndex_; }
  // How the window opens (1 normal, 3 maximised, 7 minimised) and the hot key (virtual key in
  // the low byte, modifier flags in the high byte; 0 for none), as the link's header holds them.
  int showCommand() const { return showCommand_; }
  int hotkey() const { return hotkey_; }

 private:
  std::wstring target_;
  std::wstring description_;
  std::wstring relativePath_;
  std::wstring workingFolder_;
  std::wstring arguments_;
  std::wstring iconLocation_;
  int iconIndex_ = 0;
  int showCommand_ = 1;
  int hotkey_ = 0;
};
