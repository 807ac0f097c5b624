// The sound tests' common ground: the media managers' environment over the headless sound
// device on a fake clock, with files read from a map the test fills.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "media/mediaman.h"
#include "platform/headless/headless.h"

namespace orba::testing_support {

struct HeadlessMedia {
  platform::headless::FakeClock clock;
  platform::headless::AudioOut device{clock};
  std::unique_ptr<platform::IAudioCodecs> codecs = platform::CreateAudioCodecs();
  std::map<std::string, std::vector<uint8_t>> files;

  // Starts recording the device's output and gives the environment the managers are made
  // with: this device, codecs and clock, a delay of 100 ms, and the files of the map.
  TMediaEnvironment Environment() {
    device.SetRecording(true);
    TMediaEnvironment env;
    env.Audio = &device;
    env.Codecs = codecs.get();
    env.Clock = &clock;
    env.DelayMs = 100;
    env.LoadFile = [this](const std::string& name) {
      auto it = files.find(name);
      if (it == files.end()) throw EOrbaError(name + " missing");
      return it->second;
    };
    return env;
  }
};

}  // namespace orba::testing_support
