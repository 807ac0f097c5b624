// The player's own wave mixer: every sound source mixed into one 16-bit stereo stream at
// 44,100 Hz, which the platform's sound device pulls. Mixing goes by device buffers of the
// configured delay; each source converts its format, loops if asked and estimates how much the
// device has played. A source's volume is applied as the device takes the samples, not when its
// buffer is converted, so a volume change (a fade's step) is heard at once rather than a buffer
// later. Sources never touch a file while mixing: their decoded bytes wait in a ring that
// Prepare (off the audio thread) keeps filled ahead.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "media/pcmstream.h"
#include "platform/audio.h"
#include "platform/platform.h"

namespace orba {

class TWavOut;

// One source of the mixer. Every operation takes the mixer's lock.
class TWavBuffer {
 public:
  // Starts mixing (only while the device is open).
  void Play();
  // Stops mixing; the read position stays (only while the device is open).
  void Stop();
  // Moves the read position (bytes of the source format, whole frames); decoded data
  // waiting in the ring is dropped and decoding starts again from there at once.
  void SetReadPosition(int64_t bytes);
  // 0..256, 256 unity.
  void SetVolume(int32_t volume);
  int32_t Volume() const;
  // −10000 (left only) .. 10000 (right only): hundredths of a decibel taken off the other side.
  void SetPan(int32_t pan);
  void SetLoop(bool loop);
  bool Loop() const;
  bool Playing() const;
  bool Stopped() const;
  // Estimated playing position in bytes of the source format.
  int64_t Position() const;
  // The source has ended and its tail has had time to play.
  bool IsDone() const;
  int64_t ReadPosition() const;
  // The stream's size in bytes (as it claims).
  int64_t StreamSize() const;
  const TWavFormat& Format() const { return format_; }

 private:
  friend class TWavOut;
  TWavBuffer(TWavOut& owner, std::unique_ptr<TPcmStream> stream, size_t ringBytes);
  // Reads up to count bytes from the ring, following loops; sets atEnd when a non-looping
  // source reached its stream's end. Under the lock.
  size_t TakeFromRing(uint8_t* out, size_t count, bool& atEnd);
  void MoveReadPosition(int64_t bytes);  // under the lock
  // Converts this source's part of the current device buffer, from output sample `at` to its
  // end, into mixed_ (unscaled); false when it gives nothing this buffer. Under the lock.
  bool Convert(size_t at = 0);
  // Adds the device buffer's samples [from, from + count) that this source converted to out at
  // its current volume, saturating. Under the lock.
  void AddScaled(int16_t* out, size_t from, size_t count) const;
  // Keeps the ring filled ahead; under the decoder lock.
  void Fill(std::vector<uint8_t>& scratch);

  TWavOut& owner_;
  TWavFormat format_;
  std::unique_ptr<TPcmStream> stream_;  // read only under the decoder lock
  int64_t size_ = 0;
  std::vector<int16_t> mixed_;  // one device buffer, converted and not yet scaled
  size_t converted_ = 0;        // samples of mixed_ the current device buffer holds
  size_t from_ = 0;             // the device buffer's sample where they begin
  // The device buffer this source was last converted for: one started while a buffer plays
  // joins it at once rather than at the next buffer.
  uint64_t convertedIn_ = UINT64_MAX;
  uint32_t lastMixTime_ = 0;
  int64_t readPosition_ = 0;
  int32_t volume_ = 256, pan_ = 0, volumeLeft_ = 256, volumeRight_ = 256;
  bool finished_ = false, playing_ = false, stopped_ = true, loop_ = false;

  // The ring of decoded bytes: written and taken count every byte ever put in and out.
  std::vector<uint8_t> ring_;
  uint64_t written_ = 0, taken_ = 0;
  // Ring counts at which the stream ended (the next byte, if any, is its first again).
  static constexpr int kMaxEnds = 8;
  uint64_t ends_[kMaxEnds] = {};
  int endCount_ = 0;
  // A seek asked by SetReadPosition and not yet done on the stream; the generation makes
  // data decoded before it worthless.
  uint32_t generation_ = 0;
  bool seekPending_ = false;
  int64_t seekTo_ = 0;
  // The decoder side (decoder lock only).
  bool fillEnded_ = false;
};

class TWavOut final : public platform::IAudioSource {
 public:
  // device may be null (no sound device: Open fails). delayMs: 100..500.
  TWavOut(platform::IAudioOutput* device, platform::IClock& clock, int32_t delayMs);
  ~TWavOut() override;
  TWavOut(const TWavOut&) = delete;
  TWavOut& operator=(const TWavOut&) = delete;

  // Opens the device when it is not open; true when it opened now.
  bool Open();
  // Stops the device and frees every source.
  void Close();
  bool IsOpen() const { return open_.load(); }
  int32_t Delay() const { return delay_; }
  // Bytes of one device buffer (delay × 176,400 / 1000).
  size_t BufferSize() const { return bufferSize_; }

  TWavBuffer* AddSource(std::unique_ptr<TPcmStream> stream);
  void RemoveSource(TWavBuffer* source);

  // Mixes one device buffer (BufferSize bytes) from every playing source; true when one
  // contributed. What Render does a device buffer at a time; open for tests and benchmarks.
  bool MixAll(int16_t* out);

  // IAudioSource
  void Render(int16_t* out, size_t frames) noexcept override;
  void Prepare() noexcept override;

 private:
  friend class TWavBuffer;
  platform::IAudioOutput* device_;
  platform::IClock& clock_;
  int32_t delay_;
  size_t bufferSize_;
  std::atomic<bool> open_{false};
  // The one lock of all mixing state; the decoder lock is taken first when both are needed.
  mutable std::mutex lock_;
  std::mutex decoderLock_;
  std::vector<std::unique_ptr<TWavBuffer>> sources_;
  std::vector<TWavBuffer*> activeSources_;
  // Converts the next device buffer of every source; true when one contributed. Under the lock.
  bool ConvertAll();
  // Converts, from output sample `at` on, the sources started since the current buffer was
  // converted. Under the lock.
  void JoinStarted(size_t at);
  // Mixes samples [from, from + count) of the converted buffers into out. Under the lock.
  void MixConverted(int16_t* out, size_t from, size_t count) const;
  size_t pendingOffset_ = 0;  // samples of the converted device buffer already handed out
  uint64_t bufferNo_ = 0;     // device buffers converted so far
  std::vector<uint8_t> scratch_;  // Prepare's decode buffer
};

}  // namespace orba
