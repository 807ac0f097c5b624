#include "platform/sdl/sdl_audio.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>

namespace orba::platform::sdl {

Audio::~Audio() { Close(); }

void Audio::Callback(void* self, unsigned char* stream, int len) {
  auto* audio = static_cast<Audio*>(self);
  audio->source_->Render(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(len) / kAudioBytesPerFrame);
}

bool Audio::Open(int bufferMs, IAudioSource& source) {
  if (device_) return false;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error_ = SDL_GetError();
    return false;
  }
  source_ = &source;
  SDL_AudioSpec want{}, have{};
  want.freq = kAudioRate;
  want.format = AUDIO_S16SYS;
  want.channels = kAudioChannels;
  // The device pulls small pieces: the mixer converts a whole buffer of bufferMs ahead, but
  // scales each piece by the volumes of the moment it is taken.
  want.samples = static_cast<Uint16>(std::min(1024, bufferMs * kAudioRate / 1000));
  want.callback = &Audio::Callback;
  want.userdata = this;
  // SDL converts when the hardware wants another format, so the mixer always sees ours.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    error_ = SDL_GetError();
    source_ = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  stop_ = false;
  source.Prepare();  // the first buffer is decoded before the device asks for it
  int every = std::max(10, bufferMs / 4);
  prepare_ = std::thread([this, every] {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      lock.unlock();
      source_->Prepare();
      lock.lock();
      wake_.wait_for(lock, std::chrono::milliseconds(every), [this] { return stop_; });
    }
  });
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

void Audio::Close() {
  if (!device_) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (prepare_.joinable()) prepare_.join();
  SDL_CloseAudioDevice(device_);  // waits for a running callback
  device_ = 0;
  source_ = nullptr;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace orba::platform::sdl
