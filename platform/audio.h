// Sound output and sound decoding, as interfaces. The core mixes every sound into one stream
// of 16-bit stereo at 44,100 Hz; an output device pulls that stream (platform/sdl from its
// audio thread, platform/headless on the fake clock into a WAV file). Compressed formats are
// decoded and odd sample rates converted by libraries the core must not see (platform/codecs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orba::platform {

// The fixed output format: 44,100 frames a second, two channels of signed 16-bit samples.
inline constexpr int kAudioRate = 44100;
inline constexpr int kAudioChannels = 2;
inline constexpr int kAudioBytesPerFrame = 4;

// What a device plays: the core's mixer.
class IAudioSource {
 public:
  virtual ~IAudioSource() = default;
  // Fills out with frames × 2 interleaved samples. Called on the device's real-time thread:
  // must not throw, allocate, read files or wait for anything but the mixer's own lock.
  virtual void Render(int16_t* out, size_t frames) noexcept = 0;
  // Work that may read files and decode (keeping each source's decoded data ahead of Render).
  // Called often, never from Render's thread; must not throw.
  virtual void Prepare() noexcept = 0;
};

// The sound device.
class IAudioOutput {
 public:
  virtual ~IAudioOutput() = default;
  // Opens the device in the fixed format for a source that mixes bufferMs milliseconds ahead
  // and starts pulling it (Render in pieces of a few tens of milliseconds at most, so a volume
  // change is heard at once; Prepare about four times a buffer); false when there is no
  // device. The source must outlive Close.
  virtual bool Open(int bufferMs, IAudioSource& source) = 0;
  // Stops pulling; when it returns, neither Render nor Prepare runs or will run.
  virtual void Close() = 0;
};

// PCM from a decoder: frames of `channels` interleaved signed 16-bit samples.
class IPcmDecoder {
 public:
  virtual ~IPcmDecoder() = default;
  virtual int Rate() const = 0;
  virtual int Channels() const = 0;
  // Total frames, or −1 when the container does not say.
  virtual int64_t TotalFrames() = 0;
  // Decodes up to maxFrames frames into out; 0 at the end or on a damaged stream (a stream
  // that ends early just ends). Never throws.
  virtual size_t Read(int16_t* out, size_t maxFrames) = 0;
  // Moves to a frame from the start; false when the stream cannot seek there.
  virtual bool Seek(int64_t frame) = 0;
};

// Changes the sample rate of interleaved 16-bit PCM.
class IResampler {
 public:
  virtual ~IResampler() = default;
  // Converts up to inFrames frames, writing at most outCapacity frames; reports how many of
  // each it used. endOfInput flushes what the converter holds back.
  virtual void Process(const int16_t* in, size_t inFrames, int16_t* out, size_t outCapacity, bool endOfInput,
                       size_t& usedIn, size_t& madeOut) = 0;
  // Forgets the history (after a seek).
  virtual void Reset() = 0;
};

// The decoders and converters the platform offers. Each Open takes the whole encoded file in
// memory (the core reads it through its virtual files) and answers null when it cannot decode it.
class IAudioCodecs {
 public:
  virtual ~IAudioCodecs() = default;
  // Ogg Vorbis.
  virtual std::unique_ptr<IPcmDecoder> OpenOgg(std::shared_ptr<const std::vector<uint8_t>> file) = 0;
  // Any other compressed audio the platform knows (Windows Media audio, FLAC, MP3...).
  virtual std::unique_ptr<IPcmDecoder> OpenOther(std::shared_ptr<const std::vector<uint8_t>> file) = 0;
  // A converter from inRate to outRate for the given channel count; null when impossible.
  virtual std::unique_ptr<IResampler> CreateResampler(int channels, int inRate, int outRate) = 0;
};

// The codecs of platform/codecs (libvorbisfile, FFmpeg, libsamplerate).
std::unique_ptr<IAudioCodecs> CreateAudioCodecs();

}  // namespace orba::platform
