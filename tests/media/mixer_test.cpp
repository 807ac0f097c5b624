// The wave mixer against values computed here from the mixing rules: format conversion,
// volume, saturation, looping, and the position and end estimates on the fake clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "media/wavefile.h"
#include "media/wavout.h"
#include "platform/headless/headless.h"

#include "media/counting_alloc.h"

namespace orba {
namespace {

namespace hl = platform::headless;

std::unique_ptr<TPcmStream> Pcm(const TWavFormat& f, const std::vector<uint8_t>& bytes) {
  return OpenWaveStream(std::make_shared<const std::vector<uint8_t>>(WriteWave(f, std::span<const uint8_t>(bytes))));
}

std::vector<uint8_t> Le16(const std::vector<int16_t>& s) {
  std::vector<uint8_t> b;
  for (int16_t v : s) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  }
  return b;
}

struct MixerFixture : ::testing::Test {
  hl::FakeClock clock;
  hl::AudioOut device{clock};
  TWavOut mixer{&device, clock, 100};  // 100 ms: 4,410 frames a buffer
  static constexpr size_t kFrames = 4410;
  std::vector<int16_t> out = std::vector<int16_t>(2 * kFrames);
  void SetUp() override { ASSERT_TRUE(mixer.Open()); }
  bool Mix() {
    mixer.Prepare();
    return mixer.MixAll(out.data());
  }
};

int16_t Scaled(int32_t s, int32_t volume) { return volume < 255 ? static_cast<int16_t>((s * volume) >> 8) : static_cast<int16_t>(s); }
int16_t Clamp(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

// Source A: 44.1 kHz 16-bit stereo, 3 buffers long, at volume 128. Source B: 22.05 kHz 8-bit mono,
// 1,000 frames looping, at volume 200: each byte is four output samples and it starts over at
// its end. The mixed buffers must be their sum, sample by sample.
TEST_F(MixerFixture, TwoSourcesWithVolumesAndALoopSumSampleBySample) {
  std::vector<int16_t> a(2 * 3 * kFrames);
  for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<int16_t>((static_cast<int32_t>(i) * 37) % 50000 - 25000);
  std::vector<uint8_t> b(1000);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>((i * 7) % 256);
  TWavBuffer* sa = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(a)));
  TWavBuffer* sb = mixer.AddSource(Pcm(TWavFormat::Pcm(22050, 1, 8), b));
  sa->SetVolume(128);
  sb->SetVolume(200);
  sb->SetLoop(true);
  sa->Play();
  sb->Play();
  size_t bFrame = 0;  // B's frame at 22.05 kHz
  for (int buffer = 0; buffer < 3; ++buffer) {
    ASSERT_TRUE(Mix());
    for (size_t f = 0; f < kFrames; ++f) {
      int32_t bv = Scaled((b[(bFrame + f / 2) % b.size()] - 128) * 256, 200);
      for (int c = 0; c < 2; ++c) {
        int32_t av = Scaled(a[(buffer * kFrames + f) * 2 + c], 128);
        ASSERT_EQ(out[2 * f + c], Clamp(av + bv)) << "buffer " << buffer << " frame " << f << " channel " << c;
      }
    }
    bFrame += kFrames / 2;
  }
  EXPECT_EQ(sb->ReadPosition(), static_cast<int64_t>(bFrame % b.size()));
}

// Every conversion row of the mixer, with a ramp that shows where each source byte went.
TEST_F(MixerFixture, EachFormatWidensAsItsRowSays) {
  struct Case { uint32_t rate; uint16_t channels, bits; int repeat; };
  for (const Case& c : {Case{44100, 2, 16, 1}, Case{44100, 1, 16, 1}, Case{22050, 2, 16, 2}, Case{44100, 2, 8, 1},
                        Case{44100, 1, 8, 1}, Case{22050, 2, 8, 2}, Case{22050, 1, 16, 2}, Case{22050, 1, 8, 2}}) {
    SCOPED_TRACE(::testing::Message() << c.rate << " Hz " << c.channels << " ch " << c.bits << " bit");
    TWavFormat f = TWavFormat::Pcm(c.rate, c.channels, c.bits);
    size_t sourceFrames = kFrames / c.repeat;
    std::vector<int32_t> values;  // every source sample as a 16-bit value
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < sourceFrames * c.channels; ++i) {
      if (c.bits == 8) {
        uint8_t v = static_cast<uint8_t>(i * 13);
        bytes.push_back(v);
        values.push_back((v - 128) * 256);
      } else {
        int16_t v = static_cast<int16_t>(i * 29 - 30000);
        auto le = Le16({v});
        bytes.insert(bytes.end(), le.begin(), le.end());
        values.push_back(v);
      }
    }
    TWavBuffer* s = mixer.AddSource(Pcm(f, bytes));
    s->Play();
    ASSERT_TRUE(Mix());
    for (size_t o = 0; o < kFrames; ++o) {
      size_t frame = o / c.repeat;
      for (int ch = 0; ch < 2; ++ch)
        ASSERT_EQ(out[2 * o + ch], values[frame * c.channels + (c.channels == 2 ? ch : 0)]) << "output frame " << o;
    }
    EXPECT_EQ(s->ReadPosition(), static_cast<int64_t>(bytes.size()));
    mixer.RemoveSource(s);
  }
}

TEST_F(MixerFixture, VolumeAndSaturation) {
  std::vector<int16_t> loud(2 * kFrames, 30000), neg(2 * kFrames, -30001);
  struct Case { int volume; int16_t expected; };
  for (const Case& c : {Case{256, 30000}, Case{255, 30000}, Case{128, 15000}, Case{0, 0}}) {
    TWavBuffer* s = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(loud)));
    s->SetVolume(c.volume);
    s->Play();
    ASSERT_TRUE(Mix());
    EXPECT_EQ(out[0], c.expected) << "volume " << c.volume;
    mixer.RemoveSource(s);
  }
  // (−30001 · 128) >> 8 rounds toward minus infinity.
  TWavBuffer* n = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(neg)));
  n->SetVolume(128);
  n->Play();
  ASSERT_TRUE(Mix());
  EXPECT_EQ(out[1], -15001);
  mixer.RemoveSource(n);
  // Two full-scale sources clamp instead of wrapping.
  TWavBuffer* x = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(loud)));
  TWavBuffer* y = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(loud)));
  TWavBuffer* z = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(neg)));
  x->Play();
  y->Play();
  ASSERT_TRUE(Mix());
  EXPECT_EQ(out[0], 32767);
  for (TWavBuffer* again : {x, y}) {
    again->SetReadPosition(0);
    again->Play();
  }
  z->Play();
  ASSERT_TRUE(Mix());
  EXPECT_EQ(out[0], 2766);  // clamped to 32767 after the first two, then −30001 added: in source order
}

// Pan takes hundredths of a decibel off the other side: −2,000 leaves the left as it is and
// takes 20 dB (a tenth: 256 · 0.1 ≈ 26) off the right; full right leaves the left silent.
TEST_F(MixerFixture, PanAttenuatesTheOtherSide) {
  std::vector<int16_t> s(2 * kFrames, 10000);
  struct Case { int pan, volume; int16_t left, right; };
  for (const Case& c : {Case{-2000, 256, 10000, (10000 * 26) >> 8}, Case{10000, 256, 0, 10000},
                        Case{1000, 128, (10000 * 40) >> 8, 5000}, Case{0, 200, (10000 * 200) >> 8, (10000 * 200) >> 8}}) {
    TWavBuffer* src = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(s)));
    src->SetVolume(c.volume);
    src->SetPan(c.pan);
    src->Play();
    ASSERT_TRUE(Mix());
    EXPECT_EQ(out[0], c.left) << "pan " << c.pan;
    EXPECT_EQ(out[1], c.right) << "pan " << c.pan;
    mixer.RemoveSource(src);
  }
}

// A source of an unsupported rate stays silent; one never played is not mixed.
TEST_F(MixerFixture, UnsupportedFormatAndUnplayedSourcesAreSilent) {
  std::vector<int16_t> s(2 * kFrames, 1000);
  TWavBuffer* odd = mixer.AddSource(Pcm(TWavFormat::Pcm(48000, 2, 16), Le16(s)));
  mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(s)));
  odd->Play();
  EXPECT_FALSE(Mix());
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
}

// Right after a mix the position lags the read position by one buffer, catching up with the
// clock; a finished source is done only 2 · delay + 10 ms after its last mix.
TEST_F(MixerFixture, PositionAndIsDoneFollowTheClock) {
  std::vector<int16_t> s(2 * kFrames / 2, 500);  // half a buffer: 50 ms
  TWavBuffer* src = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(s)));
  src->Play();
  clock.onAdvance = nullptr;  // the test mixes by hand: the device must not pull meanwhile
  clock.Advance(1000);
  ASSERT_TRUE(Mix());  // mixed at t = 1000
  const int64_t size = static_cast<int64_t>(s.size() * 2);
  EXPECT_EQ(src->ReadPosition(), size);
  EXPECT_EQ(src->Position(), 0);  // read position − 100 ms of bytes, clamped
  clock.Advance(80);
  EXPECT_EQ(src->Position(), size - 17640 + 80 * 176400 / 1000);
  EXPECT_FALSE(src->IsDone());
  clock.Advance(130);  // 210 ms after the mix: not yet above 2 · delay + 10
  EXPECT_FALSE(src->IsDone());
  EXPECT_EQ(src->Position(), size);
  clock.Advance(1);
  EXPECT_TRUE(src->IsDone());
}

// What the device's callback runs (mixing several buffers of three sources, one of them
// looping and one ending) allocates nothing.
TEST_F(MixerFixture, RenderAllocatesNothing) {
  std::vector<int16_t> s(2 * 3 * kFrames, 1000);
  std::vector<uint8_t> b(30000, 100);
  TWavBuffer* x = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(s)));
  TWavBuffer* y = mixer.AddSource(Pcm(TWavFormat::Pcm(22050, 1, 8), b));
  TWavBuffer* z = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 1, 16), Le16(s)));
  y->SetLoop(true);
  y->SetVolume(100);
  for (TWavBuffer* p : {x, y, z}) p->Play();
  mixer.Prepare();
  std::vector<int16_t> out(2 * 3 * kFrames);
  testing_support::CountAllocations(true);
  mixer.Render(out.data(), 3 * kFrames);
  testing_support::CountAllocations(false);
  EXPECT_EQ(testing_support::Allocations(), 0);
  EXPECT_NE(out[2 * 2 * kFrames], 0);  // the third buffer was mixed too
}

TEST(Mixer, WithoutADeviceNothingPlaysAndEverySourceIsDone) {
  hl::FakeClock clock;
  TWavOut mixer(nullptr, clock, 500);
  EXPECT_FALSE(mixer.Open());
  std::vector<uint8_t> b(100, 200);
  TWavBuffer* s = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 1, 8), b));
  s->Play();
  EXPECT_FALSE(s->Playing());
  EXPECT_TRUE(s->IsDone());
}

// A source started while another plays joins the device buffer in progress: it is heard from
// the next pull on (at most four frames in), not when the next buffer of the delay begins, and
// its position counts from there.
TEST(Mixer, ASourceStartedMidBufferIsHeardAtOnce) {
  hl::FakeClock clock;
  hl::AudioOut device(clock);
  device.SetRecording(true);
  TWavOut mixer(&device, clock, 500);
  ASSERT_TRUE(mixer.Open());
  TWavBuffer* music = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 2, 16), Le16(std::vector<int16_t>(2 * 44100, 100))));
  TWavBuffer* click = mixer.AddSource(Pcm(TWavFormat::Pcm(22050, 1, 8), std::vector<uint8_t>(22050, 138)));  // 2,560
  music->Play();
  for (int i = 0; i < 10; ++i) clock.Advance(16);  // 160 ms into the first buffer
  click->Play();
  const size_t from = device.Samples().size() / 2;
  clock.Advance(16);
  const auto& s = device.Samples();
  for (size_t f = from; f < from + 4; ++f) EXPECT_TRUE(s[2 * f] == 100 || s[2 * f] == 2660) << f - from;
  for (size_t f = from + 4; f < s.size() / 2; ++f) ASSERT_EQ(s[2 * f], 2660) << f - from;
  for (int i = 0; i < 3; ++i) clock.Advance(16);
  // Four pulls played; as for a whole buffer, the estimate counts from the end of the pull
  // that converted it: 48 ms.
  EXPECT_NEAR(click->Position(), 48 * 22050 / 1000, 22050 * 2 / 1000);
}

// The headless device pulls the frames of each clock step; a 500 ms delay mixes 22,050 frames
// at a time, and what was recorded is the mixed signal in order.
TEST(Mixer, HeadlessDevicePullsOnTheFakeClock) {
  hl::FakeClock clock;
  hl::AudioOut device(clock);
  device.SetRecording(true);
  TWavOut mixer(&device, clock, 500);
  ASSERT_TRUE(mixer.Open());
  std::vector<uint8_t> b(44100, 228);  // one second of 8-bit mono: (228 − 128) · 256 = 25600
  TWavBuffer* s = mixer.AddSource(Pcm(TWavFormat::Pcm(44100, 1, 8), b));
  s->Play();
  for (int i = 0; i < 125; ++i) clock.Advance(16);  // 2 s
  ASSERT_EQ(device.Samples().size(), 2u * 88200);
  EXPECT_EQ(device.Samples()[0], 25600);
  EXPECT_EQ(device.Samples()[2 * 44099 + 1], 25600);
  EXPECT_EQ(device.Samples()[2 * 44100], 0);
}

}  // namespace
}  // namespace orba
