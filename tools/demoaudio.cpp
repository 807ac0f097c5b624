// demoaudio: synthesises the demo project's sounds at build time, so the project holds no
// recorded or downloaded audio: title music and a voice line as Ogg Vorbis (encoded with
// libvorbis) and a button click as a wave file (our own writer).
//   demoaudio build/demo/sound
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "authoring/audiogen.h"
#include "media/wavefile.h"

namespace {

using namespace orba;

bool Save(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// Notes one after another, each a tone of its own length.
std::vector<int16_t> Melody(const std::vector<std::pair<double, int>>& notes, int rate, int channels, int amplitude) {
  std::vector<int16_t> out;
  for (const auto& [frequency, ms] : notes) {
    auto tone = frequency > 0 ? authoring::SynthTone(frequency, ms, rate, channels, amplitude, 20)
                              : std::vector<int16_t>(static_cast<size_t>(ms) * rate / 1000 * channels, 0);
    out.insert(out.end(), tone.begin(), tone.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demoaudio OUTPUT_FOLDER\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  // Title music: an arpeggio of C major and A minor, two seconds a bar, made to loop.
  const double C4 = 261.63, E4 = 329.63, G4 = 392.0, A4 = 440.0, C5 = 523.25;
  auto bgm = Melody({{C4, 500}, {E4, 500}, {G4, 500}, {C5, 500}, {A4, 500}, {C5, 500}, {E4, 500}, {A4, 500}}, 44100, 2, 9000);
  // A voice line stands in as a spoken-like rise and fall of short tones, mono at 22,050 Hz.
  auto voice = Melody({{220, 120}, {247, 100}, {0, 40}, {262, 140}, {233, 120}, {0, 60}, {196, 200}}, 22050, 1, 12000);
  auto click = authoring::SynthClick(22050, 1);
  bool ok = Save(dir / "bgm.ogg", authoring::EncodeOggVorbis(bgm, 44100, 2)) &&
            Save(dir / "voice.ogg", authoring::EncodeOggVorbis(voice, 22050, 1)) &&
            Save(dir / "click.wav", WriteWave(TWavFormat::Pcm(22050, 1, 16), std::span<const int16_t>(click)));
  if (!ok) {
    std::fprintf(stderr, "demoaudio: cannot write into %s\n", dir.string().c_str());
    return 1;
  }
  return 0;
}
