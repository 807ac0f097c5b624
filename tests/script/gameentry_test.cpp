// Saved games: entries of versions 107, 123 and 134 written out here from their layout and
// read into the parts, and a project saving and loading through its requests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/binio.h"
#include "base/cp932.h"
#include "base/error.h"
#include "base/process.h"
#include "files/vrfiles.h"
#include "files/vrmanager.h"
#include "script/callman.h"
#include "script/page.h"
#include "script/project.h"
#include "script/savefile.h"
#include "support/project_fixture.h"
#include "support/save_fixture.h"
#include "support/temp_dir.h"
#include "values/dbtables.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

// Stands for the component tree or the message history: stores its tag and notes the
// version it was read with.
struct TagPart : IGameEntryPart {
  explicit TagPart(std::string t) : tag(std::move(t)) {}
  void SaveGamePart(TKvBigStream& s) const override { TBinaryWriter(s).String(tag); }
  void LoadGamePart(TKvBigStream& s, int32_t version) override {
    if (TBinaryReader(s).String() != tag) throw EReadError("not my part");
    loadedWith = version;
  }
  void AfterGameLoaded() override { ++restored; }
  std::string tag;
  int32_t loadedWith = -1;
  int restored = 0;
};

// A game entry as stored by version v: head, the two stand-in parts, an interpreter with no
// page at counter 3 (its event level only from 116), the game variable gold = 5 with the
// game settings (history settings from 113, the temporary's name from 121), and from 123 the
// game tables: "bag" with one record n = 9, active.
std::vector<uint8_t> GameEntryBytes(int32_t v) {
  TKvMemoryStream s;
  TBinaryWriter w(s);
  w.I32(v), w.String("caption"), w.String(""), w.I32(0);
  w.String("tree"), w.String("hist");
  w.String(""), w.I32(3), w.Bool(false), w.Bool(false), w.I32(0), w.String(""), w.I32(0);  // page, PC, flags, mode, sender, args
  w.String(""), w.I32(0), w.Bool(false), w.Bool(false), w.String(""), w.I32(0), w.String(""), w.I32(0), w.U8(0);  // spare frame
  w.I32(0);                 // no frames
  if (v >= 116) w.I32(1);   // event level
  w.I32(1), w.U8(PT_INT), w.String("gold"), w.I32(0), w.I32(1), w.I32(5), w.Bool(false), w.U8(0), w.I32(0), w.Bool(false);
  w.I32(40), w.String("hand");           // text delay, cursor name
  w.String("sel"), w.I32(2);              // selection text and index (above 102)
  if (v > 112)
    for (int32_t k = 1; k <= 6; ++k) w.I32(k);  // the history settings
  if (v > 120) w.String("");              // the temporary variable's name
  if (v >= 123) {
    w.I32(100), w.I32(1), w.U8(0), w.String("bag"), w.U8(0), w.I32(1), w.I32(4), w.String("n"), w.U8(1);
    w.I32(1), w.I32(9), w.I32(0), w.String("bag");
  }
  return s.TakeBytes();
}

TEST(GameEntry, EntriesOfEachVersionReadIntoTheirParts) {
  for (int32_t v : {107, 115, 123, 134}) {
    TagPart tree("tree"), hist("hist");
    TCallMan interpreter;
    TParamCollection vars;
    TDBManager tables;
    tables.CreateTable("old", 0);
    const TGameEntry::TParts parts{&tree, &hist, &interpreter, &vars, &tables};
    const std::vector<uint8_t> bytes = GameEntryBytes(v);
    TKvMemoryStream in(bytes);
    const TGameEntry e = TGameEntry::Load(in, parts);
    EXPECT_EQ(in.GetPosition(), in.GetSize()) << v;
    EXPECT_EQ(e.Version, v);
    EXPECT_EQ(e.Caption, "caption");
    EXPECT_EQ(tree.loadedWith, v);
    EXPECT_EQ(hist.loadedWith, v);
    EXPECT_EQ(interpreter.PC, 3);
    EXPECT_EQ(interpreter.EventLevel, v >= 116 ? 1 : 2) << v;
    ASSERT_NE(vars.FindVariable("gold"), nullptr) << v;
    EXPECT_EQ(vars.FindVariable("gold")->AsInt(), 5);
    EXPECT_EQ(vars.TextDelay, 40);
    EXPECT_EQ(vars.SelIndex, 2);
    EXPECT_EQ(vars.HistoryInts[5], v > 112 ? 6 : 0) << v;
    // Before 123 the entry has no tables, and the game tables stay as they were.
    EXPECT_EQ(tables.Find("old") != nullptr, v < 123) << v;
    EXPECT_EQ(tables.Find("bag") != nullptr, v >= 123) << v;
    if (v == 134) {
      EXPECT_EQ(tables.Active(), tables.Find("bag"));
      TKvMemoryStream out;
      e.Save(out, parts);
      EXPECT_EQ(out.TakeBytes(), bytes) << "written back";
    }
  }
  // Older than 107: refused before anything is read.
  TagPart tree("tree"), hist("hist");
  TCallMan interpreter;
  TParamCollection vars;
  TDBManager tables;
  TKvMemoryStream old(GameEntryBytes(106));
  EXPECT_THROW(TGameEntry::Load(old, {&tree, &hist, &interpreter, &vars, &tables}), EOrbaError);
  EXPECT_EQ(tree.loadedWith, -1);
}

// A project carries out the save and load requests of a tick, through save.dat.
class GameSaves : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  TParamCollection vars;
  std::vector<std::string> messages;
  TagPart tree{"tree"}, hist{"hist"};

  void SetUp() override {
    ResetProcessState();
    FreeVrFileManager();
    VrFileManager().AddArchive("");
    SetVariables(&vars);
    DBManager().Clear();
    testing_support::WriteWaitProject(dir.path);
  }
  void TearDown() override {
    SetVariables(nullptr);
    FreeVrFileManager();
    DBManager().Clear();
  }
  std::unique_ptr<TProject> Make() {
    TProject::THost host;
    host.Message = [this](const std::string&, const std::string& text, bool, TProject::THost::TIcon) {
      messages.push_back(ToUtf8(text));
      return true;
    };
    host.HasCommandLineFolder = true;
    host.CommandLineFolder = dir.path.string();
    VrFileManager().SetBaseFolder(dir.path.string());
    auto project = std::make_unique<TProject>(std::move(host));
    project->Create();
    project->SetGameEntryParts(&tree, &hist);
    return project;
  }
  std::vector<uint8_t> SaveBytes() {
    std::ifstream in(dir.path / "save.dat", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

TEST_F(GameSaves, SavingAndLoadingThroughTheRequests) {
  auto project = Make();
  ASSERT_FALSE(Process().Terminating);
  for (int i = 0; i < 3; ++i) project->Step();  // the start page waits in its loop
  TCallMan& cm = *project->CallMan();
  const int32_t savedPC = cm.PC;
  vars.AddVariable(PT_INT, "gold")->Param()->SetInt(5);
  DBManager().CreateTable("bag", 0);

  project->RequestSave(2, "start.rsb", 2, "at the loop");
  EXPECT_FALSE(project->ProcessRequests());
  EXPECT_EQ(project->CaptionOfSlot(2), "at the loop");
  {
    TVrFileCollection archive;
    archive.OpenArchiveFile((dir.path / "save.dat").string());
    EXPECT_NE(archive.FindEntry("GAMESAVEDATA2"), nullptr);
    EXPECT_NE(archive.FindEntry("STATUSSAVEDATA"), nullptr) << "the status goes with each save";
  }
  // An empty caption saves nothing; a missing slot loads nothing.
  const std::vector<uint8_t> file = SaveBytes();
  project->RequestSave(3, "", 0, "");
  project->ProcessRequests();
  EXPECT_EQ(SaveBytes(), file);
  project->RequestLoad(4);
  EXPECT_FALSE(project->ProcessRequests());

  vars.FindVariable("gold")->SetInt(9);
  DBManager().Clear();
  project->RequestLoad(2);
  EXPECT_TRUE(project->ProcessRequests());
  EXPECT_FALSE(Process().Terminating);
  EXPECT_EQ(vars.FindVariable("gold")->AsInt(), 5);
  EXPECT_NE(DBManager().Find("bag"), nullptr);
  EXPECT_EQ(tree.restored, 1);
  // The resume page runs first from its index; a frame returns to the saved position.
  EXPECT_EQ(cm.CurrentPage->Name, "start.rsb");
  EXPECT_EQ(cm.PC, 2);
  EXPECT_FALSE(cm.Started);
  ASSERT_EQ(cm.Stack.Count(), 1);
  EXPECT_EQ(cm.Stack.Item(0).PC, savedPC);
  EXPECT_EQ(messages, std::vector<std::string>{});
}

TEST_F(GameSaves, FailuresAreReportedAndNeverDamageTheFile) {
  auto project = Make();
  project->RequestSave(1, "", 0, "first");
  project->ProcessRequests();
  const std::vector<uint8_t> file = SaveBytes();
  ASSERT_FALSE(file.empty());

  // Without the keeper of the component tree nothing can be saved: said, file untouched.
  project->SetGameEntryParts(nullptr, &hist);
  project->RequestSave(2, "", 0, "second");
  project->ProcessRequests();
  EXPECT_EQ(SaveBytes(), file);
  EXPECT_EQ(project->CaptionOfSlot(2), "");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].starts_with("保存できませんでした")) << messages[0];
  project->SetGameEntryParts(&tree, &hist);

  // An entry too old to use stops the player with the message for unusable saves.
  TSaveFile saves((dir.path / "save.dat").string());
  const std::vector<uint8_t> old = GameEntryBytes(106);
  const TSaveFile::TEntry entries[] = {{"GAMESAVEDATA5", old}};
  saves.Write(entries);
  project->RequestLoad(5);
  EXPECT_TRUE(project->ProcessRequests());
  EXPECT_TRUE(Process().Terminating);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1], "このセーブデータは使用できません\r\n終了してください");
}

}  // namespace
}  // namespace orba
