#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "base/binio.h"
#include "base/error.h"
#include "script/page.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

// The stored bytes of an expression, from the compiler.
std::vector<uint8_t> Expr(const std::string& text) {
  TBuildOrbaParser build;
  if (!text.empty()) build.Parse(text);
  TKvMemoryStream s;
  build.WriteOps(s);
  return s.TakeBytes();
}

// A page written by hand from the file layout.
struct PageBytes {
  TKvMemoryStream s;
  TBinaryWriter w{s};
  PageBytes(int32_t version, int32_t sets, int32_t setSize, const std::vector<std::vector<uint8_t>>& setBytes = {}) {
    w.I32(version);
    w.U8(4);  // result type: string
    w.I32(sets);
    w.I32(setSize);
    for (int32_t k = 0; k < sets; ++k) {
      std::vector<uint8_t> entry(static_cast<size_t>(setSize), 0);
      if (k < static_cast<int32_t>(setBytes.size()))
        std::copy(setBytes[k].begin(), setBytes[k].begin() + std::min<size_t>(setBytes[k].size(), entry.size()),
                  entry.begin());
      w.Write(entry.data(), setSize);
    }
  }
  void Count(int32_t m) { w.I32(m); }
  void Base(uint8_t kind, int32_t indent = 0, int32_t line = 7) {
    w.U8(kind);
    w.I32(indent);
    w.U8(0);  // disabled
    w.U8(1);  // run on
    w.I32(line);
  }
  void Bytes(const std::vector<uint8_t>& b) { w.Write(b.data(), static_cast<int64_t>(b.size())); }
  std::unique_ptr<TPage> Read() {
    auto page = std::make_unique<TPage>();
    page->LoadFromBytes(s.Bytes());
    return page;
  }
};

TEST(Page, ReadsAOneCommandPageWrittenByHand) {
  PageBytes p(110, 0, 21);
  p.Count(1);
  p.Base(3, 2, 42);
  p.w.String("start");
  auto holder = p.Read();
  TPage& page = *holder;
  ASSERT_EQ(page.Commands.size(), 1u);
  const TCommand& c = *page.Commands[0];
  EXPECT_EQ(c.Kind(), 3);
  EXPECT_EQ(c.Indent, 2);
  EXPECT_EQ(c.Line, 42);
  EXPECT_TRUE(c.RunOn);
  EXPECT_EQ(page.ResultType, 4);
  EXPECT_EQ(page.FindLabel("start"), 0);
  EXPECT_EQ(page.FindLabel("Start"), -1);  // labels match case-sensitively
}

TEST(Page, PropertyBlocksFollowTheKindsSet) {
  // The set of kind 8 (BoxNew) has bits 0 and 3: each BoxNew record carries two expressions.
  std::vector<std::vector<uint8_t>> sets(9);
  sets[8] = {0x09};
  PageBytes p(110, 9, 21, sets);
  p.Count(2);
  p.Base(8);
  p.Bytes(Expr("\"box\""));
  p.Bytes(Expr("10"));
  p.Base(27);  // a comment after it reads as a label does
  p.w.String("note");
  auto holder = p.Read();
  TPage& page = *holder;
  ASSERT_EQ(page.Commands.size(), 2u);
  const TCommand& box = *page.Commands[0];
  EXPECT_NE(box.Props[0], nullptr);
  EXPECT_NE(box.Props[3], nullptr);
  EXPECT_EQ(box.Props[1], nullptr);
  EXPECT_TRUE(page.Commands[1]->GetDisabled());
  EXPECT_EQ(page.FindLabel("note"), 1);
}

TEST(Page, SetEntriesOfAnySizeAndCount) {
  struct Case { int32_t n, size; uint8_t bit8; } cases[] = {
      {61, 21, 0x01},  // the usual
      {70, 21, 0x01},  // entries past kind 60 are skipped
      {61, 25, 0x01},  // longer entries: the first 21 bytes count
      {61, 1, 0x01},   // shorter entries leave the rest of the set zero
  };
  for (const auto& c : cases) {
    std::vector<std::vector<uint8_t>> sets(static_cast<size_t>(c.n));
    sets[8] = std::vector<uint8_t>(static_cast<size_t>(c.size), 0);
    sets[8][0] = c.bit8;
    if (c.size > 21) sets[8][21] = 0xFF;  // beyond the set: ignored
    PageBytes p(110, c.n, c.size, sets);
    p.Count(1);
    p.Base(8);
    p.Bytes(Expr("1"));
    auto holder = p.Read();
  TPage& page = *holder;
    ASSERT_EQ(page.Commands.size(), 1u) << c.n << " " << c.size;
    EXPECT_TRUE(HasProperty(page.PropertySets[8], 0));
    EXPECT_FALSE(HasProperty(page.PropertySets[8], 161));
  }
}

TEST(Page, VersionsAndDamage) {
  {
    PageBytes p(111, 0, 21);
    p.Count(1);
    EXPECT_TRUE(p.Read()->Commands.empty());  // newer than we know: loads empty
  }
  {
    PageBytes p(102, 0, 21);
    TPage page;
    page.Name = "start.rsb";
    EXPECT_THROW(page.LoadFromBytes(p.s.Bytes()), ENeedsRebuild);
  }
  struct Case { const char* name; std::function<void(PageBytes&)> body; } cases[] = {
      {"unknown kind", [](PageBytes& p) { p.Count(1); p.Base(61); }},
      {"truncated record", [](PageBytes& p) { p.Count(1); p.Base(3); p.w.I32(50); }},
      {"count beyond the data", [](PageBytes& p) { p.Count(1000000); }},
      {"negative count", [](PageBytes& p) { p.Count(-1); }},
      {"negative list count", [](PageBytes& p) { p.Count(1); p.Base(5); p.w.String("a"); p.w.I32(0); p.w.String(""); p.Bytes(Expr("")); p.w.I32(-5); }},
  };
  for (const auto& c : cases) {
    PageBytes p(110, 0, 21);
    c.body(p);
    EXPECT_THROW(p.Read(), EOrbaError) << c.name;
  }
  PageBytes bad(110, -1, 21);
  EXPECT_THROW(bad.Read(), EOrbaError);
}

TEST(Page, EveryKindRoundTripsAtEveryVersion) {
  for (int32_t version : {103, 105, 107, 110}) {
    TPage page;
    page.Version = version;
    page.ResultType = 2;
    for (int k = 0; k < kCommandKinds; ++k) AddProperty(page.PropertySets[static_cast<size_t>(k)], k % kPropertyCount);
    for (int k = 0; k < kCommandKinds; ++k) {
      auto c = page.CreateCommand(static_cast<uint8_t>(k));
      c->Line = k;
      for (auto& f : c->Fields) {
        f.Text = "t" + std::to_string(k);
        f.Number = k;
        f.List.push_back(std::make_unique<TOrbaParser>());
      }
      page.Commands.push_back(std::move(c));
    }
    TKvMemoryStream first;
    page.SaveToStream(first);
    TPage back;
    back.LoadFromBytes(first.Bytes());
    ASSERT_EQ(back.Commands.size(), static_cast<size_t>(kCommandKinds));
    EXPECT_EQ(back.Version, version);
    TKvMemoryStream second;
    back.SaveToStream(second);
    EXPECT_EQ(first.Bytes(), second.Bytes()) << version;
    // Version-gated fields: the Wait's block-events expression exists only above 106.
    EXPECT_EQ(back.Commands[cmd::kWait]->Field(fields::Wait::BlockEvents).Present, version > 106);
  }
}

// Only the low 7 bits of a kind byte count: 0x80 + 46 reads as DoEvent.
TEST(Page, OnlyTheLowSevenBitsOfAKindByteCount) {
  PageBytes p(110, 0, 21);
  p.Count(2);
  p.Base(0x80 + 46);
  p.Base(0x80 + 3);
  p.w.String("x");
  auto page = p.Read();
  ASSERT_EQ(page->Commands.size(), 2u);
  EXPECT_EQ(page->Commands[0]->Kind(), 46);
  EXPECT_EQ(page->Commands[1]->Kind(), 3);
  EXPECT_EQ(page->FindLabel("x"), 1);
}

// Records written out by hand, field by field in the order a page file stores them, at the
// versions on both sides of each gate: the resume index of a save request comes after 104,
// the block-events expression of waits after 106, the paused flag of property motions after
// 107. Each page ends with a label, which reads right only when every field before it did.
TEST(Page, GatedFieldsReadFromHandWrittenRecords) {
  TParamCollection vars;
  auto value = [&](const TFieldValue& f) -> std::string {
    if (!f.Present) return "(absent)";
    if (f.Expr) {
      f.Expr->Execute(vars);
      return f.Expr->Result() ? f.Expr->Result()->AsString() : "(none)";
    }
    return f.Text.empty() ? std::to_string(f.Number) : f.Text;
  };
  auto field = [&](const TCommand& c, const std::string& name) -> std::string {
    const auto& layout = c.Layout().Fields;
    for (size_t i = 0; i < layout.size(); ++i)
      if (layout[i].Name == name) return value(c.Fields[i]);
    return "(no such field)";
  };
  using Expect = std::vector<std::pair<std::string, std::string>>;
  struct Case { int32_t version; uint8_t kind; std::function<void(PageBytes&)> fields; Expect expect; } cases[] = {
      {104, 38, [](PageBytes& p) { p.Bytes(Expr("3")); p.w.String("resume.rsb"); p.Bytes(Expr("\"cap\"")); },
       {{"slot", "3"}, {"page", "resume.rsb"}, {"index", "(absent)"}, {"caption", "cap"}}},
      {105, 38, [](PageBytes& p) { p.Bytes(Expr("3")); p.w.String("resume.rsb"); p.w.I32(9); p.Bytes(Expr("\"cap\"")); },
       {{"slot", "3"}, {"page", "resume.rsb"}, {"index", "9"}, {"caption", "cap"}}},
      {106, 7, [](PageBytes& p) { p.Bytes(Expr("FALSE")); p.Bytes(Expr("250")); },
       {{"condition", "FALSE"}, {"time", "250"}, {"blockevents", "(absent)"}}},
      {107, 7, [](PageBytes& p) { p.Bytes(Expr("FALSE")); p.Bytes(Expr("250")); p.Bytes(Expr("TRUE")); },
       {{"condition", "FALSE"}, {"time", "250"}, {"blockevents", "TRUE"}}},
      {107, 57, [](PageBytes& p) { for (const char* e : {"\"m\"", "\"c\"", "4", "90", "500", "2"}) p.Bytes(Expr(e)); },
       {{"motion", "m"}, {"component", "c"}, {"property", "4"}, {"end", "90"}, {"time", "500"}, {"curve", "2"},
        {"paused", "(absent)"}}},
      {108, 57, [](PageBytes& p) { for (const char* e : {"\"m\"", "\"c\"", "4", "90", "500", "2", "TRUE"}) p.Bytes(Expr(e)); },
       {{"motion", "m"}, {"component", "c"}, {"property", "4"}, {"end", "90"}, {"time", "500"}, {"curve", "2"},
        {"paused", "TRUE"}}},
      {103, 40, [](PageBytes& p) { p.w.String("top.rsb"); p.w.I32(12); p.w.U8(1); },
       {{"page", "top.rsb"}, {"target", "12"}, {"wholestack", "1"}}},
      {103, 5, [](PageBytes& p) {
         p.w.String("sub.rsb"); p.w.I32(4); p.w.String("out"); p.Bytes(Expr("TRUE")); p.w.I32(2);
         p.Bytes(Expr("\"a\"")); p.Bytes(Expr("7"));
       }, {{"page", "sub.rsb"}, {"target", "4"}, {"result", "out"}, {"condition", "TRUE"}}},
      {103, 15, [](PageBytes& p) { p.w.String("v"); p.w.U8(4); p.Bytes(Expr("\"x\"")); p.w.U8(2); },
       {{"name", "v"}, {"type", "4"}, {"value", "x"}, {"scope", "2"}}},
  };
  for (const auto& c : cases) {
    PageBytes p(c.version, 0, 21);
    p.Count(2);
    p.Base(c.kind);
    c.fields(p);
    p.Base(3);
    p.w.String("end");
    auto page = p.Read();
    ASSERT_EQ(page->Commands.size(), 2u) << c.version << " kind " << int(c.kind);
    for (const auto& [name, expected] : c.expect)
      EXPECT_EQ(field(*page->Commands[0], name), expected) << c.version << " kind " << int(c.kind) << " " << name;
    EXPECT_EQ(page->FindLabel("end"), 1) << c.version << " kind " << int(c.kind);
  }
}

// The named field positions the interpreter reads by agree with the layout table.
TEST(Page, NamedFieldPositionsMatchTheLayout) {
  struct Case { uint8_t kind; int field; const char* name; } cases[] = {
      {cmd::kIf, fields::If::Condition, "condition"},      {cmd::kElseif, fields::If::Condition, "condition"},
      {cmd::kExit, fields::If::Condition, "condition"},    {cmd::kLabel, fields::Label::Name, "name"},
      {cmd::kComment, fields::Label::Name, "text"},        {cmd::kVarDel, fields::Label::Name, "name"},
      {cmd::kJump, fields::Jump::Page, "page"},            {cmd::kJump, fields::Jump::Target, "target"},
      {cmd::kJump, fields::Jump::Condition, "condition"},  {cmd::kCall, fields::Call::Page, "page"},
      {cmd::kCall, fields::Call::Target, "target"},        {cmd::kCall, fields::Call::Result, "result"},
      {cmd::kCall, fields::Call::Condition, "condition"},  {cmd::kCall, fields::Call::Arguments, "arguments"},
      {cmd::kWait, fields::Wait::Condition, "condition"},  {cmd::kWait, fields::Wait::Time, "time"},
      {cmd::kWait, fields::Wait::BlockEvents, "blockevents"}, {cmd::kCalc, fields::Calc::Expression, "expression"},
      {cmd::kWhileInit, fields::Calc::Expression, "init"}, {cmd::kVarNew, fields::VarNew::Name, "name"},
      {cmd::kVarNew, fields::VarNew::Type, "type"},        {cmd::kVarNew, fields::VarNew::Value, "value"},
      {cmd::kVarNew, fields::VarNew::Scope, "scope"},      {cmd::kGetProp, fields::GetProp::Component, "component"},
      {cmd::kGetProp, fields::GetProp::Property, "property"}, {cmd::kGetProp, fields::GetProp::Variable, "variable"},
      {cmd::kSetProp, fields::SetProp::Component, "component"}, {cmd::kSetProp, fields::SetProp::Property, "property"},
      {cmd::kSetProp, fields::SetProp::Value, "value"},    {cmd::kObjDel, fields::ObjDel::Component, "component"},
      {cmd::kWhile, fields::While::Condition, "condition"}, {cmd::kWhile, fields::While::End, "end"},
      {cmd::kWhileLoop, fields::WhileLoop::Step, "step"},  {cmd::kWhileLoop, fields::WhileLoop::Start, "start"},
      {cmd::kBreak, fields::Break::Condition, "condition"}, {cmd::kBreak, fields::Break::Target, "target"},
      {cmd::kContinue, fields::Break::Condition, "condition"}, {cmd::kContinue, fields::Break::Target, "target"},
      {cmd::kGameSave, fields::GameSave::Slot, "slot"},    {cmd::kGameSave, fields::GameSave::Page, "page"},
      {cmd::kGameSave, fields::GameSave::Index, "index"},  {cmd::kGameSave, fields::GameSave::Caption, "caption"},
      {cmd::kGameLoad, fields::GameLoad::Slot, "slot"},    {cmd::kPCReset, fields::PCReset::Page, "page"},
      {cmd::kPCReset, fields::PCReset::Target, "target"},  {cmd::kPCReset, fields::PCReset::WholeStack, "wholestack"},
      {cmd::kReset, fields::PCReset::Page, "page"},        {cmd::kReset, fields::PCReset::Target, "target"},
      {cmd::kFlip, fields::Flip::Kind, "kind"},            {cmd::kFlip, fields::Flip::Time, "time"},
      {cmd::kFlip, fields::Flip::Reverse, "reverse"},      {cmd::kFlip, fields::Flip::Selection, "selection"},
      {cmd::kFlip, fields::Flip::Names, "names"},          {cmd::kFlip, fields::Flip::ClearOld, "clearold"},
      {cmd::kFlip, fields::Flip::Param1, "param1"},        {cmd::kFlip, fields::Flip::Param2, "param2"},
      {cmd::kFlip, fields::Flip::Mask, "mask"},            {cmd::kFlip, fields::Flip::BlockEvents, "blockevents"},
      {cmd::kMenuClose, fields::MenuClose::Menu, "menu"},  {cmd::kCabinetSave, fields::Cabinet::Properties, "props"},
      {cmd::kCabinetSave, fields::Cabinet::Selection, "selection"}, {cmd::kCabinetLoad, fields::Cabinet::Names, "names"},
      {cmd::kPropMotion, fields::PropMotion::Motion, "motion"}, {cmd::kPropMotion, fields::PropMotion::Component, "component"},
      {cmd::kPropMotion, fields::PropMotion::Property, "property"}, {cmd::kPropMotion, fields::PropMotion::End, "end"},
      {cmd::kPropMotion, fields::PropMotion::Time, "time"}, {cmd::kPropMotion, fields::PropMotion::Curve, "curve"},
      {cmd::kPropMotion, fields::PropMotion::Paused, "paused"},
  };
  for (const auto& c : cases) {
    const auto& layout = CommandLayouts()[c.kind].Fields;
    ASSERT_LT(static_cast<size_t>(c.field), layout.size()) << int(c.kind) << " " << c.name;
    EXPECT_STREQ(layout[static_cast<size_t>(c.field)].Name, c.name) << int(c.kind);
  }
}

TEST(Page, StateHeader) {
  TKvMemoryStream s;
  TCommand::WriteStateHeader(s);
  s.SetPosition(0);
  EXPECT_EQ(TCommand::ReadStateHeader(s), 100);
  EXPECT_EQ(s.GetPosition(), 7);
  TKvMemoryStream other(std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(TCommand::ReadStateHeader(other), 0);
  EXPECT_EQ(other.GetPosition(), 0);  // put back: the fields start at the first byte
}

}  // namespace
}  // namespace orba

#include "files/vrmanager.h"

namespace orba {
namespace {

TEST(Page, LoadsThroughTheFileManager) {
  TVrFileCollection archive;
  TPage source;
  source.Commands.push_back(source.CreateCommand(cmd::kLabel));
  source.Commands[0]->Fields[fields::Label::Name].Text = "top";
  source.SaveToStream(*archive.AddMemoryEntry("scene\\Start.rsb")->Content);
  TKvMemoryStream image;
  archive.WriteArchive(image, TArchiveSources::MemoryAndArchive);
  auto path = std::filesystem::temp_directory_path() / "orba-page-test.dat";
  {
    TKvBigFileStream out(path.string(), fmCreate);
    out.Write(image.Bytes().data(), image.GetSize());
  }
  FreeVrFileManager();
  VrFileManager().AddArchive(path.string());
  TPage page;
  page.Load("SCENE\\start.rsb");
  EXPECT_EQ(page.Name, "SCENE\\start.rsb");
  EXPECT_EQ(page.FindLabel("top"), 0);
  EXPECT_THROW(page.Load("missing.rsb"), EOrbaError);
  FreeVrFileManager();
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace orba

namespace orba {
namespace {

TEST(Page, AHugeCountOfEmptySetEntriesReadsAtOnce) {
  // 671 million property-set entries of size 0: nothing to read, so nothing to loop over.
  std::vector<uint8_t> bytes = {0x67, 0, 0, 0, 0x0a, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0, 0};
  TPage page;
  page.LoadFromBytes(bytes);
  EXPECT_TRUE(page.Commands.empty());
}

}  // namespace
}  // namespace orba

#include "values/paramcollection.h"

namespace orba {
namespace {

// A page's own variable (the byte 0x01 and the page name) is freed with the page.
TEST(Page, AFreedPageFreesItsOwnVariable) {
  TParamCollection vars;
  SetVariables(&vars);
  vars.AddVariable(1, "\x01" "scene.rsb");
  vars.AddVariable(1, "\x01" "other.rsb");
  {
    TPage page;
    page.Name = "scene.rsb";
  }
  EXPECT_EQ(vars.FindVariable("\x01" "scene.rsb"), nullptr);
  EXPECT_NE(vars.FindVariable("\x01" "other.rsb"), nullptr);
  SetVariables(nullptr);
}

}  // namespace
}  // namespace orba
