// Sound: mixing 16 playing sources of decoded 44.1 kHz stereo PCM for one second of output
// (the work of the device's callback), and decoding one second of Ogg Vorbis through our
// decoder stream beside libvorbisfile's own decode of the same file.
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "authoring/audiogen.h"
#include "media/soundfile.h"
#include "media/wavefile.h"
#include "media/wavout.h"
#include "platform/audio.h"
#include "platform/headless/headless.h"

namespace {

using namespace orba;

// Argument 0: two whole buffers of the 500 ms delay. Otherwise the device's pieces of that many
// frames through Render, each scaled by the volumes of its moment, as the SDL device pulls them.
void BM_Mix16SourcesOneSecond(benchmark::State& state) {
  platform::headless::FakeClock clock;
  platform::headless::AudioOut device(clock);
  TWavOut mixer(&device, clock, 500);  // two buffers make one second
  mixer.Open();
  const size_t piece = static_cast<size_t>(state.range(0));
  auto tone = authoring::SynthTone(440, 2000, 44100, 2, 3000, 0);
  auto file = std::make_shared<const std::vector<uint8_t>>(WriteWave(TWavFormat::Pcm(44100, 2, 16), std::span<const int16_t>(tone)));
  for (int i = 0; i < 16; ++i) {
    TWavBuffer* s = mixer.AddSource(OpenWaveStream(file));
    s->SetVolume(200);
    s->SetLoop(true);
    s->Play();
  }
  std::vector<int16_t> out(mixer.BufferSize() / 2);
  for (auto _ : state) {
    state.PauseTiming();
    mixer.Prepare();  // decoded ahead, as the device's helper thread does
    state.ResumeTiming();
    if (piece == 0) {
      mixer.MixAll(out.data());
      mixer.MixAll(out.data());
    } else {
      for (size_t done = 0; done < 44100; done += piece) mixer.Render(out.data(), std::min(piece, 44100 - done));
    }
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_Mix16SourcesOneSecond)->Arg(0)->Arg(1024)->Unit(benchmark::kMicrosecond);

const std::shared_ptr<const std::vector<uint8_t>>& OggFile() {
  static const auto file = std::make_shared<const std::vector<uint8_t>>(
      authoring::EncodeOggVorbis(authoring::SynthTone(440, 1000, 44100, 2, 12000), 44100, 2));
  return file;
}

constexpr size_t kOneSecond = 176400;

void BM_OggDecodeOneSecond(benchmark::State& state) {
  auto codecs = platform::CreateAudioCodecs();
  std::vector<uint8_t> out(kOneSecond);
  for (auto _ : state) {
    auto pcm = OpenSoundFile(OggFile(), codecs.get());
    size_t got = 0, n;
    while ((n = pcm->Read(out.data() + got, out.size() - got)) > 0) got += n;
    benchmark::DoNotOptimize(got);
  }
}
BENCHMARK(BM_OggDecodeOneSecond)->Unit(benchmark::kMicrosecond);

struct Memory {
  const std::vector<uint8_t>* bytes;
  size_t at = 0;
};

void BM_OggDecodeOneSecondVorbisfile(benchmark::State& state) {
  ov_callbacks cb{
      [](void* out, size_t size, size_t count, void* src) -> size_t {
        auto* m = static_cast<Memory*>(src);
        size_t n = std::min(count, (m->bytes->size() - m->at) / size);
        std::memcpy(out, m->bytes->data() + m->at, n * size);
        m->at += n * size;
        return n;
      },
      [](void* src, ogg_int64_t offset, int whence) -> int {
        auto* m = static_cast<Memory*>(src);
        int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(m->at) : static_cast<int64_t>(m->bytes->size());
        if (base + offset < 0 || base + offset > static_cast<int64_t>(m->bytes->size())) return -1;
        m->at = static_cast<size_t>(base + offset);
        return 0;
      },
      nullptr, [](void* src) -> long { return static_cast<long>(static_cast<Memory*>(src)->at); }};
  std::vector<uint8_t> out(kOneSecond);
  for (auto _ : state) {
    Memory m{OggFile().get()};
    OggVorbis_File vf;
    ov_open_callbacks(&m, &vf, nullptr, 0, cb);
    size_t got = 0;
    int section = 0;
    long n;
    while (got < out.size() &&
           (n = ov_read(&vf, reinterpret_cast<char*>(out.data() + got), static_cast<int>(out.size() - got), 0, 2, 1, &section)) > 0)
      got += static_cast<size_t>(n);
    ov_clear(&vf);
    benchmark::DoNotOptimize(got);
  }
}
BENCHMARK(BM_OggDecodeOneSecondVorbisfile)->Unit(benchmark::kMicrosecond);

}  // namespace
