// wipeframes: draws one transition between two pictures and writes its frames as PNG, so an
// author can look at an effect without running a project. Frames are taken at t = 0, d/4,
// d/2, 3d/4 and d - 1 (the last step drawn), plus the new picture as the owner shows it at
// the end, and all of them side by side in one strip. Without picture files two pictures of
// our own are drawn (320 x 240).
//   wipeframes KIND OUTDIR [FROM TO] [--reverse] [--p0 N] [--p1 N] [--mask RULEFILE]
// FROM and TO are any pictures the player reads (layered images, PNG, BMP) of the same size;
// a rule file for kind 19 is read through the virtual files from its own folder.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/stream.h"
#include "files/vrmanager.h"
#include "render/imagefiles.h"
#include "render/trn.h"
#include "render/wipe.h"

namespace {

using namespace orba;

constexpr int kW = 320, kH = 240;

void Put(TDIBX& s, int x, int y, int r, int g, int b) {
  s.SetPixel(x, y, static_cast<uint32_t>((r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF)));
}

// An evening sky over dark water with a pale sun.
void Sky(TDIBX& s) {
  s.SetSize(kW, kH, 32);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      double sun = std::hypot(x - 220.0, y - 90.0);
      if (sun < 30) Put(s, x, y, 255, 230, 150);
      else if (y < 150) Put(s, x, y, 30 + y, 20 + y / 2, 110 - y / 2);
      else Put(s, x, y, 10, 30 + (x + y) % 20, 60 + y / 8);
    }
}

// A chequer of warm and cool squares with a white ring, so movement and blends show.
void Chequer(TDIBX& s) {
  s.SetSize(kW, kH, 32);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      double r = std::hypot(x - kW / 2.0, y - kH / 2.0);
      if (r > 70 && r < 80) Put(s, x, y, 250, 250, 250);
      else if ((x / 20 + y / 20) % 2) Put(s, x, y, 200, 90 + x / 4, 40);
      else Put(s, x, y, 40, 120, 180 + y / 4);
    }
}

// A picture file's first frame as a 32-bit surface.
void Load(TDIBX& s, const std::string& file) {
  TTarnFrameList list;
  list.LoadFromFile(file, true);
  if (list.Count() == 0) throw std::runtime_error("no picture in " + file);
  const TDIBSurface& pic = list[0].Surface;
  s.SetSize(pic.Width(), pic.Height(), 32);
  for (int y = 0; y < pic.Height(); ++y)
    for (int x = 0; x < pic.Width(); ++x) {
      TRGB c = pic.PixelToRGB(pic.GetPixel(x, y), true);
      Put(s, x, y, c.Red, c.Green, c.Blue);
    }
}

void Write(const std::filesystem::path& folder, const std::string& name, TDIBX& s) {
  TKvMemoryStream png;
  SavePng(png, s.Image());
  std::string path = (folder / name).string();
  WriteFileBytes(path, png.Bytes());
  std::printf("%s\n", path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  TWipeStart start;
  start.duration = 1000;
  try {
    if (argc < 3) throw std::invalid_argument("usage");
    start.kind = std::stoi(argv[1]);
    for (int i = 3; i < argc; ++i) {
      std::string a = argv[i];
      bool more = i + 1 < argc;
      if (a == "--reverse") start.reverse = true;
      else if (a == "--p0" && more) start.param0 = std::stoi(argv[++i]);
      else if (a == "--p1" && more) start.param1 = std::stoi(argv[++i]);
      else if (a == "--mask" && more) {
        std::filesystem::path rule = std::filesystem::absolute(argv[++i]);
        VrFileManager().SetBaseFolder(rule.parent_path().string());
        start.maskFile = rule.filename().string();
      } else if (a.starts_with("--")) throw std::invalid_argument("usage");
      else files.push_back(a);
    }
    if (files.size() != 0 && files.size() != 2) throw std::invalid_argument("usage");
  } catch (const std::invalid_argument&) {
    std::fputs("usage: wipeframes KIND OUTDIR [FROM TO] [--reverse] [--p0 N] [--p1 N] [--mask RULEFILE]\n", stderr);
    return 2;
  }
  try {
    TDIBX from, to, target;
    if (files.empty()) {
      Sky(from);
      Chequer(to);
    } else {
      Load(from, files[0]);
      Load(to, files[1]);
      if (from.Width() != to.Width() || from.Height() != to.Height())
        throw std::runtime_error("the two pictures differ in size");
    }
    target.SetSize(from.Width(), from.Height(), 32);
    target.CopyFrom(from);
    // As a project does: the zoom-into-a-point kind starts from the screen's centre.
    SetScreenCentredWipe(from.Width(), from.Height());
    auto wipe = StartWipe(start, target, from, to);
    if (!wipe) throw std::runtime_error("no transition of kind " + std::to_string(start.kind));
    const std::filesystem::path folder = argv[2];
    std::filesystem::create_directories(folder);
    const std::string stem = std::to_string(start.kind) + "-" + WipeKindName(start.kind);
    const int32_t d = start.duration, w = target.Width(), h = target.Height();
    const int32_t times[] = {0, d / 4, d / 2, 3 * d / 4, d - 1};
    TDIBX strip;
    strip.SetSize(w * 6, h, 32);
    for (int i = 0; i < 6; ++i) {
      if (i < 5) {
        wipe->Elapsed = times[i];
        wipe->Step();
        char name[64];
        std::snprintf(name, sizeof name, "-t%04d.png", times[i]);
        Write(folder, stem + name, target);
      } else {
        // At Duration the effect draws nothing more; its owner frees it and shows the new page.
        wipe->Elapsed = d;
        if (wipe->Step()) target.CopyFrom(to);
        Write(folder, stem + "-end.png", target);
      }
      strip.Draw(i * w, 0, false, false, false, TRect{0, 0, w, h}, target);
    }
    Write(folder, stem + "-strip.png", strip);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "wipeframes: %s\n", e.what());
    return 1;
  }
  return 0;
}
