// The sound device over SDL2: 44,100 Hz, 16-bit stereo, with a device buffer of the
// configured delay. SDL's audio thread pulls the mixer; a thread of ours lets the mixer decode
// ahead four times a buffer, so the audio thread never waits for a file or a decoder.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/audio.h"

namespace orba::platform::sdl {

class Audio : public IAudioOutput {
 public:
  Audio() = default;
  ~Audio() override;
  Audio(const Audio&) = delete;
  Audio& operator=(const Audio&) = delete;
  bool Open(int bufferMs, IAudioSource& source) override;
  void Close() override;
  // Why the last Open failed.
  const std::string& Error() const { return error_; }

 private:
  static void Callback(void* self, unsigned char* stream, int len);
  uint32_t device_ = 0;
  IAudioSource* source_ = nullptr;
  std::thread prepare_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::string error_;
};

}  // namespace orba::platform::sdl
