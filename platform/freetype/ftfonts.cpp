// Fonts through FreeType (rasterising) and fontconfig (finding files). The Japanese system
// faces the projects name are not installed on our machines, so an alias table of our own
// sends them to the IPA faces; any other name goes through fontconfig, and a name nothing
// provides falls back to the default Gothic face. Sizes are cell heights: the em size is
// chosen so that the OS/2 table's Windows ascent plus descent fill the cell, which is how a
// size looked to the authors who picked it.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <string_view>

#include "platform/fonts.h"

namespace orba::platform {
namespace {

// Names the projects use for the Japanese system faces, full-width and ASCII spellings, and
// the fontconfig family that stands in for each.
struct Alias {
  std::string_view name;
  const char* family;
};
constexpr Alias kAliases[] = {
    {"ＭＳ ゴシック", "IPAGothic"},   {"MS Gothic", "IPAGothic"},
    {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"MS PGothic", "IPAPGothic"},
    {"ＭＳ 明朝", "IPAMincho"},       {"MS Mincho", "IPAMincho"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},     {"MS PMincho", "IPAPMincho"},
};
constexpr std::string_view kDefaultFace = "ＭＳ ゴシック";

bool SameAscii(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
    return low(x) == low(y);
  });
}

const char* AliasFamily(std::string_view name) {
  for (const auto& a : kAliases)
    if (SameAscii(a.name, name)) return a.family;
  return nullptr;
}

// The file fontconfig finds for family, only when the match really has that family (fontconfig
// always answers with something; a substitute does not count as providing the name).
std::string MatchFamily(const std::string& family, FcCharSet* needs = nullptr) {
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  if (needs) FcPatternAddCharSet(pat, FC_CHARSET, needs);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pat, &result);
  FcPatternDestroy(pat);
  std::string file;
  if (match) {
    bool named = needs != nullptr;
    FcChar8* value = nullptr;
    for (int i = 0; !named && FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i)
      named = SameAscii(reinterpret_cast<const char*>(value), family);
    FcChar8* path = nullptr;
    if (named && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch)
      file = reinterpret_cast<const char*>(path);
    FcPatternDestroy(match);
  }
  return file;
}

// The em size in 26.6 pixels that makes the Windows ascent plus descent fill cellHeight.
// Faces without an OS/2 table use their own ascender and descender.
FT_F26Dot6 EmSizeForCell(FT_Face face, int cellHeight, int& asc, int& desc) {
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  asc = os2 && os2->usWinAscent + os2->usWinDescent > 0 ? os2->usWinAscent : face->ascender;
  desc = os2 && os2->usWinAscent + os2->usWinDescent > 0 ? os2->usWinDescent : -face->descender;
  int units = std::max(1, asc + desc);
  return static_cast<FT_F26Dot6>(std::llround(64.0 * cellHeight * face->units_per_EM / units));
}

class FtFont;

class FtFontSource final : public IFontSource {
 public:
  FtFontSource() {
    if (FT_Init_FreeType(&lib_)) throw std::runtime_error("FreeType could not start");
    FcInit();
  }
  ~FtFontSource() override { FT_Done_FreeType(lib_); }

  std::string ResolveFile(const std::string& faceUtf8) override {
    if (const char* family = AliasFamily(faceUtf8)) return MatchFamily(family);
    return faceUtf8.empty() ? std::string() : MatchFamily(faceUtf8);
  }

  std::unique_ptr<IFont> Open(const FontRequest& request) override;

  // A file's face, opened once per font and size (FreeType sizes belong to the face).
  FT_Face OpenFace(const std::string& file) {
    FT_Face face = nullptr;
    if (FT_New_Face(lib_, file.c_str(), 0, &face)) return nullptr;
    return face;
  }

  // The file of an installed face that has cp, or empty.
  std::string FileWith(char32_t cp) {
    auto it = fallbackFiles_.find(cp);
    if (it != fallbackFiles_.end()) return it->second;
    FcCharSet* set = FcCharSetCreate();
    FcCharSetAddChar(set, cp);
    std::string file = MatchFamily("IPAGothic", set);
    FcCharSetDestroy(set);
    return fallbackFiles_[cp] = file;
  }

 private:
  FT_Library lib_ = nullptr;
  std::map<char32_t, std::string> fallbackFiles_;
};

class FtFont final : public IFont {
 public:
  // Cell heights beyond these are the data of a broken project; a glyph of the largest is
  // a few megabytes.
  static constexpr int kMinHeight = 1, kMaxHeight = 2048;

  FtFont(FtFontSource& source, const FontRequest& request, std::string face, std::string file)
      : source_(source), request_(request) {
    request_.height = std::clamp(request.height, kMinHeight, kMaxHeight);
    metrics_.faceUtf8 = std::move(face);
    metrics_.file = std::move(file);
    main_ = Load(metrics_.file);
    if (!main_) throw std::runtime_error("font file cannot be read: " + metrics_.file);
    int asc = 0, desc = 0;
    FT_F26Dot6 em = EmSizeForCell(main_, request_.height, asc, desc);
    const double scale = static_cast<double>(em) / 64.0 / main_->units_per_EM;
    metrics_.cellHeight = request_.height;
    metrics_.ascent = static_cast<int>(std::lround(asc * scale));
    metrics_.descent = request_.height - metrics_.ascent;
    metrics_.emSize26_6 = static_cast<int>(em);
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(main_, FT_SFNT_OS2));
    auto px = [&](long units) { return static_cast<int>(std::lround(units * scale)); };
    metrics_.underlinePosition = std::max(1, px(-main_->underline_position));
    metrics_.underlineThickness = std::max(1, px(main_->underline_thickness));
    metrics_.averageWidth = os2 ? px(os2->xAvgCharWidth) : px(main_->units_per_EM / 2);
    metrics_.strikeOutPosition = os2 && os2->yStrikeoutPosition ? px(os2->yStrikeoutPosition) : metrics_.ascent / 3;
    metrics_.strikeOutThickness = std::max(1, os2 ? px(os2->yStrikeoutSize) : metrics_.underlineThickness);
  }
  ~FtFont() override {
    for (auto& [file, face] : faces_) FT_Done_Face(face);
  }

  const FontMetrics& Metrics() const override { return metrics_; }

  bool Glyph(char32_t cp, int levels, GlyphImage& out) override {
    if (levels != 2 && levels != 5 && levels != 17 && levels != 65) return false;
    FT_Face face = main_;
    FT_UInt index = FT_Get_Char_Index(face, cp);
    if (index == 0) {
      std::string file = source_.FileWith(cp);
      if (FT_Face other = file.empty() ? nullptr : Load(file)) {
        if (FT_UInt i = FT_Get_Char_Index(other, cp)) face = other, index = i;
      }
    }
    const bool mono = levels == 2;
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL)))
      return false;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      if (request_.weight >= 700) FT_Outline_EmboldenXY(&slot->outline, em_ / 24, em_ / 24);
      if (request_.italic) {
        FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};  // about 12 degrees, as synthetic obliques lean
        FT_Outline_Transform(&slot->outline, &shear);
      }
    }
    const int boldExtra = request_.weight >= 700 ? static_cast<int>(em_ / 24) : 0;
    out.advance = static_cast<int>((slot->advance.x + boldExtra + 32) >> 6);
    out.levels = levels;
    out.coverage.clear();
    out.width = out.height = out.left = out.top = 0;
    if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL)) return false;
    const FT_Bitmap& bm = slot->bitmap;
    if (bm.width == 0 || bm.rows == 0) return true;
    out.width = static_cast<int>(bm.width);
    out.height = static_cast<int>(bm.rows);
    out.left = slot->bitmap_left;
    out.top = slot->bitmap_top;
    out.coverage.resize(static_cast<size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
      const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
      uint8_t* dst = out.coverage.data() + static_cast<size_t>(y) * out.width;
      for (int x = 0; x < out.width; ++x) {
        if (mono) {
          dst[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        } else {
          // 0..255 coverage to 0..levels−1, rounding to the nearest level.
          dst[x] = static_cast<uint8_t>((row[x] * (levels - 1) + 127) / 255);
        }
      }
    }
    return true;
  }

 private:
  // The face of file at this font's size, opened once.
  FT_Face Load(const std::string& file) {
    auto it = faces_.find(file);
    if (it != faces_.end()) return it->second;
    FT_Face face = source_.OpenFace(file);
    if (face) {
      // The first face sets the size; faces that stand in for missing characters share it,
      // so their glyphs sit on the same em as the rest of the line.
      int asc, desc;
      if (faces_.empty()) em_ = EmSizeForCell(face, request_.height, asc, desc);
      FT_Set_Char_Size(face, 0, em_, 72, 72);
      faces_[file] = face;
    }
    return face;
  }

  FtFontSource& source_;
  FontRequest request_;
  FontMetrics metrics_;
  FT_Face main_ = nullptr;
  FT_F26Dot6 em_ = 0;
  std::map<std::string, FT_Face> faces_;
};

std::unique_ptr<IFont> FtFontSource::Open(const FontRequest& request) {
  std::string file = ResolveFile(request.faceUtf8);
  std::string face = request.faceUtf8;
  if (file.empty()) {
    face = std::string(kDefaultFace);
    file = ResolveFile(face);
  }
  if (file.empty()) throw std::runtime_error("no font provides the default face (install fonts-ipafont)");
  return std::make_unique<FtFont>(*this, request, std::move(face), std::move(file));
}

}  // namespace

std::unique_ptr<IFontSource> CreateFontSource() { return std::make_unique<FtFontSource>(); }

}  // namespace orba::platform
