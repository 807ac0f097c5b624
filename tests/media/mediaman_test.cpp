// The media managers over the headless sound device: what an item plays is measured in the
// recorded output (a generated tone's frequency and level), and the switch, suspend and the
// mends for files that cannot play are checked on the items.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <fstream>
#include <map>
#include <sstream>

#include "authoring/audiogen.h"
#include "base/cp932.h"
#include "base/error.h"
#include "media/mediaman.h"
#include "media/wavefile.h"
#include "platform/headless/headless.h"
#include "support/media_fixture.h"
#include "support/fuzz_seeds.h"
#include "support/temp_dir.h"

namespace orba {
namespace {

namespace hl = platform::headless;

TEST(MediaItems, VolumeInHundredthsOfADecibelMapsLinearlyToTheMixer) {
  struct Case { int32_t volume, mixer; };
  for (const Case& c : {Case{-10000, 0}, Case{-5001, 0}, Case{-5000, 0}, Case{-4999, 0}, Case{-4980, 1},
                        Case{-2500, 128}, Case{-1, 255}, Case{0, 256}, Case{100, 256}}) {
    EXPECT_EQ(TMixerItem::MixerVolumeOf(c.volume), c.mixer) << c.volume;
  }
}

struct Measured {
  double frequency = 0, amplitude = 0;
};

// Frequency from rising zero crossings, amplitude from the RMS of a sine, over frames [from, to)
// of the left channel.
Measured Measure(const std::vector<int16_t>& stereo, size_t from, size_t to) {
  int crossings = 0;
  size_t first = 0, last = 0;
  double sum = 0;
  for (size_t f = from + 1; f < to; ++f) {
    int16_t a = stereo[2 * (f - 1)], b = stereo[2 * f];
    if (a < 0 && b >= 0) {
      if (crossings == 0) first = f;
      last = f;
      ++crossings;
    }
    sum += static_cast<double>(b) * b;
  }
  Measured m;
  if (crossings > 1) m.frequency = (crossings - 1) * 44100.0 / static_cast<double>(last - first);
  m.amplitude = std::sqrt(sum / static_cast<double>(to - from - 1)) * std::sqrt(2.0);
  return m;
}

struct ManagerFixture : ::testing::Test, testing_support::HeadlessMedia {
  std::unique_ptr<TMediaManagers> media;
  testing_support::TempDir temp;

  void SetUp() override {
    TMediaEnvironment env = Environment();
    env.CdTrackFolder = temp / "cdaudio";
    media = std::make_unique<TMediaManagers>(std::move(env));
  }
  void Run(int ms) {
    for (int t = 0; t < ms; t += 16) clock.Advance(16);
  }
  size_t Frames() const { return device.Samples().size() / 2; }
};

// A 440 Hz tone at 16,000 encoded as Ogg, played at −2500 (half the mixer's volume): the output
// holds 440 Hz at 8,000 while it plays and silence once it has ended.
TEST_F(ManagerFixture, AnOggItemPlaysItsToneAtItsVolume) {
  files["bgm.ogg"] = authoring::EncodeOggVorbis(authoring::SynthTone(440, 1000, 44100, 2, 16000), 44100, 2);
  TDMediaItem* item = media->ManagerFor("bgm.ogg")->Add("bgm.ogg");
  EXPECT_EQ(&item->Manager(), &media->Ogg());
  EXPECT_NEAR(item->GetLength(), 1000, 30);
  item->SetVolume(-2500);
  item->Play();
  EXPECT_TRUE(item->IsPlaying());
  size_t start = Frames();
  Run(1600);
  EXPECT_TRUE(item->IsEnd());
  EXPECT_FALSE(item->IsPlaying());
  // Measured in the WAV file the device writes, read back by our reader.
  ASSERT_TRUE(device.WriteWav(temp / "out.wav"));
  std::ifstream in(temp / "out.wav", std::ios::binary);
  std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  TWaveInfo info = ReadWaveInfo(file);
  ASSERT_EQ(info.Format, TWavFormat::Pcm(44100, 2, 16));
  std::vector<int16_t> heard(info.DataSize / 2);
  std::memcpy(heard.data(), file.data() + info.DataOffset, info.DataSize);
  ASSERT_EQ(heard.size(), device.Samples().size());
  Measured m = Measure(heard, start + 4410, start + 40000);
  EXPECT_NEAR(m.frequency, 440, 2);
  EXPECT_NEAR(m.amplitude, 8000, 8000 * 0.04);
  Measured after = Measure(heard, start + 50000, heard.size() / 2);
  EXPECT_EQ(after.amplitude, 0);
  media->Ogg().Release(item);
  EXPECT_EQ(media->Ogg().Count(), 0u);
}

// A wave file at 11,025 Hz, a rate the mixer would leave silent, is converted and keeps its pitch.
TEST_F(ManagerFixture, AnOddRateWaveIsResampled) {
  auto tone = authoring::SynthTone(1000, 500, 11025, 1, 12000);
  files["se.wav"] = WriteWave(TWavFormat::Pcm(11025, 1, 16), std::span<const int16_t>(tone));
  TDMediaItem* item = media->Ogg().Add("se.wav");
  EXPECT_NEAR(item->GetLength(), 500, 2);
  item->Play();
  size_t start = Frames();
  Run(400);
  Measured m = Measure(device.Samples(), start + 2000, start + 15000);
  EXPECT_NEAR(m.frequency, 1000, 3);
  EXPECT_NEAR(m.amplitude, 12000, 12000 * 0.03);
}

// The mends: a file nothing can decode gives a silent item and a trace line, and the script
// sees it end; a wave whose data claims more than the file holds plays what is there and ends.
TEST_F(ManagerFixture, UndecodableAndShortFilesEndInsteadOfFailing) {
  std::string log = temp / "dbglog.txt";
  OrbaLog().Init(log);
  files["broken.ogg"] = {'O', 'g', 'g', 'S', 1, 2, 3};
  TDMediaItem* broken = media->Ogg().Add("broken.ogg");
  TDMediaItem* missing = media->Ogg().Add("missing.wav");
  OrbaLog().Final();
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("broken.ogg: " + Sjis(u8"サウンドデータが不正です")), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("missing.wav: "), std::string::npos);
  EXPECT_FALSE(broken->IsEnd());
  broken->Play();
  EXPECT_FALSE(broken->IsPlaying());
  EXPECT_TRUE(broken->IsEnd());
  EXPECT_EQ(missing->GetLength(), 0);

  auto tone = authoring::SynthTone(500, 300, 44100, 2, 10000);
  auto wave = WriteWave(TWavFormat::Pcm(44100, 2, 16), std::span<const int16_t>(tone));
  wave[40] = wave[41] = wave[42] = 0xFF;  // the data chunk claims 16 MB
  files["short.wav"] = wave;
  auto ogg = authoring::EncodeOggVorbis(authoring::SynthTone(500, 2000, 44100, 2, 10000), 44100, 2);
  ogg.resize(ogg.size() / 3);  // a stream that ends early
  files["cut.ogg"] = ogg;
  for (const char* name : {"short.wav", "cut.ogg"}) {
    TDMediaItem* item = media->Ogg().Add(name);
    item->Play();
    Run(2500);
    EXPECT_TRUE(item->IsEnd()) << name;
    EXPECT_FALSE(item->IsPlaying()) << name;
  }
}

// A looping item never reports its end and keeps sounding without a gap, at a rate the mixer
// takes and at rates it converts.
TEST_F(ManagerFixture, ALoopingItemNeverEnds) {
  for (uint32_t rate : {22050u, 11025u, 48000u}) {
    SCOPED_TRACE(rate);
    auto tone = authoring::SynthTone(2000, 50, static_cast<int>(rate), 1, 8000, 0);
    std::string name = "loop" + std::to_string(rate) + ".wav";
    files[name] = WriteWave(TWavFormat::Pcm(rate, 1, 16), std::span<const int16_t>(tone));
    TDMediaItem* item = media->Ogg().Add(name);
    item->SetLoop(true);
    item->Play();
    size_t start = Frames();
    for (int i = 0; i < 60; ++i) {
      Run(16);
      ASSERT_FALSE(item->IsEnd()) << "tick " << i;
    }
    // every 10 ms after the first buffer holds the tone
    for (size_t at = start + 4410; at + 441 <= Frames(); at += 441)
      ASSERT_GT(Measure(device.Samples(), at, at + 441).amplitude, 6000) << "frame " << at - start;
    media->Ogg().Release(item);
  }
}

// Suspend pauses exactly what plays (not what the script paused or what has ended) and resume
// starts only those again; with the switch off, Play only marks and the switch starts it.
TEST_F(ManagerFixture, SuspendResumeAndTheSoundSwitch) {
  auto tone = authoring::SynthTone(1000, 3000, 44100, 2, 8000);
  files["a.wav"] = WriteWave(TWavFormat::Pcm(44100, 2, 16), std::span<const int16_t>(tone));
  files["b.wav"] = files["a.wav"];
  auto shortTone = authoring::SynthTone(1000, 20, 44100, 2, 8000);
  files["c.wav"] = WriteWave(TWavFormat::Pcm(44100, 2, 16), std::span<const int16_t>(shortTone));
  TOggManager& ogg = media->Ogg();
  TDMediaItem* playing = ogg.Add("a.wav");
  TDMediaItem* paused = ogg.Add("b.wav");
  TDMediaItem* ended = ogg.Add("c.wav");
  playing->Play();
  paused->Play();
  ended->Play();
  Run(400);
  paused->Pause();
  ASSERT_TRUE(ended->IsEnd());
  media->SuspendAll();
  EXPECT_TRUE(playing->IsPaused());
  EXPECT_FALSE(playing->IsPlaying());
  EXPECT_TRUE(playing->ResumeMark);
  EXPECT_FALSE(paused->ResumeMark);
  EXPECT_FALSE(ended->ResumeMark);
  Run(1000);
  int32_t held = playing->GetPosition();  // the read position once the device has played out
  EXPECT_NEAR(held, 400, 100);
  Run(1000);
  EXPECT_EQ(playing->GetPosition(), held);
  media->ResumeAll();
  EXPECT_TRUE(playing->IsPlaying());
  EXPECT_TRUE(paused->IsPaused());
  EXPECT_FALSE(paused->IsPlaying());

  media->SetSoundOn(false);
  EXPECT_TRUE(playing->IsPaused());
  TDMediaItem* later = ogg.Add("b.wav");
  later->Play();
  EXPECT_FALSE(later->IsPlaying());
  EXPECT_TRUE(later->ResumeMark);
  media->SuspendAll();  // the window loses the focus while the switch is off: nothing changes
  media->ResumeAll();
  EXPECT_FALSE(later->IsPlaying());
  media->SetSoundOn(true);
  EXPECT_TRUE(later->IsPlaying());
  EXPECT_TRUE(playing->IsPlaying());
  EXPECT_FALSE(paused->IsPlaying());
}

// CD audio tracks play from files named by their number; one track holds the drive at a time.
TEST_F(ManagerFixture, CdTracksPlayFromNumberedFiles) {
  std::filesystem::create_directories(temp / "cdaudio");
  auto tone = authoring::SynthTone(600, 2000, 44100, 2, 9000);
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(temp / ("cdaudio/" + name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  write("02.ogg", authoring::EncodeOggVorbis(tone, 44100, 2));
  write("3.wav", WriteWave(TWavFormat::Pcm(44100, 2, 16), std::span<const int16_t>(tone)));
  write("notes.txt", {1, 2, 3});
  EXPECT_EQ(media->ManagerFor("CD_2"), &media->Cdda());
  TDMediaItem* two = media->Cdda().Add("CD_2");
  TDMediaItem* three = media->Cdda().Add("CD_3");
  TDMediaItem* none = media->Cdda().Add("CD_4");
  TDMediaItem* bad = media->Cdda().Add("CD_x");
  EXPECT_NEAR(two->GetLength(), 2000, 30);
  EXPECT_EQ(three->GetLength(), 2000);
  EXPECT_EQ(none->GetLength(), 0);
  EXPECT_EQ(bad->GetLength(), 0);
  two->Play();
  EXPECT_TRUE(two->IsPlaying());
  three->Play();
  EXPECT_TRUE(three->IsPlaying());
  EXPECT_FALSE(two->IsPlaying());
  EXPECT_FALSE(two->IsEnd());
  size_t start = Frames();
  Run(500);
  EXPECT_NEAR(Measure(device.Samples(), start + 4410, start + 15000).amplitude, 9000, 9000 * 0.03);
}

// Windows Media audio (made by FFmpeg's own encoder) decodes through FFmpeg in its manager;
// seeking lands where it was asked.
TEST_F(ManagerFixture, WindowsMediaAudioPlaysAndSeeks) {
  files["voice.wma"] = authoring::EncodeWithFfmpeg(authoring::SynthTone(700, 2000, 44100, 2, 10000), 44100, 2, "asf", "wmav2");
  TDMediaItem* item = media->ManagerFor("voice.wma")->Add("voice.wma");
  EXPECT_EQ(&item->Manager(), &media->Wmp());
  EXPECT_NEAR(item->GetLength(), 2000, 100);
  item->SetPosition(1000);
  item->Play();
  size_t start = Frames();
  Run(400);
  Measured m = Measure(device.Samples(), start + 2000, start + 15000);
  EXPECT_NEAR(m.frequency, 700, 3);
  EXPECT_NEAR(m.amplitude, 10000, 10000 * 0.05);
  Run(1000);
  EXPECT_TRUE(item->IsEnd());  // 1,400 ms after starting at 1,000 of 2,000 ms, with the tail played
}

// Seeking an Ogg item: the position estimate starts from the new place.
TEST_F(ManagerFixture, OggItemSeeks) {
  files["bgm.ogg"] = authoring::EncodeOggVorbis(authoring::SynthTone(440, 3000, 44100, 2, 8000), 44100, 2);
  TDMediaItem* item = media->Ogg().Add("bgm.ogg");
  item->SetPosition(2000);
  item->Play();
  Run(304);
  EXPECT_NEAR(item->GetPosition(), 2300, 20);
  Run(1000);
  EXPECT_TRUE(item->IsEnd());
}

// Seeds for the sound-file fuzz target: short Ogg files from our encoder (stereo, and mono at a
// rate that is converted) and a wave file at an odd rate.
TEST(SoundFileSeeds, MadeByOurWriters) {
  testing_support::ExpectFuzzSeed("sound_file", "stereo.ogg",
                                  authoring::EncodeOggVorbis(authoring::SynthTone(440, 60, 44100, 2, 8000), 44100, 2));
  testing_support::ExpectFuzzSeed("sound_file", "mono_16000.ogg",
                                  authoring::EncodeOggVorbis(authoring::SynthTone(300, 60, 16000, 1, 8000), 16000, 1));
  auto tone = authoring::SynthTone(500, 20, 12000, 1, 8000);
  testing_support::ExpectFuzzSeed("sound_file", "mono_12000.wav", WriteWave(TWavFormat::Pcm(12000, 1, 16), std::span<const int16_t>(tone)));
}

TEST(MediaManagers, SourcesChooseTheirManagerByExtension) {
  hl::FakeClock clock;
  TMediaEnvironment env;
  env.Clock = &clock;
  TMediaManagers media(std::move(env));
  struct Case { const char* name; TMediaManager* manager; };
  for (const Case& c : {Case{"bgm\\title.OGG", &media.Ogg()}, Case{"se.wav", &media.Ogg()}, Case{"a.mid", &media.Midi()},
                        Case{"a.sgt", &media.Midi()}, Case{"v.WMA", &media.Wmp()}, Case{"v.asf", &media.Wmp()},
                        Case{"v.wmv", &media.Wmp()}, Case{"CD_5", &media.Cdda()}, Case{"CD_5.ogg", &media.Ogg()},
                        Case{"x.mp3", nullptr}, Case{"cd_5", nullptr}, Case{"dir.ogg\\x", nullptr}})
    EXPECT_EQ(media.ManagerFor(c.name), c.manager) << c.name;
}

}  // namespace
}  // namespace orba
