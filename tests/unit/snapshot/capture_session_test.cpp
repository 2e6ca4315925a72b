// The saved choices of a capture session ("ScanDetails.txt"): the record reader on literal bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/strings.h"
#include "snapshot/scan_details.h"

namespace {

TEST(CaptureScanDetailsTest, RecordsRoundTripAndDamageStopsTheReader) {
  std::string bytes;
  AppendScanDetail(bytes, kScanDetailFile, L"C:\\Program Files");
  AppendScanDetail(bytes, 9, L"ignored");
  AppendScanDetail(bytes, kScanDetailSetupFileInfo, L"Caf\u00e9");
  AppendScanDetail(bytes, kScanDetailRegistry, L"HKEY_LOCAL_MACHINE\\SOFTWARE");
  AppendScanDetail(bytes, kScanDetailSetupFilePath, std::wstring(2000, L'x'));  // cut to 1023 bytes
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x01\0\0\0\x10\0\0\0", 8));
  EXPECT_EQ(bytes.substr(8, 16), "C:\\Program Files");

  ScanDetailLists lists;
  EXPECT_EQ(ParseScanDetails(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), lists),
            ScanDetailsReadEnd::kComplete);
  EXPECT_EQ(lists.files, std::vector<std::wstring>{L"C:\\Program Files"});
  EXPECT_EQ(lists.registry, std::vector<std::wstring>{L"HKEY_LOCAL_MACHINE\\SOFTWARE"});
  EXPECT_EQ(lists.setupFileInfo, std::vector<std::wstring>{L"Caf\u00e9"});
  ASSERT_EQ(lists.setupFilePath.size(), 1u);
  EXPECT_EQ(lists.setupFilePath[0].size(), 1023u);

  // A text cut in the middle of a character keeps only whole characters.
  std::string accented;
  AppendScanDetail(accented, kScanDetailFile, L"ab" + std::wstring(600, L'\u00e9'));
  EXPECT_EQ(accented.size(), 8u + 1022u);

  ScanDetailLists cut;
  EXPECT_EQ(ParseScanDetails(reinterpret_cast<const unsigned char*>(bytes.data()), 8 + 16 + 3, cut),
            ScanDetailsReadEnd::kTruncated);
  EXPECT_EQ(cut.files.size(), 1u);
  std::string bad = bytes.substr(0, 24);
  bad += std::string("\x01\0\0\0\x00\x08\0\0", 8);  // 2048 bytes: longer than any text
  bad += std::string(2048, 'x');
  ScanDetailLists badLists;
  EXPECT_EQ(ParseScanDetails(reinterpret_cast<const unsigned char*>(bad.data()), bad.size(), badLists),
            ScanDetailsReadEnd::kBadLength);
  EXPECT_EQ(badLists.files.size(), 1u);
}

}  // namespace
