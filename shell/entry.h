// The player's entry point: the command line, the one-player-per-folder rule, the media
// library check, then the main window's life from start-up to shutdown.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/subsystems.h"

namespace orba {

struct TCommandLine {
  std::vector<std::string> Params;  // folders (or "/config"), native UTF-8
  bool Headless = false;
  int Ticks = -1;              // headless: idle passes to run; -1 until the window closes
  std::string InputScript;     // headless: scripted input file
  std::vector<int> DumpTicks;  // headless: passes after which the frame is written as PNG
  std::string DumpDir = ".";
  bool Log = false;            // write the interpreter's trace to dbglog.txt
  std::string AudioOut;        // headless: the mixed sound is written here as a WAV file
  std::string Scale = "aspect";  // a larger window shows the picture: aspect, integer or stretch
  std::string Filter = "nearest";  // scaling filter: nearest or smooth
  bool VSync = true;
  bool FastForward = false;    // start with fast-forward on (eight ticks a frame, sound muted)
  std::string SaveDir;         // saves go to this folder (made when missing)
  std::string TextHook;        // each message page's text to "stdout" or the "clipboard"; empty: off
  bool Help = false;
  std::string Error;           // set when the command line could not be understood
};

TCommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

// The instance key of a command line: the first parameter ("/config" as it stands, a folder
// in its absolute stored form) or the executable's folder.
std::string InstanceKeyFor(const std::vector<std::string>& params, const std::string& exeFolder,
                           platform::IPaths& paths);

// Failed: an error stopped the player (it was shown in a warning box, and the shutdown ran).
// NothingToPlay: the project could not start (TSubsystems::StartFailure says why).
// FromDisc: the player was started from a disc and ended at once, silently.
enum class TRunResult { Ran, AlreadyRunning, Config, MediaLibraryError, Failed, NothingToPlay, FromDisc };

// Whether the file at path lies on one of the mounted discs (folders with a trailing '/').
bool IsOnDisc(const std::string& path, const std::vector<std::string>& discFolders);

// Runs the player to its end. afterIdle is handed to the message loop (headless runs use it
// to count passes and dump frames).
// The text of a message page as the text hook hands it on: UTF-8, one row a line (a row that
// ends the page's text ends its line too), then an empty line closing the page's group.
std::string TextHookGroup(const std::string& cp932PageText);

TRunResult RunPlayer(const TCommandLine& cmd, platform::Platform& platform, TSubsystems& subsystems,
                     int mediaLibraryVersion, const std::function<bool(int)>& afterIdle = {});

}  // namespace orba
