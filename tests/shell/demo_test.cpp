// The demo's screens as the headless player shows them. Each test runs the demo project from
// the repository with its start page replaced by a short page that calls the screen looked
// at, and compares pixels of the presented frames with colours computed here: the solid
// colours tools/demopictures draws, at the places the demo's scripts put the pictures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "authoring/source.h"
#include "base/cp932.h"
#include "components/baselist.h"
#include "components/mes.h"
#include "render/wipe.h"
#include "support/block_fonts.h"
#include "support/headless_run.h"
#include "support/project_fixture.h"
#include "support/temp_dir.h"
#include "values/paramcollection.h"

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
constexpr Rgb kButtonUpper{70, 130, 230}, kButtonLower{30, 90, 200}, kMapBase{200, 200, 160};
constexpr Rgb kSpriteFrames[] = {{255, 0, 0}, {255, 255, 0}, {0, 255, 0}, {0, 0, 255}};

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

// The picture screen once its screen change has ended: the title picture doubled behind
// everything, the sprite's 32 x 32 square at (40, 40) in one of its frame colours, the button
// at (500, 420) with its two halves and a see-through corner, the map's base picture at
// (240, 300).
TEST(Demo, PictureScreenShowsEachPictureWhereTheScriptPutsIt) {
  TempDir dir;
  BuildDemoStartingWith(dir.path, "call pictures.rsb; target: show\nterminate\n");
  HeadlessRun run(dir.path.string());
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  bool changed = false, shown = false;
  run.RunWhile(cmd, [&](int pass) {
    TOrbaBaseList* list = ComponentList();
    const bool running = list && list->Transition();
    shown = changed && !running;
    changed = changed || running;
    return !shown && pass < 600;
  });
  ASSERT_TRUE(shown);
  ASSERT_EQ(run.presenter.Width(), 640);
  struct Point {
    int x, y;
    Rgb want;
    const char* what;
  } points[] = {
      {2, 240, kTitleFrame, "the title's frame at the left edge"},
      {637, 100, kTitleFrame, "the title's frame at the right edge"},
      {320, 290, kTitleSun, "the sun above the map"},
      {320, 440, kTitleHill, "the hills below the map"},
      {548, 428, kButtonUpper, "the button's upper half"},
      {548, 444, kButtonLower, "the button's lower half"},
      {500, 420, kTitleHill, "the title through the button's see-through corner"},
      {241, 301, kMapBase, "the map's top left"},
      {399, 379, kMapBase, "the map's bottom right"},
      {400, 379, kTitleHill, "the hills right of the map"},
  };
  for (const Point& p : points) EXPECT_EQ(At(run, p.x, p.y), Px(p.want)) << p.what;
  // The sprite: one frame colour over its whole square, the title around it.
  const uint32_t sprite = At(run, 40, 40);
  bool isFrame = false;
  for (Rgb c : kSpriteFrames) isFrame = isFrame || sprite == Px(c);
  EXPECT_TRUE(isFrame) << std::hex << sprite;
  for (int y = 40; y < 72; ++y)
    for (int x = 40; x < 72; ++x) ASSERT_EQ(At(run, x, y), sprite) << x << "," << y;
  for (auto [x, y] : {std::pair{39, 50}, {72, 50}, {50, 39}, {50, 72}}) EXPECT_NE(At(run, x, y), sprite) << x << "," << y;
}

// The story scene saved on its last page in one run of the player and loaded in the next. Each
// run goes until the save screen's slots appear, which they do right after the save and, in
// the second run, right after the load: the frame before them and the story's variables are
// the same in both runs. The start page plays the story when slot 1 is empty and loads it
// otherwise, so only the save file tells the runs apart.
using DemoSave = WithBlockFonts;  // the story's text drawn in blocks

TEST_F(DemoSave, TheStorySavedInOneRunIsLoadedInTheNext) {
  TempDir dir;
  BuildDemoStartingWith(dir.path,
                        "if GetSaveCaption(1) == \"\"\n"
                        "  call story.rsb; target: scene\n"
                        "else\n"
                        "  call saveload.rsb; target: load\n"
                        "terminate\n");
  struct Seen {
    std::vector<uint32_t> frame;  // the last frame before the slots
    std::vector<std::string> values;
    int passes = 0;
  };
  auto runUntilTheSlots = [&](Seen& seen) {
    HeadlessRun run(dir.path.string());
    TCommandLine cmd;
    cmd.Params = {dir.path.string()};
    std::vector<uint32_t> last;
    bool slots = false;
    run.RunWhile(cmd, [&](int pass) {
      TOrbaBaseList* list = ComponentList();
      slots = list && list->FindComponent("slot1");
      if (!slots) {
        last = run.presenter.Pixels();
        return pass < 1500;
      }
      seen.frame = last;
      seen.passes = pass;
      for (const char* name : {"page", "noticed", "linkText", "caption"}) {
        auto* v = Variables() ? Variables()->FindVariable(name) : nullptr;
        seen.values.push_back(std::string(name) + "=" + (v ? v->AsString() : "<none>"));
      }
      auto* mes = dynamic_cast<TOrbaMes*>(list->FindComponent("mes"));
      seen.values.push_back("shown page=" + (mes ? std::to_string(mes->GetInt(PR_INDEX)) : std::string("<none>")));
      return false;
    });
    for (const auto& d : run.dialogs.shown) ADD_FAILURE() << "dialog: " << d.caption << ": " << d.text;
    ASSERT_TRUE(slots) << "the save screen never came";
  };
  Seen saved, loaded;
  runUntilTheSlots(saved);
  ASSERT_TRUE(fs::exists(dir.path / "save.dat"));
  runUntilTheSlots(loaded);
  EXPECT_LT(loaded.passes, 30);  // loaded at once, not played again
  // The loop is past its third page; the slots are made in one tick, so the caption is slot 3's.
  EXPECT_EQ(saved.values, (std::vector<std::string>{"page=3", "noticed=1", "linkText=", "caption=(empty)", "shown page=2"}));
  EXPECT_EQ(loaded.values, saved.values);
  ASSERT_EQ(loaded.frame.size(), saved.frame.size());
  ASSERT_FALSE(saved.frame.empty());
  EXPECT_TRUE(loaded.frame == saved.frame) << "the frames before and after the load differ";
}

}  // namespace
}  // namespace orba
