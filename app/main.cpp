// orbaplayer: picks the platform (a desktop window over SDL2, or --headless) and hands
// the command line to the shell. Everything else lives in the core.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "files/replacefile.h"
#include "media/orbalib.h"
#include "platform/audio.h"
#include "platform/fonts.h"
#include "platform/headless/headless.h"
#include "platform/posix/posix.h"
#include "shell/core_subsystems.h"
#include "shell/entry.h"
#include "text/fontpixels.h"
#ifdef ORBA_HAVE_SDL
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_host.h"
#endif

namespace {

using namespace orba;

// 0 for a run that ended as the player meant it to (a second player on the same folder, or one
// started from a disc, ends at once and silently, as it should); 1 when an error stopped it,
// there was nothing to play (said in one line on stderr: the window itself stays silent), or
// dumped frames are missing.
int ExitCode(TRunResult result, TSubsystems& subsystems, int failures = 0) {
  if (result == TRunResult::NothingToPlay) std::fprintf(stderr, "orbaplayer: %s\n", subsystems.StartFailure().c_str());
  bool failed = result == TRunResult::Failed || result == TRunResult::MediaLibraryError ||
                result == TRunResult::NothingToPlay;
  return failed || failures ? 1 : 0;
}

int RunHeadless(const TCommandLine& cmd, platform::Platform base) {
  namespace hl = platform::headless;
  hl::HeadlessPlatform headless;
  headless.dialogs.echoToStderr = true;
  if (!cmd.InputScript.empty()) {
    std::ifstream in(cmd.InputScript, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "orbaplayer: cannot read %s\n", cmd.InputScript.c_str());
      return 2;
    }
    std::stringstream text;
    text << in.rdbuf();
    try {
      hl::LoadInputScript(text.str(), headless.input, headless.dialogs);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "orbaplayer: %s\n", e.what());
      return 2;
    }
  }
  platform::Platform& p = headless.platform;
  p.settings = base.settings;
  p.lock = base.lock;
  p.paths = base.paths;
  p.codecs = base.codecs;
  headless.audio.SetRecording(!cmd.AudioOut.empty());
  const auto& presenter = headless.presenter;

  std::set<int> dumps(cmd.DumpTicks.begin(), cmd.DumpTicks.end());
  int failures = 0;
  auto afterIdle = [&](int pass) {
    if (dumps.count(pass)) {
      char name[64];
      std::snprintf(name, sizeof name, "/frame-%06d.png", pass);
      std::string path = cmd.DumpDir + name;
      if (presenter.PresentCount() == 0 || !hl::WritePng(path, presenter.LastFrame())) {
        std::fprintf(stderr, "orbaplayer: no frame written for pass %d (%s)\n", pass, path.c_str());
        ++failures;
      }
    }
    return cmd.Ticks < 0 || pass < cmd.Ticks;
  };
  auto media = CreateNullMediaLibrary();
  TCoreSubsystems subsystems(*media, &p);
  TRunResult result = RunPlayer(cmd, p, subsystems, media->orbaVersion(), afterIdle);
  if (!cmd.AudioOut.empty() && !headless.audio.WriteWav(cmd.AudioOut)) {
    std::fprintf(stderr, "orbaplayer: cannot write %s\n", cmd.AudioOut.c_str());
    ++failures;
  }
  return ExitCode(result, subsystems, failures);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  TCommandLine cmd = ParseCommandLine(args);
  if (!cmd.Error.empty()) {
    std::fprintf(stderr, "orbaplayer: %s\n%s", cmd.Error.c_str(), UsageText().c_str());
    return 2;
  }
  if (cmd.Help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }

  platform::posix::Clock clock;
  platform::posix::InstanceLock lock;
  platform::posix::Paths paths;
  platform::posix::IniSettings settings;
  SetFileSync(platform::posix::SyncFile);  // saves reach the disk before they replace the old file
  SetFolderSync(platform::posix::SyncFolder);
  platform::Platform p;
  p.clock = &clock;
  p.lock = &lock;
  p.paths = &paths;
  p.settings = &settings;
  auto codecs = platform::CreateAudioCodecs();
  p.codecs = codecs.get();
  // Fonts open when text is first drawn, the headless run's the same as the window's.
  SetFontSourceMaker(platform::CreateFontSource);

  if (cmd.Headless) return RunHeadless(cmd, p);

#ifdef ORBA_HAVE_SDL
  platform::sdl::ScaleOptions scale;
  scale.fit = cmd.Scale == "integer"   ? platform::sdl::ScaleOptions::Fit::Integer
              : cmd.Scale == "stretch" ? platform::sdl::ScaleOptions::Fit::Stretch
                                       : platform::sdl::ScaleOptions::Fit::Aspect;
  scale.smooth = cmd.Filter == "smooth";
  scale.vsync = cmd.VSync;
  platform::sdl::Host host(scale);
  if (!host.Open()) {
    std::fprintf(stderr,
                 "orbaplayer: no display could be opened: %s.\n"
                 "Run with --headless to play without a window, for example:\n"
                 "  orbaplayer --headless --ticks 600 --dump 600 %s\n",
                 host.Error().c_str(), cmd.Params.empty() ? "PROJECT_FOLDER" : cmd.Params[0].c_str());
    return 2;
  }
  p.window = &host;
  p.presenter = &host;
  p.input = &host;
  p.dialogs = &host;
  p.shell = &host;
  platform::sdl::Audio audio;
  p.audio = &audio;
  auto media = CreateNullMediaLibrary();
  TCoreSubsystems subsystems(*media, &p);
  return ExitCode(RunPlayer(cmd, p, subsystems, media->orbaVersion()), subsystems);
#else
  std::fprintf(stderr, "orbaplayer: built without a display platform; run with --headless\n");
  return 2;
#endif
}
