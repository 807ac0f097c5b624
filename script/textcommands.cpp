// The commands that put text into message windows and drive the history and the read marks:
// text insertion (the compiled glyph list lives in the command; the window is only told its
// page and position), text clear, the history call, clear and settings, and the read-mark
// clear. Also the loader that fetches a command's glyph list by page name and index for the
// windows' compiled-text caches and the history.
#include "base/binio.h"
#include "base/error.h"
#include "base/stream.h"
#include "components/baselist.h"
#include "components/history.h"
#include "components/mes.h"
#include "script/callman.h"
#include "script/commandhandlers.h"
#include "script/fieldvalues.h"
#include "text/kvword.h"

namespace orba {

namespace {

namespace F {
enum : uint8_t { Text, Window, MarkRead, WaitEnd, BlockEvents };
}

// The page file named page (loaded afresh) and the glyph list of its command at index command.
TTextLoad LoadTextIns(const std::string& page, int32_t command, TKvWord& word) {
  TPage loaded;
  try {
    loaded.Load(page);
  } catch (const EOrbaError&) {
    return TTextLoad::NoPage;
  }
  if (command < 0 || static_cast<size_t>(command) >= loaded.Commands.size()) return TTextLoad::NoCommand;
  const TCommand& c = *loaded.Commands[static_cast<size_t>(command)];
  if (c.Kind() != cmd::kTextIns || c.Text(F::Text).empty()) return TTextLoad::NoCommand;
  try {
    TKvMemoryStream stream;
    stream.Write(c.Text(F::Text).data(), c.Text(F::Text).size());
    stream.SetPosition(0);
    word.LoadGlyphs(stream);
  } catch (const EOrbaError&) {
    return TTextLoad::NoCommand;
  }
  return TTextLoad::Loaded;
}

[[maybe_unused]] const bool kLoaderInstalled = (SetCompiledTextLoader(LoadTextIns), true);

TOrbaMes* WindowNamed(const TFieldValue& field) {
  TOrbaBaseList* list = ComponentList();
  if (!list) return nullptr;
  return dynamic_cast<TOrbaMes*>(list->FindControl(Text(field)));
}

int32_t IndexInPage(const TCommand& c) {
  const auto& commands = c.Page().Commands;
  for (size_t i = 0; i < commands.size(); ++i)
    if (commands[i].get() == &c) return static_cast<int32_t>(i);
  return -1;
}

class TTextInsHandler : public TAwaitingHandler {
 public:
  void Start(TCommand& c, TCallMan&) const override {
    auto& s = StateOf<TAwaitState>(c);
    s.BlockEvents = Flag(c.Field(F::BlockEvents), false);
    s.AwaitName.clear();
    s.Waiting = false;
    TOrbaMes* m = c.Text(F::Text).empty() ? nullptr : WindowNamed(c.Field(F::Window));
    if (!m) return;
    s.AwaitName = m->Name();
    m->InsertText(c.Page().Name, IndexInPage(c), Flag(c.Field(F::MarkRead), false));
    s.Waiting = Flag(c.Field(F::WaitEnd), false);
  }
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    const auto& s = StateOf<TAwaitState>(c);
    TOrbaBaseList* list = ComponentList();
    auto* m = s.AwaitName.empty() || !list ? nullptr : dynamic_cast<TOrbaMes*>(list->FindControl(s.AwaitName));
    if (m && s.Waiting && m->PageCount() != 0) return;  // until the window's pages are cleared
    ++pc;
  }
};

// A one-step command: does its work and goes on.
template <void (*Work)(const TCommand&)>
class TStepHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    Work(c);
    ++pc;
  }
};

void TextClr(const TCommand& c) {
  if (TOrbaMes* m = WindowNamed(c.Field(0))) {
    m->ReadMode = 0;
    m->SetText({});
  }
}

void CallHist(const TCommand& c) {
  TOrbaMes* m = WindowNamed(c.Field(0));
  if (!m) return;
  TOrbaNewHistory& h = MessageHistory();
  const int32_t first = std::max(0, Int(c.Field(1), 0));
  const int32_t count = std::min<int64_t>(Int(c.Field(2), 1), int64_t{h.Total()} - first);
  if (count <= 0) return;
  m->PackHistory = Flag(c.Field(3), false);
  h.Show(first, count, *m);
}

void ClrHist(const TCommand&) { MessageHistory().Clear(); }

void EntryHist(const TCommand& c) {
  TOrbaBaseList* list = ComponentList();
  TOrbaComponent* from = list ? list->FindComponent(Text(c.Field(0))) : nullptr;
  if (!from) return;
  MessageHistory().SetSettings({from->GetInt(PR_FONTHEIGHT), from->GetInt(PR_FONTBORDER), from->GetInt(PR_FONTSHADOW),
                                 from->GetInt(PR_WIDTH), from->GetInt(PR_HEIGHT), from->GetInt(PR_LINESPACE)});
}

void ClrRead(const TCommand&) { MessageReadList().ClearMarks(); }

const TTextInsHandler textIns;
const TStepHandler<TextClr> textClr;
const TStepHandler<CallHist> callHist;
const TStepHandler<ClrHist> clrHist;
const TStepHandler<EntryHist> entryHist;
const TStepHandler<ClrRead> clrRead;

}  // namespace

namespace handlers {
const TCommandHandler& kTextIns = textIns;
const TCommandHandler& kTextClr = textClr;
const TCommandHandler& kCallHist = callHist;
const TCommandHandler& kClrHist = clrHist;
const TCommandHandler& kEntryHist = entryHist;
const TCommandHandler& kClrRead = clrRead;
}  // namespace handlers

}  // namespace orba
