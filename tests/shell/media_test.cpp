// The sound system variables and the sound queries answer from the media managers.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "authoring/audiogen.h"
#include "base/cp932.h"
#include "base/process.h"
#include "components/baselist.h"
#include "components/propaccess.h"
#include "components/sound.h"
#include "media/mediaman.h"
#include "platform/headless/headless.h"
#include "shell/core_subsystems.h"
#include "support/media_fixture.h"
#include "support/temp_dir.h"
#include "values/parser.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

// The managers over the headless device, a component list with a sound "bgm" of a
// two-second tone, and the player's system variables.
struct SoundQueries : ::testing::Test, testing_support::HeadlessMedia {
  std::unique_ptr<TMediaManagers> media;
  TOrbaBaseList list;
  TOrbaSound* sound = nullptr;
  TPlayerSystemSource source;
  TParamCollection vars{&source};
  void SetUp() override {
    files["bgm.ogg"] = authoring::EncodeOggVorbis(authoring::SynthTone(440, 2000, 44100, 2, 8000), 44100, 2);
    media = std::make_unique<TMediaManagers>(Environment());
    SetMediaManagers(media.get());
    SetComponentRoot(&list);
    sound = static_cast<TOrbaSound*>(list.CreateByCode(17));
    sound->SetName("bgm");
    sound->SetStr(PR_SOURCE, "bgm.ogg");
  }
  void TearDown() override {
    list.Clear();
    SetComponentRoot(nullptr);
    SetMediaManagers(nullptr);
  }
};

// The sound system variables and the component queries that reach a sound, evaluated as a
// script would, row by row between steps of the game: each answer comes from the managers
// (the sound switch from their Enabled flags, a length from a probe item, playing and position
// from the mixer's source).
TEST_F(SoundQueries, SystemVariablesAndQueriesAnswerFromTheManagers) {
  auto run = [&](int ms) {
    for (int t = 0; t < ms; t += 16) {
      Process().FrameDelta = 16;
      Process().GameTime += 16;
      clock.Advance(16);
      list.Tick();
    }
  };
  auto enabled = [&] {
    std::string flags;
    for (TMediaManager* m : {static_cast<TMediaManager*>(&media->Ogg()), static_cast<TMediaManager*>(&media->Wmp()),
                             static_cast<TMediaManager*>(&media->Cdda()), static_cast<TMediaManager*>(&media->Midi())})
      flags += m->Enabled() ? '1' : '0';
    return flags;
  };
  const std::string mapper = ToUtf8(Sjis(u8"MIDIマッパー"));
  struct Row { std::function<void()> before; std::string expression, expected, managers; };
  const std::vector<Row> rows = {
      {nullptr, "@SoundON", "TRUE", "1111"},
      {nullptr, "@MidiPort", mapper, "1111"},
      {nullptr, "@MidiPorts[0]", mapper, "1111"},
      {nullptr, "@MidiPorts[-1]", mapper, "1111"},  // below the list (past its end the count check raises first)
      {nullptr, "GetArraySize(@MidiPorts)", "1", "1111"},
      {nullptr, "GetProp(\"bgm\", 45)", "2000", "1111"},  // the length, from an item made and given back
      {nullptr, "GetProp(\"bgm\", 138)", "FALSE", "1111"},
      {[&] { vars.FindVariable("@SoundON")->SetString("FALSE"); }, "@SoundON", "FALSE", "0000"},
      // Asked to play while sound is off, the item only takes the resume mark.
      {[&] { sound->SetPlayState(TOrbaSound::kPlaying); run(200); }, "GetProp(\"bgm\", 138)", "FALSE", "0000"},
      {[&] { vars.FindVariable("@SoundON")->SetString("TRUE"); }, "GetProp(\"bgm\", 138)", "TRUE", "1111"},
      {[&] { vars.FindVariable("@MidiPort")->SetString("no such port"); }, "@MidiPort", mapper, "1111"},
      {[&] { run(2400); }, "GetProp(\"bgm\", 138)", "FALSE", "1111"},  // played to its end
  };
  for (const Row& row : rows) {
    if (row.before) row.before();
    TOrbaParser p;
    CompileExpression(row.expression, p);  // ASCII: the same bytes in code page 932
    p.Execute(vars);
    ASSERT_NE(p.Result(), nullptr) << row.expression << ": " << ToUtf8(p.LastError());
    EXPECT_EQ(ToUtf8(p.Result()->AsString()), row.expected) << row.expression;
    EXPECT_EQ(enabled(), row.managers) << row.expression;
  }
  EXPECT_EQ(media->Midi().SelectedPort(), 0);
  EXPECT_EQ(media->Ogg().Count(), 1u);  // the length's probe item was given back
}

// While a sound plays its position reads from the mixer's estimate: behind the mixed data by
// the part of the last buffer not yet played, never ahead of the time it has played.
TEST_F(SoundQueries, APlayingSoundsPositionFollowsWhatWasPlayed) {
  sound->SetPlayState(TOrbaSound::kPlaying);
  TOrbaParser p;
  CompileExpression("GetProp(\"bgm\", 44)", p);
  for (int played = 160; played <= 960; played += 160) {
    for (int t = 0; t < 160; t += 16) clock.Advance(16);
    p.Execute(vars);
    ASSERT_NE(p.Result(), nullptr);
    const int32_t at = p.Result()->AsInt();
    EXPECT_LE(at, played) << played;
    EXPECT_GE(at, played - 100 - 16) << played;  // one buffer of the 100 ms delay, and a tick
  }
}

// Start-up makes the managers over the platform's sound device and decoders with the configured
// delay; a disk name ('\' first) plays from the file system; losing the focus silences it and
// shutdown takes the managers away.
TEST(PlayerMedia, StartUpWiresTheManagersToThePlatform) {
  testing_support::TempDir dir;
  {
    auto ogg = authoring::EncodeOggVorbis(authoring::SynthTone(440, 3000, 44100, 2, 10000), 44100, 2);
    std::ofstream(dir / "tone.ogg", std::ios::binary).write(reinterpret_cast<const char*>(ogg.data()), static_cast<std::streamsize>(ogg.size()));
  }
  platform::headless::HeadlessPlatform headless;
  auto codecs = platform::CreateAudioCodecs();
  headless.platform.codecs = codecs.get();
  headless.audio.SetRecording(true);
  auto library = CreateNullMediaLibrary();
  TCoreSubsystems subsystems(*library, &headless.platform);
  Process().SoundDelay = 200;
  subsystems.MediaInit();
  ASSERT_NE(MediaManagers(), nullptr);
  EXPECT_EQ(MediaManagers()->Mixer().Delay(), 200);
  std::string diskName = dir / "tone.ogg";  // ASCII: the same bytes in code page 932
  std::replace(diskName.begin(), diskName.end(), '/', '\\');
  TDMediaItem* item = MediaManagers()->Ogg().Add(diskName);
  EXPECT_NEAR(item->GetLength(), 3000, 30);
  item->Play();
  auto run = [&](int ms) { for (int t = 0; t < ms; t += 16) headless.clock.Advance(16); };
  run(800);
  auto loudest = [&](size_t from) {
    int peak = 0;
    for (size_t i = from; i < headless.audio.Samples().size(); ++i) peak = std::max(peak, std::abs(headless.audio.Samples()[i]));
    return peak;
  };
  EXPECT_GT(loudest(0), 9000);
  subsystems.SuspendMedia();
  run(500);  // the buffer mixed before the pause plays out
  size_t paused = headless.audio.Samples().size();
  run(500);
  EXPECT_EQ(loudest(paused), 0);
  subsystems.ResumeMedia();
  run(500);
  EXPECT_GT(loudest(paused), 9000);
  subsystems.MediaFinal();
  EXPECT_EQ(MediaManagers(), nullptr);
  Process().SoundDelay = 500;
}

}  // namespace
}  // namespace orba
