// The sound, timer and property-motion components: volumes and fades as the item hears them,
// the sound measured in the headless device's output, the timer's catch-up, the motion's
// easing, the media commands and the saved records at their version gates.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "authoring/audiogen.h"
#include "authoring/source.h"
#include "base/error.h"
#include "base/process.h"
#include "base/stream.h"
#include "components/baselist.h"
#include "components/box.h"
#include "components/propaccess.h"
#include "components/sound.h"
#include "media/mediaman.h"
#include "media/wavefile.h"
#include "platform/headless/headless.h"
#include "support/media_fixture.h"
#include "script/callman.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

namespace hl = platform::headless;

TEST(SoundVolume, ComponentVolumeMapsToHundredthsOfADecibel) {
  struct Case { int32_t volume; bool midi; int32_t mapped; };
  for (const Case& c : {Case{0, false, -10000}, Case{-3, false, -10000}, Case{1, false, -4995},
                        Case{500, false, -2500}, Case{1000, false, 0}, Case{1001, false, 0},
                        Case{0, true, -10000}, Case{500, true, -5000}, Case{1000, true, 0}}) {
    EXPECT_EQ(MappedVolume(c.volume, c.midi), c.mapped) << c.volume << " midi " << c.midi;
  }
}

// An item that only keeps what it is told.
struct TFakeManager : TMediaManager {
  TDMediaItem* Add(const std::string&) override { return Append(std::make_unique<TVolumeItem>(*this)); }
  struct TVolumeItem : TDMediaItem {
    using TDMediaItem::TDMediaItem;
    int32_t volume = 0;
    bool playing = false;
    int32_t GetVolume() override { return volume; }
    void SetVolume(int32_t v) override { volume = v; }
    void Play() override { playing = true; }
  };
};

struct Managers : ::testing::Test, testing_support::HeadlessMedia {
  std::unique_ptr<TMediaManagers> media;
  TOrbaBaseList list;

  void SetUp() override {
    TMediaEnvironment env = Environment();
    media = std::make_unique<TMediaManagers>(std::move(env));
    SetMediaManagers(media.get());
    SetComponentRoot(&list);
  }
  void TearDown() override {
    list.Clear();
    SetComponentRoot(nullptr);
    SetMediaManagers(nullptr);
  }
  // Ticks of 16 ms on the game clock, the device pulling the mixer alongside.
  void Run(int ms) {
    for (int t = 0; t < ms; t += 16) {
      Process().FrameDelta = 16;
      Process().GameTime += 16;
      clock.Advance(16);
      list.Tick();
    }
  }
  size_t Frames() const { return device.Samples().size() / 2; }
  // The amplitude of a sine from the RMS of the left channel over output frames [from, to).
  double Amplitude(size_t from, size_t to) const {
    double sum = 0;
    for (size_t f = from; f < to; ++f) sum += static_cast<double>(device.Samples()[2 * f]) * device.Samples()[2 * f];
    return std::sqrt(sum / static_cast<double>(to - from)) * std::sqrt(2.0);
  }
  TOrbaSound& NewSound(const std::string& name, const std::string& source) {
    auto& s = static_cast<TOrbaSound&>(*list.CreateByCode(17));
    s.SetName(name);
    s.SetStr(PR_SOURCE, source);
    return s;
  }
};

// Fade-ins and fade-outs sampled at their ticks: the sampled routes move over half of the
// decibel range (so a fade-in starts at half attenuation), MIDI over all of it, and the MIDI
// rise is held at its target.
TEST_F(Managers, FadesFollowTheirCurveTickByTick) {
  TFakeManager manager;
  auto& item = static_cast<TFakeManager::TVolumeItem&>(*manager.Add("x.ogg"));
  struct Sample { int32_t at, volume; bool done; };
  auto check = [&](TOrbaMixer& fade, std::initializer_list<Sample> samples, const char* what) {
    Process().GameTime = 5000;
    EXPECT_FALSE(fade.Step()) << what;  // the first step starts the clock
    for (const Sample& s : samples) {
      Process().GameTime = 5000 + s.at;
      EXPECT_EQ(fade.Step(), s.done) << what << " at " << s.at;
      EXPECT_EQ(item.GetVolume(), s.volume) << what << " at " << s.at;
    }
  };
  TOrbaMixerFadein in(item, 0, 1000);
  check(in, {{0, -5000, false}, {250, -3750, false}, {500, -2500, false}, {999, -5, false}, {1000, 0, true}}, "in");
  EXPECT_TRUE(item.playing);
  item.volume = -1000;
  TOrbaMixerFadeout out(item, 1000);
  // half = (-10000 - -1000) / 2 = -4500; the item keeps the last value at the end.
  check(out, {{250, -2125, false}, {999, -5495, false}, {1000, -5495, true}}, "out");

  TDMediaItem* midi = media->Midi().Add("m.mid");
  midi->SetVolume(0);
  TOrbaMixerFadeout midiOut(*midi, 1000);
  Process().GameTime = 0;
  midiOut.Step();
  for (auto [at, v] : {std::pair{250, -2500}, {500, -5000}, {900, -9000}}) {
    Process().GameTime = at;
    midiOut.Step();
    EXPECT_EQ(midi->GetVolume(), v) << at;
  }
  // Taken literally the MIDI rise would start at -2000 + 8000 * e / 1000 above the target.
  TOrbaMixerFadein midiIn(*midi, -2000, 1000);
  Process().GameTime = 0;
  midiIn.Step();
  for (int at : {0, 250, 999}) {
    Process().GameTime = at;
    midiIn.Step();
    EXPECT_EQ(midi->GetVolume(), -2000) << at;
  }
  media->Midi().Release(midi);
}

// A looping 440 Hz tone at 16,000 faded in over one second: the output rises with the fade
// (linear in the mixer over the upper half of the decibel range), plays at full level, and is
// silent once a fade-out of half a second has ended and freed the component.
TEST_F(Managers, ASoundFadesInAndOutInTheOutput) {
  files["bgm.ogg"] = authoring::EncodeOggVorbis(authoring::SynthTone(440, 2000, 44100, 2, 16000), 44100, 2);
  TOrbaSound& s = NewSound("bgm", "bgm.ogg");
  s.SetBool(PR_REPEAT, true);
  s.SetInt(PR_DELAY, 1000);
  s.SetPlayState(TOrbaSound::kFadingIn);
  const size_t start = Frames();
  Run(1600);
  const size_t ms = 441 / 10;
  const double quarter = Amplitude(start + 200 * ms, start + 300 * ms);
  const double threeQuarters = Amplitude(start + 700 * ms, start + 800 * ms);
  const double full = Amplitude(start + 1300 * ms, start + 1500 * ms);
  EXPECT_NEAR(full, 16000, 16000 * 0.05);
  EXPECT_GT(quarter, 16000 * 0.1);
  EXPECT_LT(quarter, 16000 * 0.45);
  EXPECT_GT(threeQuarters, quarter * 2);
  EXPECT_LT(threeQuarters, full);
  EXPECT_FALSE(s.Fading());
  EXPECT_EQ(media->Ogg().Count(), 1u);

  s.SetInt(PR_DELAY, 500);
  s.SetPlayState(TOrbaSound::kFadingOut);
  EXPECT_EQ(list.FindComponent("bgm"), nullptr);  // the name is free at once
  const size_t stop = Frames();
  Run(800);
  EXPECT_EQ(media->Ogg().Count(), 0u);  // the component freed itself and its item
  EXPECT_LT(Amplitude(stop + 300 * ms, stop + 400 * ms), Amplitude(stop + 50 * ms, stop + 150 * ms));
  EXPECT_EQ(Amplitude(stop + 650 * ms, Frames()), 0);
}

// With the player's delay of 500 ms the mixer converts half a second ahead, yet each tick's
// output carries the volume the fade set at the tick before: a constant 16,000 is heard at the
// curve's value mapped to the mixer's 0..256 (both computed here), and once the fade-out has
// ended the output is silent.
TEST_F(Managers, FadeTicksAreHeardAtTheTickThatSetThem) {
  SetMediaManagers(nullptr);
  TMediaEnvironment env = Environment();
  env.DelayMs = 500;
  media = std::make_unique<TMediaManagers>(std::move(env));
  SetMediaManagers(media.get());
  files["level.wav"] = WriteWave(TWavFormat::Pcm(44100, 2, 16), std::span<const int16_t>(std::vector<int16_t>(2 * 44100 * 3, 16000)));
  // Hundredths of a decibel on the upper half of the range, then the mixer's linear rule.
  auto heard = [](int32_t centibels) {
    const int32_t mixer = (std::max(centibels, -5000) + 5000) * 256 / 5000;
    return mixer >= 255 ? 16000 : (16000 * mixer) >> 8;
  };
  auto fadeIn = [](int32_t e) { return e >= 1000 ? 0 : -10000 + 5000 + e * 5000 / 1000; };
  auto fadeOut = [](int32_t e) { return -e * 5000 / 1000; };

  TOrbaSound& s = NewSound("level", "level.wav");
  s.SetInt(PR_DELAY, 1000);
  s.SetPlayState(TOrbaSound::kFadingIn);
  // One tick: the device takes 16 ms at the volumes set so far, then the components step.
  auto tick = [&](int32_t expected, const std::string& what) {
    const size_t from = Frames();
    Run(16);
    for (size_t f = from; f < Frames(); ++f)
      for (int c = 0; c < 2; ++c)
        ASSERT_EQ(device.Samples()[2 * f + c], expected) << what << " frame " << f - from << " channel " << c;
  };
  tick(0, "before the first step");  // the first step sets −10000 and starts the item
  for (int32_t e = 0; e <= 1008; e += 16) tick(heard(e == 0 ? -10000 : fadeIn(e)), "fade-in at " + std::to_string(e));
  EXPECT_FALSE(s.Fading());
  s.SetPlayState(TOrbaSound::kFadingOut);
  tick(16000, "before the fade-out's first step");  // which only reads the volume
  for (int32_t e = 0; e < 1000; e += 16) tick(heard(e == 0 ? 0 : fadeOut(e)), "fade-out at " + std::to_string(e));
  EXPECT_EQ(media->Ogg().Count(), 0u);
  for (int i = 0; i < 40; ++i) tick(0, "after the fade-out");
}

// A sound that plays once reports its end once: to its handler, or by freeing itself.
TEST_F(Managers, TheEndOfASoundRaisesItsEventOrScrapsIt) {
  files["click.ogg"] = authoring::EncodeOggVorbis(authoring::SynthTone(1000, 200, 44100, 2, 8000), 44100, 2);
  TOrbaSound& a = NewSound("a", "click.ogg");
  a.SetStr(PR_ONPLAYEND, "p.rsb:end");
  a.SetPlayState(TOrbaSound::kPlaying);
  TOrbaSound& b = NewSound("b", "click.ogg");
  b.SetBool(PR_AUTOSCRAP, true);
  b.SetPlayState(TOrbaSound::kPlaying);
  Run(600);
  EXPECT_TRUE(a.Ended);
  ASSERT_EQ(list.Events().Count(), 1);
  EXPECT_EQ(list.Events()[0].Code, PR_ONPLAYEND);
  EXPECT_EQ(list.FindComponent("b"), nullptr);
  // A missing file with AutoScrap scraps the sound.
  TOrbaSound& c = NewSound("c", "none.ogg");
  c.SetBool(PR_AUTOSCRAP, true);
  SetSoundFileCheck([this](const std::string& n) { return files.count(n) > 0; });
  c.SetPlayState(TOrbaSound::kPlaying);
  SetSoundFileCheck(nullptr);
  EXPECT_TRUE(c.IsScrapped());
}

// The sound's saved record at each version gate, and the short non-repeating sound saved as
// stopped: a load starts again only what would still be playing.
TEST_F(Managers, SoundRecordsKeepTheirFieldsAtEachVersion) {
  files["long.ogg"] = authoring::EncodeOggVorbis(authoring::SynthTone(440, 4000, 44100, 1, 8000), 44100, 1);
  files["short.ogg"] = authoring::EncodeOggVorbis(authoring::SynthTone(440, 2000, 44100, 1, 8000), 44100, 1);
  struct Case { int32_t version; bool rewind, mute; };
  for (const Case& c : {Case{107, false, false}, Case{108, true, false}, Case{128, true, false}, Case{129, true, true},
                        Case{kTreeVersion, true, true}}) {
    list.Clear();
    auto add = [&](const std::string& name, const std::string& source, bool repeat) {
      TOrbaSound& s = NewSound(name, source);
      s.SetBool(PR_REPEAT, repeat);
      s.SetInt(PR_VOLUME, 700);
      s.SetInt(PR_BALANCE, -3000);
      s.SetBool(PR_REWINDONLOAD, true);
      s.SetBool(PR_MUTEONLOAD, true);
      s.SetPlayState(TOrbaSound::kPlaying);
    };
    add("long", "long.ogg", false);
    add("short", "short.ogg", false);
    add("loop", "short.ogg", true);
    Run(320);
    TKvMemoryStream out;
    list.SaveTree(out, c.version);
    TKvMemoryStream in(out.Bytes());
    list.LoadTree(in, c.version);
    for (const char* name : {"long", "short", "loop"}) {
      auto* s = dynamic_cast<TOrbaSound*>(list.FindComponent(name));
      const bool stopped = std::string(name) == "short";
      ASSERT_NE(s, nullptr) << name << " " << c.version;
      EXPECT_EQ(s->RewindOnLoad, c.rewind) << c.version;
      EXPECT_EQ(s->MuteOnLoad, c.mute) << c.version;
      EXPECT_EQ(s->Volume, c.mute ? 0 : 700) << c.version;
      EXPECT_EQ(s->Balance, -3000);
      EXPECT_EQ(s->Repeat, std::string(name) == "loop");
      EXPECT_EQ(s->PlayState, stopped ? TOrbaSound::kStopped : TOrbaSound::kPlaying) << name << " " << c.version;
      EXPECT_EQ(s->Item() == nullptr, stopped) << name;
      // Without RewindOnLoad it goes on from where it was saved.
      if (!stopped) {
        EXPECT_NEAR(s->Item()->GetPosition(), c.rewind ? 0 : 320, 40) << name << " " << c.version;
      }
    }
  }
}

// A timer whose tick comes late catches up one interval per tick, one event at a time.
TEST_F(Managers, ATimerCatchesUpOneEventAtATime) {
  auto& t = static_cast<TOrbaTimer&>(*list.CreateByCode(15));
  t.SetStr(PR_ONNOTIFY, "p.rsb:tick");
  t.SetInt(PR_DELAY, 1000);
  EXPECT_EQ(t.LastTime, 0);
  Process().GameTime = 2500;
  EXPECT_FALSE(t.Tick());
  EXPECT_EQ(t.LastTime, 1000);
  EXPECT_EQ(list.Events().Count(), 1);
  t.Tick();  // still behind, but one event already waits
  EXPECT_EQ(t.LastTime, 2000);
  EXPECT_EQ(list.Events().Count(), 1);
  list.Events().Clear();
  t.Tick();  // caught up: 500 ms into the next interval
  EXPECT_EQ(t.LastTime, 2000);
  EXPECT_EQ(list.Events().Count(), 0);
  Process().GameTime = 3000;
  t.Tick();
  EXPECT_EQ(list.Events().Count(), 1);
  EXPECT_EQ(t.LastTime, 3000);
  // Fired and AutoScrap: freed once its event has been taken.
  t.AutoScrap = true;
  EXPECT_FALSE(t.Tick());
  list.Events().Clear();
  EXPECT_TRUE(t.Tick());
}

TEST(PropMotion, EasingValues) {
  TOrbaPropMotion m(nullptr);
  m.StartValue = 20;
  m.EndValue = 120;
  m.Duration = 1000;
  struct Case { uint8_t easing; int32_t at; double value; };
  for (const Case& c : {Case{0, 0, 20}, Case{0, 100, 30}, Case{0, 998, 119.8}, Case{0, 999, 120},
                        Case{1, 100, 21.25586044982792}, Case{1, 500, 49.400481144907204},
                        Case{1, 998, 119.84292043191691}, Case{2, 100, 35.64344650402309},
                        Case{2, 500, 90.71067811865474}, Case{2, 1500, 120}}) {
    m.Easing = c.easing;
    EXPECT_NEAR(static_cast<double>(m.ValueAt(c.at)), c.value, 1e-9) << int(c.easing) << " at " << c.at;
  }
}

// A motion reads its start from the property, writes every tick and ends on the end value;
// a property code beyond the table ends it at once. Its 80-bit values survive a save.
TEST_F(Managers, AMotionMovesAPropertyAndIsSavedWithItsExtendedValues) {
  auto& box = static_cast<TOrbaBox&>(*list.CreateByCode(2));
  box.SetName("b");
  box.SetParent(&list.Current());
  box.SetLeft(20);
  auto& m = static_cast<TOrbaPropMotion&>(*list.CreateByCode(26));
  m.SetName("m");
  m.TargetName = "b";
  m.Property = PR_LEFT;
  m.EndValue = 120;
  m.Duration = 160;
  Run(16);
  EXPECT_EQ(box.Left, 20);
  EXPECT_EQ(m.StartValue, 20);
  Run(16 * 4);
  EXPECT_EQ(box.Left, 60);  // 20 + 100 * 64 / 160
  Run(16 * 6);
  EXPECT_EQ(box.Left, 120);
  EXPECT_EQ(list.FindComponent("m"), nullptr);

  auto& bad = static_cast<TOrbaPropMotion&>(*list.CreateByCode(26));
  bad.TargetName = "b";
  bad.Property = 162;
  EXPECT_TRUE(bad.Tick());

  for (int32_t version : {125, 126}) {
    list.Clear();
    auto& saved = static_cast<TOrbaPropMotion&>(*list.CreateByCode(26));
    saved.SetName("m");
    saved.TargetName = "gone";
    saved.Property = PR_TOP;
    saved.EndValue = TExtended{1} / 3;
    saved.StartValue = TExtended{-2} / 7;
    saved.Duration = 900;
    saved.Elapsed = 48;
    saved.Easing = 2;
    saved.Paused = true;
    TKvMemoryStream out;
    list.SaveTree(out, version);
    TKvMemoryStream in(out.Bytes());
    list.LoadTree(in, version);
    auto* back = dynamic_cast<TOrbaPropMotion*>(list.FindComponent("m"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->EndValue, TExtended{1} / 3);
    EXPECT_EQ(back->StartValue, TExtended{-2} / 7);
    EXPECT_EQ(back->Property, PR_TOP);
    EXPECT_EQ(back->Duration, 900);
    EXPECT_EQ(back->Elapsed, 48);
    EXPECT_EQ(back->Easing, 2);
    EXPECT_EQ(back->Paused, version > 125);
  }
}

TEST_F(Managers, TimerRecordsReadTheirFlagsFromVersion104) {
  for (int32_t version : {103, 104}) {
    list.Clear();
    auto& t = static_cast<TOrbaTimer&>(*list.CreateByCode(15));
    t.SetName("t");
    t.SetStr(PR_ONNOTIFY, "p.rsb:x");
    t.SetInt(PR_DELAY, 250);
    t.AutoScrap = t.Fired = true;
    TKvMemoryStream out;
    list.SaveTree(out, version);
    TKvMemoryStream in(out.Bytes());
    Process().GameTime = 777;
    list.LoadTree(in, version);
    auto* back = dynamic_cast<TOrbaTimer*>(list.FindComponent("t"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Delay, 250);
    EXPECT_EQ(back->OnNotify, "p.rsb:x");
    EXPECT_EQ(back->AutoScrap, version > 103);
    EXPECT_EQ(back->Fired, version > 103);
    EXPECT_EQ(back->LastTime, 777);
  }
}

// A compiled page whose commands a test starts and runs one at a time, with variables set.
struct TCommandSteps {
  TParamCollection vars;
  TCallMan cm;
  TPage page;
  TPage* current = &page;
  explicit TCommandSteps(const std::string& source) {
    SetVariables(&vars);
    CompilePage(source, "t.rss", page);
  }
  ~TCommandSteps() { SetVariables(nullptr); }
  // Starts and runs command i; the counter after it.
  int32_t Step(size_t i) {
    page.Commands[i]->Start(cm);
    return Again(i);
  }
  // Runs command i once more without starting it.
  int32_t Again(size_t i) {
    int32_t pc = static_cast<int32_t>(i);
    page.Commands[i]->Execute(cm, current, pc);
    return pc;
  }
};

// The creation command starts a sound (fading in with a delay); MediaPlay starts it again
// from the beginning; MovieStop with a fade waits until the sound has gone, without one it
// stops it at once.
TEST_F(Managers, MediaCommandsPlayAndStopSounds) {
  files["bgm.ogg"] = authoring::EncodeOggVorbis(authoring::SynthTone(440, 3000, 44100, 1, 8000), 44100, 1);
  TCommandSteps c("sound name: \"a\"; source: \"bgm.ogg\"; delay: 300\n"
                  "sound name: \"b\"; source: \"bgm.ogg\"\n"
                  "mediaplay component: \"b\"\n"
                  "moviestop component: \"a\"; fade: 200; waitend: TRUE\n"
                  "moviestop component: \"b\"\n");
  c.Step(0);
  c.Step(1);
  auto* a = dynamic_cast<TOrbaSound*>(list.FindComponent("a"));
  auto* b = dynamic_cast<TOrbaSound*>(list.FindComponent("b"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->PlayState, TOrbaSound::kFadingIn);
  EXPECT_TRUE(a->Fading());
  EXPECT_EQ(b->PlayState, TOrbaSound::kPlaying);
  EXPECT_TRUE(b->Item()->IsPlaying());
  Run(400);
  EXPECT_GT(b->Item()->GetPosition(), 300);
  c.Step(2);
  EXPECT_LT(b->Item()->GetPosition(), 50);
  EXPECT_EQ(c.Step(3), 3);  // waits for the fading sound
  EXPECT_EQ(a->PlayState, TOrbaSound::kFadingOut);
  Run(160);
  EXPECT_EQ(c.Again(3), 3);
  Run(160);
  EXPECT_EQ(c.Again(3), 4);
  EXPECT_EQ(c.Step(4), 5);
  Run(16);
  EXPECT_EQ(list.FindComponent("b"), nullptr);
  EXPECT_EQ(media->Ogg().Count(), 0u);
}


// A stand-in for the video component: it keeps what the media commands set, and once fading
// out it frees itself after four ticks.
struct TFakeVideo : TOrbaComponent, IMediaComponent {
  explicit TFakeVideo(TOrbaBaseList* owner) : TOrbaComponent(owner) {}
  int32_t GetCompoType() const override { return 16; }
  std::string source;
  int32_t delay = 0, plays = 0, fadingTicks = 0;
  uint8_t state = kStopped;
  std::vector<uint8_t> states;  // every state set, in order
  uint8_t MediaPlayState() const override { return state; }
  void SetPlayState(uint8_t s) override { states.push_back(state = s); }
  void Play() override { ++plays; }
  const std::string& MediaSource() const override { return source; }
  int32_t FadeTime() const override { return delay; }
  void SetFadeTime(int32_t ms) override { delay = ms; }
  void SetInt(int32_t code, int32_t v) override { code == PR_DELAY ? void(delay = v) : TOrbaComponent::SetInt(code, v); }
  void SetStr(int32_t code, const std::string& v) override { code == PR_SOURCE ? void(source = v) : TOrbaComponent::SetStr(code, v); }
  bool Tick() override { return state == kFadingOut && ++fadingTicks >= 4; }
  static std::unique_ptr<TOrbaObject> Make(TOrbaBaseList* owner) { return std::make_unique<TFakeVideo>(owner); }
};

// The movie command and the media commands drive a video through the same face as a sound:
// created playing (or fading in with a delay), played again, faded out and awaited until it
// has gone, stopped and scrapped at once; a stopped video is not awaited.
TEST_F(Managers, MediaCommandsDriveAVideo) {
  static constexpr TComponentKind kVideo{16, &TFakeVideo::Make};
  TOrbaBaseList::SetStandInKind(&kVideo);
  TCommandSteps c("movie name: \"v\"; source: \"clip.wmv\"; delay: 300\n"
                  "movie name: \"w\"; source: \"clip.wmv\"\n"
                  "mediaplay component: \"w\"\n"
                  "moviestop component: \"v\"; fade: 200; waitend: TRUE\n"
                  "moviestop component: \"w\"\n"
                  "moviestop component: \"x\"; fade: 200; waitend: TRUE\n");
  c.Step(0);
  c.Step(1);
  auto* v = dynamic_cast<TFakeVideo*>(list.FindComponent("v"));
  auto* w = dynamic_cast<TFakeVideo*>(list.FindComponent("w"));
  ASSERT_TRUE(v && w);
  EXPECT_EQ(v->states, std::vector<uint8_t>{IMediaComponent::kFadingIn});
  EXPECT_EQ(w->states, std::vector<uint8_t>{IMediaComponent::kPlaying});
  EXPECT_EQ(c.Step(2), 3);
  EXPECT_EQ(w->plays, 1);
  EXPECT_EQ(c.Step(3), 3);  // waits while the video fades out
  EXPECT_EQ(v->delay, 200);
  EXPECT_EQ(v->states.back(), IMediaComponent::kFadingOut);
  for (int tick = 0; tick < 3; ++tick) {
    Run(16);
    EXPECT_EQ(c.Again(3), 3) << tick;
  }
  Run(16);  // the fourth tick frees it
  EXPECT_EQ(c.Again(3), 4);
  EXPECT_EQ(c.Step(4), 5);
  EXPECT_EQ(w->states.back(), IMediaComponent::kStopped);
  EXPECT_TRUE(w->IsScrapped());
  auto* x = static_cast<TFakeVideo*>(list.Adopt(std::make_unique<TFakeVideo>(&list)));
  x->SetName("x");
  x->source = "clip.wmv";
  EXPECT_EQ(c.Step(5), 6);  // stopped: nothing to wait for
  EXPECT_EQ(x->states, std::vector<uint8_t>{});
  TOrbaBaseList::SetStandInKind(nullptr);
}

}  // namespace
}  // namespace orba
