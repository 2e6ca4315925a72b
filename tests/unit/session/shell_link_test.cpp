// The shell link reader on links made byte by byte (the layouts Windows and Wine write), damaged
// links, and the turning of a setup's links into the package's shortcuts on a Wine machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/environment.h"
#include "session/link_shortcuts.h"
#include "session/shell_link.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "support/fixture_prefix.h"

namespace fs = std::filesystem;

namespace {

void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// A counted string of the string-data part; `countNul` counts a terminating NUL as Wine does.
std::string Counted(const std::wstring& text, bool unicode, bool countNul) {
  std::wstring body = text;
  if (countNul) body += L'\0';
  std::string out;
  Put16(out, static_cast<uint32_t>(body.size()));
  out += unicode ? WideToUtf16Le(body) : WideToUtf8(body);
  return out;
}

struct LinkParts {
  std::string localBasePath = "C:\\Program Files\\App\\app.exe";
  bool idList = true;
  bool unicode = true;
  bool countNul = false;
  std::wstring description = L"The app";
  std::wstring workingFolder = L"C:\\Program Files\\App";
  std::wstring arguments;
  std::wstring iconLocation = L"C:\\Program Files\\App\\app.exe";
  int32_t iconIndex = 2;
  uint32_t showCommand = 1;
  uint32_t hotkey = 0;
};

std::string MakeLink(const LinkParts& parts) {
  uint32_t flags = 0x2 | 0x4 | 0x10 | 0x40;
  if (parts.idList) flags |= 0x1;
  if (parts.unicode) flags |= 0x80;
  if (!parts.arguments.empty()) flags |= 0x20;
  std::string link;
  Put32(link, 0x4C);
  const unsigned char linkClass[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  link.append(reinterpret_cast<const char*>(linkClass), 16);
  Put32(link, flags);
  link.append(0x38 - link.size(), '\0');  // attributes, times, size
  Put32(link, static_cast<uint32_t>(parts.iconIndex));
  Put32(link, parts.showCommand);
  Put16(link, parts.hotkey);
  link.append(0x4C - link.size(), '\0');
  if (parts.idList) {
    Put16(link, 6);
    link.append("\x04\x00\xAA\xBB\x00\x00", 6);  // one opaque item and the terminator
  }
  // LinkInfo with a volume id and an 8-bit local base path and suffix.
  std::string info;
  const uint32_t headerSize = 0x1C;
  const std::string volume = std::string("\x10\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x10\x00\x00\x00", 16);
  const uint32_t volumeOffset = headerSize;
  const uint32_t baseOffset = volumeOffset + static_cast<uint32_t>(volume.size());
  const uint32_t suffixOffset = baseOffset + static_cast<uint32_t>(parts.localBasePath.size()) + 1;
  const uint32_t size = suffixOffset + 1;
  Put32(info, size);
  Put32(info, headerSize);
  Put32(info, 1);  // volume id and local base path
  Put32(info, volumeOffset);
  Put32(info, baseOffset);
  Put32(info, 0);
  Put32(info, suffixOffset);
  info += volume;
  info += parts.localBasePath + '\0';
  info += '\0';
  link += info;
  link += Counted(parts.description, parts.unicode, parts.countNul);
  link += Counted(parts.workingFolder, parts.unicode, parts.countNul);
  if (!parts.arguments.empty()) link += Counted(parts.arguments, parts.unicode, parts.countNul);
  link += Counted(parts.iconLocation, parts.unicode, parts.countNul);
  Put32(link, 0);  // no extra data
  return link;
}

TEST(ShellLinkTest, ReadsTargetStringsAndIconOfBothLayouts) {
  for (bool unicode : {true, false}) {
    for (bool countNul : {false, true}) {
      LinkParts parts;
      parts.unicode = unicode;
      parts.countNul = countNul;
      parts.arguments = L"--quiet";
      CShellLink link;
      ASSERT_TRUE(link.Parse(MakeLink(parts))) << unicode << countNul;
      EXPECT_EQ(link.target(), L"C:\\Program Files\\App\\app.exe");
      EXPECT_EQ(link.description(), L"The app");
      EXPECT_EQ(link.workingFolder(), L"C:\\Program Files\\App");
      EXPECT_EQ(link.arguments(), L"--quiet");
      EXPECT_EQ(link.iconLocation(), L"C:\\Program Files\\App\\app.exe");
      EXPECT_EQ(link.iconIndex(), 2);
      EXPECT_TRUE(link.relativePath().empty());
    }
  }
  LinkParts parts;
  parts.idList = false;
  parts.iconIndex = -3;
  CShellLink link;
  ASSERT_TRUE(link.Parse(MakeLink(parts)));
  EXPECT_EQ(link.iconIndex(), -3);
}

TEST(ShellLinkTest, DamagedLinksAreRefusedAndLeaveNothingBehind) {
  const std::string good = MakeLink(LinkParts());
  CShellLink link;
  ASSERT_TRUE(link.Parse(good));
  // Every cut short of the whole link fails (the last four bytes are the optional terminal block).
  for (size_t size = 0; size + 4 < good.size(); ++size) {
    EXPECT_FALSE(link.Parse(good.substr(0, size))) << size;
    EXPECT_TRUE(link.target().empty()) << size;
    EXPECT_TRUE(link.iconLocation().empty()) << size;
  }
  std::string wrongClass = good;
  wrongClass[4] ^= 0x7F;
  EXPECT_FALSE(link.Parse(wrongClass));
  std::string wrongHeader = good;
  wrongHeader[0] = 0x4D;
  EXPECT_FALSE(link.Parse(wrongHeader));
  // A link-info size that runs past the end.
  std::string longInfo = good;
  longInfo[0x4C + 2 + 6] = static_cast<char>(0xF0);
  longInfo[0x4C + 2 + 6 + 1] = static_cast<char>(0xFF);
  EXPECT_FALSE(link.Parse(longInfo));
  // A local base path without its terminator.
  LinkParts parts;
  std::string unterminated = MakeLink(parts);
  const size_t nul = unterminated.find(parts.localBasePath) + parts.localBasePath.size();
  unterminated[nul] = 'x';
  unterminated[nul + 1] = 'x';
  EXPECT_FALSE(link.Parse(unterminated));
  EXPECT_FALSE(link.Load(L"C:\\no\\such.lnk"));
}

class ShortcutsFromLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.Activate();
    EnvironmentValues = platform::ReadEnvironmentValues();
  }
  std::wstring Place(const std::wstring& windowsFolder, const std::string& name, const LinkParts& parts) {
    const std::wstring path = windowsFolder + L"\\" + Utf8ToWide(name);
    const fs::path host = platform::Machine::HostPath(path);
    fs::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << MakeLink(parts);
    return path;
  }

  FixturePrefix machine_;
};

TEST_F(ShortcutsFromLinksTest, LinksBecomeShortcutsInTheirOwnFoldersWithEverythingTheyCarry) {
  const std::wstring programs = EnvironmentValues.allusersprofile + L"\\Microsoft\\Windows\\Start Menu\\Programs";
  const std::wstring userPrograms = EnvironmentValues.appdata + L"\\Microsoft\\Windows\\Start Menu\\Programs";
  LinkParts parts;  // its icon is its target's own
  LinkParts notepad;
  notepad.localBasePath = "C:\\windows\\notepad.exe";
  notepad.workingFolder.clear();
  LinkParts tools;
  tools.arguments = L"/safe \"C:\\Program Files\\App\\x.cfg\"";
  tools.iconLocation = L"C:\\Program Files\\App\\tools.ico";
  tools.localBasePath = "C:\\Program Files\\App\\example.nsi";  // any file, not only programs
  tools.showCommand = 3;
  tools.hotkey = 0x0641;  // Ctrl+Alt+A
  LinkParts uninstaller;
  uninstaller.localBasePath = "C:\\Program Files\\App\\uninst.exe";
  const std::vector<std::wstring> links = {
      Place(programs, "App.lnk", parts),
      Place(userPrograms + L"\\Vendor", "App Tools.lnk", tools),
      Place(EnvironmentValues.userprofile + L"\\Desktop", "App.lnk", parts),
      Place(L"C:\\Program Files\\App", "Inside.lnk", parts),
      Place(programs, "Notepad.lnk", notepad),
      Place(userPrograms + L"\\Vendor", "Uninstall.lnk", uninstaller),
      Place(EnvironmentValues.appdata + L"\\Microsoft\\Windows\\Recent", "notes.lnk", parts),
      L"C:\\Program Files\\App\\readme.txt",
      programs + L"\\Gone.lnk"};
  CapturedFiles captured;
  captured.setAside.insert(L"%PROGRAMFILES%\\APP\\UNINST.EXE");
  captured.folderRules[L"%APPDATA%\\MICROSOFT\\WINDOWS\\RECENT"] = {L"%APPDATA%\\Microsoft\\Windows\\Recent", L""};
  std::vector<std::string> notes;
  const ShortcutList shortcuts = ShortcutsFromLinks(links, captured, notes);

  struct Expected {
    std::wstring name, directory, folder, target, arguments, workingFolder, icon, iconIndex;
  };
  const Expected expected[] = {
      {L"App", L"ProgramMenuFolder", L"%ALLUSERSPROFILE%\\Microsoft\\Windows\\Start Menu\\Programs",
       L"%PROGRAMFILES%\\App\\app.exe", L"", L"%PROGRAMFILES%\\App", L"", L""},
      {L"App Tools", L"ProgramMenuFolder", L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Vendor",
       L"%PROGRAMFILES%\\App\\example.nsi", tools.arguments, L"%PROGRAMFILES%\\App",
       L"C:\\Program Files\\App\\tools.ico", L"2"},
      {L"App", L"DesktopFolder", L"%USERPROFILE%\\Desktop", L"%PROGRAMFILES%\\App\\app.exe", L"",
       L"%PROGRAMFILES%\\App", L"", L""},
      {L"Inside", L"ProgramFiles64Folder", L"%PROGRAMFILES%\\App", L"%PROGRAMFILES%\\App\\app.exe", L"",
       L"%PROGRAMFILES%\\App", L"", L""},
      {L"Notepad", L"ProgramMenuFolder", L"%ALLUSERSPROFILE%\\Microsoft\\Windows\\Start Menu\\Programs",
       L"%WINDIR%\\notepad.exe", L"", L"", L"C:\\Program Files\\App\\app.exe", L"2"},
  };
  ASSERT_EQ(shortcuts.size(), std::size(expected));
  for (size_t i = 0; i < shortcuts.size(); ++i) {
    SCOPED_TRACE(WideToUtf8(expected[i].name));
    const ShortcutRecord& got = shortcuts[i];
    EXPECT_EQ(got.name, expected[i].name);
    EXPECT_EQ(got.directory, expected[i].directory);
    EXPECT_EQ(got.folder, expected[i].folder);
    EXPECT_EQ(got.target, expected[i].target);
    EXPECT_EQ(got.arguments, expected[i].arguments);
    EXPECT_EQ(got.workingFolder, expected[i].workingFolder);
    EXPECT_EQ(got.icon, expected[i].icon);
    EXPECT_EQ(got.iconIndex, expected[i].iconIndex);
    EXPECT_EQ(got.description, L"The app");
    EXPECT_EQ(got.showCommand, i == 1 ? L"3" : L"");
    EXPECT_EQ(got.hotkey, i == 1 ? L"1601" : L"");
  }
  std::string all;
  for (const std::string& note : notes) all += note + "\n";
  EXPECT_NE(all.find("Uninstall.lnk is left out: its target C:\\Program Files\\App\\uninst.exe is a captured file "
                     "the rules set aside"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("Gone.lnk is left out: it cannot be read"), std::string::npos) << all;
  EXPECT_EQ(all.find("readme"), std::string::npos) << all;
  EXPECT_EQ(notes.size(), 2u) << all;
}

}  // namespace
