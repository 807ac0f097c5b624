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

struct TCommandLayout {
  const char* ClassName;  // TComIf, TComElseif, ...
  const char* Keyword;    // the page source's name for the kind
  std::vector<TFieldLayout> Fields;
};

// The layout of every command kind, by kind code.
const std::array<TCommandLayout, kCommandKinds>& CommandLayouts();

class TPage;
class TCallMan;

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
};
}  // namespace cmd

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
  std::vector<TFieldValue> Fields;  // in the layout's order
  // The property block's expressions by property code (props kinds only; null where the
  // page's set for this kind has no bit).
  TPropertyBlock Props;

  // After this command the interpreter goes on in the same tick; some kinds fix it.
  bool GetRunOn() const {
    switch (kind_) {
      case cmd::kElse: case cmd::kWhileInit: case cmd::kWhileLoop: return true;
      case cmd::kComment: case cmd::kDoEvent: case cmd::kGameSave: case cmd::kGameLoad: return false;
      default: return RunOn;
    }
  }
  // Branches, loops, labels, comments and calculations: they stay on their page, never
  // remain in progress and never yield, so the interpreter may run them on its short path.
  bool IsPlain() const {
    switch (kind_) {
      case cmd::kIf: case cmd::kElseif: case cmd::kElse: case cmd::kLabel: case cmd::kCalc: case cmd::kComment:
      case cmd::kWhile: case cmd::kWhileInit: case cmd::kWhileLoop:
        return true;
      default:
        return false;
    }
  }
  // Comments are always skipped.
  bool GetDisabled() const { return kind_ == cmd::kComment || Disabled; }
  // A label (and a comment, for its text) answers whether its name is name, case-sensitively.
  bool IsLabel(std::string_view name) const;

  // ---- running (the interpreter calls these; each kind's meaning is in commands.cpp; the
  // small ones are here as the interpreter asks them for every command) ----
  // Called once when the command becomes current, before its first Execute.
  void Start(TCallMan&) {
    if (kind_ == cmd::kWait) StartWait();
  }
  // One step: moves pc, may set page to another page or to none (leave the page), or leaves
  // both alone to run again next time.
  void Execute(TCallMan& interpreter, TPage*& page, int32_t& pc);
  // The same for a plain kind (IsPlain), which needs neither interpreter nor page.
  void ExecutePlain(int32_t& pc);
  // While in progress, no component event is dispatched.
  bool BlocksEvents() const {
    switch (kind_) {
      case cmd::kWait: case cmd::kFlip: case cmd::kMovieStop: case cmd::kTextIns: return Run.BlockEvents;
      default: return false;
    }
  }
  // After executing it, an event handler gives up the rest of the tick.
  bool Yields() const {
    switch (kind_) {
      case cmd::kWait: case cmd::kDoEvent: return true;
      case cmd::kMovieStop: case cmd::kTextIns: return Run.Waiting;
      default: return false;
    }
  }
  // The state block of a command in progress, and reading it back.
  void SaveState(TKvBigStream& stream) const;
  void LoadState(TKvBigStream& stream);
  // Finishes a command in progress at once.
  void Abort();

  // What a command in progress keeps between its steps.
  struct TRunState {
    int32_t Remaining = 0;   // Wait: ms still to wait
    bool FirstStep = true;   // Wait: the first step only clears this
    bool BlockEvents = false;
    bool Waiting = false;    // MovieStop, TextIns
    std::string AwaitName;   // MovieStop, TextIns: the component waited for
    bool ClearOld = false;   // Flip
  } Run;

  void ReadFromStream(TKvBigStream& stream, int32_t version);
  void WriteToStream(TKvBigStream& stream, int32_t version) const;

  // The 7-byte state-block header "orba" + three digits; returns the version (0 when the
  // tag is missing, and then the stream is put back).
  static int32_t ReadStateHeader(TKvBigStream& stream);
  static void WriteStateHeader(TKvBigStream& stream);

 private:
  void StartWait();

  TPage* page_;
  uint8_t kind_;
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
