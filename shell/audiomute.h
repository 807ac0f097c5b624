// Stands between the mixer and the sound device and silences what the device plays while
// muted: the mixer runs on as before (sources keep their places and end when they would), only
// the device hears silence. Fast-forward mutes the sound this way, unseen by the script.
#pragma once

#include <algorithm>
#include <atomic>

#include "platform/audio.h"

namespace orba {

class TAudioMute final : public platform::IAudioOutput, platform::IAudioSource {
 public:
  explicit TAudioMute(platform::IAudioOutput& device) : device_(device) {}
  void SetMuted(bool muted) { muted_.store(muted); }
  bool Muted() const { return muted_.load(); }

  bool Open(int bufferMs, platform::IAudioSource& source) override {
    source_ = &source;
    return device_.Open(bufferMs, *this);
  }
  void Close() override { device_.Close(); }

 private:
  void Render(int16_t* out, size_t frames) noexcept override {
    source_->Render(out, frames);
    if (muted_.load()) std::fill(out, out + frames * platform::kAudioChannels, int16_t{0});
  }
  void Prepare() noexcept override { source_->Prepare(); }

  platform::IAudioOutput& device_;
  platform::IAudioSource* source_ = nullptr;
  std::atomic<bool> muted_{false};
};

}  // namespace orba
