#include <gtest/gtest.h>

#include "base/cp932.h"

namespace orba {
namespace {

// 表 is 0x95 0x5C and ソ is 0x83 0x5C: their second byte is the backslash / yen byte.
const std::string kHyou = "\x95\x5C";
const std::string kSo = "\x83\x5C";

TEST(Cp932, LeadBytes) {
  for (int b : {0x81, 0x9F, 0xE0, 0xFC}) EXPECT_TRUE(IsLeadByte(static_cast<uint8_t>(b))) << b;
  for (int b : {0x00, 0x5C, 0x80, 0xA0, 0xDF, 0xFD, 0xFF}) EXPECT_FALSE(IsLeadByte(static_cast<uint8_t>(b))) << b;
}

TEST(Cp932, CaseFoldingLeavesSecondBytesAlone) {
  // 0x83 0x61 is a katakana whose second byte is 'a'; 0x83 0x41 is another whose second
  // byte is 'A'. Folding must not turn one into the other.
  struct Case { std::string in, upper, lower; } cases[] = {
      {"abcXYZ09", "ABCXYZ09", "abcxyz09"},
      {"\x83\x61z", "\x83\x61Z", "\x83\x61z"},
      {"\x83\x41Z", "\x83\x41Z", "\x83\x41z"},
      {"a\x95\x5C" "b", "A\x95\x5C" "B", "a\x95\x5C" "b"},
      {"x\x83", "X\x83", "x\x83"},  // a lone lead byte at the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpperCase(c.in), c.upper) << c.in;
    EXPECT_EQ(LowerCase(c.in), c.lower) << c.in;
  }
  EXPECT_FALSE(SameText("\x83\x61", "\x83\x41"));
  EXPECT_TRUE(SameText("Game\\BG.trn", "game\\bg.TRN"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
}

TEST(Cp932, CountsCharactersNotBytes) {
  EXPECT_EQ(CharCount(""), 0u);
  EXPECT_EQ(CharCount("a" + kHyou + "b"), 3u);
  EXPECT_EQ(CharCount("\x83"), 1u);
  EXPECT_EQ(ByteOffsetOfChar("a" + kHyou + "b", 2), 3u);
  EXPECT_EQ(ByteOffsetOfChar("ab", 5), 2u);
  EXPECT_TRUE(IsTrailByteAt(kSo + "\\", 1));
  EXPECT_FALSE(IsTrailByteAt(kSo + "\\", 2));
}

TEST(Cp932, ConvertsBothWays) {
  struct Case { std::string cp932; std::string utf8; } cases[] = {
      {"abc\\", "abc\\"},  // 0x5C stays a backslash, never a yen sign
      {"~", "~"},
      {kHyou, "\xE8\xA1\xA8"},
      {kSo, "\xE3\x82\xBD"},
      {"\x82\xA0", "\xE3\x81\x82"},  // あ
      {"\xB1", "\xEF\xBD\xB1"},      // half-width katakana ｱ
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(c.cp932), c.utf8);
    EXPECT_EQ(FromUtf8(c.utf8), c.cp932);
  }
  EXPECT_EQ(Sjis(u8"終了"), "\x8F\x49\x97\xB9");
}

TEST(Cp932, RejectedBytesHaveADefinedFallback) {
  EXPECT_EQ(ToUtf8("a\xA0z"), "a\xEF\xBF\xBDz");     // 0xA0 is no character
  EXPECT_EQ(ToUtf8("a\x81"), "a\xEF\xBF\xBD");       // lead byte cut off at the end
  EXPECT_EQ(FromUtf8("a\xF0\x9F\x98\x80z"), "a?z");  // an emoji CP932 cannot hold
  EXPECT_EQ(FromUtf8("a\xFFz"), "a?z");              // malformed UTF-8
}

}  // namespace
}  // namespace orba
