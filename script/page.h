// Compiled pages: a page file holds the property sets of the component kinds and a flat list
// of commands, each a base record followed by the fields of its kind. One table describes
// every kind's fields with their version gates; the reader and the writer both walk it, so
// they cannot disagree about a record's structure.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/binio.h"
#include "values/parser.h"

namespace orba {

constexpr int kCommandKinds = 61;
constexpr int kPropertyCount = 162;
constexpr int kPropertySetSize = 21;  // 168 bits, of which 0..161 are used

enum class TFieldKind : uint8_t {
  Expr,      // one stored expression
  String,    // int32 length + bytes
  Int32,
  Byte,
  Block,     // int32 length + bytes kept as they are (a stored glyph list)
  ExprList,  // int32 count + that many expressions
  Props,     // the property block: one expression per property whose bit is set
};

struct TFieldLayout {
  TFieldKind Kind;
  const char* Name;     // how the page source calls the field
  int32_t AfterVersion; // present only when the page's version is above this (-1: always)
};

class TCommandHandler;

struct TCommandLayout {
  const char* ClassName;  // TComIf, TComElseif, ...
  const char* Keyword;    // the page source's name for the kind
  std::vector<TFieldLayout> Fields;
  const TCommandHandler* Handler;  // what the kind does at run time
};

// The layout of every command kind, by kind code.
const std::array<TCommandLayout, kCommandKinds>& CommandLayouts();

class TPage;
class TCallMan;
class TParamCollection;

// The value of one field of a command record.
struct TFieldValue {
  bool Present = true;  // false for a field the page's version does not carry
  std::unique_ptr<TOrbaParser> Expr;
  std::string Text;  // String and Block
  int32_t Number = 0;  // Int32 and Byte
  std::vector<std::unique_ptr<TOrbaParser>> List;
};

using TPropertySet = std::array<uint8_t, kPropertySetSize>;

inline bool HasProperty(const TPropertySet& set, int code) { return (set[code / 8] >> (code % 8)) & 1; }
inline void AddProperty(TPropertySet& set, int code) { set[code / 8] |= static_cast<uint8_t>(1 << (code % 8)); }

// The property expressions one record carries, by property code: only the codes of its kind's
// set, so a command holds no room for the other properties.
class TPropertyBlock {
 public:
  // The expression of property code, or null when the record does not carry it.
  TOrbaParser* operator[](int code) const;
  // An empty expression for code, replacing any the block had.
  TOrbaParser& Add(int code);
  void Clear() { items_.clear(); }
  size_t Count() const { return items_.size(); }

 private:
  std::vector<std::pair<int, std::unique_ptr<TOrbaParser>>> items_;  // ascending codes
};

// The kinds the interpreter itself gives a meaning to (the others are component and media
// kinds).
namespace cmd {
enum : uint8_t {
  kIf = 0, kElseif = 1, kElse = 2, kLabel = 3, kJump = 4, kCall = 5, kExit = 6, kWait = 7, kFlip = 13,
  kCalc = 14, kVarNew = 15, kVarDel = 16, kGetProp = 17, kSetProp = 18, kObjDel = 19, kTextIns = 20,
  kMovieStop = 21, kComment = 27, kWhile = 31, kWhileInit = 32, kWhileLoop = 33, kBreak = 34,
  kContinue = 35, kGameSave = 38, kGameLoad = 39, kPCReset = 40, kReset = 41, kTerminate = 45, kDoEvent = 46,
  kMenuClose = 26, kPropMotion = 57, kCabinetSave = 59, kCabinetLoad = 60,
};
}  // namespace cmd

// Where each field sits in the record of the kinds the interpreter reads, in the layout's
// order (a test holds these to the layout table's field names).
namespace fields {
struct If { enum : uint8_t { Condition }; };             // If, Elseif, Exit
struct Label { enum : uint8_t { Name }; };               // Label, Comment, VarDel
struct Jump { enum : uint8_t { Page, Target, Condition }; };
struct Call { enum : uint8_t { Page, Target, Result, Condition, Arguments }; };
struct Wait { enum : uint8_t { Condition, Time, BlockEvents }; };
struct Flip { enum : uint8_t { Kind, Time, Reverse, Selection, Names, ClearOld, Param1, Param2, Mask, BlockEvents }; };
struct Calc { enum : uint8_t { Expression }; };          // Calc, WhileInit
struct VarNew { enum : uint8_t { Name, Type, Value, Scope }; };
struct GetProp { enum : uint8_t { Component, Property, Variable }; };
struct SetProp { enum : uint8_t { Component, Property, Value }; };
struct ObjDel { enum : uint8_t { Component }; };
struct MovieStop { enum : uint8_t { Component, Fade, WaitEnd, BlockEvents }; };
struct While { enum : uint8_t { Condition, End }; };
struct WhileLoop { enum : uint8_t { Step, Start }; };
struct Break { enum : uint8_t { Condition, Target }; };  // Break, Continue
struct GameSave { enum : uint8_t { Slot, Page, Index, Caption }; };
struct GameLoad { enum : uint8_t { Slot }; };
struct PCReset { enum : uint8_t { Page, Target, WholeStack }; };  // PCReset, Reset
struct MenuClose { enum : uint8_t { Menu }; };
struct Cabinet { enum : uint8_t { Properties, Selection, Names }; };  // CabinetSave, CabinetLoad
struct PropMotion { enum : uint8_t { Motion, Component, Property, End, Time, Curve, Paused }; };
}  // namespace fields

class TCommand;

// What a command in progress keeps between its steps; each kind that keeps something
// derives its own.
struct TCommandState {
  virtual ~TCommandState() = default;
};

// The steps of the interpreter's short path: the plain kinds stay on their page, never remain
// in progress and never yield, so a run of them needs neither interpreter nor page change.
enum class TPlainStep : uint8_t {
  None,        // not a plain kind
  If,          // evaluate the condition; false: on to the next branch
  SkipBranch,  // a later branch reached after one ran: past its body
  While,       // evaluate the condition; false: to the loop's end
  Evaluate,    // evaluate the first field and go on (Calc, WhileInit)
  Loop,        // back to the loop's start, then evaluate the step
  Next,        // go on (Label, Comment)
};

// What a command kind does at run time. Each kind has one, named in its row of the layout
// table; the defaults are those of a kind that only passes.
struct TCommandTraits {
  TPlainStep Plain = TPlainStep::None;
  int8_t RunOn = -1;            // the kind fixes the run-on flag (0 or 1), or -1: the record's
  bool AlwaysDisabled = false;  // never runs (Comment)
  bool Labelled = false;        // its first field is a name FindLabel matches
};

class TCommandHandler {
 public:
  constexpr TCommandHandler() = default;
  constexpr explicit TCommandHandler(TCommandTraits traits) : Traits(traits) {}
  virtual ~TCommandHandler() = default;
  const TCommandTraits Traits{};

  // The kind's state between steps, or null when it keeps none.
  virtual std::unique_ptr<TCommandState> NewState() const { return nullptr; }
  // Called once when the command becomes current, before its first Execute.
  virtual void Start(TCommand&, TCallMan&) const {}
  // One step: moves pc, may set page to another page or to none (leave the page), or leaves
  // both alone to run again next time. The default runs the plain step, or passes.
  virtual void Execute(TCommand& command, TCallMan& interpreter, TPage*& page, int32_t& pc) const;
  // While in progress, no component event is dispatched.
  virtual bool BlocksEvents(const TCommand&) const { return false; }
  // After executing it, an event handler gives up the rest of the tick.
  virtual bool Yields(const TCommand&) const { return false; }
  // The state block of a command in progress ("orba100" and the kind's fields), and reading
  // it back; kinds without one write and read nothing.
  virtual void SaveState(const TCommand&, TKvBigStream&) const {}
  virtual void LoadState(TCommand&, TKvBigStream&) const {}
  // Finishes a command in progress at once.
  virtual void Abort(TCommand&) const {}
};

class TCommand {
 public:
  TCommand(TPage& page, uint8_t kind);
  virtual ~TCommand() = default;

  TPage& Page() const { return *page_; }
  uint8_t Kind() const { return kind_; }
  const TCommandLayout& Layout() const { return CommandLayouts()[kind_]; }

  bool RunOn = false;
  bool Disabled = false;
  int32_t Line = 0;
  int32_t Indent = 0;
  std::vector<TFieldValue> Fields;  // in the layout's order (positions: namespace fields)
  // The property block's expressions by property code (props kinds only; null where the
  // page's set for this kind has no bit).
  TPropertyBlock Props;
  // What the command keeps while in progress (kinds that keep something).
  std::unique_ptr<TCommandState> State;

  // Named reads of the fields.
  TOrbaParser* Expr(int field) const { return Fields[static_cast<size_t>(field)].Expr.get(); }
  const std::string& Text(int field) const { return Fields[static_cast<size_t>(field)].Text; }
  int32_t Number(int field) const { return Fields[static_cast<size_t>(field)].Number; }
  const TFieldValue& Field(int field) const { return Fields[static_cast<size_t>(field)]; }

  // After this command the interpreter goes on in the same tick; some kinds fix it.
  bool GetRunOn() const { return fixedRunOn_ < 0 ? RunOn : fixedRunOn_ != 0; }
  // The step of the interpreter's short path, or None.
  TPlainStep Plain() const { return plain_; }
  bool IsPlain() const { return plain_ != TPlainStep::None; }
  // Comments are always skipped.
  bool GetDisabled() const { return alwaysDisabled_ || Disabled; }
  // A label (and a comment, for its text) answers whether its name is name, case-sensitively.
  bool IsLabel(std::string_view name) const;

  // ---- running: the kind's handler does the work ----
  void Start(TCallMan& interpreter) { handler_->Start(*this, interpreter); }
  void Execute(TCallMan& interpreter, TPage*& page, int32_t& pc) { handler_->Execute(*this, interpreter, page, pc); }
  // The plain step (IsPlain) with the variables it evaluates over.
  void ExecutePlain(int32_t& pc, TParamCollection* vars);
  bool BlocksEvents() const { return handler_->BlocksEvents(*this); }
  bool Yields() const { return handler_->Yields(*this); }
  void SaveState(TKvBigStream& stream) const { handler_->SaveState(*this, stream); }
  void LoadState(TKvBigStream& stream) { handler_->LoadState(*this, stream); }
  void Abort() { handler_->Abort(*this); }

  void ReadFromStream(TKvBigStream& stream, int32_t version);
  void WriteToStream(TKvBigStream& stream, int32_t version) const;

  // The 7-byte state-block header "orba" + three digits; returns the version (0 when the
  // tag is missing, and then the stream is put back).
  static int32_t ReadStateHeader(TKvBigStream& stream);
  static void WriteStateHeader(TKvBigStream& stream);

 private:
  TPage* page_;
  const TCommandHandler* handler_;
  uint8_t kind_;
  // The handler's traits the interpreter asks for every command, kept at hand.
  TPlainStep plain_;
  int8_t fixedRunOn_;
  bool alwaysDisabled_;
};

class TPage {
 public:
  static constexpr int32_t kMaxVersion = 110;
  static constexpr int32_t kOldestVersion = 103;  // 102 and below must be rebuilt

  TPage();
  ~TPage();
  // Commands point back at their page: a page stays where it was made.
  TPage(const TPage&) = delete;
  TPage& operator=(const TPage&) = delete;

  uint8_t ResultType = 1;
  std::vector<std::unique_ptr<TCommand>> Commands;
  std::string Name;
  std::array<TPropertySet, kCommandKinds> PropertySets{};
  int32_t Version = 104;

  // Reads a compiled page. Raises EOrbaError for a record it cannot read ("不正なコマンド" for
  // an unknown kind) and ENeedsRebuild for a page older than 103; a page newer than 110
  // loads empty.
  void LoadFromStream(TKvBigStream& stream);
  void LoadFromBytes(std::span<const uint8_t> bytes);
  // Clears the page, takes name and reads the file of that name through the file manager.
  void Load(const std::string& name);
  // Writes the page in its Version's layout.
  void SaveToStream(TKvBigStream& stream) const;

  // An empty command of a kind (low 7 bits of code); raises "不正なコマンド" above 60.
  std::unique_ptr<TCommand> CreateCommand(uint8_t code);
  int IndexOf(const TCommand* command) const;
  // The first command that is the label name, or -1.
  int FindLabel(std::string_view name) const;
};

// A page too old to run: its authors must compile it again.
class ENeedsRebuild : public EOrbaError {
 public:
  using EOrbaError::EOrbaError;
};

}  // namespace orba
