#include "files/zstream.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "base/cp932.h"
#include "base/error.h"

namespace orba {

void DeflateTo(std::span<const uint8_t> data, TKvBigStream& target, int level) {
  std::vector<uint8_t> out = Deflate(data, level);
  target.Write(out.data(), static_cast<int64_t>(out.size()));
}

std::vector<uint8_t> Deflate(std::span<const uint8_t> data, int level) {
  z_stream z{};
  if (deflateInit(&z, level) != Z_OK) throw EOrbaError("deflateInit");
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw EOrbaError("deflate");
  return out;
}

void InflateTo(std::span<const uint8_t> zdata, TKvBigStream& target, int64_t limit) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw EOrbaError("inflateInit");
  z.next_in = const_cast<Bytef*>(zdata.data());
  z.avail_in = static_cast<uInt>(zdata.size());
  // One reusable output buffer per thread, left uninitialised: inflate fills what it hands out.
  constexpr size_t kChunk = 1 << 18;
  thread_local std::unique_ptr<uint8_t[]> buffer = std::make_unique_for_overwrite<uint8_t[]>(kChunk);
  std::span<uint8_t> chunk(buffer.get(), kChunk);
  int64_t produced = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    z.next_out = chunk.data();
    z.avail_out = static_cast<uInt>(chunk.size());
    rc = inflate(&z, Z_NO_FLUSH);
    size_t n = chunk.size() - z.avail_out;
    if ((rc != Z_OK && rc != Z_STREAM_END) || (rc == Z_OK && n == 0 && z.avail_in == 0)) {
      inflateEnd(&z);
      throw EOrbaError(Sjis(u8"圧縮データが壊れています"));
    }
    produced += static_cast<int64_t>(n);
    if (produced > limit) {
      inflateEnd(&z);
      throw EOrbaError(Sjis(u8"展開後のデータが大きすぎます"));
    }
    target.Write(chunk.data(), static_cast<int64_t>(n));
  }
  inflateEnd(&z);
}

void InflateExactly(std::span<const uint8_t> zdata, std::span<uint8_t> dst) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw EOrbaError("inflateInit");
  z.next_in = const_cast<Bytef*>(zdata.data());
  z.avail_in = static_cast<uInt>(zdata.size());
  z.next_out = dst.data();
  z.avail_out = static_cast<uInt>(dst.size());
  int rc = inflate(&z, Z_FINISH);
  bool exact = rc == Z_STREAM_END && z.avail_out == 0;
  inflateEnd(&z);
  if (!exact) throw EOrbaError(Sjis(u8"圧縮データが壊れています"));
}

uint32_t StreamCrc32(TKvBigStream& stream) {
  stream.SetPosition(0);
  std::vector<uint8_t> buffer(1 << 20);
  uLong crc = crc32(0, nullptr, 0);
  for (;;) {
    int64_t n = stream.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
    if (n <= 0) break;
    crc = crc32(crc, buffer.data(), static_cast<uInt>(n));
  }
  return static_cast<uint32_t>(crc);
}

uint32_t Crc32(std::span<const uint8_t> data) {
  return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size())));
}

}  // namespace orba
