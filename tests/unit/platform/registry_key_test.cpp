#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/logger.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/wine/registry_store.h"
#include "support/fixture_prefix.h"
#include "support/registry_change_lines.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

std::string Head(const std::string& root) {
  return "WINE REGISTRY Version 2\n;; All keys relative to " + root + "\n\n#arch=win64\n\n";
}

// A "#link" block whose SymbolicLinkValue points at an NT path.
std::string LinkTo(const std::string& target) {
  std::string line = "#link\n\"SymbolicLinkValue\"=hex(6):";
  for (size_t i = 0; i < target.size(); ++i) {
    char buffer[8];
    std::snprintf(buffer, sizeof(buffer), "%s%02x,00", i ? "," : "", static_cast<unsigned char>(target[i]));
    line += buffer;
  }
  return line + "\n";
}

// Keys without values below `parent` (names in the file's own escaping).
std::string EmptyKeys(const std::string& parent, std::initializer_list<const char*> names) {
  std::string text;
  for (const char* name : names) text += "[" + parent + "\\\\" + name + "] 1796586249\n";
  return text;
}

const std::string kSystemReg =
    Head("REGISTRY\\\\Machine") +
    "[Software\\\\Classes\\\\.s2cr] 1796586249\n@=\"s2file\"\n\n"
    "[Software\\\\Classes\\\\AppId\\\\{x}] 1796586249\n\"v\"=\"appid\"\n\n"
    "[Software\\\\Classes\\\\Wow6432Node\\\\AppId] 1796586249\n" +
    LinkTo("\\Registry\\Machine\\Software\\Classes\\AppId") +
    "\n[Software\\\\Dangling] 1796586249\n" + LinkTo("\\Registry\\Machine\\Software\\Nowhere") +
    "\n[Software\\\\Loop1] 1796586249\n" + LinkTo("\\Registry\\Machine\\Software\\Loop2") +
    "\n[Software\\\\Loop2] 1796586249\n" + LinkTo("\\Registry\\Machine\\Software\\Loop1") +
    "\n[Software\\\\NoTarget] 1796586249\n#link\n"
    "\n[Software\\\\ToUser] 1796586249\n" +
    LinkTo("\\Registry\\User\\S-1-5-21-0-0-0-1000\\Software\\S2Test") +
    "\n[Software\\\\Wow6432Node\\\\Classes] 1796586249\n" +
    LinkTo("\\REGISTRY\\MACHINE\\Software\\Classes\\Wow6432Node") +
    "\n[System\\\\CurrentControlSet\\\\Hardware Profiles\\\\Current\\\\Software\\\\S2cc] 1796586249\n"
    "\"cc\"=dword:00000007\n";

// Values and keys are written out of order on purpose: the reader must sort them as Wine does.
const std::string kUserReg =
    Head("REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000") +
    "[Software\\\\Classes\\\\.s2cu] 1796586249\n@=\"user class\"\n\n"
    "[Software\\\\S2Test\\\\Parent\\\\Child\\\\Leaf] 1796586249\n\n"
    "[Software\\\\S2Test\\\\Values] 1796586249\n"
    "#time=1dd85ba292b3ab6\n"
    "\"Zval\"=\"x\"\n"
    "\"sz\"=\"hello\"\n"
    "@=\"defval\"\n"
    "\"bin\"=hex:00,01,02,03,04,ff\n"
    "\"aval\"=\"x\"\n"
    "\"_under\"=\"x\"\n"
    "\"Bval\"=\"x\"\n"
    "\"binempty\"=hex:\n"
    "\"dw\"=dword:12345678\n"
    "\"qw\"=hex(b):88,77,66,55,44,33,22,11\n"
    "\"exp\"=str(2):\"%ProgramFiles%\\\\App\"\n"
    "\"multi\"=str(7):\"one\\0two\\0three\\0\"\n"
    "\"multiempty\"=str(7):\"\"\n"
    "\"multizero\"=hex(7):\n"
    "\"multinoend\"=str(7):\"a\\0b\"\n"
    "\"none\"=hex(0):00,00\n"
    "\"odd\"=hex(1):41,00,42\n"
    "\"expnoterm\"=hex(2):41,00\n"
    "\"sz_embnul\"=\"A\\0B\"\n"
    "\"dwshort\"=hex(4):41,00,42\n"
    "\"dup\"=\"first\"\n"
    "\"DUP\"=\"second\"\n"
    "\"unicod\\xe9\\x20ac\"=\"v\\xe4lue\\x20ac\\xd83d\\xde00\"\n"
    "\"smile\\xd83d\\xde00\"=\"x\"\n"
    "\"zerolen\"=hex(1):\n"
    "\"empty\"=\"\"\n"
    "\n"
    "[Software\\\\S2Test\\\\Sub\\\\ab] 1796586249\n\"one\"=\"1\"\n" +
    EmptyKeys("Software\\\\S2Test\\\\Sub", {"~tilde", "Zkey", "\\[lead", "br\\[ack\\]ets", "_key", "AC", "a_b", "Bkey",
                                          "akey", "quo\"te", "unicod\\xe9\\x20ac\\xd83d\\xde00", "sp ace"}) +
    "[Software\\\\S2Test\\\\Sub\\\\aB] 1796586249\n\"two\"=\"2\"\n";  // the same key as "ab"

const std::string kUserdefReg = Head("REGISTRY\\\\User\\\\.Default") +
                                "[Control Panel\\\\Desktop] 1796586249\n\"Wallpaper\"=\"\"\n";

// The fixture prefix with only the registry files a test writes (none at first); the previous
// prefix, the registry's cached tree and its wait for Wine's server are restored afterwards.
class RegistryPrefix {
 public:
  RegistryPrefix() {
    fixture_.Activate();  // writes its own registry files, which go
    for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) fs::remove(fixture_.prefix() / name);
  }
  ~RegistryPrefix() {
    wine::ForgetRegistryTree();
    wine::SetWineServerWaitTimeout(std::chrono::seconds(60));
  }
  // Writes a file as Wine does: a new file renamed over the old one.
  void Write(const std::string& name, const std::string& text) const {
    const fs::path temporary = prefix() / (name + ".tmp");
    std::ofstream(temporary, std::ios::binary) << text;
    fs::rename(temporary, prefix() / name);
  }
  void WriteStandard() const {
    Write("system.reg", kSystemReg);
    Write("user.reg", kUserReg);
    Write("userdef.reg", kUserdefReg);
  }
  void Activate() const {
    setenv("WINEPREFIX", prefix().c_str(), 1);
    Machine::Reset();
  }
  const fs::path& prefix() const { return fixture_.prefix(); }

 private:
  FixturePrefix fixture_;
};

// The names of a key's subkeys and values, in enumeration order.
std::vector<std::wstring> Subkeys(const RegistryKey& key) {
  std::vector<std::wstring> names;
  std::wstring name;
  uint32_t i = 0;
  Status status;
  while ((status = key.EnumKey(i++, name)) == kSuccess) names.push_back(name);
  EXPECT_EQ(status, kNoMoreItems);
  return names;
}
std::vector<std::wstring> ValueNames(const RegistryKey& key) {
  std::vector<std::wstring> names;
  std::wstring name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  uint32_t i = 0;
  Status status;
  while ((status = key.EnumValue(i++, name, type, data)) == kSuccess) names.push_back(name);
  EXPECT_EQ(status, kNoMoreItems);
  return names;
}

// QueryInfo in one line: the subkeys and their longest name, the values, their longest name and
// their largest data.
std::string Info(const RegistryKey& key) {
  RegistryKeyInfo info;
  if (const Status status = key.QueryInfo(info); status != kSuccess) return "status " + std::to_string(status);
  return "keys " + std::to_string(info.subKeyCount) + "/" + std::to_string(info.maxSubKeyNameLength) + ", values " +
         std::to_string(info.valueCount) + "/" + std::to_string(info.maxValueNameLength) + "/" +
         std::to_string(info.maxValueDataSize);
}

class RegistryKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.WriteStandard();
    prefix_.Activate();
  }
  RegistryPrefix prefix_;
};

TEST_F(RegistryKeyTest, RootsMapToWinesBranches) {
  RegistryKey key;
  ASSERT_EQ(key.Open(RootKey::LocalMachine, L""), kSuccess);
  EXPECT_EQ(Subkeys(key), (std::vector<std::wstring>{L"Software", L"System"}));
  ASSERT_EQ(key.Open(RootKey::Users, L""), kSuccess);
  EXPECT_EQ(Subkeys(key), (std::vector<std::wstring>{L".Default", L"S-1-5-21-0-0-0-1000"}));

  // HKCR is the machine's classes only: Wine 8 does not merge the user's.
  ASSERT_EQ(key.Open(RootKey::ClassesRoot, L".s2cr"), kSuccess);
  EXPECT_EQ(StringValue(key, L""), L"s2file");
  EXPECT_EQ(key.Open(RootKey::ClassesRoot, L".s2cu"), kFileNotFound);
  EXPECT_FALSE(key.IsOpen());
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\Classes\\.s2cu"), kSuccess);
  EXPECT_EQ(StringValue(key, L""), L"user class");

  // HKCU and HKU\<sid> are one key; names match in any case; HKCC is below CurrentControlSet.
  RegistryKey viaUsers;
  ASSERT_EQ(viaUsers.Open(RootKey::Users, L"s-1-5-21-0-0-0-1000\\SOFTWARE\\s2test\\values"), kSuccess);
  EXPECT_EQ(StringValue(viaUsers, L"SZ"), L"hello");
  ASSERT_EQ(key.Open(RootKey::Users, L".DEFAULT\\control panel\\Desktop"), kSuccess);
  EXPECT_EQ(StringValue(key, L"wallpaper"), L"");
  uint32_t dword = 0;
  ASSERT_EQ(key.Open(RootKey::CurrentConfig, L"Software\\S2cc"), kSuccess);
  EXPECT_EQ(key.QueryDword(L"cc", dword), kSuccess);
  EXPECT_EQ(dword, 7u);
  // Separators at the ends or doubled are tolerated.
  EXPECT_EQ(key.Open(RootKey::CurrentConfig, L"\\Software\\\\S2cc\\"), kSuccess);
  EXPECT_EQ(key.Open(static_cast<RootKey>(0x80000004u), L""), kInvalidHandle);
}

TEST_F(RegistryKeyTest, UserBranchIsNamedByTheRootLineOfUserReg) {
  prefix_.Write("user.reg", Head("REGISTRY\\\\User\\\\S-1-5-21-1-2-3-1001") +
                                "[Software\\\\Mine] 1\n\"v\"=dword:00000002\n");
  prefix_.Write("system.reg", Head("REGISTRY\\\\Machine") +
                                  "[System\\\\CurrentControlSet] 1\n" +
                                  LinkTo("\\Registry\\Machine\\System\\ControlSet001") +
                                  "[System\\\\ControlSet001\\\\Hardware Profiles\\\\Current\\\\Software\\\\X] 1\n");
  RegistryKey key;
  ASSERT_EQ(key.Open(RootKey::Users, L""), kSuccess);
  EXPECT_EQ(Subkeys(key), (std::vector<std::wstring>{L".Default", L"S-1-5-21-1-2-3-1001"}));
  uint32_t value = 0;
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\Mine"), kSuccess);
  EXPECT_EQ(key.QueryDword(L"v", value), kSuccess);
  EXPECT_EQ(value, 2u);
  // The newer layout, where CurrentControlSet is a link to ControlSet001.
  EXPECT_EQ(key.Open(RootKey::CurrentConfig, L"Software\\X"), kSuccess);
}

TEST_F(RegistryKeyTest, EnumeratesInWinesOrderWithImplicitParentsAndMergedNames) {
  RegistryKey key;
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\S2Test\\Values"), kSuccess);
  EXPECT_EQ(ValueNames(key),
            (std::vector<std::wstring>{L"", L"_under", L"aval", L"bin", L"binempty", L"Bval", L"dup", L"dw",
                                       L"dwshort", L"empty", L"exp", L"expnoterm", L"multi", L"multiempty",
                                       L"multinoend", L"multizero", L"none", L"odd", L"qw", L"smile\U0001F600",
                                       L"sz", L"sz_embnul", L"unicod\u00e9\u20ac", L"zerolen", L"Zval"}));
  // Names equal without regard to case are one value: the first spelling, the last data.
  EXPECT_EQ(StringValue(key, L"Dup"), L"second");

  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\S2Test\\Sub"), kSuccess);
  EXPECT_EQ(Subkeys(key), (std::vector<std::wstring>{L"[lead", L"_key", L"a_b", L"ab", L"AC", L"akey", L"Bkey",
                                                      L"br[ack]ets", L"quo\"te", L"sp ace",
                                                      L"unicod\u00e9\u20ac\U0001F600", L"Zkey", L"~tilde"}));
  RegistryKey merged;
  ASSERT_EQ(merged.Open(key, L"AB"), kSuccess);
  EXPECT_EQ(ValueNames(merged), (std::vector<std::wstring>{L"one", L"two"}));
  EXPECT_EQ(merged.Open(key, L"unicod\u00c9\u20ac\U0001F600"), kSuccess);  // É lower-cases to é

  // Keys that only lead to other keys exist.
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\S2Test\\Parent"), kSuccess);
  EXPECT_EQ(Subkeys(key), (std::vector<std::wstring>{L"Child"}));
  EXPECT_EQ(Info(key), "keys 1/5, values 0/0/0");

  // Lengths in UTF-16 units without terminator, data in bytes.
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\S2Test\\Values"), kSuccess);
  EXPECT_EQ(Info(key), "keys 0/0, values 25/10/38");  // "multiempty"; "%ProgramFiles%\App" + NUL
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\S2Test\\Sub"), kSuccess);
  EXPECT_EQ(Info(key), "keys 13/10, values 0/0/0");  // "unicodé€" + a surrogate pair

  EXPECT_LT(CompareRegistryNames(L"_under", L"aval"), 0);
  EXPECT_GT(CompareRegistryNames(L"Bval", L"bin"), 0);
  EXPECT_EQ(CompareRegistryNames(L"AbC", L"aBc"), 0);
  EXPECT_LT(CompareRegistryNames(L"ab", L"abc"), 0);
  EXPECT_LT(CompareRegistryNames(L"GB_2312-80", L"GBK"), 0);
  EXPECT_LT(CompareRegistryNames(L"_iso-2022-jp$SIO", L"ANSI_X3.4-1968"), 0);
  EXPECT_LT(CompareRegistryNames(L"\U0001F600", L"\uFFFF"), 0);  // compared as UTF-16 units
}

TEST_F(RegistryKeyTest, GivesTypesAndDataBytesAsStored) {
  RegistryKey key;
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\S2Test\\Values"), kSuccess);
  struct Expect {
    const wchar_t* name;
    uint32_t type;
    std::vector<uint8_t> data;
  };
  const std::vector<Expect> expected = {
      {L"", kRegSz, StoredString(L"defval")},
      {L"sz", kRegSz, StoredString(L"hello")},
      {L"empty", kRegSz, {0, 0}},
      {L"exp", kRegExpandSz, StoredString(L"%ProgramFiles%\\App")},
      {L"multiempty", kRegMultiSz, {0, 0}},
      {L"binempty", kRegBinary, {}},
      {L"none", kRegNone, {0, 0}},
      {L"odd", kRegSz, {0x41, 0, 0x42}},
      {L"unicod\u00e9\u20ac", kRegSz, {'v', 0, 0xe4, 0, 'l', 0, 'u', 0, 'e', 0, 0xac, 0x20, 0x3d, 0xd8, 0x00, 0xde, 0, 0}},
  };
  for (const Expect& e : expected) {
    uint32_t type = 99;
    std::vector<uint8_t> data;
    ASSERT_EQ(key.QueryValue(e.name, type, data), kSuccess) << e.name;
    EXPECT_EQ(type, e.type) << e.name;
    EXPECT_EQ(data, e.data) << e.name;
  }
  // EnumValue gives what QueryValue gives, for every value.
  std::wstring name;
  uint32_t type = 0, queriedType = 0;
  std::vector<uint8_t> data, queried;
  for (uint32_t i = 0; key.EnumValue(i, name, type, data) == kSuccess; ++i) {
    ASSERT_EQ(key.QueryValue(name, queriedType, queried), kSuccess) << i;
    EXPECT_EQ(type, queriedType) << i;
    EXPECT_EQ(data, queried) << i;
  }
  EXPECT_EQ(key.QueryValue(L"absent", type, data), kFileNotFound);
}

TEST_F(RegistryKeyTest, TypedReadsCheckTypeAndForm) {
  RegistryKey key;
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\S2Test\\Values"), kSuccess);
  uint32_t dword = 0;
  uint64_t qword = 0;
  std::vector<uint8_t> binary;
  std::wstring text;
  std::vector<std::wstring> strings;
  EXPECT_EQ(key.QueryDword(L"dw", dword), kSuccess);
  EXPECT_EQ(dword, 0x12345678u);
  EXPECT_EQ(key.QueryQword(L"qw", qword), kSuccess);
  EXPECT_EQ(qword, 0x1122334455667788ull);
  EXPECT_EQ(key.QueryBinary(L"bin", binary), kSuccess);
  EXPECT_EQ(binary, (std::vector<uint8_t>{0, 1, 2, 3, 4, 0xff}));
  EXPECT_EQ(StringValue(key, L"exp"), L"%ProgramFiles%\\App");
  EXPECT_EQ(StringValue(key, L"unicod\u00e9\u20ac"), L"v\u00e4lue\u20ac\U0001F600");
  EXPECT_EQ(StringValue(key, L"sz_embnul"), L"A");  // what a caller of the string sees
  EXPECT_EQ(key.QueryMultiString(L"multi", strings), kSuccess);
  EXPECT_EQ(strings, (std::vector<std::wstring>{L"one", L"two", L"three"}));
  EXPECT_EQ(key.QueryMultiString(L"multiempty", strings), kSuccess);
  EXPECT_TRUE(strings.empty());

  // Type or form mismatches: 13, and the out-value is left alone.
  dword = 5;
  EXPECT_EQ(key.QueryDword(L"dwshort", dword), kInvalidData);
  EXPECT_EQ(key.QueryDword(L"qw", dword), kInvalidData);
  EXPECT_EQ(dword, 5u);
  EXPECT_EQ(key.QueryQword(L"dw", qword), kInvalidData);
  EXPECT_EQ(key.QueryBinary(L"sz", binary), kInvalidData);
  text = L"keep";
  for (const wchar_t* name : {L"odd", L"zerolen", L"expnoterm", L"bin"})
    EXPECT_EQ(key.QueryString(name, text), kInvalidData) << name;
  EXPECT_EQ(text, L"keep");
  for (const wchar_t* name : {L"multinoend", L"multizero", L"sz"})
    EXPECT_EQ(key.QueryMultiString(name, strings), kInvalidData) << name;
  EXPECT_EQ(key.QueryDword(L"nothere", dword), kFileNotFound);
}

TEST_F(RegistryKeyTest, FollowsLinksAndListsThemUnderTheirOwnName) {
  RegistryKey key;
  std::wstring text;
  // A link through a link: Wow6432Node\Classes -> Classes\Wow6432Node, whose AppId -> Classes\AppId.
  ASSERT_EQ(key.Open(RootKey::LocalMachine, L"Software\\Wow6432Node\\Classes\\AppId\\{x}"), kSuccess);
  EXPECT_EQ(StringValue(key, L"v"), L"appid");
  // Opening the link itself leads to the target.
  ASSERT_EQ(key.Open(RootKey::LocalMachine, L"Software\\Classes\\Wow6432Node\\AppId"), kSuccess);
  EXPECT_EQ(Subkeys(key), (std::vector<std::wstring>{L"{x}"}));
  EXPECT_EQ(ValueNames(key), std::vector<std::wstring>{});
  // Into the user's branch.
  ASSERT_EQ(key.Open(RootKey::LocalMachine, L"Software\\ToUser\\Values"), kSuccess);
  EXPECT_EQ(key.QueryString(L"sz", text), kSuccess);
  // Enumerating lists the link keys where they are.
  ASSERT_EQ(key.Open(RootKey::LocalMachine, L"Software"), kSuccess);
  EXPECT_EQ(Subkeys(key), (std::vector<std::wstring>{L"Classes", L"Dangling", L"Loop1", L"Loop2", L"NoTarget",
                                                      L"ToUser", L"Wow6432Node"}));
  RegistryKey child;
  EXPECT_EQ(child.Open(key, L"ToUser\\Parent\\Child\\Leaf"), kSuccess);
  // Broken links end in "not found", loops included.
  EXPECT_EQ(child.Open(key, L"Dangling"), kFileNotFound);
  EXPECT_EQ(child.Open(key, L"NoTarget"), kFileNotFound);
  EXPECT_EQ(child.Open(key, L"Loop1"), kFileNotFound);
  EXPECT_EQ(child.Open(key, L"Loop2\\x"), kFileNotFound);
}

TEST_F(RegistryKeyTest, ReportsStatusesForMissingKeysAndClosedKeys) {
  RegistryKey key;
  RegistryKeyInfo info;
  std::wstring name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(key.QueryInfo(info), kInvalidHandle);
  EXPECT_EQ(key.EnumKey(0, name), kInvalidHandle);
  EXPECT_EQ(key.EnumValue(0, name, type, data), kInvalidHandle);
  EXPECT_EQ(key.QueryValue(L"", type, data), kInvalidHandle);
  RegistryKey other;
  EXPECT_EQ(other.Open(key, L"x"), kInvalidHandle);

  EXPECT_EQ(key.Open(RootKey::LocalMachine, L"Software\\NoSuchKey"), kFileNotFound);
  EXPECT_EQ(key.Open(RootKey::LocalMachine, L"Software\\Classes\\.s2cr\\deeper"), kFileNotFound);
  ASSERT_EQ(key.Open(RootKey::LocalMachine, L"Software\\Classes\\.s2cr"), kSuccess);
  EXPECT_EQ(key.EnumKey(0, name), kNoMoreItems);
  // Reopening from itself, then a failed open from itself, which closes it.
  EXPECT_EQ(key.Open(key, L""), kSuccess);
  EXPECT_TRUE(key.IsOpen());
  EXPECT_EQ(key.Open(key, L"nothing"), kFileNotFound);
  EXPECT_FALSE(key.IsOpen());
  // A moved key stays usable; Close ends it.
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software"), kSuccess);
  RegistryKey moved = std::move(key);
  EXPECT_TRUE(moved.IsOpen());
  EXPECT_EQ(moved.EnumKey(0, name), kSuccess);
  moved.Close();
  EXPECT_EQ(moved.EnumKey(0, name), kInvalidHandle);
}

TEST(RegistryKeyFiles, MissingUnreadableAndBrokenFilesGiveStatuses) {
  RegistryPrefix prefix;
  prefix.Write("system.reg", kSystemReg);
  prefix.Activate();
  RegistryKey key;
  // No user.reg and no userdef.reg: their branches do not exist.
  EXPECT_EQ(key.Open(RootKey::CurrentUser, L""), kFileNotFound);
  ASSERT_EQ(key.Open(RootKey::Users, L""), kSuccess);
  EXPECT_TRUE(Subkeys(key).empty());
  EXPECT_EQ(key.Open(RootKey::LocalMachine, L"Software\\Classes\\.s2cr"), kSuccess);

  // A user.reg that cannot be read: its branch is listed but cannot be opened.
  fs::create_directory(prefix.prefix() / "user.reg");
  // A userdef.reg that is not a registry file.
  prefix.Write("userdef.reg", "REGEDIT4\n[x]\n");
  ASSERT_EQ(key.Open(RootKey::Users, L""), kSuccess);
  EXPECT_EQ(Subkeys(key), (std::vector<std::wstring>{L".Default", L"S-1-5-21-0-0-0-1000"}));
  EXPECT_EQ(key.Open(RootKey::CurrentUser, L"Software"), kAccessDenied);
  EXPECT_EQ(key.Open(RootKey::Users, L"S-1-5-21-0-0-0-1000"), kAccessDenied);
  EXPECT_EQ(key.Open(RootKey::Users, L".Default\\Control Panel"), kBadFormat);
  EXPECT_EQ(key.Open(RootKey::LocalMachine, L"Software\\Classes\\.s2cr"), kSuccess);

  // Malformed lines and invalid UTF-8 cost only themselves.
  fs::remove(prefix.prefix() / "user.reg");
  prefix.Write("user.reg", Head("REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000") +
                               "[Software\\\\Good] 1\n\"a\"=\"1\"\nnonsense\n\"b\"=dword:xyz\n\"c\"=\"caf\xc3\xa9\xff\"\n"
                               "[Software\\\\Broken\n\"lost\"=\"x\"\n[Software\\\\Fine] 1\n\"d\"=\"\xed\xa0\x80ok\"\n");
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software"), kSuccess);
  EXPECT_EQ(Subkeys(key), (std::vector<std::wstring>{L"Fine", L"Good"}));
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\Good"), kSuccess);
  EXPECT_EQ(StringValue(key, L"c"), L"caf\u00e9");
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(key.QueryValue(L"b", type, data), kFileNotFound);
  ASSERT_EQ(key.Open(RootKey::CurrentUser, L"Software\\Fine"), kSuccess);
  EXPECT_EQ(StringValue(key, L"d"), L"ok");
}

TEST(RegistryKeyFiles, MissingPrefixIsNotReady) {
  RegistryPrefix prefix;
  setenv("WINEPREFIX", (prefix.prefix() / "absent").c_str(), 1);
  Machine::Reset();
  ASSERT_FALSE(Machine::IsUsable());
  RegistryKey key;
  EXPECT_EQ(key.Open(RootKey::LocalMachine, L""), kNotReady);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.Open(RootKey::CurrentUser, L"Software"), kNotReady);
}

TEST(RegistryKeyFiles, ReloadsChangedFilesAndKeepsOpenKeysOnTheirData) {
  RegistryPrefix prefix;
  prefix.Write("system.reg", Head("REGISTRY\\\\Machine") + "[Software\\\\S2] 1\n\"v\"=dword:00000001\n");
  prefix.Write("user.reg", kUserReg);
  prefix.Activate();
  RegistryKey before;
  ASSERT_EQ(before.Open(RootKey::LocalMachine, L"Software\\S2"), kSuccess);
  prefix.Write("system.reg", Head("REGISTRY\\\\Machine") +
                                 "[Software\\\\S2] 1\n\"v\"=dword:00000002\n[Software\\\\S2\\\\New] 1\n");
  RegistryKey after;
  ASSERT_EQ(after.Open(RootKey::LocalMachine, L"Software\\S2"), kSuccess);
  uint32_t value = 0;
  EXPECT_EQ(after.QueryDword(L"v", value), kSuccess);
  EXPECT_EQ(value, 2u);
  // The key opened before the change still reads the registry it was opened in, and so do keys
  // opened from it.
  EXPECT_EQ(before.QueryDword(L"v", value), kSuccess);
  EXPECT_EQ(value, 1u);
  RegistryKey child;
  EXPECT_EQ(child.Open(before, L"New"), kFileNotFound);
  EXPECT_EQ(child.Open(after, L"New"), kSuccess);

  // Another prefix is another registry.
  RegistryPrefix second;
  second.Write("system.reg", Head("REGISTRY\\\\Machine") + "[Software\\\\Other] 1\n");
  second.Activate();
  EXPECT_EQ(child.Open(RootKey::LocalMachine, L"Software\\S2"), kFileNotFound);
  EXPECT_EQ(child.Open(RootKey::LocalMachine, L"Software\\Other"), kSuccess);
}

TEST(RegistryKeyFiles, ThreadsReadWhileTheFilesChange) {
  RegistryPrefix prefix;
  prefix.WriteStandard();
  prefix.Activate();
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        RegistryKey key;
        if (key.Open(RootKey::CurrentUser, L"Software\\S2Test\\Sub") != kSuccess) {
          ++failures;
          continue;
        }
        std::wstring name;
        for (uint32_t i = 0; key.EnumKey(i, name) == kSuccess; ++i) {
          RegistryKey child;
          if (child.Open(key, name) != kSuccess) ++failures;
        }
      }
    });
  }
  for (int round = 0; round < 30; ++round) {
    prefix.Write("user.reg", kUserReg + "[Software\\\\Round" + std::to_string(round) + "] 1\n");
    RegistryKey key;
    EXPECT_EQ(key.Open(RootKey::CurrentUser, L"Software\\Round" + std::to_wstring(round)), kSuccess);
  }
  stop = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(RegistryKeyFiles, SkippedLinesAreLoggedWithFileAndLineNumber) {
  FixturePrefix prefix;
  prefix.AddSystemReg("[Software\\\\S2Log] 1\nthis is not a registry line\n\"v\"=dword:1\n");
  prefix.Activate();
  prefix.WriteBesideProgram("CorvaneRepackager.ini",
                            "[LogFileDetails]\r\nLogLevel=2\r\nErrorLogFileName=c:\\RegErrors.txt\r\n");
  CLogger* logger = CLogger::GetInstance();  // one logger for the whole test, so the log stays
  wine::ForgetRegistryTree();
  RegistryKey key;
  uint32_t value = 0;
  ASSERT_EQ(key.Open(RootKey::LocalMachine, L"Software\\S2Log"), kSuccess);
  EXPECT_EQ(key.QueryDword(L"v", value), kSuccess);
  const std::string log = ReadHostFile(prefix.driveC() / "RegErrors.txt");
  CLogger::ReleaseInstance(logger);
  std::smatch match;
  ASSERT_TRUE(std::regex_search(log, match, std::regex(R"((\S+system\.reg) line (\d+) skipped: unrecognized input)")))
      << log;
  EXPECT_EQ(fs::path(match[1].str()), prefix.prefix() / "system.reg");
  std::istringstream file(ReadHostFile(prefix.prefix() / "system.reg"));
  std::string line;
  for (int n = std::stoi(match[2].str()); n > 0; --n) std::getline(file, line);
  EXPECT_EQ(line, "this is not a registry line");
}

}  // namespace
