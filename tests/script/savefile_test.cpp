#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/fuzz_seeds.h"
#include "base/binio.h"
#include "base/error.h"
#include "files/vrfiles.h"
#include "components/history.h"
#include "script/callman.h"
#include "script/savefile.h"
#include "values/dbtables.h"
#include "support/save_fixture.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;

TEST(SaveCaptions, ListsTheReadableSavedGamesOfAnArchive) {
  std::vector<uint8_t> truncated = GameEntry(134, "lost");
  truncated.resize(4 + 4 + 2);  // the caption ends after two of its four bytes
  TVrFileCollection archive;
  archive.OpenArchiveStream(std::make_unique<TKvMemoryStream>(SaveArchive({
      {"GAMESAVEDATA3", GameEntry(134, "third")},
      {"GAMESAVEDATAx", GameEntry(134, "junk name")},
      {"GAMESAVEDATA-1", GameEntry(134, "negative")},
      {"GAMESAVEDATA", GameEntry(134, "no number")},
      {"GAMESAVEDATA12", truncated},
      {"STATUSSAVEDATA", StatusEntry("Status103", {})},
      {"GAMESAVEDATA07", GameEntry(107, "seventh")},
      {"GAMESAVEDATA0", GameEntry(120, "")},
  })));
  TSaveCaptions captions;
  captions.Read(archive);
  EXPECT_EQ(captions.Items(), (std::vector<TSlotCaption>{{"third", 3}, {"seventh", 7}, {"", 0}}));
}

TEST(SaveCaptions, SetReplacesTheSlotsCaptionOrAppends) {
  TSaveCaptions captions;
  captions.Set(3, "first");
  captions.Set(5, "other");
  captions.Set(3, "again");
  EXPECT_EQ(captions.Items(), (std::vector<TSlotCaption>{{"again", 3}, {"other", 5}}));
  EXPECT_EQ(captions.CaptionOf(5), "other");
  EXPECT_EQ(captions.CaptionOf(4), "");
}

// A part of the status entry that stores one byte and notes when it is read and applied.
struct FakePart {
  std::vector<std::string>& log;
  std::string name;
  bool fails = false;
  TStatusPart Part() const {
    TStatusPart p;
    p.Read = [this](TKvBigStream& s, int32_t version) -> std::function<void()> {
      TBinaryReader r(s);
      const uint8_t b = r.U8();
      if (fails) throw EReadError("bad " + name);
      log.push_back("read " + name + "@" + std::to_string(version));
      return [this, b] { log.push_back("apply " + name + "=" + std::to_string(b)); };
    };
    p.Write = [this](TKvBigStream& s) { TBinaryWriter(s).U8(static_cast<uint8_t>(name[0])); };
    return p;
  }
};

TEST(StatusData, PartsAreReadByTheirVersionGatesAndAppliedTogether) {
  struct Case {
    const char* name;
    std::string header;
    std::vector<TStatusPartKind> registered;
    bool tablesFail;
    std::vector<std::string> expected;
    bool variablesRestored;
  } cases[] = {
      {"version 103 reads every part", "Status103",
       {TStatusPartKind::ReadList, TStatusPartKind::DitherFlag, TStatusPartKind::DataTables}, false,
       {"read list@103", "read dither@103", "read tables@103", "apply list=1", "apply dither=2", "apply tables=3"}, true},
      {"version 101 has no tables", "Status101",
       {TStatusPartKind::ReadList, TStatusPartKind::DitherFlag, TStatusPartKind::DataTables}, false,
       {"read list@101", "read dither@101", "apply list=1", "apply dither=2"}, true},
      {"version 100 stores neither the dither flag nor the tables", "Status100",
       {TStatusPartKind::ReadList, TStatusPartKind::DitherFlag, TStatusPartKind::DataTables}, false,
       {"read list@100", "apply list=1"}, true},
      {"no header: version 0 from the first byte", "",
       {TStatusPartKind::ReadList, TStatusPartKind::DitherFlag}, false,
       {"read list@0", "apply list=1"}, true},
      {"digits that are no number: version 0 after the header", "Status1x3",
       {TStatusPartKind::ReadList}, false, {"read list@0", "apply list=1"}, true},
      {"an unregistered part ends the reading", "Status103",
       {TStatusPartKind::DitherFlag, TStatusPartKind::DataTables}, false, {}, true},
      {"a part that fails changes nothing", "Status103",
       {TStatusPartKind::ReadList, TStatusPartKind::DitherFlag, TStatusPartKind::DataTables}, true,
       {"read list@103", "read dither@103"}, false},
  };
  for (const auto& c : cases) {
    TParamCollection stored, vars;
    auto* v = stored.AddVariable(PT_INT, "score");
    v->IsStatus = true;
    v->SetInt(42);
    std::vector<std::string> log;
    FakePart list{log, "list"}, dither{log, "dither"}, tables{log, "tables", c.tablesFail};
    TStatusData data;
    data.Register(TStatusPartKind::Variables, StatusVariablesPart(vars));
    for (TStatusPartKind k : c.registered) {
      const FakePart& f = k == TStatusPartKind::ReadList ? list : k == TStatusPartKind::DitherFlag ? dither : tables;
      data.Register(k, f.Part());
    }
    std::vector<uint8_t> bytes = StatusEntry(c.header, VariablesOf(stored, true));
    for (uint8_t b : {1, 2, 3}) bytes.push_back(b);
    TKvMemoryStream entry(bytes);
    if (c.tablesFail) EXPECT_THROW(data.Load(entry), EReadError) << c.name;
    else data.Load(entry);
    EXPECT_EQ(log, c.expected) << c.name;
    auto* score = vars.FindVariable("score");
    EXPECT_EQ(score != nullptr, c.variablesRestored) << c.name;
    if (score && c.variablesRestored) {
      EXPECT_EQ(score->AsInt(), 42) << c.name;
    }
  }
}

TEST(StatusData, WritesOnlyWhenEveryPartIsThereAndReadsBackWhatItWrote) {
  TParamCollection vars, again;
  auto* v = vars.AddVariable(PT_STR, "seen");
  v->IsStatus = true;
  v->SetString("yes");
  std::vector<std::string> log;
  FakePart list{log, "list"}, dither{log, "dither"}, tables{log, "tables"};
  TStatusData data;
  data.Register(TStatusPartKind::Variables, StatusVariablesPart(vars));
  data.Register(TStatusPartKind::ReadList, list.Part());
  data.Register(TStatusPartKind::DitherFlag, dither.Part());
  TKvMemoryStream out;
  EXPECT_FALSE(data.Complete());
  EXPECT_THROW(data.Save(out), EOrbaError);
  data.Register(TStatusPartKind::DataTables, tables.Part());
  ASSERT_TRUE(data.Complete());
  data.Save(out);
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().begin() + 9), "Status103");

  data.Register(TStatusPartKind::Variables, StatusVariablesPart(again));
  out.SetPosition(0);
  data.Load(out);
  EXPECT_EQ(out.GetPosition(), out.GetSize());
  ASSERT_NE(again.FindVariable("seen"), nullptr);
  EXPECT_EQ(again.FindVariable("seen")->AsString(), "yes");
  EXPECT_EQ(log, (std::vector<std::string>{"read list@103", "read dither@103", "read tables@103", "apply list=108",
                                           "apply dither=100", "apply tables=116"}));
}

// Status entries of each stored version, their bytes written out here from the layout: the
// header (or none), then the status variables, the read marks, the dither flag (from 101) and
// the status tables (from 103). Read by the parts over the real objects; what 103 holds is
// written back to the same bytes.
std::vector<uint8_t> StatusBytes(const std::string& header, int32_t version) {
  TKvMemoryStream s;
  TBinaryWriter w(s);
  w.Write(header.data(), static_cast<int64_t>(header.size()));
  w.I32(1);  // one status variable: integer "score" = 42, a scalar
  w.U8(PT_INT), w.String("score"), w.I32(0), w.I32(1), w.I32(42);  // type, name, no dims, one element
  w.Bool(true), w.U8(0), w.I32(0), w.Bool(false);  // status, reserved, level, not local
  if (version >= 100) {
    w.I32(1);  // one page with the pairs (3, 0) and (5, 1)
    w.String("story.orb"), w.I32(2), w.I32(3), w.I32(5), w.I32(0), w.I32(1);
    w.String("story.orb"), w.I32(7), w.I32(2), w.String("mes");  // the pending mark
  }
  if (version >= 101) w.U8(1);
  if (version >= 103) {
    w.I32(100), w.I32(1), w.U8(0);
    w.String("Seen"), w.U8(1), w.I32(1), w.I32(4), w.String("n"), w.U8(1);
    w.I32(1), w.I32(77), w.I32(0);
  }
  return s.TakeBytes();
}

TEST(StatusData, EntriesOfEachVersionReadIntoTheirParts) {
  struct Case {
    std::string header;
    int32_t version;
  } cases[] = {{"", 0}, {"Status100", 100}, {"Status101", 101}, {"Status103", 103}};
  for (const Case& c : cases) {
    TParamCollection vars;
    TOrbaReadList list;
    list.SetPendingMark("old", "old.orb", 1, 1);
    list.CommitMark("old");  // replaced by any load
    bool dither = false;
    TDBManager db;
    db.CreateTable("game", 0);
    TStatusData data;
    data.Register(TStatusPartKind::Variables, StatusVariablesPart(vars));
    data.Register(TStatusPartKind::ReadList, StatusReadListPart(list));
    data.Register(TStatusPartKind::DitherFlag, StatusDitherPart([&] { return dither; }, [&](bool on) { dither = on; }));
    data.Register(TStatusPartKind::DataTables, StatusTablesPart(db));
    const std::vector<uint8_t> bytes = StatusBytes(c.header, c.version);
    TKvMemoryStream entry(bytes);
    data.Load(entry);
    EXPECT_EQ(entry.GetPosition(), entry.GetSize()) << c.version;
    ASSERT_NE(vars.FindVariable("score"), nullptr) << c.version;
    EXPECT_EQ(vars.FindVariable("score")->AsInt(), 42);
    EXPECT_FALSE(list.IsRead("old.orb", 1, 1)) << c.version;
    EXPECT_EQ(list.IsRead("STORY.orb", 5, 1), c.version >= 100) << c.version;
    EXPECT_EQ(list.IsRead("story.orb", 5, 0), false);
    EXPECT_EQ(dither, c.version >= 101) << c.version;
    ASSERT_EQ(db.Count(), c.version >= 103 ? 2 : 1) << c.version;
    if (c.version >= 103) {
      int32_t n = 0;
      EXPECT_TRUE(db.Find("seen")->GetInt(0, 0, n));
      EXPECT_EQ(n, 77);
      EXPECT_EQ(db.Active(), db.Find("seen"));
      // The pending mark came back: committing it marks (7, 2).
      list.CommitMark("mes");
      EXPECT_TRUE(list.IsRead("story.orb", 7, 2));
    }
    if (c.version == 103) {
      TStatusData again = data;
      TParamCollection fresh;
      TOrbaReadList freshList;
      TDBManager freshDb;
      TKvMemoryStream reread(bytes), out;
      again.Register(TStatusPartKind::Variables, StatusVariablesPart(fresh));
      again.Register(TStatusPartKind::ReadList, StatusReadListPart(freshList));
      again.Register(TStatusPartKind::DataTables, StatusTablesPart(freshDb));
      again.Load(reread);
      again.Save(out);
      EXPECT_EQ(out.TakeBytes(), bytes);
    }
  }
}

// The seeds of the save-data fuzz target, written by our writers: the status entry with all
// four parts filled (status variables of each type, read marks with a pending mark, the
// dither flag, a status table), the same parts cut to what the entries of versions 0, 100
// and 101 stored, and a save.dat holding two saved games written by the game entry's writer
// beside that status entry. Run with ORBA_WRITE_FUZZ_SEEDS=1 to write them anew after a
// deliberate change of the layout; otherwise a difference means the stored form changed.
TEST(StatusData, FuzzSeedsAreWhatTheWritersMake) {
  TParamCollection vars;
  auto status = [&vars](uint8_t type, const char* name) {
    auto* v = vars.AddVariable(type, name);
    v->IsStatus = true;
    return v;
  };
  status(PT_INT, "cleared")->SetInt(1);
  status(PT_FLOAT, "best")->Param()->SetFloat(2.5);
  status(PT_BOOL, "seenEnding")->Param()->SetFlag(true);
  auto* names = status(PT_STR, "names");
  const int32_t dims[] = {3};
  names->Param()->SetDims(dims);
  names->Param()->SetItemString(1, "\x83\x8a\x83\x93");  // a name in CP932
  vars.AddVariable(PT_INT, "gold")->SetInt(40);  // a game variable: in the saved games only
  vars.HistoryInts = {16, 1, 0, 400, 240, 4};

  TOrbaReadList marks;
  for (auto [page, command, index] : {std::tuple{"story.orb", 3, 0}, {"story.orb", 3, 1}, {"end.orb", 1, 0}}) {
    marks.SetPendingMark("mes", page, index, command);
    marks.CommitMark("mes");
  }
  marks.SetPendingMark("mes", "story.orb", 5, 2);  // still revealing
  bool dither = true;
  TDBManager tables;
  tables.CreateTable("seen", 1);
  TDBTable& seen = *tables.Find("seen");
  seen.Fields.Add("scene", kDBInt, 4);
  seen.Fields.Add("title", kDBString, 12);
  seen.Append();
  seen.SetInt(0, 0, 7);
  seen.SetStr(0, 1, "prologue");
  tables.CreateTable("bag", 0);
  tables.Find("bag")->Fields.Add("n", kDBInt, 4);
  tables.Find("bag")->Append();

  TStatusData data;
  data.Register(TStatusPartKind::Variables, StatusVariablesPart(vars));
  data.Register(TStatusPartKind::ReadList, StatusReadListPart(marks));
  data.Register(TStatusPartKind::DitherFlag, StatusDitherPart([&] { return dither; }, [&](bool on) { dither = on; }));
  data.Register(TStatusPartKind::DataTables, StatusTablesPart(tables));
  TKvMemoryStream whole;
  data.Save(whole);
  // Each part on its own, to make the entries of the older versions.
  auto part = [](const auto& write) {
    TKvMemoryStream s;
    write(s);
    return s.TakeBytes();
  };
  const auto variables = VariablesOf(vars, true);
  const auto readList = part([&](TKvBigStream& s) { marks.SaveToStream(s); });
  const auto ditherByte = part([&](TKvBigStream& s) { TBinaryWriter(s).Bool(dither); });
  auto join = [](std::initializer_list<std::vector<uint8_t>> pieces) {
    std::vector<uint8_t> out;
    for (const auto& p : pieces) out.insert(out.end(), p.begin(), p.end());
    return out;
  };

  // Two saved games by the game entry's writer: the interpreter, the game variables and the
  // game table are the real ones; the tree and the history stand for themselves as strings.
  struct Tag : IGameEntryPart {
    std::string tag;
    explicit Tag(std::string t) : tag(std::move(t)) {}
    void SaveGamePart(TKvBigStream& s) const override { TBinaryWriter(s).String(tag); }
    void LoadGamePart(TKvBigStream& s, int32_t) override { TBinaryReader(s).String(); }
  } tree("tree"), history("history");
  TCallMan interpreter;
  interpreter.PC = 4;
  const TGameEntry::TParts parts{&tree, &history, &interpreter, &vars, &tables};
  auto game = [&](const char* caption, const char* resume, int32_t index) {
    TGameEntry e;
    e.Caption = caption;
    e.ResumePage = resume;
    e.ResumeIndex = index;
    TKvMemoryStream s;
    e.Save(s, parts);
    return s.TakeBytes();
  };

  struct Seed {
    const char* name;
    std::vector<uint8_t> bytes;
  } seeds[] = {
      {"save.dat", SaveArchive({{"GAMESAVEDATA1", game("one", "", 0)},
                                {"GAMESAVEDATA2", game("\x93\xf1", "resume.orb", 3)},
                                {"STATUSSAVEDATA", whole.Bytes()}})},
      {"status103", whole.Bytes()},
      {"status101", StatusEntry("Status101", join({variables, readList, ditherByte}))},
      {"status100", StatusEntry("Status100", join({variables, readList}))},
      {"status-without-header", StatusEntry("", variables)},
  };
  for (const auto& seed : seeds) testing_support::ExpectFuzzSeed("save_data", seed.name, seed.bytes);
  // Every seed reads back whole into fresh parts.
  for (const auto& seed : seeds) {
    if (std::string_view(seed.name) == "save.dat") continue;
    TParamCollection v2;
    TOrbaReadList m2;
    bool d2 = false;
    TDBManager t2;
    TStatusData again;
    again.Register(TStatusPartKind::Variables, StatusVariablesPart(v2));
    again.Register(TStatusPartKind::ReadList, StatusReadListPart(m2));
    again.Register(TStatusPartKind::DitherFlag, StatusDitherPart([&] { return d2; }, [&](bool on) { d2 = on; }));
    again.Register(TStatusPartKind::DataTables, StatusTablesPart(t2));
    TKvMemoryStream in(seed.bytes);
    again.Load(in);
    EXPECT_EQ(in.GetPosition(), in.GetSize()) << seed.name;
    ASSERT_NE(v2.FindVariable("names"), nullptr) << seed.name;
    EXPECT_EQ(v2.FindVariable("gold"), nullptr) << seed.name;
  }
}

}  // namespace
}  // namespace orba
