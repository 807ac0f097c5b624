#include "shell/entry.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>

#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "components/mes.h"
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
         "  --save-dir DIR      keep saved games and status data (save.dat) in DIR\n"
         "  --text-hook [clipboard]  print each message page's text as it starts (UTF-8, a group of\n"
         "                      lines a page, an empty line after each) or put it on the clipboard\n"
         "  --fast-forward      start with fast-forward on: eight ticks of game time a frame, sound muted\n"
         "  --help              this text\n"
         "keys (the script sees them as well):\n"
         "  F8                  fast-forward on or off (also the toolbar button)\n"
         "  F3                  frame-time overlay on or off: tick, paint and present times\n"
         "  F12                 screenshot: the frame shown as PNG in $XDG_PICTURES_DIR/orbaplayer/\n"
         "                      (else the save folder); its path goes to stderr and the trace\n";
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
    } else if (a == "--text-hook") {
      // The word after it is the destination only when it names one; else it is a folder.
      bool named = i + 1 < args.size() && (args[i + 1] == "clipboard" || args[i + 1] == "stdout");
      cmd.TextHook = named ? args[++i] : "stdout";
    } else if (a == "--save-dir") {
      if (auto v = value(i)) cmd.SaveDir = *v;
    } else if (a == "--fast-forward") {
      cmd.FastForward = true;
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

std::string TextHookGroup(const std::string& cp932PageText) {
  std::string text = ToUtf8(cp932PageText), out;
  out.reserve(text.size() + 2);
  for (char c : text)
    if (c != '\r') out += c;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out + "\n\n";
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

  // The text hook hears every page that starts, on a terminal or the clipboard.
  struct HookGuard {
    explicit HookGuard(TMessagePageListener l) : previous(SetMessagePageListener(std::move(l))) {}
    ~HookGuard() { SetMessagePageListener(std::move(previous)); }
    TMessagePageListener previous;
  } hook(cmd.TextHook.empty() ? TMessagePageListener() : [&platform, toClipboard = cmd.TextHook == "clipboard"](const std::string& text) {
    std::string group = TextHookGroup(text);
    if (toClipboard) {
      if (platform.shell) platform.shell->SetClipboardText(group);
    } else {
      std::fwrite(group.data(), 1, group.size(), stdout);
      std::fflush(stdout);
    }
  });

  TFormView view(platform, subsystems, TViewOptions{cmd.Params, exeFolder, platform.paths->ExecutablePath()},
                 TPlayOptions{cmd.FastForward, cmd.SaveDir});
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
