// The sound system variables answer from the media managers once start-up made them.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "authoring/audiogen.h"
#include "base/cp932.h"
#include "base/process.h"
#include "media/mediaman.h"
#include "platform/headless/headless.h"
#include "shell/core_subsystems.h"
#include "support/temp_dir.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

TEST(PlayerSystemVariables, SoundSwitchAndMidiPortReachTheMediaManagers) {
  platform::headless::FakeClock clock;
  TMediaEnvironment env;
  env.Clock = &clock;
  TMediaManagers media(std::move(env));
  SetMediaManagers(&media);
  TPlayerSystemSource source;
  TParamCollection vars(&source);
  vars.FindVariable("@SoundON")->SetString("FALSE");
  for (TMediaManager* m : {static_cast<TMediaManager*>(&media.Ogg()), static_cast<TMediaManager*>(&media.Wmp()),
                           static_cast<TMediaManager*>(&media.Cdda()), static_cast<TMediaManager*>(&media.Midi())})
    EXPECT_FALSE(m->Enabled());
  EXPECT_EQ(vars.FindVariable("@SoundON")->AsString(), "FALSE");
  vars.FindVariable("@SoundON")->SetString("TRUE");
  EXPECT_TRUE(media.Ogg().Enabled());
  vars.FindVariable("@MidiPort")->SetString("no such port");
  EXPECT_EQ(media.Midi().SelectedPort(), 0);
  EXPECT_EQ(vars.FindVariable("@MidiPort")->AsString(), Sjis(u8"MIDIマッパー"));
  SetMediaManagers(nullptr);
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
