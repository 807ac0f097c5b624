// trnpack: makes layered images (".trn") from PNG frames and dumps them back to PNG, with the
// same reader and writer the player uses.
//   trnpack build -o OUT.trn [--delay MS] [--key RRGGBB] [--seed N] [--mode 0|1|2] [--quality Q] FRAME.png...
//   trnpack dump IN.trn OUTDIR [--seed N]      writes OUTDIR/frame-1.png, frame-2.png, ...
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "base/error.h"
#include "render/imagefiles.h"
#include "render/trn.h"

namespace {

using namespace orba;

int Usage() {
  std::fputs(
      "usage: trnpack build -o OUT.trn [--delay MS] [--key RRGGBB] [--seed N] [--mode 0|1|2] [--quality Q] FRAME.png...\n"
      "       trnpack dump IN.trn OUTDIR [--seed N]\n",
      stderr);
  return 2;
}

int Build(const std::vector<std::string>& args) {
  std::string out;
  int delay = 100, seed = 0, mode = 0, quality = 70;
  long key = -1;
  std::vector<std::string> frames;
  for (size_t i = 0; i < args.size(); ++i) {
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw std::runtime_error(args[i] + " needs a value");
      return args[++i];
    };
    if (args[i] == "-o") out = value();
    else if (args[i] == "--delay") delay = std::stoi(value());
    else if (args[i] == "--key") key = std::stol(value(), nullptr, 16);
    else if (args[i] == "--seed") seed = std::stoi(value());
    else if (args[i] == "--mode") mode = std::stoi(value());
    else if (args[i] == "--quality") quality = std::stoi(value());
    else frames.push_back(args[i]);
  }
  if (out.empty() || frames.empty() || mode < 0 || mode > 2) return Usage();
  TTarnFrameList list(seed);
  for (const auto& name : frames) {
    TTarnFrame& frame = list.AddPngFrame(ReadFileBytes(name));
    frame.Delay = delay;
    if (key >= 0) {
      frame.TransparentValue = static_cast<int32_t>(
          frame.Surface.RGBToPixel(static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key)));
      TRGB c = frame.Surface.PixelToRGB(static_cast<uint32_t>(frame.TransparentValue), false);
      frame.TransparentColor = c.Red | c.Green << 8 | c.Blue << 16;
    }
  }
  TKvMemoryStream bytes;
  list.SaveToStream(bytes, mode, quality);
  WriteFileBytes(out, bytes.Bytes());
  return 0;
}

int Dump(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  int seed = 0;
  for (size_t i = 2; i + 1 < args.size(); ++i)
    if (args[i] == "--seed") seed = std::stoi(args[i + 1]);
  TTarnFrameList list(seed);
  list.LoadFromFile(args[0]);
  std::filesystem::create_directories(args[1]);
  for (int i = 0; i < list.Count(); ++i) {
    list[i].MakeMask();
    TKvMemoryStream png;
    SavePng(png, list[i].Surface);
    std::string name = args[1] + "/frame-" + std::to_string(i + 1) + ".png";
    WriteFileBytes(name, png.Bytes());
    std::printf("%s %dx%d delay %d\n", name.c_str(), list[i].Surface.Width(), list[i].Surface.Height(), list[i].Delay);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> a(argv + 1, argv + argc);
  if (a.empty()) return Usage();
  try {
    std::vector<std::string> rest(a.begin() + 1, a.end());
    if (a[0] == "build") return Build(rest);
    if (a[0] == "dump") return Dump(rest);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "trnpack: %s\n", ToUtf8(e.what()).c_str());
    return 1;
  }
  return Usage();
}
