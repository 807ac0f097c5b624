// Feeds arbitrary bytes to the player's sound-file opening (our wave reader, then Ogg Vorbis
// and FFmpeg's decoders, a rate converter for odd rates) and reads what it gives, with a seek:
// a bad file may raise the player's read error, never crash or run away.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/error.h"
#include "media/soundfile.h"
#include "platform/audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto codecs = orba::platform::CreateAudioCodecs();
  auto file = std::make_shared<const std::vector<uint8_t>>(data, data + size);
  try {
    auto stream = orba::OpenSoundFile(file, codecs.get());
    static uint8_t buffer[16384];
    size_t total = 0, n;
    while (total < (1u << 20) && (n = stream->Read(buffer, sizeof buffer)) > 0) total += n;
    stream->Seek(stream->Size() / 2);
    stream->Read(buffer, sizeof buffer);
  } catch (const orba::EOrbaError&) {
  }
  return 0;
}
