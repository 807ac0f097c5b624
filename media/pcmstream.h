// A stream of PCM bytes in one format: what a mixer source plays. Wave files give theirs as
// stored, compressed files as their decoder produces it, odd sample rates converted first.
// Streams are read only off the audio thread (the mixer keeps decoded data ahead of itself).
#pragma once

#include <cstdint>
#include <cstddef>

namespace orba {

// The source format of a mixer source (the fields of a wave format record).
struct TWavFormat {
  uint16_t FormatTag = 1;  // 1: integer PCM
  uint16_t Channels = 2;
  uint32_t SamplesPerSec = 44100;
  uint32_t AvgBytesPerSec = 176400;
  uint16_t BlockAlign = 4;
  uint16_t BitsPerSample = 16;

  static TWavFormat Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
    uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    return {1, channels, rate, rate * align, align, bits};
  }
  friend bool operator==(const TWavFormat&, const TWavFormat&) = default;
};

class TPcmStream {
 public:
  virtual ~TPcmStream() = default;
  virtual TWavFormat Format() const = 0;
  // Bytes of PCM the stream claims to hold (the real end may come sooner).
  virtual int64_t Size() = 0;
  // Moves to a byte offset (whole frames), clamped to 0..Size.
  virtual void Seek(int64_t pos) = 0;
  // Reads up to count bytes (whole frames); 0 at the end. Never throws.
  virtual size_t Read(void* out, size_t count) = 0;
};

}  // namespace orba
