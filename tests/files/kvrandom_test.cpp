#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "files/kvrandom.h"

namespace orba {
namespace {

TEST(KvRandom, FollowsTheRecurrenceAndWraps) {
  TKvRandom r(1);
  std::vector<int32_t> got;
  for (int i = 0; i < 5; ++i) got.push_back(r.Next());
  EXPECT_EQ(got, (std::vector<int32_t>{1, 6, 31, 156, 781}));

  // The archive seed: x1 = seed, x2 = 6 seed mod 2^32, read as signed.
  TKvRandom a(TKvRandom::kArchiveSeed);
  EXPECT_EQ(a.Next(), 1590264837);
  EXPECT_EQ(a.Next(), static_cast<int32_t>(uint32_t{1590264837u} * 6u));
}

TEST(KvRandom, OffsetsUseTheOutputSignExtended) {
  // Seed -1: the first output is -1 (bit 31 set), so all 64 bits flip.
  TKvRandom neg(-1);
  EXPECT_EQ(neg.ScrambleOffset(0x0000000100000010LL), static_cast<int64_t>(~0x0000000100000010ULL));
  // Seed 1: the output 1 has bit 31 clear, so the high half stays.
  TKvRandom pos(1);
  EXPECT_EQ(pos.ScrambleOffset(0x0000000100000010LL), 0x0000000100000011LL);

  // The same sequence twice restores the plain bytes.
  TKvRandom s1(TKvRandom::kArchiveSeed), s2(TKvRandom::kArchiveSeed);
  std::string plain = "data\\bg0001.trn";
  std::string scrambled = plain;
  for (auto& c : scrambled) c = static_cast<char>(s1.ScrambleByte(static_cast<uint8_t>(c)));
  EXPECT_NE(scrambled, plain);
  for (auto& c : scrambled) c = static_cast<char>(s2.ScrambleByte(static_cast<uint8_t>(c)));
  EXPECT_EQ(scrambled, plain);
}

// The list-removal form the draw order is defined by, to compare the tree against.
std::vector<int32_t> DrawByList(int32_t seed, int32_t warmup, int32_t n) {
  uint32_t state = 0;
  for (int i = 0; i < warmup; ++i) state = state * 5u + static_cast<uint32_t>(seed);
  std::vector<int32_t> list(n);
  for (int32_t i = 0; i < n; ++i) list[i] = i;
  std::vector<int32_t> out;
  while (!list.empty()) {
    state = state * 5u + static_cast<uint32_t>(seed);
    uint32_t k = state % static_cast<uint32_t>(list.size());
    out.push_back(list[k]);
    list.erase(list.begin() + k);
  }
  return out;
}

TEST(KvRandom, PermutationDrawsMatchRemovalFromTheOrderedList) {
  struct Case { int32_t seed, warmup, n; } cases[] = {
      {1, 0, 1}, {1, 0, 7}, {1590264837, 3, 100}, {-12345, 1, 1000}, {7, 0, 1024}, {7, 0, 1025},
  };
  for (const auto& c : cases) {
    TKvRandom r(c.seed);
    for (int i = 0; i < c.warmup; ++i) r.Next();
    r.ResetPermutation(c.n);
    std::vector<int32_t> got;
    for (int i = 0; i < c.n; ++i) got.push_back(r.NextUnique());
    EXPECT_EQ(got, DrawByList(c.seed, c.warmup, c.n)) << "seed " << c.seed << " n " << c.n;
    auto sorted = got;
    std::sort(sorted.begin(), sorted.end());
    for (int32_t i = 0; i < c.n; ++i) ASSERT_EQ(sorted[i], i);
    EXPECT_EQ(r.NextUnique(), -1) << "drawing past the end";
  }
  // A permutation of one value yields 0 whatever the state.
  TKvRandom r(99);
  for (int i = 0; i < 13; ++i) r.Next();
  r.ResetPermutation(1);
  EXPECT_EQ(r.NextUnique(), 0);
}

}  // namespace
}  // namespace orba
