// Sound made by our own hands for the demo, the tests and the benchmarks: synthesised tones
// and their Ogg Vorbis encoding through libvorbis (no recorded or downloaded audio anywhere).
#pragma once

#include <cstdint>
#include <vector>

namespace orba::authoring {

// A sine tone: frames of `channels` interleaved 16-bit samples with the given peak amplitude,
// faded in and out over fadeMs so it starts and ends without a click.
std::vector<int16_t> SynthTone(double frequency, int ms, int rate, int channels, int amplitude, int fadeMs = 5);

// A short click: a decaying burst of a high tone.
std::vector<int16_t> SynthClick(int rate, int channels);

// Ogg Vorbis of interleaved 16-bit PCM at quality 0..1 (variable bit rate), with a fixed
// stream serial so the same samples make the same bytes.
std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& samples, int rate, int channels, float quality = 0.4f);

// Compressed audio of interleaved 16-bit PCM made by FFmpeg's own encoders: a container
// ("asf") and an encoder ("wmav2") by name, at bitRate bits a second.
std::vector<uint8_t> EncodeWithFfmpeg(const std::vector<int16_t>& samples, int rate, int channels, const char* container,
                                      const char* encoder, int bitRate = 128000);

}  // namespace orba::authoring
