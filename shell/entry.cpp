#include "shell/entry.h"

#include <algorithm>
#include <charconv>
#include <sstream>

#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "media/orbalib.h"
#include "files/diskpath.h"
#include "shell/instance_key.h"
#include "shell/view.h"

namespace orba {

namespace {

bool ParseInt(const std::string& s, int& out) {
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && ptr == s.data() + s.size();
}

bool IsConfigSwitch(const std::string& param) { return SameText(param, "/config"); }

}  // namespace

std::string UsageText() {
  return "usage: orbaplayer [options] [PROJECT_FOLDER [MORE_FOLDERS...] | /config]\n"
         "  --headless          run without a window: fake clock of 16 ms a pass\n"
         "  --ticks N           headless: stop after N passes of the main loop\n"
         "  --input FILE        headless: scripted input (see docs/headless.md)\n"
         "  --dump T1,T2,...    headless: write the presented frame after these passes as PNG\n"
         "  --dump-dir DIR      where --dump writes frame-NNNNNN.png (default .)\n"
         "  --scale MODE        a larger window or full screen: aspect (default), integer or stretch\n"
         "  --filter MODE       scaling filter: nearest (default) or smooth\n"
         "  --no-vsync          do not wait for the display's refresh when presenting\n"
         "  --log               write the script trace to dbglog.txt\n"
         "  --audio-out FILE    headless: write the sound the player mixed as a WAV file\n"
         "  --help              this text\n";
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine cmd;
  auto value = [&](size_t& i) -> const std::string* {
    if (i + 1 >= args.size()) {
      cmd.Error = args[i] + " needs a value";
      return nullptr;
    }
    return &args[++i];
  };
  for (size_t i = 0; i < args.size() && cmd.Error.empty(); ++i) {
    const std::string& a = args[i];
    if (a == "--headless") {
      cmd.Headless = true;
    } else if (a == "--ticks") {
      if (auto v = value(i); v && (!ParseInt(*v, cmd.Ticks) || cmd.Ticks < 0)) cmd.Error = "bad --ticks: " + *v;
    } else if (a == "--input") {
      if (auto v = value(i)) cmd.InputScript = *v;
    } else if (a == "--dump") {
      if (auto v = value(i)) {
        std::stringstream ss(*v);
        std::string item;
        while (std::getline(ss, item, ',')) {
          int t = 0;
          if (!ParseInt(item, t) || t < 1) {
            cmd.Error = "bad --dump: " + *v;
            break;
          }
          cmd.DumpTicks.push_back(t);
        }
      }
    } else if (a == "--dump-dir") {
      if (auto v = value(i)) cmd.DumpDir = *v;
    } else if (a == "--scale") {
      if (auto v = value(i); v && (*v == "aspect" || *v == "integer" || *v == "stretch")) cmd.Scale = *v;
      else if (v) cmd.Error = "bad --scale: " + *v;
    } else if (a == "--filter") {
      if (auto v = value(i); v && (*v == "nearest" || *v == "smooth")) cmd.Filter = *v;
      else if (v) cmd.Error = "bad --filter: " + *v;
    } else if (a == "--no-vsync") {
      cmd.VSync = false;
    } else if (a == "--log") {
      cmd.Log = true;
    } else if (a == "--audio-out") {
      if (auto v = value(i)) cmd.AudioOut = *v;
    } else if (a == "--help" || a == "-h") {
      cmd.Help = true;
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      cmd.Error = "unknown option " + a;
    } else {
      cmd.Params.push_back(a);
    }
  }
  return cmd;
}

std::string InstanceKeyFor(const std::vector<std::string>& params, const std::string& exeFolder,
                           platform::IPaths& paths) {
  if (!params.empty() && IsConfigSwitch(params[0])) return BuildInstanceKey(FromUtf8(params[0]));
  std::string folder = params.empty() ? exeFolder : paths.AbsoluteFolder(params[0]);
  return BuildInstanceKey(StoredPathOf(folder));
}

bool IsOnDisc(const std::string& path, const std::vector<std::string>& discFolders) {
  return std::any_of(discFolders.begin(), discFolders.end(),
                     [&](const std::string& disc) { return !disc.empty() && path.compare(0, disc.size(), disc) == 0; });
}

TRunResult RunPlayer(const TCommandLine& cmd, platform::Platform& platform, TSubsystems& subsystems,
                     int mediaLibraryVersion, const std::function<bool(int)>& afterIdle) {
  // The player never runs from a disc (it is installed first): it ends at once, without a
  // window or a message.
  if (IsOnDisc(platform.paths->ExecutablePath(), platform.paths->DiscFolders())) return TRunResult::FromDisc;
  std::string exeFolder = platform.paths->ExecutableFolder();
  auto lock = platform.lock->TryAcquire(InstanceKeyFor(cmd.Params, exeFolder, *platform.paths));
  if (!lock) return TRunResult::AlreadyRunning;  // another player has this folder: end silently

  if (!cmd.Params.empty() && IsConfigSwitch(cmd.Params[0])) {
    platform.dialogs->MessageBox("OrbaPlayer", ToUtf8(Sjis(u8"設定画面はまだありません。")) + "\n" + exeFolder + "game.ini",
                                 platform::DialogButtons::Ok, platform::DialogIcon::Information);
    return TRunResult::Config;
  }

  if (mediaLibraryVersion != IOrbaMediaLibrary::kRequiredVersion) {
    platform.dialogs->MessageBox("Error", ToUtf8(Sjis(u8"orba.dllのバージョンがあいません")),
                                 platform::DialogButtons::Ok, platform::DialogIcon::Warning);
    return TRunResult::MediaLibraryError;
  }

  // The trace log goes beside the project when one is named, else beside the executable.
  if (cmd.Log) {
    std::string folder = cmd.Params.empty() ? exeFolder : platform.paths->AbsoluteFolder(cmd.Params[0]) + "/";
    OrbaLog().Init(folder + "dbglog.txt");
  }

  TFormView view(platform, subsystems, TViewOptions{cmd.Params, exeFolder, platform.paths->ExecutablePath()});
  // Whatever escapes start-up or the loop (an unreadable game.dat is read before the guarded
  // stage) is shown, and the shutdown still runs.
  try {
    view.FormCreate();
    if (!view.ClosePosted()) view.RunMessageLoop(afterIdle);
  } catch (...) {
    view.Fail(CurrentErrorText());
  }
  try {
    view.FormClose();
  } catch (...) {
    view.Fail(CurrentErrorText());
  }
  OrbaLog().Final();
  if (view.Failed()) return TRunResult::Failed;
  return subsystems.StartFailure().empty() ? TRunResult::Ran : TRunResult::NothingToPlay;
}

}  // namespace orba
