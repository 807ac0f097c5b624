// The sound system variables answer from the media managers once start-up made them.
#include <gtest/gtest.h>

#include "base/cp932.h"
#include "media/mediaman.h"
#include "platform/headless/headless.h"
#include "shell/core_subsystems.h"
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

}  // namespace
}  // namespace orba
