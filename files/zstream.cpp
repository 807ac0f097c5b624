#include "files/zstream.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "base/cp932.h"
#include "base/error.h"

namespace orba {

namespace {

constexpr size_t kPiece = 1 << 20;

void WriteAll(TKvBigStream& target, const uint8_t* data, size_t size) {
  if (size > 0 && target.Write(data, static_cast<int64_t>(size)) != static_cast<int64_t>(size))
    throw EOrbaError(Sjis(u8"書き込みに失敗しました"));
}

// Pieces of data in flight go through buffers of this size that are never zero-filled, so a
// copy or a deflate costs the bytes moved rather than fresh memory for each call.
constexpr size_t kBuffer = 1 << 16;

// Reads the next piece of at most kBuffer of the count bytes left into buffer; raises when
// the source ends before them.
size_t ReadPiece(TKvBigStream& source, int64_t& left, uint8_t* buffer) {
  const auto n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(kBuffer)));
  if (source.Read(buffer, static_cast<int64_t>(n)) != static_cast<int64_t>(n))
    throw EOrbaError(Sjis(u8"読み込みに失敗しました"));
  left -= static_cast<int64_t>(n);
  return n;
}

template <typename OnPiece>
void CopyPieces(TKvBigStream& source, int64_t count, TKvBigStream& target, OnPiece onPiece) {
  const auto piece = std::make_unique_for_overwrite<uint8_t[]>(kBuffer);
  for (int64_t left = count; left > 0;) {
    const size_t n = ReadPiece(source, left, piece.get());
    onPiece(std::span<const uint8_t>(piece.get(), n));
    WriteAll(target, piece.get(), n);
  }
}

}  // namespace

uint32_t DeflateStream(TKvBigStream& source, int64_t count, TKvBigStream& target, int level) {
  z_stream z{};
  if (deflateInit(&z, level) != Z_OK) throw EOrbaError("deflateInit");
  const auto piece = std::make_unique_for_overwrite<uint8_t[]>(kBuffer);
  const auto out = std::make_unique_for_overwrite<uint8_t[]>(kBuffer);
  uint32_t crc = 0;
  try {
    int64_t left = count;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
      const bool last = left == 0;
      if (!last) {
        const size_t n = ReadPiece(source, left, piece.get());
        crc = Crc32(std::span<const uint8_t>(piece.get(), n), crc);
        z.next_in = piece.get();
        z.avail_in = static_cast<uInt>(n);
      }
      do {
        z.next_out = out.get();
        z.avail_out = static_cast<uInt>(kBuffer);
        rc = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        if (rc == Z_STREAM_ERROR) throw EOrbaError("deflate");
        WriteAll(target, out.get(), kBuffer - z.avail_out);
      } while (z.avail_out == 0 || (last && rc != Z_STREAM_END));
    }
  } catch (...) {
    deflateEnd(&z);
    throw;
  }
  deflateEnd(&z);
  return crc;
}

uint32_t CopyStream(TKvBigStream& source, int64_t count, TKvBigStream& target) {
  uint32_t crc = 0;
  CopyPieces(source, count, target, [&crc](std::span<const uint8_t> piece) { crc = Crc32(piece, crc); });
  return crc;
}

void CopyBytes(TKvBigStream& source, int64_t count, TKvBigStream& target) {
  CopyPieces(source, count, target, [](std::span<const uint8_t>) {});
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

uint32_t Crc32(std::span<const uint8_t> data, uint32_t crc) {
  uLong value = crc;
  for (size_t at = 0; at < data.size(); at += kPiece)
    value = crc32(value, data.data() + at, static_cast<uInt>(std::min(kPiece, data.size() - at)));
  return static_cast<uint32_t>(value);
}

}  // namespace orba
