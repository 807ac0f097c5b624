// zlib streams of archive entries: deflating at the fastest level, inflating with a cap on
// the output (the format stores no uncompressed size, so a small hostile entry could
// otherwise inflate to gigabytes), and the CRC-32 of a whole stream.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/stream.h"

namespace orba {

constexpr int64_t kDefaultInflateLimit = int64_t{1} << 30;

// Appends the zlib stream of data to target at its position.
void DeflateTo(std::span<const uint8_t> data, TKvBigStream& target, int level = 1);
std::vector<uint8_t> Deflate(std::span<const uint8_t> data, int level = 1);

// Inflates one zlib stream into target; raises EOrbaError on damaged data or when the output
// would pass limit bytes.
void InflateTo(std::span<const uint8_t> zdata, TKvBigStream& target, int64_t limit = kDefaultInflateLimit);

// Inflates one zlib stream into exactly dst.size() bytes; raises EOrbaError on damaged data or
// when the stream holds fewer or more bytes.
void InflateExactly(std::span<const uint8_t> zdata, std::span<uint8_t> dst);

// CRC-32 of a stream's bytes from position 0, read in 1 MiB pieces (the stream ends at its end).
uint32_t StreamCrc32(TKvBigStream& stream);
uint32_t Crc32(std::span<const uint8_t> data);

}  // namespace orba
