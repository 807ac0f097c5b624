#include <gtest/gtest.h>

#include "support/block_fonts.h"
#include "support/headless_run.h"
#include "support/project_fixture.h"
#include "support/temp_dir.h"
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include "authoring/source.h"
#include "base/cp932.h"
#include "base/process.h"
#include "media/orbalib.h"
#include "render/imagefiles.h"
#include "render/dibsfc.h"
#include "base/stream.h"
#include "render/trn.h"
#include "platform/audio.h"
#include "platform/headless/headless.h"
#include "platform/posix/posix.h"
#include "shell/core_subsystems.h"
#include "shell/entry.h"
#include "files/diskpath.h"
#include "shell/instance_key.h"
#include "shell/view.h"
#include "shell/recording.h"
#include "base/error.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

using testing_support::TempDir;

namespace fs = std::filesystem;
using namespace platform;

TEST(InstanceKey, BuildsTheKeyOfAFolder) {
  struct Case { std::string text, key; } cases[] = {
      {"c:\\games\\a", "C:-GAMES-A-"},
      {"C:\\Games\\Story\\", "C:-GAMES-STORY-"},
      {"/config", "/CONFIG-"},
      {"", "-"},
      // 表 (0x95 0x5C) ends in the backslash byte: it is no delimiter and stays, and the
      // text does not end with a delimiter, so one is appended.
      {"d:\\\x95\x5C", "D:-\x95\x5C-"},
      {"d:\\\x95\x5C\\x", "D:-\x95\x5C-X-"},
      // A second byte 'a' is not upper-cased.
      {"e:\\\x83\x61z", "E:-\x83\x61Z-"},
  };
  for (const auto& c : cases) EXPECT_EQ(BuildInstanceKey(c.text), c.key) << c.text;
  EXPECT_EQ(BuildInstanceKey(StoredPathOf("/home/u/\xE8\xA1\xA8")), "-HOME-U-\x95\x5C-");
}

// Paths that resolve nothing, so keys depend only on the text.
struct FixedPaths : IPaths {
  std::string ExecutableFolder() override { return "/opt/game/"; }
  std::string ExecutablePath() override { return "/opt/game/orbaplayer"; }
  std::string AbsoluteFolder(const std::string& p) override { return p[0] == '/' ? p : "/cwd/" + p; }
  std::string TempFolder() override { return "/tmp/"; }
};

TEST(InstanceKey, ComesFromTheFirstParameterOrTheExecutableFolder) {
  FixedPaths paths;
  EXPECT_EQ(InstanceKeyFor({}, "/opt/game/", paths), "-OPT-GAME-");
  EXPECT_EQ(InstanceKeyFor({"story", "disc2"}, "/opt/game/", paths), "-CWD-STORY-");
  EXPECT_EQ(InstanceKeyFor({"/Config"}, "/opt/game/", paths), "/CONFIG-");
}

TEST(InstanceLock, OnePlayerPerFolder) {
  TempDir dir;
  posix::InstanceLock lock(dir.path.string());
  auto first = lock.TryAcquire("C:-GAMES-A-");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(lock.TryAcquire("C:-GAMES-A-"), nullptr);
  // The configuration dialog and a player of the same folder run side by side.
  auto config = lock.TryAcquire("/CONFIG-");
  EXPECT_NE(config, nullptr);
  EXPECT_EQ(lock.TryAcquire("/CONFIG-"), nullptr);
  first.reset();
  EXPECT_NE(lock.TryAcquire("C:-GAMES-A-"), nullptr);
  // Names stay single file names whatever the key holds.
  EXPECT_EQ(posix::InstanceLock::LockFileName("/HOME/A%-"), "orbaplayer-%2FHOME%2FA%25-.lock");
  EXPECT_LE(posix::InstanceLock::LockFileName(std::string(1000, 'A')).size(), 255u);
}

// The fallback lock folder lies in the shared temporary folder: it is made private, and one
// that is a link or belongs to someone else is not used.
TEST(InstanceLock, FallbackFolderIsPrivateAndOurs) {
  TempDir dir;
  auto mode = [](const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; };
  fs::path fresh = dir.path / "fresh";
  EXPECT_EQ(posix::InstanceLock::PrivateFolder(fresh.string()), fresh.string());
  EXPECT_EQ(mode(fresh), fs::perms::owner_all);
  fs::path open = dir.path / "open";
  fs::create_directory(open);
  fs::permissions(open, fs::perms::owner_all | fs::perms::group_all | fs::perms::others_all);
  EXPECT_EQ(posix::InstanceLock::PrivateFolder(open.string()), open.string());
  EXPECT_EQ(mode(open), fs::perms::owner_all);
  fs::path link = dir.path / "link";
  fs::create_directory_symlink(fresh, link);
  EXPECT_EQ(posix::InstanceLock::PrivateFolder(link.string()), "");
  std::ofstream(dir.path / "file") << "x";
  EXPECT_EQ(posix::InstanceLock::PrivateFolder((dir.path / "file").string()), "");
  if (geteuid() == 0) {  // only the superuser can hand a folder to another user
    fs::path theirs = dir.path / "theirs";
    fs::create_directory(theirs);
    ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
    EXPECT_EQ(posix::InstanceLock::PrivateFolder(theirs.string()), "");
  }
  // Without a usable folder the player runs without the lock.
  posix::InstanceLock none((dir.path / "file").string() + "/sub");
  EXPECT_NE(none.TryAcquire("K-"), nullptr);
}

TEST(CommandLine, ParsesOptionsAndParameters) {
  auto cmd = ParseCommandLine({"--headless", "--ticks", "60", "--dump", "10,60", "--dump-dir", "out", "--log",
                               "game", "disc2"});
  EXPECT_TRUE(cmd.Error.empty());
  EXPECT_TRUE(cmd.Headless);
  EXPECT_EQ(cmd.Ticks, 60);
  EXPECT_EQ(cmd.DumpTicks, (std::vector<int>{10, 60}));
  EXPECT_EQ(cmd.DumpDir, "out");
  EXPECT_TRUE(cmd.Log);
  EXPECT_EQ(cmd.Params, (std::vector<std::string>{"game", "disc2"}));
  EXPECT_EQ(ParseCommandLine({"--scale", "integer", "--filter", "smooth"}).Scale, "integer");
  // The text hook's destination is the next word only when it names one.
  auto hooked = ParseCommandLine({"--text-hook", "game", "--fast-forward", "--save-dir", "saves"});
  EXPECT_EQ(hooked.TextHook, "stdout");
  EXPECT_EQ(hooked.Params, (std::vector<std::string>{"game"}));
  EXPECT_TRUE(hooked.FastForward);
  EXPECT_EQ(hooked.SaveDir, "saves");
  EXPECT_EQ(ParseCommandLine({"--text-hook", "clipboard", "game"}).TextHook, "clipboard");
  for (auto bad : std::vector<std::vector<std::string>>{
           {"--ticks"}, {"--ticks", "x"}, {"--dump", "0"}, {"--bogus"}, {"--scale", "big"}, {"--filter", "x"}, {"--show", "x.trn"}, {"--save-dir"}})
    EXPECT_FALSE(ParseCommandLine(bad).Error.empty()) << bad[0];
}

TEST(Player, RunsHeadlessAndPresentsFrames) {
  TempDir dir;
  testing_support::WriteWaitProject(dir.path);
  HeadlessRun run(dir.path.string());
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  EXPECT_EQ(run.Run(cmd, 10), TRunResult::Ran);
  EXPECT_EQ(run.passes, 10);
  EXPECT_EQ(run.presenter.PresentCount(), 1);  // only the first frame had anything to show
  EXPECT_EQ(run.presenter.Width(), 320);
  EXPECT_EQ(Process().GameTime, 160);
  EXPECT_EQ(run.window.caption, "Wait");
}

TEST(Player, SecondPlayerOnTheSameFolderEndsSilently) {
  TempDir dir;
  posix::InstanceLock other(dir.path.string());
  posix::Paths paths;
  auto held = other.TryAcquire(InstanceKeyFor({dir.path.string()}, "", paths));
  HeadlessRun run(dir.path.string());
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  EXPECT_EQ(run.Run(cmd, 10), TRunResult::AlreadyRunning);
  EXPECT_FALSE(run.window.shown);
  EXPECT_TRUE(run.dialogs.shown.empty());
}

// When there is nothing to play the window stays silent (no dialog beyond the ones the
// project itself shows), but the run fails and says in one line which folder lacks what.
TEST(Player, NothingToPlayIsSaidInOneLineAndFails) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
    const char* says;
    size_t dialogs;
  } cases[] = {
      {"an empty folder", [](const fs::path&) {}, "holds no game data (game.dat) or orba.rpb", 0},
      {"no folder", [](const fs::path& d) { fs::remove_all(d); }, "no such folder", 0},
      {"an empty orba.rpb", [](const fs::path& d) { std::ofstream(d / "orba.rpb"); }, "orba.rpb is empty", 1},
      {"an unreadable orba.rpb", [](const fs::path& d) { std::ofstream(d / "orba.rpb") << "not a project"; },
       "orba.rpb cannot be read", 0},
      {"no start page",
       [](const fs::path& d) {
         testing_support::WriteWaitProject(d);
         fs::remove(d / "start.rsb");
       },
       "the start page start.rsb cannot be run", 1},
  };
  for (const auto& c : cases) {
    TempDir dir, lockDir;
    fs::path project = dir.path / "game";
    fs::create_directories(project);
    c.make(project);
    HeadlessRun run(lockDir.path.string());
    TCommandLine cmd;
    cmd.Params = {project.string()};
    EXPECT_EQ(run.Run(cmd, 10), TRunResult::NothingToPlay) << c.name;
    EXPECT_FALSE(run.window.shown) << c.name;
    EXPECT_EQ(run.passes, 0) << c.name;
    EXPECT_EQ(run.dialogs.shown.size(), c.dialogs) << c.name;
    std::string line = run.subsystems.StartFailure();
    EXPECT_EQ(line.rfind(project.string() + ": ", 0), 0u) << c.name << ": " << line;
    EXPECT_NE(line.find(c.says), std::string::npos) << c.name << ": " << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << c.name;
  }
}

// A game.dat that is no archive is read before the guarded part of start-up. Its error is
// shown in a warning box in UTF-8 (a headless run prints it), the shutdown runs and the run
// counts as failed; the same when the error comes from any other step of start-up.
TEST(Player, AnUnreadableGameDataIsShownAndTheShutdownRuns) {
  TempDir dir;
  std::string junk(300, '\0');
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 37 + 11);
  std::ofstream(dir.path / "game.dat", std::ios::binary) << junk;
  HeadlessRun run(dir.path.string());
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  EXPECT_EQ(run.Run(cmd, 10), TRunResult::Failed);
  EXPECT_FALSE(run.window.shown);
  ASSERT_EQ(run.dialogs.shown.size(), 1u);
  EXPECT_EQ(run.dialogs.shown[0].caption, "\xE8\xAD\xA6\xE5\x91\x8A");  // 警告
  // アーカイブが壊れています, as UTF-8
  const std::string broken = "\xE3\x82\xA2\xE3\x83\xBC\xE3\x82\xAB\xE3\x82\xA4\xE3\x83\x96\xE3\x81\x8C";
  EXPECT_EQ(run.dialogs.shown[0].text.rfind(broken, 0), 0u) << run.dialogs.shown[0].text;

  struct Throwing : testing_support::RecordingSubsystems {
    void OpenProjectData(const std::vector<std::string>&, const std::string&) override {
      Log("OpenProjectData");
      throw EOrbaError("bad");
    }
  } recording;
  EXPECT_EQ(RunPlayer(cmd, run.platform, recording, IOrbaMediaLibrary::kRequiredVersion), TRunResult::Failed);
  EXPECT_EQ(recording.calls,
            (std::vector<std::string>{"RegisterEmptyArchive", "OpenProjectData", "FreeProject", "FreeSystemFunctions",
                                      "FreeVariables", "OrbaFinalize", "MediaFinal", "FinalizeFiles"}));
}

// A player whose executable lies on a mounted disc ends before anything else: no window, no
// message, no lock. A disc folder that merely begins the same way is another folder.
TEST(Player, EndsSilentlyWhenStartedFromADisc) {
  struct DiscPaths : FixedPaths {
    std::vector<std::string> discs;
    std::vector<std::string> DiscFolders() override { return discs; }
  };
  TempDir dir;
  testing_support::WriteWaitProject(dir.path);
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  DiscPaths paths;
  for (auto discs : std::vector<std::vector<std::string>>{{"/media/cdrom/", "/opt/"}, {"/opt/game/"}}) {
    HeadlessRun run(dir.path.string());
    paths.discs = discs;
    run.platform.paths = &paths;
    EXPECT_EQ(run.Run(cmd, 10), TRunResult::FromDisc) << discs.back();
    EXPECT_FALSE(run.window.shown);
    EXPECT_TRUE(run.dialogs.shown.empty());
    EXPECT_EQ(run.passes, 0);
  }
  EXPECT_FALSE(IsOnDisc("/opt/game2/orbaplayer", {"/opt/game/"}));
  EXPECT_FALSE(IsOnDisc("/opt/game/orbaplayer", {}));
}

TEST(Player, RefusesAMediaLibraryOfAnotherVersion) {
  TempDir dir;
  HeadlessRun run(dir.path.string());
  EXPECT_EQ(run.Run(TCommandLine{}, 10, 107), TRunResult::MediaLibraryError);
  ASSERT_EQ(run.dialogs.shown.size(), 1u);
  EXPECT_EQ(run.dialogs.shown[0].text, ToUtf8(Sjis(u8"orba.dllのバージョンがあいません")));
}

TEST(Player, ExitQuestionAnsweredYesEndsTheRun) {
  TempDir dir;
  testing_support::WriteWaitProject(dir.path);
  HeadlessRun run(dir.path.string());
  headless::LoadInputScript("5 answer no\n5 exit\n8 exit\n", run.input, run.dialogs);
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  run.Run(cmd, 100);
  EXPECT_EQ(run.passes, 7);  // pass 8's events close the window before its idle pass
  EXPECT_EQ(run.dialogs.shown.size(), 2u);
}

// The start page's boxes are composed into the first frame, and again into the back buffer a
// switch to full screen makes anew; on a 16-bit desktop too.
TEST(Player, ComposesTheComponentsInTheWindowAndInFullScreen) {
  TempDir dir;
  testing_support::WriteWaitProject(dir.path);  // 320 x 240
  TPage page;
  CompilePage("boxnew name: \"bg\"; width: 320; height: 240; color: 255\n"
              "boxnew name: \"b\"; parent: \"bg\"; left: 158; top: 117; width: 4; height: 6; color: 16711680\n"
              "wait time: 100000\n",
              "start.rss", page);
  testing_support::SavePage(page, dir.path / "start.rsb");

  for (int desktopBits : {32, 16}) {
    HeadlessRun run(dir.path.string());
    run.window.desktopBits = desktopBits;
    run.input.At(5, InputEvent{EventKind::ToolbarFullScreen});
    TCommandLine cmd;
    cmd.Params = {dir.path.string()};
    run.Run(cmd, 10);
    EXPECT_TRUE(run.window.fullScreen);
    // The empty first frame (the script starts in the next pass), the boxes, and the frame after the switch.
    EXPECT_EQ(run.presenter.PresentCount(), 3) << desktopBits;
    const auto& shown = run.presenter.Pixels();
    auto at = [&](int x, int y) { return shown[static_cast<size_t>(y) * 320 + static_cast<size_t>(x)]; };
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(at(158 + x, 117 + y), 0x0000FFu) << desktopBits << " bits, " << x << "," << y;
    for (auto [x, y] : {std::pair{0, 0}, {319, 239}, {157, 117}, {162, 123}})
      EXPECT_EQ(at(x, y), 0xFF0000u) << desktopBits << " bits, " << x << "," << y;
  }
}

// A project of the source tree (a path below it), compiled into a folder.
void WriteCompiled(const fs::path& source, const fs::path& dir) {
  TCompiledProject project = CompileProjectFolder(fs::path(ORBA_SOURCE_DIR) / source);
  testing_support::WriteBytes(dir / "orba.rpb", project.ProjectFile);
  for (const auto& [name, bytes] : project.Pages) testing_support::WriteBytes(dir / name, bytes);
}

// The demo project, compiled into a folder.
void WriteDemo(const fs::path& dir) { WriteCompiled(fs::path("examples") / "demo", dir); }

// The demo's title screen, as its start page builds it from boxes, against the scene worked
// out here from the page's numbers: every pixel of the presented frame.
TEST(Player, TheDemoTitleScreenIsComposedAsItsBoxesSay) {
  TempDir dir;
  WriteDemo(dir.path);
  HeadlessRun run(dir.path.string());
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  run.Run(cmd, 45);  // after the title's fade-in of 500 ms
  ASSERT_EQ(run.presenter.Width(), 640);
  const auto& shown = run.presenter.Pixels();
  auto inside = [](int x, int y, int l, int t, int r, int b) { return x >= l && x < r && y >= t && y < b; };
  const uint32_t background = 0x142850, frame = 0xFAFAFA, panel = 0xF08C3C, sun = 0xFFDC5A, hill = 0x28783C;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      uint32_t expected = background;
      if (inside(x, y, 120, 80, 520, 380)) expected = inside(x, y, 123, 83, 517, 377) ? panel : frame;
      if (inside(x, y, 280, 140, 360, 190)) expected = sun;   // its clip window: the upper 50 rows
      if (inside(x, y, 120, 180, 520, 380)) expected = hill;  // over the sun, cut at the panel's edges
      if (inside(x, y, 40, 20, 160, 60) || inside(x, y, 480, 20, 600, 60)) expected = 0x808080;  // the buttons
      if (inside(x, y, 40, 400, 600, 440)) {
        // White blended at 128 of 255 over the background, per channel.
        expected = 0;
        for (int shift : {0, 8, 16})
          expected |= ((((background >> shift) & 0xFF) * 127 + 0xFF * 128) >> 8) << shift;
      }
      ASSERT_EQ(shown[static_cast<size_t>(y) * 640 + static_cast<size_t>(x)], expected) << x << "," << y;
    }
}

// The title screen's buttons driven by an input script: the hovered button lights up in the
// frame, leaving it puts its grey back, and a click runs the handler page that counts clicks.
TEST(Player, TheDemoButtonsAnswerTheMouse) {
  TempDir dir;
  WriteDemo(dir.path);
  HeadlessRun run(dir.path.string());
  // Window client coordinates: the page starts below the toolbar.
  const int top = TFormView::kDockHeight;
  // The title has faded in by pass 40.
  headless::LoadInputScript("44 move 100 " + std::to_string(top + 40) + "\n" +  // over the left button
                                "48 move 540 " + std::to_string(top + 40) + "\n" +  // over the right one
                                "52 click 541 " + std::to_string(top + 41) + "\n" +
                                "56 move 300 " + std::to_string(top + 10) + "\n",  // off both
                            run.input, run.dialogs);
  const auto& shown = run.presenter.Pixels();
  auto at = [&](int x, int y) { return shown[static_cast<size_t>(y) * 640 + static_cast<size_t>(x)]; };
  const uint32_t grey = 0x808080, lit = 0xFFFF00;  // 65535 is 0x00BBGGRR for red and green
  std::vector<std::pair<uint32_t, uint32_t>> frames;  // (left, right) button colour after each pass
  int32_t clicks = -1;
  std::string last;
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  RunPlayer(cmd, run.platform, run.subsystems, IOrbaMediaLibrary::kRequiredVersion, [&](int pass) {
    if (!shown.empty()) frames.push_back({at(50, 30), at(490, 30)});
    if (auto* v = Variables()) {
      if (auto* c = v->FindVariable("clicks")) clicks = c->AsInt();
      if (auto* l = v->FindVariable("lastClicked")) last = l->AsString();
    }
    return pass < 60;
  });
  ASSERT_GE(frames.size(), 59u);
  // The pass after the move queues the event, the handler runs, the next frame shows it.
  EXPECT_EQ(frames[42], std::pair(grey, grey));
  EXPECT_EQ(frames[46], std::pair(lit, grey));
  EXPECT_EQ(frames[50], std::pair(grey, lit));
  EXPECT_EQ(frames[58], std::pair(grey, grey));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(last, "right");
}

// A control's cursor file is read through the virtual files and shown while the mouse is over
// it; elsewhere the project's default cursor ("@Cursor"), and without one the arrow. A script
// that writes the mouse position moves the real pointer.
TEST(Player, CursorsFollowTheControlUnderTheMouse) {
  TempDir dir;
  testing_support::WriteWaitProject(dir.path);  // 320 x 240
  for (const char* name : {"hand.cur", "busy.cur"}) {
    TDIBSurface picture(4, 4, 32);
    TKvMemoryStream bytes;
    SaveIcon(bytes, picture, true, {1, 2});
    testing_support::WriteBytes(dir.path / name, bytes.Bytes());
  }
  TPage page;
  CompilePage("boxnew name: \"b\"; parent: \"\"; left: 10; top: 10; width: 20; height: 20; cursor: \"hand.cur\"\n"
              "boxnew name: \"c\"; parent: \"\"; left: 50; top: 10; width: 20; height: 20; cursor: \"missing.cur\"\n"
              "calc @MouseX = 7\n"
              "wait time: 100\n"
              "calc @Cursor = \"busy.cur\"\n"
              "wait time: 100000\n",
              "start.rss", page);
  testing_support::SavePage(page, dir.path / "start.rsb");
  HeadlessRun run(dir.path.string());
  const std::string top = std::to_string(TFormView::kDockHeight);
  headless::LoadInputScript("3 move 15 " + top + "\n" +  // page (15, 0): nothing
                                "4 move 15 " + std::to_string(TFormView::kDockHeight + 15) + "\n" +
                                "5 move 55 " + std::to_string(TFormView::kDockHeight + 15) + "\n" +
                                "6 move 100 " + std::to_string(TFormView::kDockHeight + 15) + "\n" +
                                "20 move 15 " + std::to_string(TFormView::kDockHeight + 15) + "\n" +
                                "21 move 100 " + std::to_string(TFormView::kDockHeight + 15) + "\n",
                            run.input, run.dialogs);
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  run.Run(cmd, 25);
  EXPECT_EQ(run.window.cursors, (std::vector<std::string>{"hand.cur", "", "", "hand.cur", "busy.cur"}));
  // Writing the mouse position moved the real pointer, in window client coordinates.
  EXPECT_EQ(run.window.warps, (std::vector<headless::Window::Point>{{7, TFormView::kDockHeight}}));
}

TEST(InputScript, RejectsMistakesWithTheLineNumber) {
  headless::FakeClock clock;
  headless::ScriptedInput input(clock);
  headless::ScriptedDialogs dialogs;
  for (std::string bad : {"x move 1 2", "0 move 1 2", "3 move 1", "3 key 256", "3 jump", "3 wheel left",
                          "3 answer maybe", "3 close now"}) {
    try {
      headless::LoadInputScript("# comment\n\n" + bad + "\n", input, dialogs);
      ADD_FAILURE() << "accepted: " << bad;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
  }
}

TEST(Settings, ReadsAndWritesIniFiles) {
  TempDir dir;
  std::string ini = (dir.path / "game.ini").string();
  std::ofstream(ini) << "[Other]\nDelayTime=1\n[sound]\n DirectSound = 0 \r\n";
  posix::IniSettings settings;
  EXPECT_EQ(settings.Read(ini, "Sound", "directsound"), "0");
  EXPECT_EQ(settings.Read(ini, "Sound", "DelayTime"), std::nullopt);
  EXPECT_TRUE(settings.Write(ini, "Sound", "DelayTime", "300"));
  EXPECT_TRUE(settings.Write(ini, "Sound", "DirectSound", "1"));
  EXPECT_TRUE(settings.Write(ini, "New", "Key", "v"));
  EXPECT_EQ(settings.Read(ini, "Sound", "DelayTime"), "300");
  EXPECT_EQ(settings.Read(ini, "Sound", "DirectSound"), "1");
  EXPECT_EQ(settings.Read(ini, "Other", "DelayTime"), "1");
  EXPECT_EQ(settings.Read(ini, "New", "Key"), "v");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);  // no temporary left
}

TEST(Settings, GameIniSetsTheSoundOptions) {
  struct Case { std::string ini; bool sound; int delay; } cases[] = {
      {"[Sound]\nDirectSound=0\nDelayTime=250\n", false, 200},
      {"[Sound]\nDelayTime=50\n", true, 100},
      {"[Sound]\nDelayTime=9999\n", true, 500},
      {"[Sound]\nDirectSound=false\nDelayTime=junk\n", false, 500},
  };
  for (const auto& c : cases) {
    TempDir dir;
    std::ofstream(dir.path / "game.ini") << c.ini;
    ResetProcessState();
    headless::HeadlessPlatform headless;
    posix::IniSettings settings;
    headless.platform.settings = &settings;
    TSubsystems none;
    TFormView view(headless.platform, none, TViewOptions{{}, dir.path.string() + "/", ""});
    view.FormCreate();
    EXPECT_EQ(Process().DirectSoundEnabled, c.sound) << c.ini;
    EXPECT_EQ(Process().SoundDelay, c.delay) << c.ini;
  }
}

}  // namespace
}  // namespace orba

namespace orba {
namespace {

TEST(Discs, FoundInTheMountTable) {
  std::string table =
      "/dev/sda1 / ext4 rw 0 0\n"
      "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
      "/dev/sr1 /media/My\\040Disc udf ro 0 0\n"
      "proc /proc proc rw 0 0\n";
  EXPECT_EQ(platform::posix::Paths::DiscFoldersIn(table),
            (std::vector<std::string>{"/media/cdrom/", "/media/My Disc/"}));
}

// A game saved in one run of the player and loaded in the next: the boxes come back from the
// saved tree and n from the saved variables, so the resumed script adds the blue box. The
// project's script (tests/fixtures/save-project) saves when slot 1 is empty, else loads it.
TEST(Player, AGameSavedInOneRunIsLoadedInTheNext) {
  TempDir dir;
  WriteCompiled(fs::path("tests") / "fixtures" / "save-project", dir.path);
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  auto expected = [](bool loaded, int x, int y) {
    const auto inside = [&](int l, int t, int r, int b) { return x >= l && x < r && y >= t && y < b; };
    if (inside(8, 8, 28, 18)) return 0x00FF00u;           // "inner", color 65280
    if (loaded && inside(40, 30, 44, 34)) return 0x0000FFu;  // "seen", color 16711680
    return 0xFF0000u;                                      // "bg", color 255
  };
  for (bool loaded : {false, true}) {
    HeadlessRun run(dir.path.string());
    run.Run(cmd, 10);
    ASSERT_EQ(run.presenter.Width(), 64);
    EXPECT_EQ(fs::exists(dir.path / "save.dat"), true);
    const auto& shown = run.presenter.Pixels();
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x)
        ASSERT_EQ(shown[static_cast<size_t>(y) * 64 + static_cast<size_t>(x)], expected(loaded, x, y))
            << (loaded ? "after loading, " : "after saving, ") << x << "," << y;
  }
}

}  // namespace
}  // namespace orba

namespace orba {
namespace {

// What a headless run of the demo left after its last pass: some of its variables, the game
// time, the picture shown and how many frames were presented.
struct DemoRunResult {
  std::vector<std::string> values;
  int32_t gameTime = 0;
  std::vector<uint32_t> pixels;
  int presents = 0;
};

DemoRunResult RunDemo(const TCommandLine& options, int passes, const std::string& input = {}) {
  TempDir dir;
  WriteDemo(dir.path);
  HeadlessRun run(dir.path.string());
  if (!input.empty()) headless::LoadInputScript(input, run.input, run.dialogs);
  TCommandLine cmd = options;
  cmd.Params = {dir.path.string()};
  DemoRunResult out;
  const int32_t startTime = Process().GameTime;
  RunPlayer(cmd, run.platform, run.subsystems, IOrbaMediaLibrary::kRequiredVersion, [&](int pass) {
    if (pass < passes) return true;
    for (const char* name : {"total", "kinds", "greeting", "ratio", "visits", "page", "noticed"}) {
      auto* v = Variables() ? Variables()->FindVariable(name) : nullptr;
      out.values.push_back(std::string(name) + "=" + (v ? v->AsString() : "<none>"));
    }
    out.gameTime = Process().GameTime - startTime;
    return false;
  });
  for (const auto& d : run.dialogs.shown) ADD_FAILURE() << "dialog: " << d.caption << ": " << d.text;
  out.pixels = run.presenter.Pixels();
  out.presents = run.presenter.PresentCount();
  return out;
}

// Fast-forward runs eight ticks of the usual 16 ms for every frame it shows: the demo, in its
// story scene, is where a normal run of eight times the passes is, with the same variables and
// the same picture, having presented at most one frame a pass. The click that ends
// the title screen and the Enter that ends the picture screen come before the same ticks: pass
// 8k + 1 of a normal run is the first tick of pass k + 1 of a fast one.
using DemoRun = WithBlockFonts;  // the story scene's text drawn in blocks

TEST_F(DemoRun, FastForwardReachesTheSamePlaceInAnEighthOfThePasses) {
  constexpr int kPasses = 400;
  TCommandLine normal, fast;
  fast.FastForward = true;
  DemoRunResult a = RunDemo(normal, kPasses, "81 click 320 240\n177 key 13\n241 key 13\n");
  DemoRunResult b = RunDemo(fast, kPasses / TFormView::kFastForwardTicks, "11 click 320 240\n23 key 13\n31 key 13\n");
  ASSERT_EQ(a.values.size(), 7u);
  ASSERT_EQ(b.values.size(), 7u);
  EXPECT_EQ(a.gameTime, kPasses * 16);
  EXPECT_EQ(b.gameTime, a.gameTime);
  EXPECT_EQ(b.values, a.values);
  EXPECT_EQ(a.values[5], "page=2");  // in the story scene, on its third page
  ASSERT_EQ(b.pixels.size(), a.pixels.size());
  EXPECT_TRUE(b.pixels == a.pixels) << "the last frames differ";
  EXPECT_LE(b.presents, kPasses / TFormView::kFastForwardTicks);
  EXPECT_GT(a.presents, kPasses / TFormView::kFastForwardTicks);
}

// Fast-forward mutes what the device plays, not the mixer: the view stands a mute in front
// of the platform's device for as long as it lives.
TEST(Player, FastForwardMutesTheDeviceAndTheToolbarShowsIt) {
  struct Tone : IAudioSource {
    void Render(int16_t* out, size_t frames) noexcept override { std::fill(out, out + frames * 2, int16_t{1000}); }
    void Prepare() noexcept override {}
  } tone;
  headless::HeadlessPlatform headless;
  headless.audio.SetRecording(true);
  TSubsystems none;
  {
    TFormView view(headless.platform, none, TViewOptions{{}, "/nonexistent-orba-test/", ""});
    ASSERT_NE(headless.platform.audio, &headless.audio);
    ASSERT_TRUE(headless.platform.audio->Open(100, tone));
    headless.clock.Advance(1000);
    view.SetFastForward(true);
    EXPECT_TRUE(headless.window.fastForward);
    headless.clock.Advance(1000);
    view.SetFastForward(false);
    headless.clock.Advance(1000);
    headless.platform.audio->Close();
  }
  EXPECT_EQ(headless.platform.audio, &headless.audio);
  const auto& s = headless.audio.Samples();
  const size_t tick = 44100 * 2;  // samples of a second
  ASSERT_EQ(s.size(), 3 * tick);
  auto all = [&](size_t from, int16_t v) { return std::all_of(s.begin() + from, s.begin() + from + tick, [&](int16_t x) { return x == v; }); };
  EXPECT_TRUE(all(0, 1000));
  EXPECT_TRUE(all(tick, 0));
  EXPECT_TRUE(all(2 * tick, 1000));
}

}  // namespace
}  // namespace orba

namespace orba {
namespace {

// --text-hook clipboard hands each page of the demo's story to the clipboard as it starts.
TEST_F(DemoRun, TheTextHookPutsEachPageOnTheClipboard) {
  TempDir dir;
  WriteDemo(dir.path);
  HeadlessRun run(dir.path.string());
  headless::LoadInputScript("80 click 320 240\n180 key 13\n240 key 13\n300 key 13\n", run.input, run.dialogs);
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  cmd.TextHook = "clipboard";
  run.Run(cmd, 360);
  ASSERT_EQ(run.shell.clipboard.size(), 3u);
  EXPECT_EQ(run.shell.clipboard[1], "「今日こそ、あの場所へ行こう」\n彼女は小さくつぶやいた。\n地図はここにある。\n\n");
  EXPECT_EQ(run.shell.clipboard[2], "扉の向こうで、新しい一日が始まる。\n\n");
}

}  // namespace
}  // namespace orba

#include <cstdlib>

#include "shell/frametimes.h"
#include "shell/screenshot.h"

namespace orba {
namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The demo's title screen run for 60 passes (its fade-in ends by pass 33) with an input script; what it presented last,
// its back buffer after the last pass, and the frame presented after the pass given.
struct TitleRun {
  std::vector<uint32_t> shown, back, shownAt;
  TitleRun(const fs::path& dir, const std::string& input, int at = 0) {
    HeadlessRun run(dir.string());
    headless::LoadInputScript(input, run.input, run.dialogs);
    TCommandLine cmd;
    cmd.Params = {dir.string()};
    RunPlayer(cmd, run.platform, run.subsystems, IOrbaMediaLibrary::kRequiredVersion, [&](int pass) {
      if (pass == at) shownAt = run.presenter.Pixels();
      if (pass < 60) return true;
      TDIBX& buffer = run.subsystems.Screen()->BackBuffer();
      for (int32_t y = 0; y < buffer.Height(); ++y)
        for (int32_t x = 0; x < buffer.Width(); ++x) back.push_back(buffer.GetPixel(x, y));
      return false;
    });
    shown = run.presenter.Pixels();
  }
};

// F12 writes the frame shown as a PNG named by the project into the pictures folder's
// "orbaplayer" folder, else into the save folder (here the project's own): the file is the
// frame presented by the pass before the key, written out here by the same PNG writer.
TEST_F(DemoRun, AScreenshotIsTheFrameShown) {
  for (bool pictures : {true, false}) {
    TempDir dir;
    fs::create_directory(dir.path / "game");
    WriteDemo(dir.path / "game");
    const fs::path folder = pictures ? dir.path / "pictures" : dir.path / "none";
    if (pictures) fs::create_directory(folder);
    setenv("XDG_PICTURES_DIR", folder.c_str(), 1);
    TitleRun run(dir.path / "game", "50 key 123\n", 49);
    unsetenv("XDG_PICTURES_DIR");
    const fs::path target = pictures ? folder / "orbaplayer" : dir.path / "game";
    std::vector<fs::path> shots;
    for (const auto& e : fs::directory_iterator(target))
      if (e.path().extension() == ".png") shots.push_back(e.path());
    ASSERT_EQ(shots.size(), 1u) << target;
    EXPECT_EQ(shots[0].filename().string().rfind("Orba Demo-", 0), 0u) << shots[0];
    ASSERT_EQ(run.shownAt.size(), 640u * 480u);
    ASSERT_TRUE(WriteFramePng((dir.path / "expected.png").string(), {run.shownAt.data(), 640, 480, 640}));
    EXPECT_TRUE(ReadFile(shots[0]) == ReadFile(dir.path / "expected.png")) << shots[0];
  }
}

// F3 lays the frame-time overlay over the frame shown and nowhere else: the back buffer (what
// snapshots and transitions are taken from) is the same as without it, the frame shown differs
// only inside the overlay's rectangle, and a screenshot leaves it out.
TEST_F(DemoRun, TheFrameTimeOverlayStaysOutOfTheBackBufferAndScreenshots) {
  TempDir dir;
  fs::create_directory(dir.path / "game");
  WriteDemo(dir.path / "game");
  TitleRun plain(dir.path / "game", "");
  setenv("XDG_PICTURES_DIR", dir.path.c_str(), 1);
  TitleRun overlaid(dir.path / "game", "5 key 114\n59 key 123\n");
  unsetenv("XDG_PICTURES_DIR");
  EXPECT_TRUE(overlaid.back == plain.back);
  ASSERT_EQ(overlaid.shown.size(), plain.shown.size());
  int inside = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const size_t i = static_cast<size_t>(y) * 640 + static_cast<size_t>(x);
      const bool covered = x >= TFrameTimes::kLeft && x < TFrameTimes::kLeft + TFrameTimes::kWidth &&
                           y >= TFrameTimes::kTop && y < TFrameTimes::kTop + TFrameTimes::kHeight;
      if (covered) inside += overlaid.shown[i] != plain.shown[i];
      else ASSERT_EQ(overlaid.shown[i], plain.shown[i]) << x << "," << y;
    }
  EXPECT_GT(inside, TFrameTimes::kWidth * TFrameTimes::kHeight / 2);  // darkened, most of it
  std::vector<fs::path> shots;
  for (const auto& e : fs::directory_iterator(dir.path / "orbaplayer")) shots.push_back(e.path());
  ASSERT_EQ(shots.size(), 1u);
  ASSERT_TRUE(WriteFramePng((dir.path / "plain.png").string(), {plain.shown.data(), 640, 480, 640}));
  EXPECT_TRUE(ReadFile(shots[0]) == ReadFile(dir.path / "plain.png"));
}

}  // namespace
}  // namespace orba

namespace orba {
namespace {

// --save-dir takes every save: the fixture project saves in its first run and loads that
// save in the next, all of it in the chosen folder (made when missing), none beside it.
TEST(Player, SavesGoToTheChosenFolder) {
  TempDir dir;
  WriteCompiled(fs::path("tests") / "fixtures" / "save-project", dir.path);
  TCommandLine cmd;
  cmd.Params = {dir.path.string()};
  cmd.SaveDir = (dir.path / "saves" / "here").string();
  for (bool loaded : {false, true}) {
    HeadlessRun run(dir.path.string());
    run.Run(cmd, 10);
    EXPECT_TRUE(fs::exists(dir.path / "saves" / "here" / "save.dat"));
    EXPECT_FALSE(fs::exists(dir.path / "save.dat"));
    ASSERT_EQ(run.presenter.Width(), 64);
    EXPECT_EQ(run.presenter.Pixels()[32 * 64 + 42], loaded ? 0x0000FFu : 0xFF0000u);  // "seen" after the load
  }
}

}  // namespace
}  // namespace orba

namespace orba {
namespace {

// The pictures folder as the desktop's user-dirs.dirs names it.
TEST(Paths, PicturesFolderFromTheUserDirs) {
  struct Case { std::string text, folder; } cases[] = {
      {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n", "/home/u/Bilder"},
      {"XDG_PICTURES_DIR=\"/srv/pics\"", "/srv/pics"},
      {"XDG_PICTURES_DIR=\"pics\"", ""},         // not absolute
      {"XDG_PICTURES_DIR=\"$HOME/Bilder", ""},   // no closing quote
      {"XDG_MUSIC_DIR=\"$HOME/Music\"", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(posix::Paths::PicturesFolderIn(c.text, "/home/u"), c.folder) << c.text;
}

}  // namespace
}  // namespace orba
