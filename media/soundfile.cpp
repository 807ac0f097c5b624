#include "media/soundfile.h"

#include <algorithm>
#include <cstring>

#include "base/cp932.h"
#include "base/error.h"
#include "media/wavefile.h"

namespace orba {

namespace {

[[noreturn]] void BadSound() { throw EReadError(Sjis(u8"サウンドデータが不正です")); }

class TDecoderPcm final : public TPcmStream {
 public:
  explicit TDecoderPcm(std::unique_ptr<platform::IPcmDecoder> d)
      : decoder_(std::move(d)),
        format_(TWavFormat::Pcm(static_cast<uint32_t>(decoder_->Rate()), static_cast<uint16_t>(decoder_->Channels()), 16)) {}
  TWavFormat Format() const override { return format_; }
  int64_t Size() override {
    int64_t frames = decoder_->TotalFrames();
    return frames < 0 ? -1 : frames * format_.BlockAlign;
  }
  void Seek(int64_t pos) override {
    if (!decoder_->Seek(std::max<int64_t>(0, pos) / format_.BlockAlign)) ended_ = true;
    else ended_ = false;
  }
  size_t Read(void* out, size_t count) override {
    if (ended_) return 0;
    size_t frames = decoder_->Read(static_cast<int16_t*>(out), count / format_.BlockAlign);
    return frames * format_.BlockAlign;
  }

 private:
  std::unique_ptr<platform::IPcmDecoder> decoder_;
  TWavFormat format_;
  bool ended_ = false;
};

// Sizes and positions are given in bytes of the converted stream.
class TResampledPcm final : public TPcmStream {
 public:
  TResampledPcm(std::unique_ptr<TPcmStream> in, std::unique_ptr<platform::IResampler> r)
      : in_(std::move(in)), resampler_(std::move(r)), inFormat_(in_->Format()),
        format_(TWavFormat::Pcm(44100, inFormat_.Channels, 16)) {}
  TWavFormat Format() const override { return format_; }
  int64_t Size() override {
    int64_t inSize = in_->Size();
    if (inSize < 0) return -1;
    return OutFrames(inSize / inFormat_.BlockAlign) * format_.BlockAlign;
  }
  void Seek(int64_t pos) override {
    int64_t frame = std::max<int64_t>(0, pos) / format_.BlockAlign;
    in_->Seek(frame * inFormat_.SamplesPerSec / 44100 * inFormat_.BlockAlign);
    resampler_->Reset();
    held_.clear();
    ended_ = flushed_ = false;
  }
  size_t Read(void* out, size_t count) override {
    const size_t ch = format_.Channels;
    int16_t* o = static_cast<int16_t*>(out);
    size_t wantFrames = count / format_.BlockAlign, made = 0;
    int stalls = 0;
    while (made < wantFrames && !flushed_) {
      if (held_.size() < 4096 * ch && !ended_) Refill();
      size_t usedIn = 0, madeOut = 0;
      size_t heldFrames = held_.size() / ch;
      resampler_->Process(held_.data(), heldFrames, o + made * ch, wantFrames - made, ended_, usedIn, madeOut);
      held_.erase(held_.begin(), held_.begin() + static_cast<ptrdiff_t>(std::min(usedIn, heldFrames) * ch));
      made += madeOut;
      if (madeOut == 0 && usedIn == 0) {
        if (ended_) flushed_ = true;
        else if (++stalls > 8) break;  // a converter that takes nothing more: give what there is
        else Refill();
      }
    }
    return made * format_.BlockAlign;
  }

 private:
  int64_t OutFrames(int64_t inFrames) const { return inFrames * 44100 / std::max<uint32_t>(1, inFormat_.SamplesPerSec); }
  // Reads more input, widening 8-bit samples to 16 bits.
  void Refill() {
    uint8_t raw[8192];
    size_t n = in_->Read(raw, sizeof raw - sizeof raw % inFormat_.BlockAlign);
    if (n == 0) {
      ended_ = true;
      return;
    }
    if (inFormat_.BitsPerSample == 8) {
      for (size_t i = 0; i < n; ++i) held_.push_back(static_cast<int16_t>((raw[i] - 128) * 256));
    } else {
      for (size_t i = 0; i + 1 < n; i += 2) held_.push_back(static_cast<int16_t>(raw[i] | raw[i + 1] << 8));
    }
  }
  std::unique_ptr<TPcmStream> in_;
  std::unique_ptr<platform::IResampler> resampler_;
  TWavFormat inFormat_, format_;
  std::vector<int16_t> held_;
  bool ended_ = false, flushed_ = false;
};

bool IsMixerRate(uint32_t rate) { return rate == 44100 || rate == 22050; }

}  // namespace

std::unique_ptr<TPcmStream> PcmOfDecoder(std::unique_ptr<platform::IPcmDecoder> decoder) {
  return std::make_unique<TDecoderPcm>(std::move(decoder));
}

std::unique_ptr<TPcmStream> ResampledPcm(std::unique_ptr<TPcmStream> stream, std::unique_ptr<platform::IResampler> resampler) {
  return std::make_unique<TResampledPcm>(std::move(stream), std::move(resampler));
}

std::unique_ptr<TPcmStream> OpenSoundFile(std::shared_ptr<const std::vector<uint8_t>> file, platform::IAudioCodecs* codecs) {
  const auto& b = *file;
  std::unique_ptr<TPcmStream> pcm;
  bool riff = b.size() >= 12 && std::memcmp(b.data(), "RIFF", 4) == 0 && std::memcmp(b.data() + 8, "WAVE", 4) == 0;
  if (riff) {
    try {
      pcm = OpenWaveStream(file);
    } catch (const EReadError&) {
      if (!codecs) throw;  // a wave file of compressed samples may still be decodable
    }
  }
  if (!pcm && codecs) {
    bool ogg = b.size() >= 4 && std::memcmp(b.data(), "OggS", 4) == 0;
    auto decoder = ogg ? codecs->OpenOgg(file) : nullptr;
    if (!decoder) decoder = codecs->OpenOther(file);
    if (decoder) pcm = PcmOfDecoder(std::move(decoder));
  }
  if (!pcm) BadSound();
  TWavFormat f = pcm->Format();
  if (IsMixerRate(f.SamplesPerSec)) return pcm;
  // A rate the mixer would leave silent is converted rather than dropped.
  auto resampler = codecs ? codecs->CreateResampler(f.Channels, static_cast<int>(f.SamplesPerSec), 44100) : nullptr;
  if (!resampler) BadSound();
  return ResampledPcm(std::move(pcm), std::move(resampler));
}

}  // namespace orba
