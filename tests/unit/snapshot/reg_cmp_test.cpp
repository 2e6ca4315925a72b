// The registry snapshot comparison on snapshot files written by the test: which changes it
// reports, in which category, and what the difference file holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/strings.h"
#include "platform/machine.h"
#include "snapshot/reg_cmp.h"
#include "support/fixture_prefix.h"
#include "support/temp_folder.h"

namespace {

// Every reported change as one line: category letter, key, value name, type name.
class ChangeRecorder : public IVelkRegCallback {
 public:
  void OnRegistryChange(const std::wstring& category, const RegValueRecord& record) override {
    std::wstring letter = L"?";
    if (category == L"RegistrySystem//AddedItems//SubKeyList") letter = L"A";
    if (category == L"RegistrySystem//ModifiedItems//SubKeyList") letter = L"M";
    if (category == L"RegistrySystem//DeletedItems//SubKeyList") letter = L"D";
    std::wstring line = letter + L" " + record.key;
    if (!record.valueName.empty() || !record.typeName.empty()) line += L" " + record.valueName + L" " + record.typeName;
    changes.push_back(line);
  }
  std::vector<std::wstring> changes;
};

// Snapshot file bytes from readable text: "\n" becomes CR LF, the header line is put first.
std::string SnapshotBytes(const std::wstring& body) {
  std::wstring text = L"\u00FE\u00FFWindows Registry Snapshot\r\n";
  for (wchar_t c : body) {
    if (c == L'\n') text += L'\r';
    text += c;
  }
  return WideToUtf16Le(text);
}

class RegCmpTest : public ::testing::Test {
 protected:
  void SetUp() override { prefix_.Activate(); }

  // Compares two snapshots given as text; returns the reported changes.
  std::vector<std::wstring> Compare(const std::wstring& first, const std::wstring& second) {
    return CompareBytes(SnapshotBytes(first), SnapshotBytes(second));
  }

  std::vector<std::wstring> CompareBytes(const std::string& first, const std::string& second) {
    const std::wstring one = platform::Machine::WindowsPath(folder_.WriteFile("one.reg", first));
    const std::wstring two = platform::Machine::WindowsPath(folder_.WriteFile("two.reg", second));
    const std::wstring difference = platform::Machine::WindowsPath(folder_.path() / "difference.reg");
    ChangeRecorder recorder;
    CRegCmp cmp;
    cmp.SetCallback(&recorder);
    result_ = cmp.CompareFiles(one, two, difference);
    difference_ = ReadHostFile(folder_.path() / "difference.reg");
    return recorder.changes;
  }

  // The difference file as text with "\n" line ends, header removed.
  std::wstring DifferenceText() const {
    std::wstring text = Utf16LeToWide(difference_.data(), difference_.size());
    const std::wstring header = L"\u00FE\u00FFWindows Registry Snapshot\r\n";
    if (text.compare(0, header.size(), header) != 0) return L"<no header>";
    text.erase(0, header.size());
    ReplaceAll(text, L"\r\n", L"\n");
    return text;
  }

  FixturePrefix prefix_;
  TempFolder folder_;
  bool result_ = false;
  std::string difference_;
};

using Changes = std::vector<std::wstring>;

std::wstring Replaced(std::wstring text, const std::wstring& from, const std::wstring& to) {
  const size_t at = text.find(from);
  if (at != std::wstring::npos) text.replace(at, from.size(), to);
  return text;
}

const std::wstring kVendor =
    L"[HKLM\\SOFTWARE\\Vendor]\n"
    L"@=\"1\"=\"abc\"\n"
    L"\"Count\"=\"4\"=\"0000000a\"\n"
    L"\"Path\"=\"1\"=\"C:\\App\"\n"
    L"\n"
    L"[HKLM\\SOFTWARE\\Vendor\\Sub]\n"
    L"\n";

// The changes reported and the difference file written: values that changed keep the key's
// record first; a multi-string value has no type name; a key deleted with its subkeys is one record.
TEST_F(RegCmpTest, ChangesAndTheDifferenceFile) {
  const struct {
    const char* what;
    std::wstring first;
    std::wstring second;
    Changes changes;
    std::wstring difference;
  } cases[] = {
      {"identical snapshots", kVendor, kVendor, {}, L""},
      {"values added, modified, deleted and retyped", kVendor,
       L"[HKLM\\SOFTWARE\\Vendor]\n\"Count\"=\"4\"=\"0000000b\"\n\"New\"=\"3\"=\"01,02\"\n\"Path\"=\"2\"=\"43,00,00,00\"\n\n"
       L"[HKLM\\SOFTWARE\\Vendor\\Sub]\n\n",
       {L"D [HKLM\\SOFTWARE\\Vendor]", L"D [HKLM\\SOFTWARE\\Vendor] @ REG_SZ", L"M [HKLM\\SOFTWARE\\Vendor]",
        L"M [HKLM\\SOFTWARE\\Vendor] \"Count\" REG_DWORD", L"A [HKLM\\SOFTWARE\\Vendor] \"New\" REG_BINARY",
        L"M [HKLM\\SOFTWARE\\Vendor] \"Path\" REG_EXPAND_SZ"},
       L"\n[HKLM\\SOFTWARE\\Vendor]\n~* @=\n"
       L"\n[HKLM\\SOFTWARE\\Vendor]\n\"Count\"=\"4\"=\"0000000b\"\n\"New\"=\"3\"=\"01,02\"\n\"Path\"=\"2\"=\"43,00,00,00\"\n"},
      {"a deleted value and a multi-string value",
       L"[HKLM\\K]\n\"List\"=\"7\"=\"61,00,00,00,00,00\"\n\"Q\"=\"11\"=\"01,00,00,00,00,00,00,00\"\n\n",
       L"[HKLM\\K]\n\"List\"=\"7\"=\"62,00,00,00,00,00\"\n\n",
       {L"M [HKLM\\K]", L"M [HKLM\\K] \"List\" ", L"D [HKLM\\K]", L"D [HKLM\\K] \"Q\" REG_QWORD"},
       L"\n[HKLM\\K]\n\"List\"=\"7\"=\"62,00,00,00,00,00\"\n\n[HKLM\\K]\n~* \"Q\"=\n"},
      {"a key deleted with its subkeys beside a sibling sharing its name's start",
       L"[HKLM\\A]\n\n[HKLM\\A\\B]\n\"v\"=\"1\"=\"1\"\n\n[HKLM\\A\\B\\C]\n\"w\"=\"1\"=\"1\"\n\n[HKLM\\A\\B\\C\\D]\n\n"
       L"[HKLM\\A\\BC]\n\"x\"=\"1\"=\"1\"\n\n",
       L"[HKLM\\A]\n\n[HKLM\\A\\BC]\n\"x\"=\"1\"=\"2\"\n\n",
       {L"D [HKLM\\A\\B]", L"M [HKLM\\A\\BC]", L"M [HKLM\\A\\BC] \"x\" REG_SZ"},
       L"\n[~*HKLM\\A\\B]\n\n[HKLM\\A\\BC]\n\"x\"=\"1\"=\"2\"\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Compare(c.first, c.second), c.changes);
    EXPECT_TRUE(result_);
    EXPECT_EQ(DifferenceText(), c.difference);
  }
  EXPECT_EQ(CompareBytes(SnapshotBytes(kVendor), SnapshotBytes(kVendor)), Changes{});
  EXPECT_EQ(difference_.size(), 2u * 29u);  // the header line alone
}

// Pairs of snapshots and the changes between them: value changes, keys in one snapshot only, and
// orders that a whole-line comparison gets wrong.
TEST_F(RegCmpTest, ReportsEachChangeOnceInItsCategory) {
  const std::wstring wordBefore =
      L"[HKCR\\Word.Document]\n@=\"1\"=\"Word\"\n\n"
      L"[HKCR\\Word.Document\\CLSID]\n@=\"1\"=\"{1}\"\n\n"
      L"[HKCR\\Word.Document.8]\n@=\"1\"=\"Word 8\"\n\n"
      L"[HKCR\\Word.Document.8\\CLSID]\n@=\"1\"=\"{8}\"\n\n";
  const std::wstring wordAfter =
      L"[HKCR\\Word.Document]\n@=\"1\"=\"Word\"\n\n"
      L"[HKCR\\Word.Document\\CLSID]\n@=\"1\"=\"{2}\"\n\n"
      L"[HKCR\\Word.Document\\CurVer]\n@=\"1\"=\"Word.Document.8\"\n\n"
      L"[HKCR\\Word.Document.8]\n@=\"1\"=\"Word 8\"\n\n"
      L"[HKCR\\Word.Document.8\\CLSID]\n@=\"1\"=\"{8}\"\n\n";
  const std::wstring apps =
      L"[HKLM\\S\\App]\n\n[HKLM\\S\\App\\Sub]\n\"v\"=\"1\"=\"1\"\n\n"
      L"[HKLM\\S\\App 2]\n\"v\"=\"1\"=\"1\"\n\n[HKLM\\S\\App-x64]\n\"v\"=\"1\"=\"1\"\n\n";
  const std::wstring charsets =
      L"[HKLM\\Charset]\n\n[HKLM\\Charset\\_iso-2022-jp$SIO]\n\"v\"=\"1\"=\"1\"\n\n"
      L"[HKLM\\Charset\\ANSI_X3.4-1968]\n\"v\"=\"1\"=\"1\"\n\n[HKLM\\Charset\\GB_2312-80]\n\n[HKLM\\Charset\\GBK]\n\n";
  const std::wstring endsWithB = L"[HKLM\\A]\n\n[HKLM\\B]\n\"v\"=\"1\"=\"1\"\n\n[HKLM\\B\\C]\n\n";
  const struct {
    const char* what;
    std::wstring first;
    std::wstring second;
    Changes expected;
  } cases[] = {
      {"a new value gives a key record, then a value record", kVendor,
       Replaced(kVendor, L"\"Path\"", L"\"Name\"=\"1\"=\"x\"\n\"Path\""),
       {L"A [HKLM\\SOFTWARE\\Vendor]", L"A [HKLM\\SOFTWARE\\Vendor] \"Name\" REG_SZ"}},
      // Values are listed without regard to case (Wine's lower-case order: "_x" before "ANSI").
      {"a value inserted among mixed-case names is one addition",
       L"[HKLM\\K]\n\"_x\"=\"1\"=\"1\"\n\"ANSI\"=\"1\"=\"2\"\n\"beta\"=\"1\"=\"3\"\n\"Gamma\"=\"1\"=\"4\"\n\n",
       L"[HKLM\\K]\n\"_x\"=\"1\"=\"1\"\n\"ANSI\"=\"1\"=\"2\"\n\"Bar\"=\"1\"=\"9\"\n\"beta\"=\"1\"=\"3\"\n\"Gamma\"=\"1\"=\"5\"\n\n",
       {L"A [HKLM\\K]", L"A [HKLM\\K] \"Bar\" REG_SZ", L"M [HKLM\\K] \"Gamma\" REG_SZ"}},
      // Windows keeps values in creation order; the same values in another order are the same key.
      {"values in another order, names in another case",
       L"[HKLM\\K]\n\"b\"=\"1\"=\"2\"\n\"A\"=\"1\"=\"1\"\n\"c\"=\"4\"=\"00000001\"\n\n",
       L"[HKLM\\K]\n\"a\"=\"1\"=\"1\"\n\"C\"=\"4\"=\"00000001\"\n\"B\"=\"1\"=\"2\"\n\n", {}},
      {"a value appended to the last key", L"[HKLM\\A]\n\"v\"=\"1\"=\"1\"\n\n[HKLM\\B]\n\"v\"=\"1\"=\"1\"\n\n",
       L"[HKLM\\A]\n\"v\"=\"1\"=\"1\"\n\n[HKLM\\B]\n\"v\"=\"1\"=\"1\"\n\"w\"=\"1\"=\"2\"\n\n",
       {L"A [HKLM\\B]", L"A [HKLM\\B] \"w\" REG_SZ"}},
      {"value names holding quotes and equals signs",
       L"[HKLM\\K]\n\"a=\"b\"=\"1\"=\"x\"\n\"say \"hi\"\"=\"1\"=\"y\"\n\n",
       L"[HKLM\\K]\n\"a=\"b\"=\"1\"=\"z\"\n\"say \"hi\"\"=\"1\"=\"y\"\n\n",
       {L"M [HKLM\\K]", L"M [HKLM\\K] \"a=\"b\" REG_SZ"}},
      {"an added key with subkeys reports every key and value", L"[HKLM\\A]\n\n[HKLM\\Z]\n\n",
       L"[HKLM\\A]\n\n[HKLM\\N]\n\"one\"=\"1\"=\"1\"\n\n[HKLM\\N\\Sub]\n\"two\"=\"4\"=\"00000002\"\n\n"
       L"[HKLM\\N\\Sub\\Empty]\n\n[HKLM\\Z]\n\n",
       {L"A [HKLM\\N]", L"A [HKLM\\N] \"one\" REG_SZ", L"A [HKLM\\N\\Sub]", L"A [HKLM\\N\\Sub] \"two\" REG_DWORD",
        L"A [HKLM\\N\\Sub\\Empty]"}},
      {"a deleted key at the end of the first file", endsWithB, L"[HKLM\\A]\n\n", {L"D [HKLM\\B]"}},
      {"an added key at the end of the second file", L"[HKLM\\A]\n\n", endsWithB,
       {L"A [HKLM\\B]", L"A [HKLM\\B] \"v\" REG_SZ", L"A [HKLM\\B\\C]"}},
      {"keys differing only in letter case",
       L"[HKLM\\Software\\Vendor]\n\"v\"=\"1\"=\"1\"\n\n[HKLM\\Software\\Vendor\\App]\n\n",
       L"[HKLM\\SOFTWARE\\vendor]\n\"V\"=\"1\"=\"1\"\n\n[HKLM\\SOFTWARE\\VENDOR\\app]\n\n", {}},
      {"a whole root as the starting key", L"[HKEY_CURRENT_CONFIG\\]\n\n[HKEY_CURRENT_CONFIG\\Software]\n\n",
       L"[HKEY_CURRENT_CONFIG\\]\n\n[HKEY_CURRENT_CONFIG\\Software]\n\n[HKEY_CURRENT_CONFIG\\Software\\X]\n\"v\"=\"1\"=\"1\"\n\n",
       {L"A [HKEY_CURRENT_CONFIG\\Software\\X]", L"A [HKEY_CURRENT_CONFIG\\Software\\X] \"v\" REG_SZ"}},
      // Word.Document's subtree comes before Word.Document.8, although '.' sorts before '\'.
      {"a subtree before a sibling with a dot in its name", wordBefore, wordAfter,
       {L"M [HKCR\\Word.Document\\CLSID]", L"M [HKCR\\Word.Document\\CLSID] @ REG_SZ",
        L"A [HKCR\\Word.Document\\CurVer]", L"A [HKCR\\Word.Document\\CurVer] @ REG_SZ"}},
      {"the same, deleted", wordAfter, wordBefore,
       {L"M [HKCR\\Word.Document\\CLSID]", L"M [HKCR\\Word.Document\\CLSID] @ REG_SZ",
        L"D [HKCR\\Word.Document\\CurVer]"}},
      // "App" < "App 2" < "App-x64" as names, while "App\Sub" would sort after both as text.
      {"siblings with a blank and a dash", apps,
       Replaced(apps, L"[HKLM\\S\\App\\Sub]\n\"v\"=\"1\"=\"1\"", L"[HKLM\\S\\App\\Sub]\n\"v\"=\"1\"=\"7\""),
       {L"M [HKLM\\S\\App\\Sub]", L"M [HKLM\\S\\App\\Sub] \"v\" REG_SZ"}},
      // Wine folds names to lower case: "_iso" sorts before "ANSI".
      {"an underscore sorts before letters", charsets,
       Replaced(charsets, L"[HKLM\\Charset\\ANSI_X3.4-1968]\n\"v\"=\"1\"=\"1\"",
                L"[HKLM\\Charset\\ANSI_X3.4-1968]\n\"v\"=\"1\"=\"2\"") +
           L"[HKLM\\Charset\\GBK\\New]\n\n",
       {L"M [HKLM\\Charset\\ANSI_X3.4-1968]", L"M [HKLM\\Charset\\ANSI_X3.4-1968] \"v\" REG_SZ",
        L"A [HKLM\\Charset\\GBK\\New]"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Compare(c.first, c.second), c.expected);
  }
}

// ---- Files ----

TEST_F(RegCmpTest, FilesMissingSnapshotReportsNothing) {
  const std::wstring one = platform::Machine::WindowsPath(folder_.WriteFile("one.reg", SnapshotBytes(kVendor)));
  const std::wstring missing = platform::Machine::WindowsPath(folder_.path() / "missing.reg");
  ChangeRecorder recorder;
  CRegCmp cmp;
  cmp.SetCallback(&recorder);
  EXPECT_FALSE(cmp.CompareFiles(one, missing, platform::Machine::WindowsPath(folder_.path() / "d.reg")));
  EXPECT_FALSE(cmp.CompareFiles(missing, one, std::wstring()));
  EXPECT_TRUE(recorder.changes.empty());
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "d.reg"));
}

TEST_F(RegCmpTest, FilesEmptyOrCutShortReadAsEnded) {
  // An empty first file (a starting key that was rejected): everything of the second is added.
  EXPECT_EQ(CompareBytes(std::string(), SnapshotBytes(L"[HKLM\\K]\n\"v\"=\"1\"=\"1\"\n\n")),
            (Changes{L"A [HKLM\\K]", L"A [HKLM\\K] \"v\" REG_SZ"}));
  EXPECT_TRUE(result_);
  EXPECT_EQ(CompareBytes(SnapshotBytes(L"[HKLM\\K]\n\n[HKLM\\K\\S]\n\n"), std::string()), (Changes{L"D [HKLM\\K]"}));
  // A last line cut short is ignored.
  std::string second = SnapshotBytes(L"[HKLM\\K]\n\"v\"=\"1\"=\"1\"\n\n");
  second += WideToUtf16Le(L"[HKLM\\K\\Half");  // no line end: not a line
  second.push_back('\x00');                     // and an odd byte
  EXPECT_EQ(CompareBytes(SnapshotBytes(L"[HKLM\\K]\n\"v\"=\"1\"=\"1\"\n\n"), second), Changes{});
}

}  // namespace
