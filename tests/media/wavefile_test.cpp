// Our wave reader on files made by our writer and on damaged ones made by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "base/error.h"
#include "media/wavefile.h"
#include "support/fuzz_seeds.h"

namespace orba {
namespace {

std::vector<uint8_t> Chunk(const char* id, std::vector<uint8_t> body, uint32_t claimed = UINT32_MAX) {
  uint32_t n = claimed == UINT32_MAX ? static_cast<uint32_t>(body.size()) : claimed;
  std::vector<uint8_t> c(id, id + 4);
  for (int i = 0; i < 4; ++i) c.push_back(static_cast<uint8_t>(n >> (8 * i)));
  c.insert(c.end(), body.begin(), body.end());
  return c;
}

std::vector<uint8_t> FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  std::vector<uint8_t> b;
  auto put = [&b](uint32_t v, int n) { for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i))); };
  put(tag, 2); put(channels, 2); put(rate, 4); put(rate * channels * bits / 8, 4); put(channels * bits / 8, 2); put(bits, 2);
  return b;
}

std::vector<uint8_t> Riff(std::vector<std::vector<uint8_t>> chunks) {
  std::vector<uint8_t> body{'W', 'A', 'V', 'E'};
  for (auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("RIFF", body);
}

// What the writer makes, the reader gives back; the files are the fuzz target's seeds.
TEST(WaveFile, WriterAndReaderAgreeForEveryFormatTheMixerTakesAndOneItConverts) {
  struct Case { const char* name; uint32_t rate; uint16_t channels, bits; };
  for (const Case& c : {Case{"m8_22050.wav", 22050, 1, 8}, Case{"s8_44100.wav", 44100, 2, 8}, Case{"m16_44100.wav", 44100, 1, 16},
                        Case{"s16_22050.wav", 22050, 2, 16}, Case{"s16_11025.wav", 11025, 2, 16}, Case{"odd_m8_8000.wav", 8000, 1, 8}}) {
    TWavFormat f = TWavFormat::Pcm(c.rate, c.channels, c.bits);
    std::vector<uint8_t> samples(std::strncmp(c.name, "odd", 3) == 0 ? 33 : 64);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 11);
    auto file = WriteWave(f, std::span<const uint8_t>(samples));
    TWaveInfo info = ReadWaveInfo(file);
    EXPECT_EQ(info.Format, f) << c.name;
    EXPECT_EQ(info.DataOffset, 44u);
    EXPECT_EQ(info.DataSize, samples.size() - samples.size() % f.BlockAlign) << c.name;
    testing_support::ExpectFuzzSeed("wave", c.name, file);
  }
}

TEST(WaveFile, DamagedFiles) {
  const auto fmt = Chunk("fmt ", FmtBody(1, 2, 44100, 16));
  const std::vector<uint8_t> eight(8, 1);
  struct Case { const char* what; std::vector<uint8_t> file; bool ok; size_t dataSize; };
  std::vector<Case> cases = {
      {"empty", {}, false, 0},
      {"not RIFF", std::vector<uint8_t>(44, 'x'), false, 0},
      {"no data chunk", Riff({fmt}), false, 0},
      {"data before its format", Riff({Chunk("data", eight), fmt}), false, 0},
      {"format chunk longer than the file", Riff({Chunk("fmt ", FmtBody(1, 2, 44100, 16), 1000)}), false, 0},
      {"format chunk too short", Riff({Chunk("fmt ", {1, 0, 2, 0}), Chunk("data", eight)}), false, 0},
      {"compressed format tag", Riff({Chunk("fmt ", FmtBody(2, 2, 44100, 16)), Chunk("data", eight)}), false, 0},
      {"24-bit", Riff({Chunk("fmt ", FmtBody(1, 2, 44100, 24)), Chunk("data", eight)}), false, 0},
      {"six channels", Riff({Chunk("fmt ", FmtBody(1, 6, 44100, 16)), Chunk("data", eight)}), false, 0},
      {"zero rate", Riff({Chunk("fmt ", FmtBody(1, 2, 0, 16)), Chunk("data", eight)}), false, 0},
      {"an unknown chunk longer than the file", Riff({fmt, Chunk("LIST", eight, 0x7FFFFFFF), Chunk("data", eight)}), false, 0},
      {"data longer than the file is cut", Riff({fmt, Chunk("data", eight, 0xFFFFFFFF)}), true, 8},
      {"data cut to whole frames", Riff({fmt, Chunk("data", {1, 2, 3, 4, 5, 6})}), true, 4},
      {"an odd chunk is padded", Riff({fmt, Chunk("junk", {9, 0}, 1), Chunk("data", eight)}), true, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.ok) {
      EXPECT_THROW(ReadWaveInfo(c.file), EReadError);
      continue;
    }
    TWaveInfo info = ReadWaveInfo(c.file);
    EXPECT_EQ(info.DataSize, c.dataSize);
    EXPECT_LE(info.DataOffset + info.DataSize, c.file.size());
  }
}

// The extensible format record with a PCM sub-format reads as plain PCM.
TEST(WaveFile, ExtensiblePcmIsPcm) {
  auto body = FmtBody(0xFFFE, 2, 44100, 16);
  std::vector<uint8_t> ext = {22, 0, 16, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  body.insert(body.end(), ext.begin(), ext.end());
  TWaveInfo info = ReadWaveInfo(Riff({Chunk("fmt ", body), Chunk("data", std::vector<uint8_t>(8, 0))}));
  EXPECT_EQ(info.Format, TWavFormat::Pcm(44100, 2, 16));
}

// Reading the stream stops at the data's end, and a seek lands on a whole frame.
TEST(WaveFile, StreamReadsWholeFramesWithinTheData) {
  std::vector<uint8_t> samples(40);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i);
  auto file = std::make_shared<const std::vector<uint8_t>>(WriteWave(TWavFormat::Pcm(44100, 2, 16), std::span<const uint8_t>(samples)));
  auto s = OpenWaveStream(file);
  EXPECT_EQ(s->Size(), 40);
  s->Seek(7);  // inside the second frame: back to its start
  uint8_t buf[64];
  ASSERT_EQ(s->Read(buf, 64), 36u);
  EXPECT_EQ(buf[0], 4);
  EXPECT_EQ(s->Read(buf, 64), 0u);
  s->Seek(1000);
  EXPECT_EQ(s->Read(buf, 64), 0u);
}

}  // namespace
}  // namespace orba
