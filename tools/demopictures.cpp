// demopictures: draws the demo project's pictures and writes them as PNG with our own writer.
// The PNGs are kept in examples/demo/pictures; the project build turns them into layered
// images. Run it again after changing a drawing:
//   demopictures examples/demo/pictures
// The checks of the screen under a real display look for the solid colours named below, so
// change them together.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/stream.h"
#include "components/imagemap.h"
#include "render/trn.h"
#include "render/imagefiles.h"
#include "render/screen.h"

namespace {

using namespace orba;

struct Rgb {
  int r, g, b;
};

void Put(TDIBSurface& s, int x, int y, Rgb c) {
  s.SetPixel(x, y, s.RGBToPixel(static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.b)));
}

Rgb Mix(Rgb a, Rgb b, int step, int steps) {
  return {a.r + (b.r - a.r) * step / steps, a.g + (b.g - a.g) * step / steps, a.b + (b.b - a.b) * step / steps};
}

// 320 x 240, opaque: an evening sky from deep blue to orange, a sun, green hills and a pale
// frame. Solid colours: frame (250, 250, 250) 3 pixels wide, sun (255, 220, 90) within 36
// pixels of (160, 140) above row 160 (the hills cover its foot), hills (40, 120, 60)
// everywhere below row 200.
TDIBSurface Title() {
  const int w = 320, h = 240;
  TDIBSurface s(w, h, 24);
  const Rgb top{20, 24, 80}, horizon{240, 140, 60}, sun{255, 220, 90}, hill{40, 120, 60}, frame{250, 250, 250};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double ridge = 180 + 12 * std::sin(x / 28.0) + 6 * std::sin(x / 9.0 + 1.0);
      double dx = x - 160, dy = y - 140;
      Rgb c = Mix(top, horizon, std::min(y, 170), 170);
      if (dx * dx + dy * dy <= 40.0 * 40.0) c = sun;
      if (y >= ridge) c = hill;
      if (x < 3 || y < 3 || x >= w - 3 || y >= h - 3) c = frame;
      Put(s, x, y, c);
    }
  return s;
}

// 320 x 240, opaque: the second picture of the effects page, a night by the sea. Solid
// colours: sky (10, 20, 60) above row 150 except the moon (240, 230, 180) within 30 pixels of
// (240, 60), sea (20, 80, 120) from row 150 down.
TDIBSurface Night() {
  TDIBSurface s(320, 240, 24);
  const Rgb sky{10, 20, 60}, moon{240, 230, 180}, sea{20, 80, 120};
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) {
      const int dx = x - 240, dy = y - 60;
      Put(s, x, y, y >= 150 ? sea : dx * dx + dy * dy <= 30 * 30 ? moon : sky);
    }
  return s;
}

// 96 x 32 with an alpha plane: a rounded button (30, 90, 200) with a lighter top half
// (70, 130, 230); the rounded corners are see-through and their edges half so.
TDIBSurface Button() {
  const int w = 96, h = 32, radius = 10;
  TDIBSurface s(w, h, 24);
  s.CreateAlpha();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Distance outside the rounded rectangle's inner corners.
      double cx = std::clamp(x + 0.5, double{radius}, double{w - radius});
      double cy = std::clamp(y + 0.5, double{radius}, double{h - radius});
      double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy) - radius;
      double coverage = std::clamp(0.5 - d, 0.0, 1.0);
      Put(s, x, y, y < h / 2 ? Rgb{70, 130, 230} : Rgb{30, 90, 200});
      s.Alpha()->ScanLine(y)[x] = static_cast<uint8_t>(std::lround(coverage * 255));
    }
  return s;
}

// 256 x 24, opaque: the fire colour ramp from left to right.
TDIBSurface FireRamp() {
  TDIBSurface s(256, 24, 24);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 256; ++x) {
      uint32_t c = TScreenManager::FireColor(x);
      Put(s, x, y, {static_cast<int>(c >> 16), static_cast<int>((c >> 8) & 0xFF), static_cast<int>(c & 0xFF)});
    }
  return s;
}

// The button in another state: its two blues swapped for a state's colours (hover lighter,
// pressed darker, clicked green), the see-through corners kept.
TDIBSurface ButtonState(Rgb upper, Rgb lower) {
  TDIBSurface s = Button();
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) Put(s, x, y, y < s.Height() / 2 ? upper : lower);
  return s;
}

// 160 x 80, opaque: the map's base picture, (200, 200, 160) everywhere; the hover picture is
// (250, 120, 40).
TDIBSurface MapPicture(Rgb c) {
  TDIBSurface s(160, 80, 24);
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) Put(s, x, y, c);
  return s;
}

// The map's regions: "left", the rectangle (0, 0)..(79, 79), and "right", the ellipse in
// (80, 0)..(159, 79).
std::vector<uint8_t> MapRegions() {
  TMapRegion left{"left", 0, {0, 0, 80, 80}, {}};
  TMapRegion right{"right", 1, {80, 0, 160, 80}, {}};
  return WriteRegionMap({left, right});
}

// A 32 x 32 sprite of four frames, 150 ms each, stored as a layered image of its own: a square
// whose colour turns red (255, 0, 0), yellow (255, 255, 0), green (0, 255, 0), blue (0, 0, 255).
void WriteSprite(const std::filesystem::path& folder) {
  TTarnFrameList list(0);
  const Rgb colours[] = {{255, 0, 0}, {255, 255, 0}, {0, 255, 0}, {0, 0, 255}};
  for (const Rgb& c : colours) {
    TTarnFrame& f = list.AddFrame();
    f.Surface.SetSize(32, 32, 24);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) Put(f.Surface, x, y, c);
    f.Delay = 150;
  }
  std::string path = (folder / "sprite.trn").string();
  list.SaveToFile(path);
  std::printf("%s 32x32, 4 frames\n", path.c_str());
}

void Write(const std::filesystem::path& folder, const char* name, const TDIBSurface& s) {
  TKvMemoryStream png;
  SavePng(png, s);
  std::string path = (folder / name).string();
  WriteFileBytes(path, png.Bytes());
  std::printf("%s %dx%d\n", path.c_str(), s.Width(), s.Height());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: demopictures FOLDER\n", stderr);
    return 2;
  }
  try {
    std::filesystem::create_directories(argv[1]);
    Write(argv[1], "title.png", Title());
    Write(argv[1], "button.png", Button());
    Write(argv[1], "fire.png", FireRamp());
    Write(argv[1], "button-hover.png", ButtonState({120, 170, 250}, {70, 130, 230}));
    Write(argv[1], "button-pressed.png", ButtonState({20, 60, 150}, {10, 40, 120}));
    Write(argv[1], "button-clicked.png", ButtonState({60, 200, 90}, {30, 160, 60}));
    Write(argv[1], "map-base.png", MapPicture({200, 200, 160}));
    Write(argv[1], "map-hover.png", MapPicture({250, 120, 40}));
    Write(argv[1], "night.png", Night());
    WriteSprite(argv[1]);
    const std::vector<uint8_t> map = MapRegions();
    WriteFileBytes((std::filesystem::path(argv[1]) / "map.dat").string(), map);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demopictures: %s\n", e.what());
    return 1;
  }
  return 0;
}
