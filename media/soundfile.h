// Opens the PCM of a sound file of any kind the player plays: wave files through our own
// reader, Ogg Vorbis and other compressed audio through the platform's decoders. A sample
// rate the mixer cannot take (anything but 44,100 and 22,050 Hz) is converted to 44,100 Hz.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/pcmstream.h"
#include "platform/audio.h"

namespace orba {

// The PCM of file; raises "サウンドデータが不正です" when nothing can decode it. codecs may be
// null (then only wave files at the mixer's rates play).
std::unique_ptr<TPcmStream> OpenSoundFile(std::shared_ptr<const std::vector<uint8_t>> file, platform::IAudioCodecs* codecs);

// A decoder's output as a PCM stream of 16-bit samples.
std::unique_ptr<TPcmStream> PcmOfDecoder(std::unique_ptr<platform::IPcmDecoder> decoder);

// stream converted to 16-bit at 44,100 Hz by resampler (made for the stream's channels and rate).
std::unique_ptr<TPcmStream> ResampledPcm(std::unique_ptr<TPcmStream> stream, std::unique_ptr<platform::IResampler> resampler);

}  // namespace orba
