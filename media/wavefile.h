// Wave files (RIFF "WAVE" with integer PCM): our own reader, which treats the file as hostile,
// and our own writer, which the tests, the demo's sound generator and the headless sound
// recording use.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/pcmstream.h"

namespace orba {

// Where the samples of a wave file lie.
struct TWaveInfo {
  TWavFormat Format;
  size_t DataOffset = 0;  // of the first sample byte in the file
  size_t DataSize = 0;    // whole frames only
};

// Reads the chunk layout. Every chunk length is checked against what remains; a data chunk
// that claims more than the file holds is cut to what is there (so a short file plays what
// it has). Anything but 8- or 16-bit integer PCM in one or two channels, or a file that is
// no wave file, raises "サウンドデータが不正です".
TWaveInfo ReadWaveInfo(std::span<const uint8_t> file);

// The PCM of a wave file held in memory.
std::unique_ptr<TPcmStream> OpenWaveStream(std::shared_ptr<const std::vector<uint8_t>> file);

// A complete wave file of integer PCM.
std::vector<uint8_t> WriteWave(const TWavFormat& format, std::span<const uint8_t> samples);
std::vector<uint8_t> WriteWave(const TWavFormat& format, std::span<const int16_t> samples);

}  // namespace orba
