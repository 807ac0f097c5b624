// Renders a tagged text the way a message window lays it out and reveals it, as PNG files, so
// authors and tests can look at text (pages, ruby, outlines, images, timing) without a project.
//   orbatext TEXT -o OUT.png [options]
// TEXT is UTF-8 in the tag language ("@file" reads it from a UTF-8 file). Each page is written
// whole: OUT.png for the first, OUT-2.png, OUT-3.png ... for the rest. With --ticks the first
// page's reveal is written as well, one picture per 16 ms tick: OUT-t0001.png, ...
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>

#include "base/cp932.h"
#include "base/error.h"
#include "base/stream.h"
#include "platform/fonts.h"
#include "render/dibsfc.h"
#include "render/imagefiles.h"
#include "text/fontpixels.h"
#include "text/wordlayout.h"

namespace {

using namespace orba;

void Usage(const char* self) {
  std::fprintf(stderr,
               "usage: %s TEXT -o OUT.png [options]\n"
               "  TEXT             tagged text in UTF-8, or @FILE to read it from a file\n"
               "  --font NAME      default font (default \"MS Gothic\")\n"
               "  --size N         default size, a cell height in pixels (default 24)\n"
               "  --quality Q      0 monochrome, 1..3 grey levels (default 3)\n"
               "  --width W        page width; 0 lays each row out unwrapped (default 640)\n"
               "  --height H       page height; 0 is one page of any height (default 0)\n"
               "  --line-space N   pixels between rows (default 0)\n"
               "  --color RRGGBB   default text colour (default FFFFFF)\n"
               "  --background RRGGBB  (default 203040)\n"
               "  --border N       default outline width (default 0)\n"
               "  --shadow N       default shadow offset (default 0)\n"
               "  --images DIR     folder that IMG SRC names are looked up in\n"
               "  --ticks          also write the first page's reveal, one PNG a 16 ms tick\n"
               "  --wait MS        character wait outside WAIT tags (default 50)\n"
               "  --fade MS        fade-in time of a revealed character (default 1)\n"
               "  --rows           print each row: page, top, height, left and its text\n",
               self);
}

// "RRGGBB" as the player's 0x00BBGGRR colour.
int32_t Colour(const std::string& hex) {
  const long v = std::strtol(hex.c_str(), nullptr, 16);
  return static_cast<int32_t>(((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16));
}

std::string WithSuffix(const std::string& out, const std::string& suffix) {
  const size_t dot = out.rfind('.');
  return dot == std::string::npos ? out + suffix : out.substr(0, dot) + suffix + out.substr(dot);
}

void WritePng(const std::string& name, const TDIBSurface& surface) {
  TKvMemoryStream out;
  SavePng(out, surface);
  WriteFileBytes(name, out.Bytes());
}

}  // namespace

int main(int argc, char** argv) {
  std::string text, out, font = "MS Gothic", images;
  int size = 24, quality = 3, width = 640, height = 0, lineSpace = 0, border = 0, shadow = 0, wait = 50, fade = 1;
  int32_t colour = Colour("FFFFFF"), background = Colour("203040");
  bool ticks = false, rows = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        Usage(argv[0]);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "-o") out = next();
    else if (a == "--font") font = next();
    else if (a == "--size") size = std::atoi(next().c_str());
    else if (a == "--quality") quality = std::atoi(next().c_str());
    else if (a == "--width") width = std::atoi(next().c_str());
    else if (a == "--height") height = std::atoi(next().c_str());
    else if (a == "--line-space") lineSpace = std::atoi(next().c_str());
    else if (a == "--color") colour = Colour(next());
    else if (a == "--background") background = Colour(next());
    else if (a == "--border") border = std::atoi(next().c_str());
    else if (a == "--shadow") shadow = std::atoi(next().c_str());
    else if (a == "--images") images = next();
    else if (a == "--wait") wait = std::atoi(next().c_str());
    else if (a == "--fade") fade = std::atoi(next().c_str());
    else if (a == "--ticks") ticks = true;
    else if (a == "--rows") rows = true;
    else if (a == "--help" || a == "-h") {
      Usage(argv[0]);
      return 0;
    } else if (text.empty()) text = a;
    else {
      Usage(argv[0]);
      return 2;
    }
  }
  if (text.empty() || out.empty()) {
    Usage(argv[0]);
    return 2;
  }
  try {
    if (text[0] == '@') {
      std::ifstream in(text.substr(1), std::ios::binary);
      if (!in) throw EOrbaError("cannot read " + text.substr(1));
      std::stringstream ss;
      ss << in.rdbuf();
      text = ss.str();
    }
    SetFontSourceMaker(platform::CreateFontSource);
    TKvWord word;
    word.DefaultFontName = FromUtf8(font);
    word.DefaultSize = size;
    word.Quality = quality;
    word.PageWidth = width;
    word.PageHeight = height;
    word.Paging = height > 0;
    word.LineSpace = lineSpace;
    word.DefaultColor = colour;
    word.DefaultBorderWidth = border;
    word.DefaultShadow = shadow;
    word.DefaultWait = wait;
    word.FadeTime = fade;
    word.ImageLoader = [&](const std::string& src) -> std::shared_ptr<TTextImage> {
      if (images.empty()) return nullptr;
      auto picture = std::make_shared<TDIBSurface>();
      try {
        picture->LoadImage(images + "/" + ToUtf8(src), true);
        picture->ConvertTo(32);
      } catch (...) {
        return nullptr;  // a missing picture takes no place
      }
      return std::make_shared<TTextStillImage>(picture);
    };
    // Line ends in the file are the text's own lines.
    std::vector<std::string> lines;
    std::string source = FromUtf8(text);
    for (size_t start = 0; start <= source.size();) {
      size_t end = source.find('\n', start);
      if (end == std::string::npos) end = source.size();
      std::string line = source.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      start = end + 1;
    }
    while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    word.SetText(lines);
    word.Layout();
    if (word.Pages.empty()) throw EOrbaError("the text shows nothing");
    if (rows)
      for (size_t p = 0; p < word.Pages.size(); ++p)
        for (const auto& row : word.Pages[p]->Rows) {
          std::string shownRow;
          for (const TWdGlyph* g : row->Glyphs) {
            if (g->Type == TGlyphType::Img) shownRow += '*';
            if (g->Type != TGlyphType::Char) continue;
            AppendCharCode(shownRow, static_cast<const TWdChar*>(g)->Code);
          }
          std::printf("page %zu top %d height %d left %d: %s\n", p + 1, row->Top, row->Height,
                      row->Glyphs.empty() ? 0 : row->Glyphs[0]->Left, ToUtf8(shownRow).c_str());
        }
    const int32_t margin = 8;
    int32_t pageHeight = word.PageHeight;
    for (const auto& page : word.Pages) pageHeight = std::max(pageHeight, page->Height);
    word.ClipX = word.ClipY = margin;
    TDIBSurface target(word.PageWidth + 2 * margin, pageHeight + 2 * margin, 32);
    const uint32_t bg = target.RGBToPixel(background & 0xFF, (background >> 8) & 0xFF, (background >> 16) & 0xFF);
    std::string shown;
    bool finished = false;
    if (ticks) {
      word.CurrentPage = 0;
      word.ResetDisplay();
      for (int tick = 1; tick <= 100000 && !finished; ++tick) {
        word.RevealStep(16, finished, shown);
        target.FillRect(target.BoundsRect(), bg);
        word.Paint(target, target.BoundsRect());
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-t%04d", tick);
        WritePng(WithSuffix(out, suffix), target);
      }
    }
    word.SpeedRatio = -1;
    word.FadeTime = 0;
    for (size_t p = 0; p < word.Pages.size(); ++p) {
      word.CurrentPage = p;
      word.ResetDisplay();
      word.RevealStep(16, finished, shown);
      target.FillRect(target.BoundsRect(), bg);
      word.Paint(target, target.BoundsRect());
      WritePng(p == 0 ? out : WithSuffix(out, "-" + std::to_string(p + 1)), target);
    }
    std::printf("%zu page(s), %dx%d\n", word.Pages.size(), target.Width(), target.Height());
  } catch (...) {
    // The player's messages are code page 932 inside; a terminal reads UTF-8.
    std::fprintf(stderr, "orbatext: %s\n", CurrentErrorText().c_str());
    return 1;
  }
  return 0;
}
