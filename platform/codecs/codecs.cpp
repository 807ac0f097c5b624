#include "platform/codecs/codecs.h"

namespace orba::platform {

namespace {

class Codecs final : public IAudioCodecs {
 public:
  std::unique_ptr<IPcmDecoder> OpenOgg(std::shared_ptr<const std::vector<uint8_t>> file) override {
    return codecs::OpenVorbis(std::move(file));
  }
  std::unique_ptr<IPcmDecoder> OpenOther(std::shared_ptr<const std::vector<uint8_t>> file) override {
    return codecs::OpenWithFfmpeg(std::move(file));
  }
  std::unique_ptr<IResampler> CreateResampler(int channels, int inRate, int outRate) override {
    return codecs::CreateSampleRateConverter(channels, inRate, outRate);
  }
};

}  // namespace

std::unique_ptr<IAudioCodecs> CreateAudioCodecs() { return std::make_unique<Codecs>(); }

}  // namespace orba::platform
