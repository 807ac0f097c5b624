#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

TParamVar& Ref(TParamCollectionItem* item) { return static_cast<TParamVar&>(*item->Param()); }

void Bind(TParamCollection& vars, TParamCollectionItem* ref, const char* target, std::vector<int32_t> at) {
  Ref(ref).BindElement(*vars.FindVariable(target), at);
}

std::vector<uint8_t> SaveGameBytes(const TParamCollection& vars) {
  TKvMemoryStream s;
  vars.SaveGame(s);
  return s.TakeBytes();
}

void LoadGameBytes(TParamCollection& vars, std::vector<uint8_t> bytes, int32_t version) {
  TKvMemoryStream s(std::move(bytes));
  vars.LoadGame(s, version);
}

// Names and values of the user variables in collection order, for comparing whole states.
std::vector<std::string> Describe(const TParamCollection& vars) {
  std::vector<std::string> out;
  for (int32_t i = TParamCollection::kSystemCount; i < vars.Count(); ++i) {
    TParamCollectionItem* v = vars.Variable(i);
    std::string line = v->Name() + (v->IsStatus ? " status" : "") + " level " + std::to_string(v->Level) +
                       (v->IsLocal ? " local" : "");
    if (auto* ref = dynamic_cast<TParamVar*>(v->Param())) {
      line += " -> " + (ref->Target() ? ref->Target()->Name() : std::string("?")) + "[" +
              std::to_string(ref->ElementIndex()) + "]";
    } else {
      for (int32_t k = 0; k < v->Param()->Count(); ++k) line += " " + v->Param()->ItemString(k);
    }
    out.push_back(line);
  }
  return out;
}

// A game with every value kind, a reference made before its target, a reference to a
// reference, a loop of two references, a reference to itself and one to a status variable.
void FillGame(TParamCollection& vars) {
  auto* early = vars.AddVariable(PT_NONE, "early");
  auto* grid = vars.AddVariable(PT_FLOAT, "grid");
  const int32_t shape[] = {2, 3};
  grid->Param()->SetDims(shape);
  grid->Param()->SetItemFloat(4, 2.5);
  Bind(vars, early, "grid", {1, 1});
  auto* viaEarly = vars.AddVariable(PT_NONE, "viaEarly");
  Ref(viaEarly).SetTargetName("early");
  Ref(viaEarly).Resolve();
  vars.AddVariable(PT_STR, "text")->SetString(Sjis(u8"こんにちは"));
  vars.AddVariable(PT_BOOL, "flag")->SetString("TRUE");
  vars.CurrentLevel = 2;
  auto* local = vars.AddVariable(PT_INT, "counter");
  vars.SetScope(*local, SC_LOCAL);
  local->SetInt(-9);
  vars.CurrentLevel = 0;
  auto* a = vars.AddVariable(PT_NONE, "loopA");
  auto* b = vars.AddVariable(PT_NONE, "loopB");
  Ref(a).SetTarget(b, 0);
  Ref(b).SetTarget(a, 0);
  auto* self = vars.AddVariable(PT_NONE, "self");
  Ref(self).SetTarget(self, 0);
  auto* toStatus = vars.AddVariable(PT_NONE, "toStatus");
  Ref(toStatus).SetTargetName("cleared");
  Ref(toStatus).Resolve();
  vars.TextDelay = 20;
  vars.CursorName = "hand";
  vars.SelStr = "yes";
  vars.SelIndex = 3;
  vars.HistoryInts = {1, 2, 3, 4, 5, 6};
  vars.TempVarName = "text";
}

TEST(SaveGame, RoundTripKeepsValuesReferencesAndLoops) {
  TParamCollection saved;
  auto* status = saved.AddVariable(PT_INT, "cleared");
  saved.SetScope(*status, SC_STATUS);
  status->SetInt(11);
  FillGame(saved);
  std::vector<uint8_t> bytes = SaveGameBytes(saved);

  TParamCollection loaded;
  auto* status2 = loaded.AddVariable(PT_INT, "cleared");
  loaded.SetScope(*status2, SC_STATUS);
  loaded.AddVariable(PT_INT, "stale");  // a game variable the load frees
  LoadGameBytes(loaded, bytes, 130);

  // Records are written walking from the end of the collection, a reference only after
  // its target, so the load appends them in this order.
  std::vector<std::string> expected = {
      "cleared status level -1 0",  // left alone by the game load
      "counter level 2 local -9",
      "flag level -1 TRUE",
      "text level -1 " + Sjis(u8"こんにちは"),
      "grid level -1 0 0 0 0 2.5 0",
      "early level -1 -> grid[4]",
      "viaEarly level -1 -> early[4]",
      // Targets that never come in a walk (a status variable, loops) go last.
      "toStatus level -1 -> cleared[0]",
      "self level -1 -> self[0]",
      "loopB level -1 -> loopA[0]",
      "loopA level -1 -> loopB[0]",
  };
  std::vector<std::string> got = Describe(loaded);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(loaded.FindVariable("early")->AsString(), "2.5");
  EXPECT_EQ(loaded.FindVariable("viaEarly")->AsString(), "2.5");
  EXPECT_EQ(loaded.FindVariable("toStatus")->Param()->Holder(), status2->Param());
  EXPECT_THROW(loaded.FindVariable("loopA")->AsInt(), EOrbaError);

  EXPECT_EQ(loaded.TextDelay, 20);
  EXPECT_EQ(loaded.CursorName, "hand");
  EXPECT_EQ(loaded.SelStr, "yes");
  EXPECT_EQ(loaded.SelIndex, 3);
  EXPECT_EQ(loaded.HistoryInts, (std::array<int32_t, 6>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(loaded.TempVarName, "text");

  // Saving what was loaded gives the same state again.
  TParamCollection again;
  auto* status3 = again.AddVariable(PT_INT, "cleared");
  again.SetScope(*status3, SC_STATUS);
  LoadGameBytes(again, SaveGameBytes(loaded), 130);
  EXPECT_EQ(Describe(again).size(), expected.size());
  EXPECT_EQ(again.FindVariable("viaEarly")->AsString(), "2.5");
  EXPECT_EQ(Ref(again.FindVariable("loopA")).Target(), again.FindVariable("loopB"));
}

TEST(SaveGame, OlderVersionsStopAtTheirGates) {
  // Version 102: the variables, TextDelay and CursorName only.
  TKvMemoryStream s;
  TBinaryWriter w(s);
  w.I32(2);
  // An unnamed string record: read past with a string value's layout and dropped.
  w.U8(PT_STR); w.String(""); w.I32(0); w.I32(2); w.String("ab"); w.String("cde");
  w.U8(0); w.U8(0); w.I32(-1); w.U8(0);
  w.U8(PT_INT); w.String("score"); w.I32(0); w.I32(1); w.I32(7);
  w.U8(0); w.U8(0); w.I32(-1); w.U8(0);
  w.I32(30);
  w.String("arrow");
  const std::vector<uint8_t> v102 = s.TakeBytes();

  struct Case { int32_t version; std::vector<uint8_t> tail; const char* selStr; int32_t history0; } cases[] = {
      {102, {}, "kept", 9},
      {112, {1, 0, 0, 0, 'n', 5, 0, 0, 0}, "n", 9},
  };
  for (const auto& c : cases) {
    TParamCollection vars;
    vars.SelStr = "kept";
    vars.SelIndex = 4;
    vars.HistoryInts.fill(9);
    vars.TempVarName = "tmp";
    std::vector<uint8_t> bytes = v102;
    bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
    LoadGameBytes(vars, bytes, c.version);
    EXPECT_EQ(Describe(vars), (std::vector<std::string>{"score level -1 7"})) << c.version;
    EXPECT_EQ(vars.TextDelay, 30);
    EXPECT_EQ(vars.CursorName, "arrow");
    EXPECT_EQ(vars.SelStr, c.selStr);
    EXPECT_EQ(vars.HistoryInts[0], c.history0);
    EXPECT_EQ(vars.TempVarName, "tmp");
  }
}

TEST(SaveGame, BadDataLeavesTheVariablesAsTheyWere) {
  TParamCollection source;
  source.SetScope(*source.AddVariable(PT_INT, "cleared"), SC_STATUS);
  FillGame(source);
  const std::vector<uint8_t> good = SaveGameBytes(source);

  TParamCollection vars;
  vars.AddVariable(PT_STR, "keep")->SetString("me");
  vars.TextDelay = 77;
  const std::vector<std::string> before = Describe(vars);
  for (size_t cut = 0; cut < good.size(); ++cut) {
    std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_THROW(LoadGameBytes(vars, bytes, 130), EReadError) << "cut at " << cut;
  }
  // Hostile records: a type code with no value class, an element count far beyond the
  // data, a shape whose product disagrees with the element count.
  auto record = [](uint8_t code, std::vector<int32_t> dims, int32_t count, int32_t extra) {
    TKvMemoryStream s;
    TBinaryWriter w(s);
    w.I32(1);
    w.U8(code);
    w.String("x");
    w.I32(static_cast<int32_t>(dims.size()));
    for (int32_t d : dims) w.I32(d);
    w.I32(count);
    for (int32_t k = 0; k < extra; ++k) w.I32(0);
    w.U8(0); w.U8(0); w.I32(-1); w.U8(0);
    w.I32(50); w.String("");
    return s.TakeBytes();
  };
  std::vector<std::vector<uint8_t>> hostile = {
      record(7, {}, 1, 1),
      record(PT_INT, {}, 0x7FFFFFFF, 1),
      record(PT_INT, {2, 2}, 3, 3),
      record(PT_INT, {}, 0, 0),
      record(PT_INT, {65536, 65536}, 1, 1),
  };
  for (size_t i = 0; i < hostile.size(); ++i)
    EXPECT_THROW(LoadGameBytes(vars, hostile[i], 102), EReadError) << "hostile record " << i;
  EXPECT_EQ(Describe(vars), before);
  EXPECT_EQ(vars.TextDelay, 77);
}

TEST(SaveStatus, StatusVariablesTravelApartFromTheGame) {
  TParamCollection vars;
  auto* seen = vars.AddVariable(PT_BOOL, "seenEnding");
  vars.SetScope(*seen, SC_STATUS);
  seen->SetString("TRUE");
  vars.AddVariable(PT_INT, "gameOnly")->SetInt(1);
  TKvMemoryStream status;
  vars.SaveStatus(status);

  vars.ClearGame();
  EXPECT_EQ(Describe(vars), (std::vector<std::string>{"seenEnding status level -1 TRUE"}));
  EXPECT_EQ(vars.TextDelay, 50);

  TParamCollection fresh;
  fresh.AddVariable(PT_INT, "other");
  status.SetPosition(0);
  fresh.LoadStatus(status, 103);
  EXPECT_EQ(Describe(fresh), (std::vector<std::string>{"other level -1 0", "seenEnding status level -1 TRUE"}));
}

// A float is stored as the 10 bytes of an 80-bit extended number. Where the player computes
// in that format, a value whose mantissa needs all 64 bits (here pi, as the x87 loads it:
// exponent 0x4000, mantissa 0xC90FDAA22168C235) comes back from a save unchanged, and a save
// loaded and saved again is the same to the byte.
TEST(SaveGame, ExtendedFloatsKeepTheirBytes) {
  if (!kNativeExtended) GTEST_SKIP() << "floats are doubles on this platform";
  const std::vector<uint8_t> pi = {0x35, 0xC2, 0x68, 0x21, 0xA2, 0xDA, 0x0F, 0xC9, 0x00, 0x40};
  std::vector<uint8_t> record = {0, 0, 0, 0, 1, 0, 0, 0};  // no dims, one element
  record.insert(record.end(), pi.begin(), pi.end());
  TParamCollection vars;
  auto* x = vars.AddVariable(PT_FLOAT, "x");
  TKvMemoryStream in(record);
  TBinaryReader r(in);
  x->Param()->LoadFromStream(r);
  EXPECT_EQ(x->Param()->AsString(), "3.14159265358979");

  const std::vector<uint8_t> first = SaveGameBytes(vars);
  EXPECT_NE(std::search(first.begin(), first.end(), pi.begin(), pi.end()), first.end());
  TParamCollection loaded;
  LoadGameBytes(loaded, first, 130);
  EXPECT_EQ(SaveGameBytes(loaded), first);
}

}  // namespace
}  // namespace orba
