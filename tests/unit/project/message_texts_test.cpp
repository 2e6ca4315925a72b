// The numbered texts used as formats carry exactly the conversions their callers pass; no other
// text holds a conversion that a caller would leave unfilled.
#include <gtest/gtest.h>

#include <string>

#include "core/message_texts.h"

namespace {

TEST(MessageTextsTest, FormatsCarryTheirArguments) {
  auto count = [](const std::wstring& text) {
    int n = 0;
    for (size_t at = text.find(L"%d"); at != std::wstring::npos; at = text.find(L"%d", at + 1)) ++n;
    return n;
  };
  // Folders and files scanned, folder position and count: two; keys read, key position: one.
  const struct {
    int number;
    int conversions;
  } formats[] = {{152, 2}, {154, 2}, {153, 1}, {155, 1}};
  for (const auto& f : formats) EXPECT_EQ(f.conversions, count(MessageText(f.number))) << f.number;
  for (int number = 100; number < 200; ++number) {
    if (number >= 152 && number <= 155) continue;
    EXPECT_EQ(std::wstring::npos, MessageText(number).find(L'%')) << number;
  }
}

}  // namespace
