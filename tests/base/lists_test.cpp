#include <gtest/gtest.h>

#include "base/binio.h"
#include "base/cliplist.h"
#include "base/lists.h"
#include "support/fuzz_seeds.h"

namespace orba {
namespace {

TEST(Geometry, SizesNearTheLimitsSaturate) {
  // Sides 2^32 - 1 apart: the true width does not fit, the widest int32 is the answer.
  EXPECT_EQ((TRect{INT32_MIN, 0, INT32_MAX, 1}.Width()), INT32_MAX);
  EXPECT_EQ((TRect{0, INT32_MAX, 1, INT32_MIN}.Height()), INT32_MIN);
  EXPECT_EQ((TRect{-2, 0, INT32_MAX - 2, 1}.Width()), INT32_MAX);
  EXPECT_EQ(Bounds(INT32_MAX - 5, INT32_MIN + 5, 100, -100), (TRect{INT32_MAX - 5, INT32_MIN + 5, INT32_MAX, INT32_MIN}));
  EXPECT_EQ(Bounds(-10, 20, 30, 40), (TRect{-10, 20, 20, 60}));
}

TEST(ClipList, MergesWithinTwentyPixels) {
  struct Case {
    const char* name;
    std::vector<TRect> added;
    std::vector<TRect> expected;
  } cases[] = {
      {"empty ignored", {{5, 5, 5, 10}}, {}},
      {"far apart kept", {{0, 0, 10, 10}, {31, 0, 40, 10}}, {{0, 0, 10, 10}, {31, 0, 40, 10}}},
      {"gap of exactly 20 merges", {{0, 0, 10, 10}, {30, 0, 40, 10}}, {{0, 0, 40, 10}}},
      {"inside changes nothing", {{0, 0, 100, 100}, {10, 10, 20, 20}}, {{0, 0, 100, 100}}},
      {"below within 20", {{0, 0, 10, 10}, {0, 25, 10, 30}}, {{0, 0, 10, 30}}},
      // The union of the third with the first comes close to the second, which then merges too.
      {"merging cascades", {{0, 0, 10, 10}, {100, 0, 110, 10}, {5, 0, 85, 10}}, {{0, 0, 110, 10}}},
      // The distance is measured without wrapping at the 32-bit limits.
      {"close near the lowest coordinate", {{INT32_MIN + 5, 0, INT32_MIN + 10, 10}, {INT32_MIN, 0, INT32_MIN + 1, 10}},
       {{INT32_MIN, 0, INT32_MIN + 10, 10}}},
      {"close near the highest coordinate", {{INT32_MAX - 10, 0, INT32_MAX - 5, 10}, {INT32_MAX - 1, 0, INT32_MAX, 10}},
       {{INT32_MAX - 10, 0, INT32_MAX, 10}}},
  };
  for (const auto& c : cases) {
    TClipList list;
    for (const auto& r : c.added) list.Add(r);
    EXPECT_EQ(list.Rects(), c.expected) << c.name;
  }
}

TEST(TabStrings, SplitsAtTabsButNotInsideDoubleByteCharacters) {
  struct Case { std::string text; std::vector<std::string> cells; } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\tb", {"a", "b"}},
      {"a\t\tb", {"a", "", "b"}},
      {"a\t", {"a"}},  // a tab at the very end adds no cell
      {"\t", {""}},
      {"\x81\x09x\tc", {"\x81\x09x", "c"}},  // 0x81 0x09 is one character, not a tab
  };
  for (const auto& c : cases) EXPECT_EQ(TTabStrings(c.text).Cells(), c.cells) << c.text;
  TTabStrings t("a\tb");
  EXPECT_EQ(t[5], "");
  EXPECT_EQ(t[-1], "");
}

TEST(IntList, WritingPastTheEndPadsWithZeros) {
  TIntList list;
  list.Set(3, 7);
  EXPECT_EQ(list.Items(), (std::vector<int32_t>{0, 0, 0, 7}));
  EXPECT_EQ(list.Get(10), 0);
}

TEST(ArrayString, StreamFormRoundTripsAndRejectsHostileCounts) {
  TArrayString a;
  a.Add("one");
  a.Add("");
  a.Add("\x95\x5C");
  TKvMemoryStream s;
  TBinaryWriter w(s);
  a.WriteTo(w);
  EXPECT_EQ(s.GetSize(), 4 + (4 + 3) + 4 + (4 + 2));
  s.SetPosition(0);
  TBinaryReader r(s);
  TArrayString b;
  b.ReadFrom(r);
  EXPECT_EQ(a, b);

  // The fuzz target reads this array form followed by a 10-byte float and a count: seeds for
  // an empty array and for the one above, each followed by those two fields.
  for (const auto& [name, array] : {std::pair{"empty", TArrayString{}}, std::pair{"three", a}}) {
    TKvMemoryStream seed;
    TBinaryWriter sw(seed);
    array.WriteTo(sw);
    sw.Extended(TExtended{1.5});
    sw.I32(3);
    testing_support::ExpectFuzzSeed("records", name, seed.Bytes());
  }

  for (std::vector<uint8_t> bad : {std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F},      // two billion strings
                                   std::vector<uint8_t>{1, 0, 0, 0, 9, 0, 0, 0, 'x'},  // string longer than the data
                                   std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}}) {    // negative count
    TKvMemoryStream bs(bad);
    TBinaryReader br(bs);
    TArrayString c;
    EXPECT_THROW(c.ReadFrom(br), EReadError);
  }
}

}  // namespace
}  // namespace orba
