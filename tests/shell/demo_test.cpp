// The demo's screens as the headless player shows them. Each test runs the demo project from
// the repository with its start page replaced by a short page that calls the screen looked
// at, and compares pixels of the presented frames with colours computed here: the solid
// colours tools/demopictures draws, at the places the demo's scripts put the pictures.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "authoring/source.h"
#include "base/cp932.h"
#include "components/baselist.h"
#include "render/wipe.h"
#include "support/headless_run.h"
#include "support/project_fixture.h"
#include "support/temp_dir.h"

namespace orba {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

// The demo compiled into dir, starting at a page with the given source instead of start.rss.
void BuildDemoStartingWith(const fs::path& dir, const std::string& startSource) {
  fs::copy(fs::path(ORBA_SOURCE_DIR) / "examples" / "demo", dir, fs::copy_options::recursive);
  std::ifstream in(dir / "orba.rps");
  std::stringstream project;
  for (std::string line; std::getline(in, line);) project << (line.rfind("start ", 0) == 0 ? "start probe.rsb" : line) << '\n';
  in.close();
  std::ofstream(dir / "orba.rps") << project.str();
  std::ofstream(dir / "probe.rss") << startSource;
  const TCompiledProject built = CompileProjectFolder(dir);
  testing_support::WriteBytes(dir / "orba.rpb", built.ProjectFile);
  auto onDisk = [](const std::string& stored) {
    std::string name = ToUtf8(stored);
    for (char& c : name)
      if (c == '\\') c = '/';
    return name;
  };
  for (const auto* files : {&built.Pages, &built.Pictures})
    for (const auto& [name, bytes] : *files) testing_support::WriteBytes(dir / onDisk(name), bytes);
}

struct Rgb {
  int r, g, b;
};
uint32_t Px(Rgb c) { return static_cast<uint32_t>(c.r << 16 | c.g << 8 | c.b); }

// The pictures' solid colours (tools/demopictures.cpp). The title and the night are shown
// doubled, so screen point (x, y) shows their pixel (x / 2, y / 2).
constexpr Rgb kTitleFrame{250, 250, 250}, kTitleSun{255, 220, 90}, kTitleHill{40, 120, 60};
constexpr Rgb kNightSky{10, 20, 60}, kNightSea{20, 80, 120};

uint32_t At(const HeadlessRun& run, int x, int y) {
  return run.presenter.Pixels()[static_cast<size_t>(y) * static_cast<size_t>(run.presenter.Width()) + static_cast<size_t>(x)] & 0xFFFFFF;
}

// Points of the effects page where both pictures are solid: title pixel (x / 2, y / 2) and
// night pixel of the same place.
struct Sample {
  int x, y;
  Rgb title, night;
};
constexpr Sample kEffectSamples[] = {
    {4, 240, kTitleFrame, kNightSky},    // the title's frame (x < 3); the night's sky
    {320, 290, kTitleSun, kNightSky},    // (160, 145): the sun, within 36 of (160, 140)
    {320, 440, kTitleHill, kNightSea},   // (160, 220): hills below row 200; the sea below 150
};

// The fade between two pictures: the new one drawn over the old at alpha t * 256 div d, each
// channel (old (255 - a) + new a) shr 8 at 32 bits; alpha 0 draws nothing.
uint32_t Fade(Rgb from, Rgb to, int t, int d) {
  const int a = t * 256 / d;
  if (a == 0) return Px(from);
  return Px({(from.r * (255 - a) + to.r * a) >> 8, (from.g * (255 - a) + to.g * a) >> 8,
             (from.b * (255 - a) + to.b * a) >> 8});
}

// The effects page plays the fade (effect 1) from the title to the night over 320 ms. The
// frames at t = 0, d/4, d/2, 3d/4 and the first frame after the end are written as PNG into
// the build folder (demo-effect-frames/) and checked against the fade's formula.
TEST(Demo, EffectsPageFadesFromTheTitleToTheNight) {
  TempDir dir;
  BuildDemoStartingWith(dir.path, "call effects.rsb; target: one; arguments: 1\nterminate\n");
  const fs::path frames = fs::path(ORBA_BINARY_DIR) / "demo-effect-frames";
  fs::remove_all(frames);
  fs::create_directories(frames);
  HeadlessRun run(dir.path.string());
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  int transitions = 0, duration = 0;
  bool wasRunning = false, ended = false;
  std::set<int> seen;
  run.RunWhile(cmd, [&](int pass) {
    TOrbaBaseList* list = ComponentList();
    TCustomWipe* wipe = list ? list->Transition() : nullptr;
    if (wipe && !wasRunning) ++transitions;
    // The first transition brings the title in; the second is the effect looked at.
    if (transitions == 2 && (wipe || wasRunning)) {
      const bool end = !wipe;
      const int t = end ? duration : wipe->Elapsed;
      if (wipe) duration = wipe->Duration;
      if ((end || t % (duration / 4) == 0) && seen.insert(t).second) {
        platform::headless::WritePng((frames / ("fade-t" + std::to_string(t) + ".png")).string(), run.presenter.LastFrame());
        for (const Sample& s : kEffectSamples) {
          const uint32_t want = end ? Px(s.night) : Fade(s.title, s.night, t, duration);
          EXPECT_EQ(At(run, s.x, s.y), want) << "t=" << t << " at " << s.x << "," << s.y;
        }
      }
      ended = end;
    }
    wasRunning = wipe != nullptr;
    return !ended && pass < 600;
  });
  EXPECT_EQ(duration, 320);
  EXPECT_EQ(seen, (std::set<int>{0, 80, 160, 240, 320}));
}

}  // namespace
}  // namespace orba
