#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "files/hash.h"

namespace orba {
namespace {

std::vector<int32_t> Positions(const THashCollection& c, const std::vector<std::string>& names) {
  std::vector<int32_t> out;
  for (const auto& n : names) out.push_back(c.IndexOf(n));
  return out;
}

TEST(HashCollection, FindsByNameIgnoringAsciiCaseOnly) {
  THashCollection c;
  EXPECT_EQ(c.IndexOf(""), -1) << "empty collection";
  EXPECT_EQ(c.IndexOf("abc"), -1);

  c.Add("abc");
  c.Add("BG0001.TRN");
  c.Add(Sjis(u8"表示"));  // 0x95 0x5C: a second byte that is a backslash
  c.Add(Sjis(u8"Ａ"));    // full-width letters are not folded
  c.Add("\x83\x41");      // second byte 'A' must not fold to 'a'
  struct Case { std::string name; int32_t index; } cases[] = {
      {"ABC", 0}, {"aBc", 0}, {"abc ", -1}, {"ab", -1},
      {"bg0001.trn", 1}, {"Bg0001.Trn", 1}, {"bg0001.trm", -1},
      {Sjis(u8"表示"), 2}, {Sjis(u8"表"), -1},
      {Sjis(u8"ａ"), -1}, {Sjis(u8"Ａ"), 3},
      {"\x83\x41", 4}, {"\x83\x61", -1},
  };
  for (const auto& c2 : cases) EXPECT_EQ(c.IndexOf(c2.name), c2.index) << ToUtf8(c2.name);
  EXPECT_EQ(THashCollection::HashOf("ABC"), THashCollection::HashOf("abc"));
}

TEST(HashCollection, AmongEqualNamesTheMostRecentlyLinkedWins) {
  THashCollection c;
  c.Add("x");
  c.Add("X");
  EXPECT_EQ(c.IndexOf("x"), 1);

  // Renaming to the same bytes leaves the link alone; a change of case relinks.
  c.Item(0)->SetName("x");
  EXPECT_EQ(c.IndexOf("x"), 1);
  c.Item(0)->SetName("X");
  EXPECT_EQ(c.IndexOf("x"), 0);
  EXPECT_EQ(c.Item(0)->Name(), "X");

  // An unnamed item is found by the empty name.
  c.Add();
  EXPECT_EQ(c.IndexOf(""), 2);
  EXPECT_EQ(c.Item(2)->DisplayName(), "THashCollectionItem");
  c.Item(2)->Assign(*c.Item(1));
  EXPECT_EQ(c.IndexOf("x"), 2);
  EXPECT_EQ(c.IndexOf(""), -1);
}

TEST(HashCollection, PositionsShiftWhenAnItemGoes) {
  THashCollection c;
  for (const char* n : {"a", "b", "c", "d", "e"}) c.Add(n);
  c.Delete(2);
  EXPECT_EQ(Positions(c, {"a", "b", "c", "d", "e"}), (std::vector<int32_t>{0, 1, -1, 2, 3}));

  c.DeleteWhere([](const THashCollectionItem& i) { return i.Name() == "a" || i.Name() == "e"; });
  EXPECT_EQ(Positions(c, {"a", "b", "d", "e"}), (std::vector<int32_t>{-1, 0, 1, -1}));
  EXPECT_EQ(c.Count(), 2);

  auto handle = c.Item(0)->LifeHandle();
  EXPECT_EQ(*handle, c.Item(0));
  c.Clear();
  EXPECT_EQ(*handle, nullptr) << "the handle outlives the freed item";
}

TEST(HashCollection, GrowingKeepsEveryLookupAndTheOrderAmongEqualNames) {
  THashCollection c;
  char buf[16];
  for (int i = 0; i < 5000; ++i) {
    std::snprintf(buf, sizeof buf, "bg%04d.trn", i);
    c.Add(buf);
    if (i % 1000 == 0) c.Add(buf);  // a duplicate linked later
  }
  for (int i = 0; i < 5000; i += 7) {
    std::snprintf(buf, sizeof buf, "BG%04d.TRN", i);
    int32_t at = c.IndexOf(buf);
    ASSERT_GE(at, 0) << buf;
    EXPECT_TRUE(SameText(c.Item(at)->Name(), buf));
    if (i % 1000 == 0) {
      EXPECT_EQ(c.Item(at - 1)->Name(), c.Item(at)->Name()) << "the later duplicate wins";
    }
  }
  EXPECT_EQ(c.IndexOf("bg5000.trn"), -1);
  // Deleting the later duplicate uncovers the earlier one.
  int32_t dup = c.IndexOf("bg3000.trn");
  c.Delete(dup);
  EXPECT_EQ(c.IndexOf("bg3000.trn"), dup - 1);
}

}  // namespace
}  // namespace orba
