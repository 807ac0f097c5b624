#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "base/cp932.h"
#include "base/process.h"
#include "files/vrmanager.h"
#include "script/project.h"
#include "shell/core_subsystems.h"
#include "support/project_fixture.h"
#include "support/temp_dir.h"
#include "values/paramcollection.h"

namespace orba {
namespace {

using testing_support::TempDir;

struct ProjectRun : ::testing::Test {
  TempDir dir;
  TPlayerSystemSource source;  // "@Result" and the call's arguments come from the project
  TParamCollection vars{&source};
  std::vector<std::string> messages;
  bool answer = false;

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
    host.Message = [this](const std::string&, const std::string& text, bool) {
      messages.push_back(text);
      return answer;
    };
    host.HasCommandLineFolder = withFolder;
    host.ExeFolder = dir.path.string() + "/";
    VrFileManager().SetBaseFolder(dir.path.string());
    auto project = std::make_unique<TProject>(std::move(host));
    source.Project = project.get();
    return project;
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
  EXPECT_EQ(vars.FindVariable("ticks")->AsInt(), 41);
  project->Free();
}

TEST_F(ProjectRun, FailuresEndThePlayer) {
  struct Case { const char* name; std::function<void(const std::filesystem::path&)> make; std::string message; bool folder; } cases[] = {
      {"no project file", [](const std::filesystem::path&) {}, "", true},
      {"empty project file", [](const std::filesystem::path& d) { std::ofstream(d / "orba.rpb"); },
       Sjis(u8"プロジェクトがありません"), true},
      {"no start page", [](const std::filesystem::path& d) {
         testing_support::WriteWaitProject(d);
         std::filesystem::remove(d / "start.rsb");
       }, Sjis(u8"スタートページがありません"), true},
      {"no install description without a folder", [](const std::filesystem::path& d) { testing_support::WriteWaitProject(d); },
       Sjis(u8"インストールし直してください"), false},
  };
  for (const auto& c : cases) {
    for (const auto& e : std::filesystem::directory_iterator(dir.path)) std::filesystem::remove(e.path());
    c.make(dir.path);
    messages.clear();
    ResetProcessState();
    FreeVrFileManager();
    VrFileManager().AddArchive("");
    auto project = Make(c.folder);
    project->Create();
    EXPECT_TRUE(Process().Terminating) << c.name;
    if (c.message.empty()) EXPECT_TRUE(messages.empty()) << c.name;
    else EXPECT_EQ(messages, std::vector<std::string>{c.message}) << c.name;
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
}

}  // namespace
}  // namespace orba

#include "script/source.h"

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
  for (int tick = 0; tick < 1200 && !Process().Terminating; ++tick) {  // the demo ends by itself after 15.5 s
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
  EXPECT_EQ(vars.FindVariable("squares")->Param()->ItemInt(5), 25);
  EXPECT_EQ(value("greeting"), "Hello, Mika! The numbers add up to 15.");
  EXPECT_EQ(value("ratio"), "22.5");
  EXPECT_EQ(value("seenEnding"), "TRUE");
  EXPECT_EQ(value("visits"), "1");
  project->Free();
}

}  // namespace
}  // namespace orba
