#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "platform/wine/registry_store.h"
#include "support/registry_change_lines.h"
#include "support/temp_folder.h"
#include "support/wine_prefix.h"

using namespace platform;

namespace {

TEST(RegistryValuesIntegration, ValuesAddedThroughWineReadBackByteForByteOnceTheServerHasEnded) {
  WinePrefixCopy prefix;
  ASSERT_TRUE(prefix.ok()) << prefix.error();
  // One batch file, so that Wine starts once for all the ASCII values.
  std::string batch =
      "reg add HKCU\\Software\\S2Reg /v sz /t REG_SZ /d \"hello\" /f\r\n"
      "reg add HKCU\\Software\\S2Reg /v empty /t REG_SZ /d \"\" /f\r\n"
      "reg add HKCU\\Software\\S2Reg /v exp /t REG_EXPAND_SZ /d \"%%ProgramFiles%%\\App\" /f\r\n"
      "reg add HKCU\\Software\\S2Reg /v multi /t REG_MULTI_SZ /d \"one\\0two\\0three\" /f\r\n"
      "reg add HKCU\\Software\\S2Reg /v multiempty /t REG_MULTI_SZ /d \"\" /f\r\n"
      "reg add HKCU\\Software\\S2Reg /v dw /t REG_DWORD /d 0x12345678 /f\r\n"
      "reg add HKCU\\Software\\S2Reg /v qw /t REG_QWORD /d 0x1122334455667788 /f\r\n"
      "reg add HKCU\\Software\\S2Reg /v bin /t REG_BINARY /d 0001ff /f\r\n"
      "reg add HKCU\\Software\\S2Reg /v none /t REG_NONE /f\r\n"
      "reg add HKCU\\Software\\S2Reg /v \"quote\\\"name\" /d \"a\\\"b\" /f\r\n"
      "reg add HKCU\\Software\\S2Reg /ve /d \"defval\" /f\r\n"
      "reg add \"HKLM\\Software\\S2Reg\\Sub Key\" /v dw /t REG_DWORD /d 7 /f\r\n"
      "reg add HKCR\\.s2reg /ve /d \"s2file\" /f\r\n"
      "reg add \"HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\s2app.exe\" /ve /d "
      "\"C:\\s2app.exe\" /f\r\n";
  WriteHostFile(prefix.driveC() / "s2reg.bat", batch);
  std::string output;
  ASSERT_EQ(prefix.Run({"cmd", "/c", "C:\\s2reg.bat"}, &output), 0) << output;
  ASSERT_EQ(RunHostCommand({"wine64", "reg", "add", "HKCU\\Software\\S2Reg", "/v", "unicod\xe2\x82\xac", "/d",
                            "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "/f"},
                           prefix.WineEnvironment(), &output),
            0)
      << output;
  prefix.WaitForServer();

  // What Wine wrote, in the forms the reader must understand.
  const std::string userReg = ReadHostFile(prefix.prefix() / "user.reg");
  for (const char* line : {"\"none\"=hex(0):00,00", "\"multi\"=str(7):\"one\\0two\\0three\\0\"",
                           "\"qw\"=hex(b):88,77,66,55,44,33,22,11", "\"quote\\\"name\"=\"a\\\"b\"",
                           "\"unicod\\x20ac\"=\"caf\\xe9 \\x20ac \\xd83d\\xde00\""}) {
    EXPECT_NE(userReg.find(line), std::string::npos) << line;
  }

  RegistryKey key;
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\S2Reg"), kSuccess);
  struct Expect {
    std::wstring name;
    uint32_t type;
    std::vector<uint8_t> data;
  };
  const std::vector<Expect> expected = {
      {L"", kRegSz, StoredString(u"defval")},
      {L"bin", kRegBinary, {0x00, 0x01, 0xff}},
      {L"dw", kRegDword, {0x78, 0x56, 0x34, 0x12}},
      {L"empty", kRegSz, {0, 0}},
      {L"exp", kRegExpandSz, StoredString(u"%ProgramFiles%\\App")},
      {L"multi", kRegMultiSz, StoredString(std::u16string(u"one\0two\0three\0", 14))},
      {L"multiempty", kRegMultiSz, {0, 0}},
      {L"none", kRegNone, {0, 0}},  // Wine's reg.exe stores an empty string for REG_NONE
      {L"quote\"name", kRegSz, StoredString(u"a\"b")},
      {L"qw", kRegQword, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}},
      {L"sz", kRegSz, StoredString(u"hello")},
      {L"unicod\u20ac", kRegSz, StoredString(u"caf\u00e9 \u20ac \xd83d\xde00")},
  };
  // Enumeration gives them in Wine's order, with the stored types and bytes.
  for (uint32_t i = 0; i < expected.size(); ++i) {
    std::wstring name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    ASSERT_EQ(key.EnumValue(i, name, type, data), kSuccess) << i;
    EXPECT_EQ(name, expected[i].name) << i;
    EXPECT_EQ(type, expected[i].type) << i;
    EXPECT_EQ(data, expected[i].data) << i;
  }
  std::wstring name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(key.EnumValue(static_cast<uint32_t>(expected.size()), name, type, data), kNoMoreItems);

  std::wstring text;
  std::vector<std::wstring> strings;
  uint32_t dword = 0;
  uint64_t qword = 0;
  EXPECT_EQ(StringValue(key, L"UNICOD\u20ac"), L"caf\u00e9 \u20ac \U0001F600");
  EXPECT_EQ(key.QueryMultiString(L"multi", strings), kSuccess);
  EXPECT_EQ(strings, (std::vector<std::wstring>{L"one", L"two", L"three"}));
  EXPECT_EQ(key.QueryQword(L"qw", qword), kSuccess);
  EXPECT_EQ(qword, 0x1122334455667788ull);
  EXPECT_EQ(key.QueryDword(L"none", dword), kInvalidData);

  ASSERT_EQ(key.Open(RootKey::LocalMachine, L"Software\\S2Reg\\Sub Key"), kSuccess);
  EXPECT_EQ(key.QueryDword(L"dw", dword), kSuccess);
  EXPECT_EQ(dword, 7u);
  ASSERT_EQ(key.Open(RootKey::ClassesRoot, L".s2reg"), kSuccess);
  EXPECT_EQ(StringValue(key, L""), L"s2file");
  // Written through a link of the fresh prefix, read through it and at its target.
  for (const wchar_t* path : {L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\s2app.exe",
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\s2app.exe"}) {
    ASSERT_EQ(key.Open(RootKey::LocalMachine, path), kSuccess) << path;
    EXPECT_EQ(StringValue(key, L""), L"C:\\s2app.exe");
  }
  // The fresh prefix's keys come through: the user's folders and the machine's classes.
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
            kSuccess);
  EXPECT_EQ(key.QueryString(L"AppData", text), kSuccess);
  EXPECT_EQ(text.rfind(L"C:\\users\\", 0), 0u) << text.size();

  // While the prefix's server runs the files may be stale: an open waits until it has ended.
  // A persistent server: it stays until told to end.
  ASSERT_EQ(RunHostCommand({"wineserver", "-p"}, prefix.WineEnvironment()), 0);
  for (int i = 0; i < 100 && !wine::IsWineServerRunning(prefix.prefix()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(wine::IsWineServerRunning(prefix.prefix()));
  wine::SetWineServerWaitTimeout(std::chrono::milliseconds(200));
  EXPECT_EQ(key.Open(RootKey::LocalMachine, L"Software"), kNotReady);

  // Ended while an open waits for it: the open then reads the files.
  wine::SetWineServerWaitTimeout(std::chrono::seconds(60));
  std::thread stopper([&prefix] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    RunHostCommand({"wineserver", "-k"}, prefix.WineEnvironment());
  });
  EXPECT_EQ(key.Open(RootKey::LocalMachine, L"Software\\Classes"), kSuccess);
  stopper.join();
  EXPECT_FALSE(wine::IsWineServerRunning(prefix.prefix()));
}

}  // namespace
