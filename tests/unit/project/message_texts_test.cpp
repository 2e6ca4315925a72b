// The numbered texts: every number the program uses has a text, formats carry the arguments
// their callers pass, and an unknown number gives nothing.
#include <gtest/gtest.h>

#include <string>

#include "core/message_texts.h"

namespace {

int CountOf(const std::wstring& text, const std::wstring& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(MessageTextsTest, EveryUsedNumberHasAText) {
  const int used[] = {102, 103, 104, 105, 106, 107, 109, 110, 111, 114, 115, 116, 117, 118, 119, 120, 121,
                      122, 123, 124, 125, 126, 127, 128, 129, 130, 132, 133, 134, 135, 136, 137, 138, 139,
                      140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151, 152, 153, 154, 155, 156,
                      157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173,
                      174, 177, 178, 179};
  for (int number : used) EXPECT_FALSE(MessageText(number).empty()) << number;
}

TEST(MessageTextsTest, FormatsCarryTheirArguments) {
  // Two counts: folders and files scanned; folder position and folder count.
  EXPECT_EQ(2, CountOf(MessageText(152), L"%d"));
  EXPECT_EQ(2, CountOf(MessageText(154), L"%d"));
  // One count: keys read; key position.
  EXPECT_EQ(1, CountOf(MessageText(153), L"%d"));
  EXPECT_EQ(1, CountOf(MessageText(155), L"%d"));
  // Texts that are not used as formats hold no conversion at all.
  for (int number = 100; number < 200; ++number) {
    if (number == 152 || number == 153 || number == 154 || number == 155) continue;
    EXPECT_EQ(std::wstring::npos, MessageText(number).find(L'%')) << number;
  }
}

TEST(MessageTextsTest, UnknownNumbersAreEmpty) {
  for (int number : {0, -1, 101, 108, 112, 131, 175, 176, 180, 1000}) {
    EXPECT_TRUE(MessageText(number).empty()) << number;
  }
}

}  // namespace
