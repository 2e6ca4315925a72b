#include "platform/environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/machine.h"
#include "support/fixture_prefix.h"

using namespace platform;

namespace {

TEST(EnvironmentTest, DefaultPrefixGivesTheStandardFolders) {
  FixturePrefix prefix;
  prefix.Activate();
  // The Linux environment never leaks in.
  setenv("TEMP", "/linux/tmp", 1);
  EXPECT_EQ(FixturePrefix::kWindir, GetEnvironmentValue(L"windir"));
  EXPECT_EQ(FixturePrefix::kWindir, GetEnvironmentValue(L"SystemRoot"));
  EXPECT_EQ(FixturePrefix::kProgramFiles, GetEnvironmentValue(L"ProgramFiles"));
  EXPECT_EQ(FixturePrefix::kUserProfile, GetEnvironmentValue(L"USERPROFILE"));
  EXPECT_EQ(FixturePrefix::kAllUsersProfile, GetEnvironmentValue(L"allusersprofile"));
  EXPECT_EQ(FixturePrefix::kAppData, GetEnvironmentValue(L"appdata"));
  EXPECT_EQ(FixturePrefix::kLocalAppData, GetEnvironmentValue(L"LocalAppData"));
  EXPECT_EQ(FixturePrefix::kTemp, GetEnvironmentValue(L"temp"));
  EXPECT_EQ(FixturePrefix::kTemp, GetEnvironmentValue(L"TMP"));
  EXPECT_EQ(FixturePrefix::kSystemDrive, GetEnvironmentValue(L"SystemDrive"));
  EXPECT_EQ(L"C:\\Program Files (x86)", GetEnvironmentValue(L"ProgramFiles(x86)"));
  EXPECT_EQ(L"\\users\\root", GetEnvironmentValue(L"HOMEPATH"));
  EXPECT_EQ(L"", GetEnvironmentValue(L"NoSuchVariable"));
  EXPECT_EQ(L"", GetEnvironmentValue(L""));
  unsetenv("TEMP");
}

TEST(EnvironmentTest, ValuesAreExpandedAndFallBackToTheMachine) {
  FixturePrefix prefix;
  prefix.SetDefaults(false);
  prefix.AddSystemReg(R"REG(
[Software\\Microsoft\\Windows NT\\CurrentVersion] 1700000000
"SystemRoot"="D:\\Win\xe9"

[Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList] 1700000000
"ProgramData"=str(2):"%SystemDrive%\\ProgramData"

[Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000] 1700000000
"ProfileImagePath"=str(2):"%SystemDrive%\\users\\alice"

[Software\\Microsoft\\Windows\\CurrentVersion] 1700000000
"ProgramFilesDir"=hex(2):44,00,3a,00,5c,00,50,00,46,00,00,00

[System\\CurrentControlSet\\Control\\Session Manager\\Environment] 1700000000
"TEMP"=str(2):"%SystemRoot%\\temp"
"Unknown"=str(2):"%NOPE%\\x"
)REG");
  prefix.AddUserReg(R"REG(
[Environment] 1700000000
"TMP"=str(2):"%USERPROFILE%\\Temp"
)REG");
  prefix.Activate();
  EXPECT_EQ(L"D:\\Win\u00e9", GetEnvironmentValue(L"windir"));
  EXPECT_EQ(L"D:", GetEnvironmentValue(L"systemdrive"));
  EXPECT_EQ(L"D:\\ProgramData", GetEnvironmentValue(L"ALLUSERSPROFILE"));
  EXPECT_EQ(L"D:\\users\\alice", GetEnvironmentValue(L"userprofile"));
  EXPECT_EQ(L"D:\\PF", GetEnvironmentValue(L"programfiles"));
  EXPECT_EQ(L"D:\\users\\alice\\Temp", GetEnvironmentValue(L"tmp"));
  EXPECT_EQ(L"D:\\Win\u00e9\\temp", GetEnvironmentValue(L"temp"));  // the user has no TEMP
  EXPECT_EQ(L"%NOPE%\\x", GetEnvironmentValue(L"unknown"));
  // Values the prefix lacks come back empty.
  EXPECT_EQ(L"", GetEnvironmentValue(L"appdata"));
  EXPECT_EQ(L"", GetEnvironmentValue(L"localappdata"));
}

TEST(EnvironmentTest, ValuesThatReferToEachOtherStayBounded) {
  // A setup may write such values; reading them must not grow with the number of references.
  const std::string many = "%T%%T%%T%%T%%T%%T%%T%";
  FixturePrefix prefix;
  prefix.SetDefaults(false);
  prefix.AddUserReg("[Environment] 1700000000\n"
                    "\"TEMP\"=\"" + many + "\"\n"
                    "\"T\"=\"" + many + "\"\n"
                    "\"A\"=\"%B%%B%\"\n"
                    "\"B\"=\"" + std::string(20000, 'x') + "\"\n"
                    "\"C\"=\"%B%\\\\c\"\n");
  prefix.Activate();
  const std::wstring self(many.begin(), many.end());
  // A value cannot see itself: its references stay as written.
  EXPECT_EQ(self, GetEnvironmentValue(L"T"));
  std::wstring temp;
  for (int i = 0; i < 7; ++i) temp += self;
  EXPECT_EQ(temp, GetEnvironmentValue(L"TEMP"));
  // An expansion past the longest value the environment holds is left as written.
  EXPECT_EQ(L"%B%%B%", GetEnvironmentValue(L"A"));
  EXPECT_EQ(std::wstring(20000, L'x') + L"\\c", GetEnvironmentValue(L"C"));
}

TEST(EnvironmentTest, ChangedOrMissingRegistryFilesAreSeen) {
  FixturePrefix prefix;
  prefix.Activate();
  EXPECT_EQ(FixturePrefix::kAppData, GetEnvironmentValue(L"appdata"));
  prefix.SetDefaults(false);
  prefix.AddUserReg(R"REG(
[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1700000000
"AppData"="E:\\Roaming\\longer path so the size differs"
)REG");
  EXPECT_EQ(L"E:\\Roaming\\longer path so the size differs", GetEnvironmentValue(L"appdata"));

  FixturePrefix other;
  other.Activate();
  std::filesystem::remove(other.prefix() / "system.reg");  // not a usable prefix: nothing is known
  platform::Machine::Reset();
  EXPECT_EQ(L"", GetEnvironmentValue(L"windir"));
  EXPECT_EQ(L"", GetEnvironmentValue(L"systemdrive"));
}

}  // namespace
