// A font source for tests whose every glyph is a solid block filling its cell (advance = cell
// height, a space has only its advance), so every painted pixel is known in advance; and a
// fixture that makes it the player's glyph cache's font source for the length of a test.
#pragma once

#include <gtest/gtest.h>

#include "platform/fonts.h"
#include "text/fontpixels.h"

namespace orba {

struct BlockFonts : platform::IFontSource {
  struct Font : platform::IFont {
    platform::FontMetrics metrics;
    explicit Font(int height) {
      metrics.cellHeight = height;
      metrics.ascent = height;
      metrics.underlineThickness = 1;
      metrics.strikeOutThickness = 1;
    }
    const platform::FontMetrics& Metrics() const override { return metrics; }
    bool Glyph(char32_t cp, int levels, platform::GlyphImage& out) override {
      out = {};
      out.advance = metrics.cellHeight;
      out.levels = levels;
      if (cp == U' ') return true;
      out.width = out.height = metrics.cellHeight;
      out.top = metrics.cellHeight;
      out.coverage.assign(static_cast<size_t>(out.width) * out.height, static_cast<uint8_t>(levels - 1));
      return true;
    }
  };
  std::unique_ptr<platform::IFont> Open(const platform::FontRequest& r) override {
    return std::make_unique<Font>(r.height);
  }
  std::string ResolveFile(const std::string&) override { return {}; }
};

class WithBlockFonts : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeFontPixelManager();
    SetFontSourceMaker([] { return std::make_unique<BlockFonts>(); });
  }
  void TearDown() override {
    FreeFontPixelManager();
    SetFontSourceMaker(nullptr);
  }
};

}  // namespace orba
