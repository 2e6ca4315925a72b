#include "platform/machine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/fixture_prefix.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using platform::Machine;

namespace {

TEST(MachineTest, DrivesMapThroughDosdevicesWithoutRegardToCase) {
  FixturePrefix prefix;
  prefix.Activate();
  ASSERT_TRUE(Machine::IsUsable()) << Machine::Error();
  EXPECT_EQ(prefix.prefix(), Machine::Root());
  const fs::path c = prefix.prefix() / "dosdevices" / "c:";
  EXPECT_EQ(c / "windows" / "system32", Machine::HostPath(L"C:\\WINDOWS\\System32"));
  EXPECT_EQ(c / "windows" / "system32", Machine::HostPath(L"c:/windows/system32/"));
  EXPECT_EQ(c / "users" / "root" / "AppData", Machine::HostPath(L"C:\\Users\\ROOT\\appdata"));
  // A missing tail keeps the case it was given.
  EXPECT_EQ(c / "windows" / "NewFolder" / "File.TXT", Machine::HostPath(L"C:\\Windows\\NewFolder\\File.TXT"));
  // ".." is taken on the Windows path and never climbs above the drive.
  EXPECT_EQ(c / "users", Machine::HostPath(L"C:\\windows\\..\\users"));
  EXPECT_EQ(c / "users", Machine::HostPath(L"C:\\..\\..\\users"));
  EXPECT_EQ(c, Machine::HostPath(L"C:\\"));
  EXPECT_EQ(prefix.prefix() / "dosdevices" / "z:" / "etc", Machine::HostPath(L"Z:\\ETC"));
  // Unmapped drives and relative paths have no host path.
  EXPECT_TRUE(Machine::HostPath(L"Q:\\x").empty());
  EXPECT_TRUE(Machine::HostPath(L"relative\\x").empty());
  EXPECT_TRUE(Machine::HostPath(L"").empty());
}

// The drive list: in letter order, typed by Wine's own setting, the host's root marked; a folder
// that does not exist is not handed to the file manager.
TEST(MachineTest, DrivesAreTypedAndTheHostRootIsMarked) {
  FixturePrefix prefix;
  fs::create_directories(prefix.Scratch() / "cd");
  fs::create_directories(prefix.Scratch() / "net");
  prefix.AddDrive('n', prefix.Scratch() / "net");
  prefix.AddDrive('d', prefix.Scratch() / "cd");
  prefix.AddDrive('q', prefix.Scratch() / "missing");  // leads nowhere: no drive
  prefix.AddSystemReg("\n[Software\\\\Wine\\\\Drives] 1700000000\n\"d:\"=\"cdrom\"\n\"n:\"=\"network\"\n");
  prefix.Activate();
  std::string drives;
  for (const platform::LogicalDrive& drive : Machine::Drives()) {
    drives += static_cast<char>(drive.letter);
    drives += std::to_string(static_cast<int>(drive.type));
    drives += drive.hostRoot ? "* " : " ";
  }
  using T = platform::DriveType;
  EXPECT_EQ(drives, "C" + std::to_string(int(T::kFixed)) + " D" + std::to_string(int(T::kCdRom)) + " N" +
                        std::to_string(int(T::kRemote)) + " Z" + std::to_string(int(T::kFixed)) + "* ");
  EXPECT_EQ(Machine::OpenFolderInFileManager(L"C:\\NoSuchFolder"), platform::kPathNotFound);
  EXPECT_EQ(Machine::OpenFolderInFileManager(L"Q:\\"), platform::kPathNotFound);
}

TEST(MachineTest, HostPathsMapBackThroughTheLongestDrive) {
  FixturePrefix prefix;
  prefix.AddDrive('D', prefix.Scratch());
  prefix.Activate();
  EXPECT_EQ(L"C:\\users\\root", Machine::WindowsPath(prefix.driveC() / "users" / "root"));
  EXPECT_EQ(L"C:\\", Machine::WindowsPath(prefix.driveC()));
  EXPECT_EQ(L"D:\\a b", Machine::WindowsPath(prefix.Scratch() / "a b"));
  EXPECT_EQ(L"Z:\\etc", Machine::WindowsPath("/etc"));
  EXPECT_EQ(L"Z:\\", Machine::WindowsPath("/"));
  EXPECT_EQ(prefix.prefix() / "dosdevices" / "d:" / "x", Machine::HostPath(L"d:\\x"));
  // The program is seen through Z:.
  const std::wstring program = Machine::ProgramFilePath();
  ASSERT_GE(program.size(), 3u);
  EXPECT_EQ(L"Z:\\", program.substr(0, 3));
  EXPECT_EQ(L"unit_platform", program.substr(program.find_last_of(L'\\') + 1));
  EXPECT_EQ(fs::read_symlink("/proc/self/exe"), fs::canonical(Machine::HostPath(program)));
}

TEST(MachineTest, UnusablePrefixesSayWhyAndResetSeesChanges) {
  FixturePrefix prefix;
  prefix.Activate();
  ASSERT_TRUE(Machine::IsUsable());
  fs::remove(prefix.prefix() / "system.reg");
  EXPECT_TRUE(Machine::IsUsable());  // cached until reset
  Machine::Reset();
  EXPECT_FALSE(Machine::IsUsable());
  EXPECT_NE(std::string::npos, Machine::Error().find("system.reg"));

  TempFolder empty;
  setenv("WINEPREFIX", (empty.path() / "absent").c_str(), 1);
  Machine::Reset();
  EXPECT_FALSE(Machine::IsUsable());
  EXPECT_NE(std::string::npos, Machine::Error().find("does not exist"));
  EXPECT_TRUE(Machine::HostPath(L"C:\\windows").empty());

  prefix.RemoveDrive('c');
  prefix.Activate();
  EXPECT_TRUE(Machine::HostPath(L"C:\\windows").empty());
  EXPECT_FALSE(Machine::HostPath(L"Z:\\etc").empty());
}

}  // namespace
