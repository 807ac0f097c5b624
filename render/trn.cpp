#include "render/trn.h"

#include "files/replacefile.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <filesystem>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "files/bigstream.h"
#include "files/kvrandom.h"
#include "files/zstream.h"
#include "render/imagefiles.h"

namespace orba {

namespace {

[[noreturn]] void Bad(const char* what) { throw EOrbaError(Sjis(u8"画像ファイルが壊れています") + " (" + what + ")"); }

bool ValidDepth(int32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// Header fields the reader uses.
struct THeader {
  int32_t frameCount = 0;
  bool scrambled = false;
  int32_t mode = 0;  // 0 zlib, 1 raw, 2 JPEG main image
  int32_t tileWidth = 0, tileHeight = 0;
};

// The colour (0x00BBGGRR) of a pixel value in a surface's format, or -1 for none.
int32_t ColourOfValue(const TDIBSurface& surface, int32_t value) {
  if (value < 0) return -1;
  TRGB c = surface.PixelToRGB(static_cast<uint32_t>(value), false);
  return c.Red | c.Green << 8 | c.Blue << 16;
}

// The row order drawn from the seed: stored row j belongs at row p[j].
std::vector<int32_t> Permutation(int32_t seed, int32_t n) {
  std::vector<int32_t> p(static_cast<size_t>(n));
  TKvRandom random(seed);
  random.ResetPermutation(n);
  for (auto& v : p) v = random.NextUnique();
  return p;
}

// One layer while its frame is read; kept until the whole file is read, since tiles of later
// frames may copy from it.
struct TTarnLayer {
  TDIBSurface Surface;
  bool Visible = false;
  int32_t TransparentValue = -1;
  int32_t Opacity = 255;
  bool AlphaUsed = false;
};

class TReader {
 public:
  TReader(TTarnFrameList& list, TKvBigStream& stream, int32_t version, const THeader& header)
      : list_(list), r_(stream), version_(version), h_(header) {}

  void ReadFrame(int index, TTarnFrame& frame);

 private:
  // One stored block, inflated where the storage mode says so; nothing for a block of size 0.
  // With direct set and a plain row layout, a zlib block is inflated straight into the plane
  // and the result is empty.
  std::optional<std::vector<uint8_t>> Block(bool alpha, int64_t rawLimit, TDIBSurface* direct = nullptr);
  // Tiles and the drawn row order apply only outside the JPEG mode, whose alpha blocks are
  // plain rows.
  bool Tiled() const { return version_ >= 103 && h_.tileWidth > 0 && h_.tileHeight > 0 && h_.mode != 2; }
  bool Permuted() const { return version_ >= 103 && h_.scrambled && h_.mode != 2 && list_.Seed != 0; }
  bool PlainRows(bool alpha) const { return !Tiled() && !Permuted() && !(h_.mode == 2 && !alpha); }
  void FillPlane(TDIBSurface& plane, const std::vector<uint8_t>& data, bool alpha, int frameIndex);
  void FillRows(TDIBSurface& plane, const std::vector<uint8_t>& data);
  void FillTiles(TDIBSurface& plane, const std::vector<uint8_t>& data, bool alpha, int frameIndex);

  TTarnFrameList& list_;
  TBinaryReader r_;
  int32_t version_;
  THeader h_;
  std::vector<std::vector<TTarnLayer>> layers_;  // by frame, for back-references
};

void TReader::FillRows(TDIBSurface& plane, const std::vector<uint8_t>& data) {
  const auto pitch = static_cast<size_t>(plane.Pitch());
  if (data.size() < pitch * static_cast<size_t>(plane.Height())) Bad("rows");
  const bool permuted = Permuted();
  std::vector<int32_t> p = permuted ? Permutation(list_.Seed, plane.Height()) : std::vector<int32_t>();
  for (int32_t j = 0; j < plane.Height(); ++j)
    std::memcpy(plane.ScanLine(permuted ? p[static_cast<size_t>(j)] : j), data.data() + j * pitch, pitch);
}

void TReader::FillTiles(TDIBSurface& plane, const std::vector<uint8_t>& data, bool alpha, int frameIndex) {
  const int32_t w = plane.Width(), h = plane.Height(), bits = plane.BitCount();
  // In 64 bits: a tile size near the largest integer must not wrap the rounding up.
  const auto across = static_cast<int32_t>((int64_t{w} + h_.tileWidth - 1) / h_.tileWidth);
  const auto down = static_cast<int32_t>((int64_t{h} + h_.tileHeight - 1) / h_.tileHeight);
  const int64_t entries = int64_t{across} * down;
  if (static_cast<int64_t>(data.size()) < entries * 8) Bad("tile table");
  std::vector<std::pair<int32_t, int32_t>> table(static_cast<size_t>(entries));
  std::vector<int32_t> p = h_.scrambled && list_.Seed != 0 ? Permutation(list_.Seed, static_cast<int32_t>(entries))
                                                           : std::vector<int32_t>();
  auto i32 = [&](size_t at) {
    return static_cast<int32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 | uint32_t{data[at + 3]} << 24);
  };
  for (int64_t i = 0; i < entries; ++i) {
    size_t slot = p.empty() ? static_cast<size_t>(i) : static_cast<size_t>(p[static_cast<size_t>(i)]);
    table[slot] = {i32(static_cast<size_t>(i) * 8), i32(static_cast<size_t>(i) * 8 + 4)};
    if (table[slot].first < -2) Bad("tile code");  // -1 stored, -2 a tile, from 0 a frame
  }
  size_t at = static_cast<size_t>(entries) * 8;
  const int64_t tileRowBytes = (int64_t{h_.tileWidth} * bits + 7) / 8;
  const int64_t pitch = plane.Pitch();
  // Tile t's area clipped to the image, and the byte where its rows start. A tile's bytes are
  // placed by its column times the bytes of a whole tile row, which at 1 and 4 bits with
  // narrow tiles lies beyond the row: such a file is refused.
  struct TTile {
    TRect area;
    size_t offset, rowBytes;
  };
  auto tile = [&](int64_t t) {
    const int32_t col = static_cast<int32_t>(t % across), row = static_cast<int32_t>(t / across);
    TTile r;
    r.area = {col * h_.tileWidth, row * h_.tileHeight, std::min(w, (col + 1) * h_.tileWidth),
              std::min(h, (row + 1) * h_.tileHeight)};
    const int64_t bytes = (int64_t{r.area.Width()} * bits + 7) / 8;
    const int64_t offset = col * tileRowBytes;
    if (offset + bytes > pitch) Bad("tile offset");
    r.offset = static_cast<size_t>(offset);
    r.rowBytes = static_cast<size_t>(bytes);
    return r;
  };
  for (int64_t t = 0; t < entries; ++t) {
    const TTile dst = tile(t);
    const TRect& area = dst.area;
    const size_t offset = dst.offset, rowBytes = dst.rowBytes;
    auto [d, e] = table[static_cast<size_t>(t)];
    const TDIBSurface* from = nullptr;
    if (d == -1) {
      if (data.size() - at < rowBytes * static_cast<size_t>(area.Height())) Bad("tile data");
      for (int32_t y = area.Top; y < area.Bottom; ++y, at += rowBytes) std::memcpy(plane.ScanLine(y) + offset, data.data() + at, rowBytes);
      continue;
    } else if (d == -2) {
      if (e < 0 || e >= t) Bad("tile reference");  // only tiles already decoded
      const TTile src = tile(e);
      // A tile cut at the right or bottom edge may copy from a whole one: the source need only
      // be as large as the area.
      if (src.area.Width() < area.Width() || src.area.Height() < area.Height()) Bad("tile reference");
      for (int32_t y = 0; y < area.Height(); ++y)
        std::memmove(plane.ScanLine(area.Top + y) + offset, plane.ScanLine(src.area.Top + y) + src.offset, rowBytes);
      continue;
    } else {
      // The same area of a layer of an earlier frame.
      if (d >= frameIndex || d >= static_cast<int32_t>(layers_.size()) || e < 0 ||
          e >= static_cast<int32_t>(layers_[static_cast<size_t>(d)].size()))
        Bad("frame reference");
      const TDIBSurface& layer = layers_[static_cast<size_t>(d)][static_cast<size_t>(e)].Surface;
      from = alpha ? layer.Alpha() : &layer;
      if (!from || from->Width() != w || from->Height() != h || from->BitCount() != bits) Bad("frame reference");
    }
    for (int32_t y = area.Top; y < area.Bottom; ++y) std::memcpy(plane.ScanLine(y) + offset, from->ScanLine(y) + offset, rowBytes);
  }
}

std::optional<std::vector<uint8_t>> TReader::Block(bool alpha, int64_t rawLimit, TDIBSurface* direct) {
  int32_t size = r_.I32();
  if (size < 0) Bad("block size");
  if (size == 0) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<int64_t>(size, r_.Remaining())));
  r_.Read(bytes.data(), size);
  // Older versions know only zlib (their storage mode reads as 0); the JPEG mode keeps its
  // alpha blocks as zlib streams.
  if (h_.mode == 0 || (h_.mode == 2 && alpha)) {
    if (direct && PlainRows(alpha)) {
      InflateExactly(bytes, {direct->Bits(), static_cast<size_t>(direct->Pitch()) * direct->Height()});
      return std::vector<uint8_t>();
    }
    TKvMemoryStream out;
    InflateTo(bytes, out, rawLimit);
    return out.TakeBytes();
  }
  return bytes;
}

void TReader::FillPlane(TDIBSurface& plane, const std::vector<uint8_t>& data, bool alpha, int frameIndex) {
  if (version_ >= 103 && h_.mode == 2 && !alpha) {
    TDIBSurface picture;
    LoadJpeg(data, picture, int64_t{plane.Width()} * plane.Height());
    if (picture.Width() != plane.Width() || picture.Height() != plane.Height()) Bad("picture size");
    plane.DrawConverted(0, 0, -1, picture);
    return;
  }
  if (Tiled()) FillTiles(plane, data, alpha, frameIndex);
  else FillRows(plane, data);
}

void TReader::ReadFrame(int index, TTarnFrame& frame) {
  frame.Name = r_.String();
  frame.TransparentValue = r_.I32();
  frame.Delay = r_.I32();
  r_.Skip(5);
  int32_t layerCount = r_.I32();
  int32_t width = r_.I32(), height = r_.I32(), depth = r_.I32();
  if (layerCount < 0 || layerCount > TTarnFrameList::kMaxLayers || layerCount > r_.Remaining() / 17)
    Bad("layer count");
  if (width <= 0 || height <= 0 || width > TTarnFrameList::kMaxSide || height > TTarnFrameList::kMaxSide ||
      !ValidDepth(depth))
    Bad("frame size");
  frame.Surface.SetSize(width, height, depth);
  if (depth <= 8) {
    auto& pal = frame.Surface.Palette();
    for (int i = 0; i < (1 << depth); ++i) {
      pal[i].Blue = r_.U8();
      pal[i].Green = r_.U8();
      pal[i].Red = r_.U8();
      r_.U8();
    }
  }
  frame.TransparentColor = ColourOfValue(frame.Surface, frame.TransparentValue);
  // The frame starts as the background colour; the fill waits until a layer is drawn over it,
  // since a first opaque layer replaces the frame's pixels whole.
  bool filled = false;
  auto fill = [&] {
    if (filled) return;
    filled = true;
    const auto bg = static_cast<uint32_t>(list_.Background);
    frame.Surface.FillRect(frame.Surface.BoundsRect(),
                           frame.Surface.RGBToPixel(static_cast<uint8_t>(bg), static_cast<uint8_t>(bg >> 8),
                                                    static_cast<uint8_t>(bg >> 16)));
  };

  // A block never holds more than its plane (the pixels or the 8-bit alpha plane) plus a tile
  // table: the cap on inflating. A tile table larger than the plane it places describes
  // nothing a picture needs (tiles of a pixel or two), and would let a small compressed file
  // claim a table of hundreds of megabytes: such a file is refused before anything is read.
  const int64_t planeBytes =
      std::max(int64_t{frame.Surface.Pitch()}, (int64_t{width} + 3) / 4 * 4) * height;
  int64_t tableBytes = 0;
  if (Tiled()) {
    tableBytes = (int64_t{width} + h_.tileWidth - 1) / h_.tileWidth * ((int64_t{height} + h_.tileHeight - 1) / h_.tileHeight) * 8;
    if (tableBytes > planeBytes + 4096) Bad("tile table");
  }
  const int64_t rawLimit = planeBytes * 2 + tableBytes + 4096;

  std::vector<TTarnLayer>& layers = layers_.emplace_back();
  bool firstVisibleSeen = false;
  for (int32_t i = 0; i < layerCount; ++i) {
    TTarnLayer& layer = layers.emplace_back();
    r_.Skip(8);
    layer.Visible = r_.U8() != 0;
    layer.TransparentValue = r_.I32();
    layer.Opacity = r_.I32();
    if (version_ >= 101) layer.AlphaUsed = r_.U8() != 0;
    r_.String();
    layer.Surface.SetSize(width, height, depth);
    if (depth <= 8) layer.Surface.Palette() = frame.Surface.Palette();
    auto pixels = Block(false, rawLimit, &layer.Surface);
    if (!pixels) Bad("pixel block");
    if (!pixels->empty()) FillPlane(layer.Surface, *pixels, false, index);
    if (version_ >= 100) {
      // The alpha plane is made before its block is read, so it can be inflated into place;
      // a block of size 0 means none.
      layer.Surface.CreateAlpha();
      auto alphaBlock = Block(true, rawLimit, layer.Surface.Alpha());
      if (!alphaBlock) {
        layer.Surface.FreeAlpha();
      } else {
        layer.TransparentValue = -1;
        if (!alphaBlock->empty()) FillPlane(*layer.Surface.Alpha(), *alphaBlock, true, index);
      }
    }
    if (!layer.Visible) continue;
    const bool firstVisible = !firstVisibleSeen;
    firstVisibleSeen = true;
    const TDIBSurface* alpha = layer.Surface.Alpha();
    if (i == 0 && alpha && layer.AlphaUsed) {
      frame.Surface.CreateAlpha();
      frame.Surface.Alpha()->Draw(0, 0, *alpha);
    }
    if (i > 0 && alpha && layer.AlphaUsed) {
      fill();
      frame.Surface.DrawAlpha(0, 0, 255, layer.Surface.BoundsRect(), layer.Surface);
    } else if ((layer.TransparentValue < 0 || (firstVisible && list_.FirstOpaque)) && layer.Opacity > 254) {
      // The usual picture, one opaque layer first: its surface becomes the frame's (with the
      // alpha plane the frame takes from it anyway). Tiled files keep their layers, which
      // later frames may copy from.
      if (i == 0 && !Tiled() && (!alpha || layer.AlphaUsed)) {
        frame.Surface = std::move(layer.Surface);
        filled = true;
      } else {
        fill();
        frame.Surface.Draw(0, 0, layer.Surface);
      }
    } else {
      fill();
      frame.Surface.DrawBlend(0, 0, layer.Opacity, layer.TransparentValue, layer.Surface.BoundsRect(), layer.Surface);
    }
  }
  fill();
  if (version_ >= 104) {
    for (auto* list : {&frame.Rects1, &frame.Rects2}) {
      int32_t n = r_.Count(16);
      list->clear();
      for (int32_t k = 0; k < n; ++k) {
        TRect rc;
        rc.Left = r_.I32();
        rc.Top = r_.I32();
        rc.Right = r_.I32();
        rc.Bottom = r_.I32();
        list->push_back(rc);
      }
    }
  }
}

}  // namespace

int32_t& ProjectImageSeed() {
  static int32_t seed = 0;
  return seed;
}

TTarnFrame& TTarnFrameList::AddFrame() { return *frames_.emplace_back(std::make_unique<TTarnFrame>()); }

void TTarnFrame::LoadPngPicture(std::span<const uint8_t> png) {
  TransparentValue = static_cast<int32_t>(LoadPng(png, Surface, true));
  TransparentColor = ColourOfValue(Surface, TransparentValue);
}

TTarnFrame& TTarnFrameList::AddPngFrame(std::span<const uint8_t> png) {
  TTarnFrame& frame = AddFrame();
  frame.LoadPngPicture(png);
  // An opaque picture needs no alpha plane, and 24 bits then keep it small.
  bool opaque = true;
  if (const TDIBSurface* alpha = frame.Surface.Alpha())
    for (int32_t y = 0; y < alpha->Height() && opaque; ++y) {
      const uint8_t* row = alpha->ScanLine(y);
      opaque = std::all_of(row, row + alpha->Width(), [](uint8_t a) { return a == 255; });
    }
  if (opaque) {
    frame.Surface.FreeAlpha();
    frame.Surface.ConvertTo(24);
  }
  return frame;
}

void TTarnFrameList::LoadFromStream(TKvBigStream& stream, bool firstOnly, bool convert) {
  Clear();
  int32_t version = 0;
  THeader header;
  const int64_t start = stream.GetPosition();
  char sig[7] = {};
  if (stream.Read(sig, 7) == 7 && std::memcmp(sig, "Tarn", 4) == 0) {
    if (!std::all_of(sig + 4, sig + 7, [](char c) { return c >= '0' && c <= '9'; })) Bad("signature");
    version = (sig[4] - '0') * 100 + (sig[5] - '0') * 10 + (sig[6] - '0');
  } else {
    stream.SetPosition(start);  // no signature: version 0 from the first byte
  }
  TBinaryReader head(stream);
  try {
    if (version < 103) {
      header.frameCount = head.I32();
      head.Skip(1);
      Background = version >= 102 ? head.I32() : 0;
      FirstOpaque = 0;
    } else {
      int32_t size = head.I32();
      if (size < 40) Bad("header size");
      std::string h = head.Bytes(size);
      auto i32 = [&](size_t at) {
        return static_cast<int32_t>(static_cast<uint8_t>(h[at]) | static_cast<uint8_t>(h[at + 1]) << 8 |
                                    static_cast<uint8_t>(h[at + 2]) << 16 | uint32_t{static_cast<uint8_t>(h[at + 3])} << 24);
      };
      header.frameCount = i32(16);
      header.scrambled = h[21] != 0;
      header.mode = static_cast<uint8_t>(h[22]);
      Background = i32(24);
      header.tileWidth = i32(28);
      header.tileHeight = i32(32);
      FirstOpaque = version >= 105 ? static_cast<uint8_t>(h[36]) : 0;
      if (header.mode > 2 || header.tileWidth < 0 || header.tileHeight < 0) Bad("header");
    }
  } catch (const EReadError&) {
    Bad("header");
  }
  Version = version;
  if (header.frameCount < 0 || header.frameCount > kMaxFrames) Bad("frame count");

  TReader reader(*this, stream, version, header);
  int32_t frames = firstOnly ? std::min(header.frameCount, 1) : header.frameCount;
  for (int32_t i = 0; i < frames; ++i) {
    TTarnFrame& frame = AddFrame();
    try {
      reader.ReadFrame(i, frame);
    } catch (const EOrbaError&) {
      frames_.pop_back();  // the frames read before the damage stay
      throw;
    }
    if (!convert) continue;
    if (!frame.Surface.Alpha() && frame.TransparentColor >= 0) frame.MakeMask();
    if ((frame.Surface.Alpha() || frame.TransparentColor < 0) && ReduceFormat > 0) {
      frame.Surface.ReduceColors(ReduceFormat, 0, true);
    } else if (frame.Surface.BitCount() <= 8) {
      int32_t foundX = -1, foundY = -1;
      for (int32_t y = 0; y < frame.Surface.Height() && foundX < 0; ++y)
        for (int32_t x = 0; x < frame.Surface.Width(); ++x)
          if (static_cast<int32_t>(frame.Surface.GetPixel(x, y)) == frame.TransparentValue) {
            foundX = x;
            foundY = y;
            break;
          }
      frame.Surface.ConvertTo(24);
      if (foundX >= 0) frame.TransparentValue = static_cast<int32_t>(frame.Surface.GetPixel(foundX, foundY));
    }
  }
}

void TTarnFrameList::LoadFromBytes(std::span<const uint8_t> bytes, const std::string& name, bool firstOnly,
                                   bool convert) {
  std::string ext = LowerCase(std::filesystem::path(name).extension().string());
  if (ext == ".trn") {
    TKvViewStream stream(bytes);
    LoadFromStream(stream, firstOnly, convert);
    return;
  }
  if (ext != ".png" && ext != ".bmp" && ext != ".dib") return;
  Clear();
  TTarnFrame& frame = AddFrame();
  if (ext == ".png") {
    frame.LoadPngPicture(bytes);
  } else {
    LoadBmp(bytes, frame.Surface);
    if (frame.Surface.BitCount() == 32) {
      // The fourth byte of every pixel is its alpha.
      frame.Surface.CreateAlpha();
      for (int32_t y = 0; y < frame.Surface.Height(); ++y) {
        const uint8_t* src = frame.Surface.ScanLine(y);
        uint8_t* dst = frame.Surface.Alpha()->ScanLine(y);
        for (int32_t x = 0; x < frame.Surface.Width(); ++x) dst[x] = src[4 * x + 3];
      }
      frame.Surface.ConvertTo(24);
    }
  }
}

void TTarnFrameList::LoadFromFile(const std::string& fileName, bool firstOnly, bool convert) {
  std::vector<uint8_t> bytes = ReadFileBytes(fileName);
  LoadFromBytes(bytes, fileName, firstOnly, convert);
}

void TTarnFrameList::MakeMasks() {
  for (auto& f : frames_) f->MakeMask();
}

bool TTarnFrameList::IsRawStored(TKvBigStream& stream) {
  int64_t start = stream.GetPosition();
  uint8_t head[7 + 4 + 40];
  int64_t n = stream.Read(head, sizeof head);
  stream.SetPosition(start);
  if (n < static_cast<int64_t>(sizeof head) || std::memcmp(head, "Tarn", 4) != 0) return false;
  for (int i = 4; i < 7; ++i)
    if (head[i] < '0' || head[i] > '9') return false;
  int version = (head[4] - '0') * 100 + (head[5] - '0') * 10 + (head[6] - '0');
  return version >= 103 && head[7 + 4 + 22] == 1;
}

void TTarnFrame::MakeMask() {
  if (Surface.Alpha()) return;
  Surface.CreateAlpha();
  Surface.ResetAlpha();
  if (TransparentValue < 0) return;
  TDIBSurface& alpha = *Surface.Alpha();
  for (int32_t y = 0; y < Surface.Height(); ++y)
    for (int32_t x = 0; x < Surface.Width(); ++x)
      if (static_cast<int32_t>(Surface.GetPixel(x, y)) == TransparentValue) alpha.ScanLine(y)[x] = 0;
}

TRect TTarnFrame::Trim() {
  TRect whole = Surface.BoundsRect();
  TRect b;
  if (const TDIBSurface* alpha = Surface.Alpha()) b = alpha->KeyBounds(0);
  else if (TransparentValue >= 0) b = Surface.KeyBounds(TransparentValue);
  else return whole;
  if (b.IsEmpty() || b == whole) return whole;
  Surface.Crop(b);
  for (auto* list : {&Rects1, &Rects2}) {
    std::vector<TRect> kept;
    for (const TRect& r : *list) {
      TRect i = r.Intersect(b);
      if (i.IsEmpty()) continue;
      kept.push_back({i.Left - b.Left, i.Top - b.Top, i.Right - b.Left, i.Bottom - b.Top});
    }
    *list = std::move(kept);
  }
  return b;
}

void TTarnFrame::CopyAlphaToBitmap(TDIBSurface& target) const {
  const TDIBSurface* alpha = Surface.Alpha();
  if (!alpha) return;
  target.SetSize(alpha->Width(), alpha->Height(), 8);
  for (int32_t y = 0; y < alpha->Height(); ++y)
    std::memcpy(target.ScanLine(y), alpha->ScanLine(y), static_cast<size_t>(alpha->Width()));
}

void TTarnFrameList::SaveToStream(TKvBigStream& stream, int32_t mode, int32_t quality) const {
  TBinaryWriter w(stream);
  const bool scrambled = Seed != 0;
  const int32_t storage = scrambled ? 1 : mode;
  w.Write("Tarn106", 7);
  w.I32(40);
  const TTarnFrame* first = frames_.empty() ? nullptr : frames_.front().get();
  w.I32(kWriteVersion);
  w.I32(first ? first->Surface.Width() : 0);
  w.I32(first ? first->Surface.Height() : 0);
  w.I32(first ? first->Surface.PixelFormat() : 0);
  w.I32(Count());
  w.U8(1);
  w.U8(scrambled ? 1 : 0);
  w.U8(static_cast<uint8_t>(storage));
  w.U8(0);
  w.I32(Background);
  w.I32(0);
  w.I32(0);
  w.U8(FirstOpaque);
  w.U8(static_cast<uint8_t>(quality));
  w.U16(0);

  auto rows = [&](const TDIBSurface& plane, bool permute) {
    const auto pitch = static_cast<size_t>(plane.Pitch());
    std::vector<uint8_t> data(pitch * static_cast<size_t>(plane.Height()));
    std::vector<int32_t> p = permute ? Permutation(Seed, plane.Height()) : std::vector<int32_t>();
    for (int32_t i = 0; i < plane.Height(); ++i)
      std::memcpy(data.data() + i * pitch, plane.ScanLine(permute ? p[static_cast<size_t>(i)] : i), pitch);
    return data;
  };
  auto block = [&](std::vector<uint8_t> data, bool compress) {
    if (compress) data = Deflate(data);
    w.I32(static_cast<int32_t>(data.size()));
    w.Write(data.data(), static_cast<int64_t>(data.size()));
  };

  for (int i = 0; i < Count(); ++i) {
    const TTarnFrame& f = *frames_[static_cast<size_t>(i)];
    const TDIBSurface& s = f.Surface;
    w.String("Frame" + std::to_string(i + 1));
    // The reader takes this field as a pixel value, so the pixel value is what is stored.
    w.I32(f.TransparentValue);
    w.I32(f.Delay);
    w.U8(2);
    w.I32(0);
    w.I32(1);
    w.I32(s.Width());
    w.I32(s.Height());
    w.I32(s.PixelFormat());
    if (s.BitCount() <= 8)
      for (int k = 0; k < (1 << s.BitCount()); ++k) {
        const auto& e = s.Palette()[k];
        w.U8(e.Blue);
        w.U8(e.Green);
        w.U8(e.Red);
        w.U8(0);
      }
    w.I32(0);
    w.I32(0);
    w.U8(1);
    w.I32(-1);
    w.I32(255);
    w.U8(s.Alpha() ? 1 : 0);
    w.String("Layer");
    if (storage == 2) {
      TKvMemoryStream jpeg;
      SaveJpeg(jpeg, s, quality);
      block(jpeg.TakeBytes(), false);
    } else {
      block(rows(s, scrambled), storage == 0);
    }
    if (s.Alpha()) block(rows(*s.Alpha(), scrambled), storage == 0 || storage == 2);
    else w.I32(0);
    w.I32(0);
    w.I32(0);
  }
}

void TTarnFrameList::SaveToFile(const std::string& fileName) const {
  TKvMemoryStream out;
  SaveToStream(out, 0, 70);
  WriteFileReplacing(fileName, out.Bytes());
}

}  // namespace orba
