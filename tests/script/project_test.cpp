#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "base/cp932.h"
#include "base/process.h"
#include "files/vrmanager.h"
#include "render/wipedefaults.h"
#include "script/project.h"
#include "shell/core_subsystems.h"
#include "support/project_fixture.h"
#include "support/save_fixture.h"
#include "support/temp_dir.h"
#include "values/paramcollection.h"
#include "values/parser.h"

namespace orba {
namespace {

using testing_support::TempDir;

struct ProjectRun : ::testing::Test {
  TempDir dir;
  TPlayerSystemSource source;  // "@Result" and the call's arguments come from the project
  TParamCollection vars{&source};
  std::vector<std::string> messages;
  std::vector<TProject::THost::TIcon> icons;
  bool answer = false;
  std::string userSaveFolder;  // the project's folder in the user's data, when set
  bool besideWritable = true;

  void SetUp() override {
    FreeVrFileManager();
    VrFileManager().AddArchive("");
    SetVariables(&vars);
  }
  void TearDown() override {
    SetVariables(nullptr);
    FreeVrFileManager();
  }
  std::unique_ptr<TProject> Make(bool withFolder = true) {
    TProject::THost host;
    host.Message = [this](const std::string&, const std::string& text, bool, TProject::THost::TIcon icon) {
      messages.push_back(text);
      icons.push_back(icon);
      return answer;
    };
    host.HasCommandLineFolder = withFolder;
    host.CommandLineFolder = dir.path.string();
    host.ExeFolder = (dir.path / "exe").string() + "/";
    host.UserSaveFolder = userSaveFolder;
    host.FolderWritable = [this](const std::string&) { return besideWritable; };
    VrFileManager().SetBaseFolder(dir.path.string());
    auto project = std::make_unique<TProject>(std::move(host));
    source.Project = project.get();
    return project;
  }
  // The value of an expression over vars as text.
  std::string Eval(const std::string& text) {
    TOrbaParser p;
    CompileExpression(text, p);
    p.Execute(vars);
    EXPECT_EQ(p.LastError(), "") << text;
    return p.Result() ? p.Result()->AsString() : "(none)";
  }
  // The wait project with status variable records "score" (5) and "name" ("start").
  void WriteProjectWithStatusRecords() {
    testing_support::WriteWaitProject(dir.path);
    std::ifstream in(dir.path / "orba.rpb", std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    TProjectFile file;
    file.LoadFromBytes(bytes);
    TProjectVariable score, name;
    score.Type = 1;
    score.Name = "score";
    score.Int = 5;
    name.Type = 4;
    name.Name = "name";
    name.Text = "start";
    file.Variables = {score, name};
    testing_support::SaveProject(file, dir.path / "orba.rpb");
  }
  // An empty project folder and a player that has not run yet.
  void StartOver() {
    std::filesystem::remove_all(dir.path);
    std::filesystem::create_directories(dir.path);
    ResetProcessState();
    FreeVrFileManager();
    VrFileManager().AddArchive("");
  }
  std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(dir.path / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

TEST_F(ProjectRun, StartsOnItsStartPage) {
  testing_support::WriteWaitProject(dir.path);
  auto* v = vars.AddVariable(1, "ticks");  // a status variable restored before the project file
  v->IsStatus = true;
  v->SetInt(40);
  auto project = Make();
  project->Create();
  EXPECT_FALSE(Process().Terminating);
  EXPECT_EQ(project->Name, "Wait");
  ASSERT_NE(project->CallMan(), nullptr);
  EXPECT_EQ(project->CallMan()->CurrentPage->Name, "start.rsb");
  project->Step();
  ASSERT_NE(vars.FindVariable("ticks"), nullptr);
  EXPECT_EQ(vars.FindVariable("ticks")->AsInt(), 41);
  project->Free();
}

TEST_F(ProjectRun, FailuresEndThePlayer) {
  using enum TProject::THost::TIcon;
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    std::string message;
    bool folder;
    TProject::THost::TIcon icon = Warning;
  } cases[] = {
      {"no project file", [](const std::filesystem::path&) {}, "", true},
      {"empty project file", [](const std::filesystem::path& d) { std::ofstream(d / "orba.rpb"); },
       Sjis(u8"プロジェクトがありません"), true},
      {"no start page", [](const std::filesystem::path& d) {
         testing_support::WriteWaitProject(d);
         std::filesystem::remove(d / "start.rsb");
       }, Sjis(u8"スタートページがありません"), true},
      {"no install description without a folder", [](const std::filesystem::path& d) { testing_support::WriteWaitProject(d); },
       Sjis(u8"インストールし直してください"), false, Information},
  };
  for (const auto& c : cases) {
    for (const auto& e : std::filesystem::directory_iterator(dir.path)) std::filesystem::remove(e.path());
    c.make(dir.path);
    messages.clear();
    icons.clear();
    ResetProcessState();
    FreeVrFileManager();
    VrFileManager().AddArchive("");
    auto project = Make(c.folder);
    project->Create();
    EXPECT_TRUE(Process().Terminating) << c.name;
    if (c.message.empty()) {
      EXPECT_TRUE(messages.empty()) << c.name;
    } else {
      EXPECT_EQ(messages, std::vector<std::string>{c.message}) << c.name;
      EXPECT_EQ(icons, std::vector<TProject::THost::TIcon>{c.icon}) << c.name;
    }
  }
}

// What the project file sets beyond its fields: its disc texts replace the built-in ones even
// when empty, transition kind 30 zooms into the screen's centre, and a damaged original disc
// table leaves no table at all.
TEST_F(ProjectRun, TheProjectFileSetsTheDiscTextsTheZoomCentreAndTheDiscTable) {
  testing_support::WriteWaitProject(dir.path);
  TProjectFile file;
  {
    std::ifstream in(dir.path / "orba.rpb", std::ios::binary);
    file.LoadFromBytes(std::vector<uint8_t>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
  }
  file.DiskPrompt = "";
  file.ExitMessage = "";
  file.DiskList.Add("BGM", 2);
  testing_support::SaveProject(file, dir.path / "orba.rpb");
  for (bool damagedOriginal : {false, true}) {
    ResetProcessState();
    FreeVrFileManager();
    VrFileManager().AddArchive("");
    if (damagedOriginal) {
      TKvMemoryStream* original = VrFileManager().Archive(0)->AddMemoryEntry("/original_orba.rpb")->Content.get();
      TBinaryWriter(*original).I32(110);  // a version and nothing after it
    }
    auto project = Make();
    project->Create();
    ASSERT_FALSE(Process().Terminating) << damagedOriginal;
    EXPECT_EQ(VrFileManager().DiscPrompt().Prompt, "");
    EXPECT_EQ(VrFileManager().DiscPrompt().ExitMessage, "");
    EXPECT_EQ(WipeDefaultParams(30), (TWipeParams{160, 120}));  // the wait project's screen is 320 x 240
    EXPECT_EQ(project->File.DiskList.Count(), damagedOriginal ? 0 : 1);
  }
}

TEST_F(ProjectRun, OptionalMediaOnAnotherDiscAreSkippedWithoutAPrompt) {
  auto project = Make();
  project->File.DiskList.Add("BGM", 2);
  project->File.DiskList.Add("BG", 2);
  project->File.OptionalMediaExts = "wav.wma.ogg";
  int asked = 0;
  VrFileManager().DiscPrompt().AskOkCancel = [&](const std::string&, const std::string& text) {
    ++asked;
    return text == VrFileManager().DiscPrompt().ExitMessage;  // cancel the prompt, confirm the exit
  };
  VrFileManager().DiscPrompt().RequestClose = [] {};
  EXPECT_FALSE(project->CheckFileAvailable("bgm\\title.ogg"));
  EXPECT_EQ(asked, 0);
  EXPECT_FALSE(project->CheckFileAvailable("bg\\title.png"));
  EXPECT_EQ(asked, 2);  // the prompt, then the exit question
  EXPECT_FALSE(project->CheckFileAvailable(""));
  // The extension is that of the name's last part: without one, or with a dot only in a
  // folder, the name counts as optional too.
  asked = 0;
  EXPECT_FALSE(project->CheckFileAvailable("bgm\\title"));
  EXPECT_FALSE(project->CheckFileAvailable("bgm\\v1.2\\title"));
  EXPECT_EQ(asked, 0);
}


TEST_F(ProjectRun, ListsTheSavedGamesOfSaveDatInTheProjectFolder) {
  using namespace testing_support;
  WriteWaitProject(dir.path);
  WriteBytes(dir.path / "save.dat", SaveArchive({{"GAMESAVEDATA2", GameEntry(134, "two")},
                                                 {"STATUSSAVEDATA", StatusEntry("Status103", {})},
                                                 {"GAMESAVEDATA5", GameEntry(134, "five")}}));
  EXPECT_EQ(Make(false)->SaveFileName(), (dir.path / "exe" / "save.dat").string());
  auto project = Make();
  EXPECT_EQ(project->SaveFileName(), (dir.path / "save.dat").string());
  project->Create();
  // The caption functions reach the project's list through the system source.
  EXPECT_EQ(Eval("GetSaveCaption(5)"), "five");
  EXPECT_EQ(Eval("GetSaveCaption(3)"), "");
  project->SetSaveCaption(2, "again");
  project->SetSaveCaption(9, "nine");
  vars.AddVariable(PT_STR, "caps");
  vars.AddVariable(PT_INT, "slots");
  EXPECT_EQ(Eval("ListSaveCaption(caps, slots)"), "3");
  EXPECT_EQ(Eval("ArrayToString(caps, \",\") ++ \"/\" ++ ArrayToString(slots, \",\")"), "again,five,nine/2,5,9");
}

TEST_F(ProjectRun, StatusVariablesOfEarlierRunsOutrankTheProjectsRecords) {
  using namespace testing_support;
  TParamCollection earlier;
  auto* v = earlier.AddVariable(PT_INT, "score");
  v->IsStatus = true;
  v->SetInt(42);
  const std::vector<uint8_t> stored = VariablesOf(earlier, true);
  std::vector<uint8_t> truncated = stored;
  truncated.resize(truncated.size() - 1);
  // After the variables, a version-103 entry holds an empty read list (no pages, no pending
  // mark), the dither flag and no status tables.
  std::vector<uint8_t> whole = stored;
  for (uint8_t b : {0, 0, 0, 0, /*pending*/ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, /*dither*/ 1,
                    /*tables*/ 100, 0, 0, 0, 0, 0, 0, 0})
    whole.push_back(b);
  struct Case {
    const char* name;
    std::vector<uint8_t> saveFile;  // empty: none
    int32_t score;
  } cases[] = {
      {"entry with its header", SaveArchive({{"STATUSSAVEDATA", StatusEntry("Status103", whole)}}), 42},
      {"entry that lacks the parts after the variables", SaveArchive({{"STATUSSAVEDATA", StatusEntry("Status103", stored)}}), 5},
      {"entry without a header is read from its first byte", SaveArchive({{"STATUSSAVEDATA", StatusEntry("", stored)}}), 42},
      {"damaged entry is ignored", SaveArchive({{"STATUSSAVEDATA", StatusEntry("Status103", truncated)}}), 5},
      {"entry too short for a header", SaveArchive({{"STATUSSAVEDATA", StatusEntry("Stat", {})}}), 5},
      {"no status entry", SaveArchive({{"GAMESAVEDATA1", GameEntry(134, "one")}}), 5},
      {"save.dat that is no archive", std::vector<uint8_t>{'v', 'f', 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3}, 5},
      {"no save.dat", {}, 5},
  };
  for (const auto& c : cases) {
    StartOver();
    WriteProjectWithStatusRecords();
    if (!c.saveFile.empty()) WriteBytes(dir.path / "save.dat", c.saveFile);
    TParamCollection fresh{&source};
    SetVariables(&fresh);
    auto project = Make();
    project->Create();
    EXPECT_FALSE(Process().Terminating) << c.name;
    TParamCollectionItem* score = fresh.FindVariable("score");
    ASSERT_NE(score, nullptr) << c.name;
    EXPECT_EQ(score->AsInt(), c.score) << c.name;
    EXPECT_TRUE(score->IsStatus) << c.name;
    ASSERT_NE(fresh.FindVariable("name"), nullptr) << c.name;
    EXPECT_EQ(fresh.FindVariable("name")->AsString(), "start") << c.name;
    project.reset();
    SetVariables(&vars);
  }
}

// Saves go beside the project when its folder can be written, else to the user's folder;
// they are read from the file written to when it exists, else from the other place, and
// saved games found only beside a read-only project are carried over by the first write.
TEST_F(ProjectRun, SavesGoBesideTheProjectOrToTheUsersFolder) {
  using namespace testing_support;
  const std::filesystem::path user = dir.path.string() + "-user";  // beside the project folder
  userSaveFolder = (user / "orbaplayer" / "KEY-").string();
  const std::vector<uint8_t> beside = SaveArchive({{"GAMESAVEDATA1", GameEntry(134, "beside")}});
  const std::vector<uint8_t> inUser = SaveArchive({{"GAMESAVEDATA1", GameEntry(134, "user")}});
  struct Case {
    const char* name;
    bool writable, besideFile, userFile;
    const char* caption;
    bool writesBeside;
  } cases[] = {
      {"writable folder, both files", true, true, true, "beside", true},
      {"writable folder, only the user's file", true, false, true, "user", true},
      {"read-only folder, both files", false, true, true, "user", false},
      {"read-only folder, only the project's file", false, true, false, "beside", false},
  };
  for (const Case& c : cases) {
    StartOver();
    std::filesystem::remove_all(user);
    WriteProjectWithStatusRecords();
    if (c.besideFile) WriteBytes(dir.path / "save.dat", beside);
    if (c.userFile) {
      std::filesystem::create_directories(userSaveFolder);
      WriteBytes(std::filesystem::path(userSaveFolder) / "save.dat", inUser);
    }
    besideWritable = c.writable;
    TParamCollection fresh{&source};
    SetVariables(&fresh);
    auto project = Make();
    project->Create();
    EXPECT_EQ(project->CaptionOfSlot(1), c.caption) << c.name;
    const std::filesystem::path written = c.writesBeside ? dir.path / "save.dat" : std::filesystem::path(userSaveFolder) / "save.dat";
    EXPECT_EQ(project->SaveFileName(), written.string()) << c.name;
    project->Free();  // writes the status entry
    project.reset();
    auto next = Make();
    next->Create();
    EXPECT_EQ(next->CaptionOfSlot(1), c.caption) << c.name << ": the saved game travels with the status";
    TVrFileCollection archive;
    archive.OpenArchiveFile(written.string());
    EXPECT_NE(archive.FindEntry("STATUSSAVEDATA"), nullptr) << c.name;
    if (!c.writable) {
      EXPECT_EQ(ReadFile("save.dat"), beside) << c.name;
    }
    next.reset();
    SetVariables(&vars);
  }
  std::filesystem::remove_all(user);
  userSaveFolder.clear();
  besideWritable = true;
}

// Every part of the status entry has its keeper (the variables, the read marks, the dither
// flag, the status tables), so freeing the project writes the entry beside the saved games,
// and a new run reads it back.
TEST_F(ProjectRun, FreeWritesTheStatusBesideTheSavedGames) {
  using namespace testing_support;
  for (uint8_t saveEnabled : {1, 0}) {
    StartOver();
    WriteProjectWithStatusRecords();
    const std::vector<uint8_t> saveFile =
        SaveArchive({{"GAMESAVEDATA1", GameEntry(134, "one")}, {"STATUSSAVEDATA", StatusEntry("Status103", {0, 0, 0, 0})}});
    WriteBytes(dir.path / "save.dat", saveFile);
    TParamCollection first{&source};
    SetVariables(&first);
    auto project = Make();
    project->Create();
    ASSERT_FALSE(Process().Terminating);
    project->File.SaveEnabled = saveEnabled;
    ASSERT_NE(first.FindVariable("score"), nullptr);
    first.FindVariable("score")->SetInt(77);
    project->Free();
    project.reset();
    if (!saveEnabled) {
      EXPECT_EQ(ReadFile("save.dat"), saveFile);
    } else {
      // Nothing but save.dat is left in the folder, and a new run finds both the status and the saved game.
      std::vector<std::string> names;
      for (const auto& e : std::filesystem::directory_iterator(dir.path)) names.push_back(e.path().filename().string());
      std::sort(names.begin(), names.end());
      EXPECT_EQ(names, (std::vector<std::string>{"orba.rpb", "save.dat", "start.rsb"}));
      TParamCollection second{&source};
      SetVariables(&second);
      auto next = Make();
      next->Create();
      ASSERT_NE(second.FindVariable("score"), nullptr);
      EXPECT_EQ(second.FindVariable("score")->AsInt(), 77);
      EXPECT_EQ(next->CaptionOfSlot(1), "one");
    }
    SetVariables(&vars);
  }
}
}  // namespace
}  // namespace orba

#include "authoring/source.h"

namespace orba {
namespace {

// The demo project, compiled from its source in the repository, runs to its end.
TEST_F(ProjectRun, TheDemoRunsToItsEnd) {
  const auto demo = std::filesystem::path(ORBA_SOURCE_DIR) / "examples" / "demo";
  TCompiledProject built = CompileProjectFolder(demo);
  testing_support::WriteBytes(dir.path / "orba.rpb", built.ProjectFile);
  for (const auto& [name, bytes] : built.Pages) testing_support::WriteBytes(dir.path / name, bytes);
  auto project = Make();
  project->Create();
  ASSERT_FALSE(Process().Terminating);
  // The demo ends by itself after about 49 s: the title screen, the picture screen, three pages
  // of its story scene, each turned after 3 s, the save screen (1 s), the window cleared and
  // the history screen (2 s), then the effects page playing its 38 effects; the screens change
  // through transitions.
  for (int tick = 0; tick < 3400 && !Process().Terminating; ++tick) {
    Process().FrameDelta = 16;
    Process().GameTime += 16;
    project->Step();
  }
  EXPECT_TRUE(Process().Terminating);  // the demo ends itself
  auto value = [&](const char* name) {
    auto* v = vars.FindVariable(name);
    return v ? v->AsString() : std::string("<none>");
  };
  EXPECT_EQ(value("total"), "15");
  EXPECT_EQ(value("kinds"), "odd even three even odd ");
  ASSERT_NE(vars.FindVariable("squares"), nullptr);
  EXPECT_EQ(vars.FindVariable("squares")->Param()->ItemInt(5), 25);
  EXPECT_EQ(value("greeting"), "Hello, Mika! The numbers add up to 15.");
  EXPECT_EQ(value("ratio"), "22.5");
  EXPECT_EQ(value("seenEnding"), "TRUE");
  EXPECT_EQ(value("visits"), "1");
  project->Free();
}

}  // namespace
}  // namespace orba
