// Feeds arbitrary bytes to our wave reader and reads the stream it gives to the end: it may
// raise the player's read error, never crash or read outside the file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/error.h"
#include "media/wavefile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto file = std::make_shared<const std::vector<uint8_t>>(data, data + size);
  try {
    auto stream = orba::OpenWaveStream(file);
    uint8_t buffer[4096];
    stream->Seek(stream->Size() / 3);
    while (stream->Read(buffer, sizeof buffer) > 0) {
    }
  } catch (const orba::EOrbaError&) {
  }
  return 0;
}
