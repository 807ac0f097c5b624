// The interpreter: runs the current page command by command once per tick, calls pages like
// subroutines with arguments and results, and runs the handler pages of component events as
// nested calls. Pages stay in a small cache of the most recently used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/lists.h"
#include "base/stream.h"
#include "components/events.h"
#include "script/page.h"
#include "values/params.h"

namespace orba {

// What the interpreter asks of the project.
class IScriptHost {
 public:
  virtual ~IScriptHost() = default;
  // Whether a page (or other file) may be used now; may ask for a disc.
  virtual bool CheckFileAvailable(const std::string& name) = 0;
  virtual void RequestSave(int32_t slot, const std::string& page, int32_t line, const std::string& caption) = 0;
  virtual void RequestLoad(int32_t slot) = 0;
  // Stops the player: the stop flag is set and the main window closes.
  virtual void Terminate() = 0;
  // Stops the player with a warning shown first (a page that must be rebuilt, memory gone).
  virtual void StopWithWarning(const std::string& /*text*/) {}
  // A new game's data: the game's data tables freed (the status tables stay), and the
  // message history emptied with no limit on its length.
  virtual void ClearGameTables() {}
  virtual void ClearHistory() {}
  // Called every so many commands while one run goes on, so that a script that never waits
  // leaves the player closable; may set the stop flag.
  virtual void KeepResponsive() {}
};

// One call frame.
struct TStack {
  std::string PageName;
  int32_t PC = 0;
  bool Started = false;
  std::string ResultVar;
  TArrayString Args;
  TComponentId Sender = 0;
  bool Continue = false;
  std::unique_ptr<TKvMemoryStream> State;  // state block of the interrupted command
  std::unique_ptr<TCustomParam> Result;    // "@Result" of the call
  // Who pushed the frame. Only the return from an event's frame ends that event; a frame
  // read from a saved game whose origin could not be told ends the event when the return
  // leaves no sender, as older players did for every frame.
  enum class TOrigin : uint8_t { Call, Event, Unknown } Origin = TOrigin::Call;
};

class TStackList {
 public:
  // The deepest stack: enough for projects that call without ever returning (each such call
  // keeps its frame) while the frames stay within about 100 MB.
  static constexpr int32_t kMaxFrames = 250000;

  // A new top frame; raises "スタックエラー" when the stack is full.
  TStack& Push();
  // The top frame, removed; raises "スタックエラー" on an empty stack.
  std::unique_ptr<TStack> Pop();
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(frames_.size()); }
  TStack& Item(int32_t i) { return *frames_[static_cast<size_t>(i)]; }
  TStack* Top() { return frames_.empty() ? nullptr : frames_.back().get(); }

 private:
  void LevelChanged();
  std::vector<std::unique_ptr<TStack>> frames_;
};

class TCallMan {
 public:
  static constexpr int kCacheSize = 10;

  explicit TCallMan(IScriptHost* host = nullptr) : host_(host) {}
  ~TCallMan();

  TPage* CurrentPage = nullptr;
  int32_t PC = 0;
  bool Continue = false;
  TStackList Stack;
  bool Started = false;
  TArrayString Args;
  int32_t Mode = 0;
  TComponentId Sender = 0;
  int32_t EventLevel = 2;

  // Makes name the current page at its start with an empty stack; the running events go.
  TPage* StartPage(const std::string& name);
  // A page from the cache, or loaded into it; makeCurrent also moves it to the front (and
  // trims the cache to 10 pages, keeping the current page). Raises when loading fails.
  TPage* LoadPage(const std::string& name, bool makeCurrent);
  // One tick of the script. Returns true.
  bool Run();

  int32_t ArgCount() const { return Args.Count(); }
  std::string Arg(int32_t i) const { return i >= 0 && i < Args.Count() ? Args[i] : std::string(); }
  std::string SenderName() const;
  TCustomParam* CallResult();
  bool CommandBlocksEvents() const;
  // The command at PC of the current page, or null when PC is outside it.
  TCommand* CurrentCommand() const;
  // The same, but only while that command is in progress (Started).
  TCommand* CommandInProgress() const { return Started ? CurrentCommand() : nullptr; }

  // Calls page at target with the arguments; the frame returns to this page after pc.
  // Loads the page first: when that fails nothing has changed and the error is raised.
  void CallPage(const std::string& pageName, int32_t target, const std::string& resultVar, TArrayString args,
                TPage*& page, int32_t& pc);

  // Makes page current at index (0 when below) with no command in progress; when a page was
  // current, a frame returns to where it stood, its command in progress included. A loaded
  // game resumes so: its resume page first, then the saved position. Raises when the page
  // cannot be loaded, with nothing changed.
  void ResumeWith(const std::string& page, int32_t index);

  // The interpreter's state inside a saved game.
  void SaveToStream(TKvBigStream& stream) const;
  void LoadFromStream(TKvBigStream& stream, int32_t version);

  IScriptHost* Host() const { return host_; }
  int CachedPages() const { return static_cast<int>(cache_.size()); }

  // Splits an event handler text into page file (its last three characters made "rsb") and
  // label; the label is empty when the text has none.
  static void SplitHandler(const std::string& handler, std::string& file, std::string& label);

 private:
  // A frame that returns to where the interpreter stands, with the state of the command in
  // progress.
  TStack& PushReturnFrame();
  // The steps of Run, which ends the player on the errors that must not be passed over.
  void RunSteps();
  void ExecuteCommand(TPage*& page, bool& yield);
  // Runs the commands of plain kinds from the counter on, up to one of another kind, the end
  // of the page, the end of the run or a waiting event; false when it ran none.
  bool RunPlainCommands();
  int ExecuteStep();
  int DispatchEvent(int32_t level);
  TTimerList* Events() const {
    IComponentRoot* root = ComponentRoot();
    return root ? &root->Events() : nullptr;
  }
  // Whether the queue holds an event not yet running (asked before every command).
  bool EventWaiting() const {
    TTimerList* events = Events();
    return events && events->FirstWaiting();
  }

  // Commands between two calls of the host's KeepResponsive.
  static constexpr int32_t kCommandsPerPoll = 1 << 14;
  void CountCommands(int32_t n) {
    pollCountdown_ -= n;
    if (pollCountdown_ <= 0) Poll();
  }
  void Poll();
  // Ends the run and the player with a warning.
  void Stop(const std::string& text);

  IScriptHost* host_;
  int32_t pollCountdown_ = kCommandsPerPoll;
  std::vector<std::unique_ptr<TPage>> cache_;  // most recently used first
  const TCommand* lastTraced_ = nullptr;
};

}  // namespace orba
