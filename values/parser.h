// Expressions of the script: the compiler that turns expression text into a flat list of
// three-address operations, the stored form of those lists inside compiled pages, and the
// evaluator that runs a list against the variable collection. Every computed value of a
// script (conditions, assignments, command arguments, text embedded in messages) goes
// through here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "values/paramcollection.h"
#include "values/params.h"

namespace orba {

class TKvBigStream;
class TParamCollection;
class TParamCollectionItem;

// Operation codes, one byte in stored lists.
enum : uint8_t {
  ocNone = 0, ocTo, ocPlus, ocMinus, ocMul, ocDiv, ocMod, ocOr, ocAnd, ocXor, ocDimTo, ocFunc,
  ocEqual, ocBig, ocSmall, ocEBig, ocESmall, ocShiftL, ocShiftR, ocComboStr, ocNEqual,
  ocLast = ocNEqual
};

// "ocPlus" and so on; a code above 20 gives its decimal number.
std::string OpeCodeName(uint8_t code);

// Compiler-made variable names start so; no user variable should.
inline bool IsTempName(std::string_view name) { return name.substr(0, 4) == "____"; }

// A compiled operation whose operands are still text. For ocFunc operand 0 is the function
// name and the arguments follow.
struct TBuildOpeData {
  uint8_t OpCode = ocNone;
  std::string Target;
  std::vector<std::string> Operands;
};

class TBuildOrbaParser {
 public:
  // Appends the operations of one expression; raises "構文エラー" or
  // "配列の添え字が不正です" for text that does not compile.
  void Parse(std::string_view text);
  // Writes the list in the stored layout, classifying operand texts as literals or names and
  // resolving function names; raises for unknown functions and wrong argument counts.
  void WriteOps(TKvBigStream& stream) const;

  const std::vector<TBuildOpeData>& Ops() const { return ops_; }

 private:
  using Chars = std::u16string;
  void Compile(Chars text);
  std::string Argument(Chars text);
  std::string NewTemp();
  std::string NewDimTemp();
  void Merge(size_t from);

  std::vector<TBuildOpeData> ops_;
  int32_t counter_ = 0;
};

// The variable a name found last time, valid while the collection's generation and call
// depth are the same.
struct TLookupCache {
  const TParamCollection* Owner = nullptr;
  uint64_t Generation = 0;
  int32_t Level = 0;
  TParamCollectionItem* Item = nullptr;
};

// One operand of a loaded operation: a literal value, or a reference by name.
struct TOperand {
  std::unique_ptr<TCustomParam> Value;  // the literal, or a TParamVar holding the name
  bool IsName = false;
  int32_t Slot = -1;  // the evaluation's temporary this name stands for, or -1
  uint64_t Hash = 0;  // HashOf(name) for names
  mutable TLookupCache Cache;
};

struct TOpeData {
  uint8_t OpCode = ocNone;
  std::string Target;
  uint8_t FuncNo = 0;
  std::vector<TOperand> Operands;
  int32_t TargetSlot = -1;
  uint64_t TargetHash = 0;
  mutable TLookupCache TargetCache;
  bool Simple = false;     // runs on the evaluator's short path
  bool FuseNext = false;   // may write its result straight into the next operation's target
  bool FuseResult = false; // may write the evaluation's result (the list's last operation copies it)
};

class TOrbaParser {
 public:
  TOrbaParser();
  ~TOrbaParser();
  TOrbaParser(const TOrbaParser&) = delete;
  TOrbaParser& operator=(const TOrbaParser&) = delete;

  // Clears the list, then reads the stored layout. A read error leaves the list empty and
  // is raised (EReadError).
  void ReadOps(TKvBigStream& stream);
  void WriteOps(TKvBigStream& stream) const;
  // Replaces the list by copies of other's operations.
  void AssignOps(const TOrbaParser& other);

  // Evaluates the list against the player's variables (Variables()), or against vars. No
  // error leaves an evaluation: a failing operation ends it, and Result is then none.
  void Execute() {
    if (TParamCollection* vars = Variables())
      Execute(*vars);
    else
      result_.reset();
  }
  void Execute(TParamCollection& vars);
  // The value of the last evaluation when its last operation assigned "____arg"; null
  // otherwise. Owned here, replaced by the next Execute.
  const TCustomParam* Result() const { return result_.get(); }
  // The message of the error that ended the last evaluation, empty when none did (for the
  // command-line tool and tests; the player itself shows nothing).
  const std::string& LastError() const { return lastError_; }

  const std::vector<TOpeData>& Ops() const { return ops_; }

  // With false, every operation runs through the plain step: the reference the short paths
  // are checked against.
  void SetShortPaths(bool on) {
    shortPaths_ = on;
    Prepare();
  }

  struct Frame;

 private:
  void Prepare();
  void Run(TParamCollection& vars, Frame& frame);
  void Step(const TOpeData& op, TParamCollection& vars, Frame& frame);

  std::vector<TOpeData> ops_;
  int32_t slotCount_ = 0;
  bool setsResult_ = false;  // the last operation assigns "____arg"
  std::unique_ptr<TCustomParam> result_;
  std::unique_ptr<TCustomParam> spareResult_;  // the last result's object, reused by the next
  std::string lastError_;
  // The temporaries of an evaluation, kept between evaluations so their storage is reused.
  std::unique_ptr<Frame> frame_;
  bool busy_ = false;
  bool shortPaths_ = true;
};

// Compiles text and loads the result into parser: Parse, WriteOps to memory, ReadOps.
// Raises the compiler's and writer's errors.
void CompileExpression(std::string_view text, TOrbaParser& parser);

// Most evaluations that may run inside one another (Calc within Calc); one more raises
// "式の入れ子が深すぎます".
constexpr int kMaxEvaluationDepth = 32;
// Evaluations in progress on this thread.
int EvaluationDepth();

}  // namespace orba
