// The stored form of a word's glyph list, read and written here with every version gate.
// The message history and saved message windows keep text this way, and the project
// compiler stores the text of insertion commands with the same writer.
#include <cstdio>

#include "base/binio.h"
#include "base/stream.h"
#include "text/kvword.h"
#include "values/parser.h"

namespace orba {

TWdOpeVar::TWdOpeVar() : TWdGlyph(TGlyphType::Var) {}
TWdOpeVar::~TWdOpeVar() = default;

namespace {

constexpr std::string_view kMagic = "KvWord";

// Smallest stored style and glyph, so a count is checked against what remains.
int64_t StoredStyleSize(int version) { return version >= 100 ? 38 : 27; }

int ReadVersion(TKvBigStream& stream, TBinaryReader& in) {
  if (in.Remaining() < 9) return 0;
  const std::string header = in.Bytes(9);
  if (header.compare(0, kMagic.size(), kMagic) != 0) {
    stream.SetPosition(stream.GetPosition() - 9);
    in.Resync();
    return 0;
  }
  int version = 0;
  for (size_t i = kMagic.size(); i < 9; ++i) {
    if (header[i] < '0' || header[i] > '9') throw EReadError("glyph list: bad version digits");
    version = version * 10 + (header[i] - '0');
  }
  return version;
}

TDecorate ReadStyle(TBinaryReader& in, int version) {
  TDecorate style;
  style.RefCount = in.I32();
  style.Color = in.I32();
  style.BorderColor = in.I32();
  style.Size = in.I32();
  style.Flags = in.U8();
  style.NoBreak = in.U8();
  style.BorderWidth = version <= 99 ? (in.U8() != 0 ? 1 : 0) : in.I32();
  style.FontName = in.String();
  style.Ruby = in.String();
  if (version >= 100) {
    style.Shadow = in.I32();
    style.ShadowColor = in.I32();
  }
  return style;
}

void WriteStyle(TBinaryWriter& out, const TDecorate& style, int version) {
  out.I32(style.RefCount);
  out.I32(style.Color);
  out.I32(style.BorderColor);
  out.I32(style.Size);
  out.U8(style.Flags);
  out.U8(style.NoBreak);
  if (version <= 99)
    out.U8(style.BorderWidth != 0 ? 1 : 0);
  else
    out.I32(style.BorderWidth);
  out.String(style.FontName);
  out.String(style.Ruby);
  if (version >= 100) {
    out.I32(style.Shadow);
    out.I32(style.ShadowColor);
  }
}

// A stored index names one of the list's own styles (which land at StyleBase + index).
TDecorate* StoredStyle(const std::vector<std::unique_ptr<TDecorate>>& styles, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= styles.size()) throw EReadError("glyph list: style index out of range");
  return styles[static_cast<size_t>(index)].get();
}

std::unique_ptr<TWdGlyph> ReadGlyph(TKvBigStream& stream, TBinaryReader& in, int version,
                                    const std::vector<std::unique_ptr<TDecorate>>& styles) {
  const uint8_t type = in.U8();
  switch (static_cast<TGlyphType>(type)) {
    case TGlyphType::Char: {
      auto glyph = std::make_unique<TWdChar>();
      glyph->Link = in.String();
      glyph->Wait = in.I32();
      glyph->Code = in.U16();
      glyph->Style = StoredStyle(styles, in.I32());
      return glyph;
    }
    case TGlyphType::Align: {
      auto glyph = std::make_unique<TWdOpeAlign>();
      glyph->Align = in.U8();
      return glyph;
    }
    case TGlyphType::Return: {
      auto glyph = std::make_unique<TWdOpeReturn>();
      glyph->Clear = in.U8();
      return glyph;
    }
    case TGlyphType::Indent:
      return std::make_unique<TWdOpeIndent>();
    case TGlyphType::Undent:
      return std::make_unique<TWdOpeUndent>();
    case TGlyphType::Event: {
      auto glyph = std::make_unique<TWdOpeEvent>();
      glyph->Value = in.String();
      if (!glyph->Value.empty() && glyph->Value[0] == '\x01') {
        glyph->Value.erase(0, 1);
        glyph->IsEnd = true;
      }
      return glyph;
    }
    case TGlyphType::Var: {
      auto glyph = std::make_unique<TWdOpeVar>();
      glyph->Style = StoredStyle(styles, in.I32());
      if (version > 100) {
        glyph->Wait = in.I32();
        glyph->Link = in.String();
      }
      if (version >= 102) {
        glyph->Name = in.String();
      } else {
        glyph->Compiled = std::make_unique<TOrbaParser>();
        stream.SetPosition(in.Position());
        glyph->Compiled->ReadOps(stream);
        in.Resync();
      }
      return glyph;
    }
    case TGlyphType::Img: {
      auto glyph = std::make_unique<TWdImg>();
      glyph->Link = in.String();
      glyph->Wait = in.I32();
      glyph->Src = in.String();
      glyph->Align = in.U8();
      return glyph;
    }
    default:
      // Skipping the type alone would read its data as the next glyphs.
      throw EReadError("glyph list: unknown glyph type " + std::to_string(type));
  }
}

}  // namespace

void TKvWord::LoadGlyphs(TKvBigStream& stream) {
  TBinaryReader in(stream);
  const int version = ReadVersion(stream, in);
  const int32_t base = static_cast<int32_t>(styles_.Count());
  std::vector<std::unique_ptr<TDecorate>> loaded_styles;
  const int32_t style_count = in.Count(StoredStyleSize(version));
  for (int32_t i = 0; i < style_count; ++i) loaded_styles.push_back(std::make_unique<TDecorate>(ReadStyle(in, version)));
  std::vector<std::unique_ptr<TWdGlyph>> glyphs;
  const int32_t glyph_count = in.Count(1);
  for (int32_t i = 0; i < glyph_count; ++i) glyphs.push_back(ReadGlyph(stream, in, version, loaded_styles));

  // Reference counts follow the glyphs that were read, not the stored numbers, so no
  // release can free a style a glyph still uses.
  for (auto& style : loaded_styles) style->RefCount = 0;
  for (const auto& glyph : glyphs)
    if (TDecorate* style = StyleOf(*glyph)) ++style->RefCount;
  for (auto& style : loaded_styles) styles_.Adopt(std::move(style));
  for (auto& glyph : glyphs) glyphs_.push_back(std::move(glyph));
  StyleBase = base;
}

void TKvWord::SaveGlyphs(TKvBigStream& stream, int version) const {
  TBinaryWriter out(stream);
  char header[16];
  std::snprintf(header, sizeof header, "KvWord%03d", version);
  out.Write(header, 9);
  out.I32(static_cast<int32_t>(styles_.Count()));
  for (size_t i = 0; i < styles_.Count(); ++i) WriteStyle(out, *styles_.At(i), version);
  int32_t count = 0;
  for (const auto& glyph : glyphs_)
    if (!glyph->Generated && glyph->Type != TGlyphType::Space) ++count;
  out.I32(count);
  for (const auto& glyph : glyphs_) {
    if (glyph->Generated || glyph->Type == TGlyphType::Space) continue;
    out.U8(static_cast<uint8_t>(glyph->Type));
    switch (glyph->Type) {
      case TGlyphType::Char: {
        const auto& g = static_cast<const TWdChar&>(*glyph);
        out.String(g.Link);
        out.I32(g.Wait);
        out.U16(g.Code);
        out.I32(styles_.IndexOf(g.Style));
        break;
      }
      case TGlyphType::Align:
        out.U8(static_cast<const TWdOpeAlign&>(*glyph).Align);
        break;
      case TGlyphType::Return:
        out.U8(static_cast<const TWdOpeReturn&>(*glyph).Clear);
        break;
      case TGlyphType::Event: {
        const auto& g = static_cast<const TWdOpeEvent&>(*glyph);
        out.String(g.IsEnd ? "\x01" + g.Value : g.Value);
        break;
      }
      case TGlyphType::Var: {
        const auto& g = static_cast<const TWdOpeVar&>(*glyph);
        out.I32(styles_.IndexOf(g.Style));
        if (version > 100) {
          out.I32(g.Wait);
          out.String(g.Link);
        }
        if (version >= 102) {
          out.String(g.Name);
        } else if (g.Compiled) {
          g.Compiled->WriteOps(stream);
        } else {
          TOrbaParser compiled;
          CompileExpression(g.Name, compiled);
          compiled.WriteOps(stream);
        }
        break;
      }
      case TGlyphType::Img: {
        const auto& g = static_cast<const TWdImg&>(*glyph);
        out.String(g.Link);
        out.I32(g.Wait);
        out.String(g.Src);
        out.U8(g.Align);
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace orba
