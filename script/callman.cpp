#include "script/callman.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "media/orbalib.h"
#include "values/paramcollection.h"

namespace orba {

namespace {

void Trace(const char* format, const std::string& page, int32_t line) {
  if (!OrbaLog().Enabled()) return;
  char head[32];
  std::snprintf(head, sizeof head, "%.8x : ", static_cast<uint32_t>(Process().GameTime));
  OrbaLog().Write(std::string(head) + format + page + "(" + std::to_string(line) + ")");
}

std::string SenderNameOf(TComponentId id) {
  std::string name;
  if (id != 0 && ComponentRoot() && ComponentRoot()->ComponentName(id, name)) return name;
  return {};
}

TComponentId SenderByName(const std::string& name) {
  return name.empty() || !ComponentRoot() ? 0 : ComponentRoot()->FindComponentId(name);
}

}  // namespace

void TStackList::LevelChanged() {
  if (TParamCollection* vars = Variables()) vars->CurrentLevel = Count();
}

TStack& TStackList::Push() {
  if (Count() >= kMaxFrames) throw EOrbaError(Sjis(u8"スタックエラー"));
  frames_.push_back(std::make_unique<TStack>());
  LevelChanged();
  return *frames_.back();
}

std::unique_ptr<TStack> TStackList::Pop() {
  if (frames_.empty()) throw EOrbaError(Sjis(u8"スタックエラー"));
  auto top = std::move(frames_.back());
  frames_.pop_back();
  LevelChanged();
  return top;
}

void TStackList::Clear() {
  frames_.clear();
  LevelChanged();
}

TCallMan::~TCallMan() = default;

TPage* TCallMan::LoadPage(const std::string& name, bool makeCurrent) {
  for (size_t i = 0; i < cache_.size(); ++i) {
    if (cache_[i]->Name != name) continue;
    if (makeCurrent && i > 0) std::rotate(cache_.begin(), cache_.begin() + static_cast<long>(i), cache_.begin() + static_cast<long>(i) + 1);
    return makeCurrent ? cache_.front().get() : cache_[i].get();
  }
  auto page = std::make_unique<TPage>();
  page->Load(name);  // raises when the file cannot be read: nothing has changed
  TPage* p = page.get();
  if (!makeCurrent) {
    cache_.push_back(std::move(page));
    return p;
  }
  cache_.insert(cache_.begin(), std::move(page));
  while (cache_.size() > kCacheSize && cache_.back().get() != CurrentPage) cache_.pop_back();
  return p;
}

TPage* TCallMan::StartPage(const std::string& name) {
  TPage* page = LoadPage(name, true);
  CurrentPage = page;
  PC = 0;
  Started = false;
  Args.Clear();
  Mode = 0;
  Stack.Clear();
  Sender = 0;
  if (TTimerList* events = Events()) events->RemoveRunning(1, EventLevel);
  EventLevel = 2;
  return page;
}

std::string TCallMan::SenderName() const { return Mode != 0 ? SenderNameOf(Sender) : std::string(); }

TCustomParam* TCallMan::CallResult() {
  TStack* top = Stack.Top();
  return top ? top->Result.get() : nullptr;
}

TCommand* TCallMan::CurrentCommand() const {
  if (!CurrentPage || PC < 0 || PC >= static_cast<int32_t>(CurrentPage->Commands.size())) return nullptr;
  return CurrentPage->Commands[static_cast<size_t>(PC)].get();
}

bool TCallMan::CommandBlocksEvents() const {
  TCommand* command = CommandInProgress();
  return command && command->BlocksEvents();
}

void TCallMan::CallPage(const std::string& pageName, int32_t target, const std::string& resultVar, TArrayString args,
                        TPage*& page, int32_t& pc) {
  TPage* called = LoadPage(pageName, true);
  TStack& frame = Stack.Push();
  frame.PageName = page ? page->Name : std::string();
  frame.PC = pc;
  frame.ResultVar = resultVar;
  frame.Continue = Continue;
  frame.Sender = Sender;
  frame.Args = Args;
  frame.Result = CreateParam(called->ResultType);
  Args = std::move(args);
  page = called;
  pc = target;
}

inline void TCallMan::ExecuteCommand(TPage*& page, bool& yield) {
  yield = false;
  if (static_cast<uint32_t>(PC) >= page->Commands.size()) {
    page = nullptr;
    return;
  }
  TPage* startPage = page;
  const int32_t startPC = PC;
  TCommand& command = *page->Commands[static_cast<size_t>(PC)];
  try {
    if (OrbaLog().Enabled() && &command != lastTraced_) {
      lastTraced_ = &command;
      Trace("", page->Name, command.Line);
    }
    if (!Started) {
      if (command.GetDisabled()) {
        ++PC;
        return;
      }
      command.Start(*this);
      Started = true;
    }
    Continue = command.GetRunOn();
    yield = command.Yields();
    command.Execute(*this, page, PC);
  } catch (const ENeedsRebuild&) {
    throw;  // the player stops (Run)
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    // A failing command is passed over silently: what it did to page and PC stands.
  }
  if (page != startPage || PC != startPC) Started = false;
  else Continue = false;  // waiting or retrying: the run of this tick ends
}

int TCallMan::ExecuteStep() {
  TPage* page = CurrentPage;
  if (!page) return 0;
  bool yield = false;
  ExecuteCommand(page, yield);
  int r = yield ? 2 : 0;
  if (page) {
    CurrentPage = page;
    return r;
  }
  if (Stack.Count() == 0) {
    Continue = false;  // the program rests at the end of its page; events still run
    // A handler with no frame to return to (only a damaged saved state leaves one): its
    // event is over, and the main script rests.
    if (Mode != 0) {
      if (TTimerList* events = Events()) events->RemoveRunning(1, EventLevel);
      Mode = 0;
      EventLevel = 2;
    }
    return r;
  }
  // Return from a call.
  if (TParamCollection* vars = Variables()) vars->FreeLevel(Stack.Count());
  std::unique_ptr<TStack> frame = Stack.Pop();
  if (!frame->ResultVar.empty() && frame->Result) {
    if (TParamCollection* vars = Variables())
      if (auto* v = vars->FindVariable(frame->ResultVar); v && v->Param()) v->Param()->ConvertFrom(*frame->Result);
  }
  CurrentPage = LoadPage(frame->PageName, true);
  PC = frame->PC;
  Started = frame->Started;
  Continue = frame->Continue;
  Args = frame->Args;
  Sender = frame->Sender;
  if (TCommand* command = CurrentCommand(); frame->State && command) {
    frame->State->SetPosition(0);
    command->LoadState(*frame->State);
  }
  // Only the end of an event handler ends its event: a page called inside a handler returns
  // like any call.
  if (frame->Origin == TStack::TOrigin::Call) return r;
  if (Sender == 0) return 1;
  return r != 0 ? r : -1;
}

void TCallMan::SplitHandler(const std::string& handler, std::string& file, std::string& label) {
  // Scanning from the end, a ':' met before any '.' or '\' separates the label.
  size_t colon = std::string::npos;
  std::vector<size_t> starts;
  for (size_t i = 0; i < handler.size(); i += CharLenAt(handler, i)) starts.push_back(i);
  for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
    char c = handler[*it];
    if (CharLenAt(handler, *it) != 1) continue;
    if (c == '.' || c == '\\') break;
    if (c == ':') {
      colon = *it;
      break;
    }
  }
  file = colon == std::string::npos ? handler : handler.substr(0, colon);
  label = colon == std::string::npos ? std::string() : handler.substr(colon + 1);
  // The handler names the page by its source file: its last three characters become "rsb".
  size_t cut = ByteOffsetOfChar(file, CharCount(file) >= 3 ? CharCount(file) - 3 : 0);
  file = file.substr(0, cut) + "rsb";
}

int TCallMan::DispatchEvent(int32_t level) {
  TTimerList* events = Events();
  TTimerData* item = events ? events->FirstWaiting() : nullptr;
  if (!item || CommandBlocksEvents()) return 0;
  std::string file, label;
  SplitHandler(item->Handler, file, label);
  if (host_ && !host_->CheckFileAvailable(file)) return 0;
  if (Stack.Count() >= TStackList::kMaxFrames) return 0;  // no room for the handler's frame: it waits
  TPage* page;
  try {
    page = LoadPage(file, true);  // before anything changes
  } catch (const ENeedsRebuild&) {
    throw;
  } catch (...) {
    item->RunningId = -1;  // a handler page that cannot be read is dropped, not retried each tick
    events->RemoveRunning(-1, -1);
    return 0;
  }
  PushReturnFrame().Origin = TStack::TOrigin::Event;
  CurrentPage = page;
  PC = label.empty() ? 0 : std::max(0, page->FindLabel(label));
  if (PC < static_cast<int32_t>(page->Commands.size()))
    Trace("<Event>", file, page->Commands[static_cast<size_t>(PC)]->Line);
  Started = false;
  item->RunningId = level;
  Args = item->Params;
  Sender = item->Sender;
  Mode = 1;
  return 1;
}

void TCallMan::Poll() {
  pollCountdown_ = kCommandsPerPoll;
  if (host_) host_->KeepResponsive();
}

void TCallMan::Stop(const std::string& text) {
  Continue = false;
  if (host_) host_->StopWithWarning(text);
  Process().Terminating = true;
}

bool TCallMan::Run() {
  // A page too old to run and exhausted memory end the player; every other error of a
  // command is passed over where it happened.
  try {
    RunSteps();
  } catch (const ENeedsRebuild& e) {
    Stop(e.Message());
  } catch (const std::bad_alloc&) {
    Stack.Clear();  // most likely what took the memory; the message needs some back
    Stop(Sjis(u8"メモリが足りません"));
  }
  return true;
}

void TCallMan::RunSteps() {
  auto& proc = Process();
  do {
    CountCommands(1);
    switch (Mode) {
      case 0:
        if (EventWaiting() && DispatchEvent(1) == 1) break;
        if (!RunPlainCommands()) ExecuteStep();
        break;
      case 1: {
        int r = ExecuteStep();
        if (r == 1) {
          if (TTimerList* events = Events()) events->RemoveRunning(1, 1);
          Mode = 0;
          Continue = true;
        } else if (r == 2) {
          EventLevel = 2;
          Mode = 2;
          return;
        } else if (Mode != 1) {
          Continue = true;
        }
        break;
      }
      case 2: {
        int rc = DispatchEvent(EventLevel);
        if (rc == 0) {
          Mode = EventLevel > 2 ? 3 : 1;
        } else {
          ++EventLevel;
          Mode = 3;
        }
        break;
      }
      case 3: {
        int r = ExecuteStep();
        if (r == 1 || r == -1) {
          --EventLevel;
          if (TTimerList* events = Events()) events->RemoveRunning(EventLevel, EventLevel);
          if (EventLevel <= 2) Mode = 2;
        } else if (r == 2) {
          Mode = 2;
          return;
        }
        break;
      }
      default:
        Mode = 0;
        break;
    }
  } while ((Continue || Mode != 0) && !proc.Terminating);
}

namespace {

void WriteFrame(TBinaryWriter& w, const TStack& f) {
  w.String(f.PageName);
  w.I32(f.PC);
  w.Bool(f.Started);
  w.Bool(f.Continue);
  w.String(f.ResultVar);
  f.Args.WriteTo(w);
  w.String(SenderNameOf(f.Sender));
  if (f.State) {
    w.I32(static_cast<int32_t>(f.State->GetSize()));
    w.Write(f.State->Bytes().data(), f.State->GetSize());
  } else {
    w.I32(0);
  }
  w.U8(f.Result ? f.Result->ValueType() : 0);
  if (f.Result) f.Result->SaveToStream(w);
}

// A saved frame does not say who pushed it; this tells it from what the state holds. Event
// dispatch pushes a frame without a result value and a call always gives its frame one; the
// mode and the event level say how many events are running, one frame each. When the frames
// without a result are exactly that many, they are the events' frames; otherwise those are
// left undecided (the frames with a result are calls all the same).
void MarkEventFrames(std::vector<std::unique_ptr<TStack>>& frames, int32_t mode, int32_t level) {
  const int32_t running = mode == 0 ? 0 : mode == 1 ? 1 : level - 1;
  int32_t without = 0;
  for (const auto& f : frames) without += f->Result ? 0 : 1;
  for (auto& f : frames) {
    if (f->Result || running == 0) f->Origin = TStack::TOrigin::Call;
    else f->Origin = without == running ? TStack::TOrigin::Event : TStack::TOrigin::Unknown;
  }
}

void ReadFrame(TBinaryReader& r, TStack& f) {
  f.PageName = r.String();
  f.PC = r.I32();
  f.Started = r.Bool();
  f.Continue = r.Bool();
  f.ResultVar = r.String();
  f.Args.ReadFrom(r);
  f.Sender = SenderByName(r.String());
  int32_t size = r.I32();
  if (size > 0) {
    std::string bytes = r.Bytes(size);
    f.State = std::make_unique<TKvMemoryStream>(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  }
  uint8_t type = r.U8();
  if (type != 0) {
    if (type > 4) throw EReadError(Sjis(u8"データが途中で終わっています"));
    f.Result = CreateParam(type);
    f.Result->LoadFromStream(r);
  }
}

}  // namespace

TStack& TCallMan::PushReturnFrame() {
  TStack& frame = Stack.Push();
  frame.PageName = CurrentPage ? CurrentPage->Name : std::string();
  frame.PC = PC;
  frame.Started = Started;
  frame.Args = Args;
  frame.Sender = Sender;
  frame.Continue = Continue;
  if (TCommand* command = CommandInProgress()) {
    frame.State = std::make_unique<TKvMemoryStream>();
    command->SaveState(*frame.State);
  }
  return frame;
}

void TCallMan::ResumeWith(const std::string& name, int32_t index) {
  TPage* page = LoadPage(name, true);
  if (CurrentPage) PushReturnFrame();
  CurrentPage = page;
  PC = std::max(0, index);
  Started = false;
}

void TCallMan::SaveToStream(TKvBigStream& stream) const {
  TBinaryWriter w(stream);
  w.String(CurrentPage ? CurrentPage->Name : std::string());
  w.I32(PC);
  w.Bool(Continue);
  w.Bool(Started);
  w.I32(Mode);
  w.String(SenderNameOf(Sender));
  Args.WriteTo(w);
  WriteFrame(w, TStack{});  // the spare frame
  auto& stack = const_cast<TStackList&>(Stack);
  w.I32(stack.Count());
  for (int32_t i = 0; i < stack.Count(); ++i) WriteFrame(w, stack.Item(i));
  w.I32(EventLevel);
  if (TCommand* command = CommandInProgress()) command->SaveState(stream);
}

void TCallMan::LoadFromStream(TKvBigStream& stream, int32_t version) {
  TBinaryReader r(stream);
  std::string name = r.String();
  int32_t pc = r.I32();
  bool cont = r.Bool();
  bool started = r.Bool();
  int32_t mode = r.I32();
  TComponentId sender = SenderByName(r.String());
  TArrayString args;
  args.ReadFrom(r);
  TStack spare;
  ReadFrame(r, spare);
  int32_t count = r.Count(22);  // the smallest frame takes 22 bytes
  std::vector<std::unique_ptr<TStack>> frames;
  for (int32_t i = 0; i < count; ++i) {
    frames.push_back(std::make_unique<TStack>());
    ReadFrame(r, *frames.back());
  }
  int32_t level = version < 116 ? 2 : r.I32();
  MarkEventFrames(frames, mode, level);
  if ((mode == 1 || mode == 3) && frames.empty()) mode = 0;  // no handler can be running
  TPage* page = name.empty() ? nullptr : LoadPage(name, true);
  // Everything was read: only now does the interpreter change.
  CurrentPage = page;
  PC = pc;
  Continue = cont;
  Started = started;
  Mode = mode;
  Sender = sender;
  Args = std::move(args);
  Stack.Clear();
  for (auto& f : frames) {
    TStack& top = Stack.Push();
    top = std::move(*f);
  }
  EventLevel = level;
  if (TCommand* command = CommandInProgress()) command->LoadState(stream);
}

}  // namespace orba
