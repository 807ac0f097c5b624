// The decoders and the rate converter behind platform::IAudioCodecs, one file each.
#pragma once

#include "platform/audio.h"

namespace orba::platform::codecs {

std::unique_ptr<IPcmDecoder> OpenVorbis(std::shared_ptr<const std::vector<uint8_t>> file);
std::unique_ptr<IPcmDecoder> OpenWithFfmpeg(std::shared_ptr<const std::vector<uint8_t>> file);
std::unique_ptr<IResampler> CreateSampleRateConverter(int channels, int inRate, int outRate);

}  // namespace orba::platform::codecs
