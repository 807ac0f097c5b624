// The subsystems of the running player behind the window's seams. Each subsystem joins
// here as it is built; until then its steps do nothing.
#pragma once

#include <array>
#include <memory>

#include "components/baselist.h"
#include "components/input_state.h"
#include "platform/platform.h"
#include "media/mediaman.h"
#include "media/orbalib.h"
#include "render/screen.h"
#include "script/project.h"
#include "shell/subsystems.h"
#include "values/paramcollection.h"
#include "values/sysvars.h"

namespace orba {

// The system variables of the running player: the input of the current page and the
// interpreter's current call.
class TPlayerSystemSource : public ISystemVariableSource {
 public:
  TProject* Project = nullptr;
  TCustomParam* CallResult() override;
  std::vector<std::string> CallArgs() override;
  std::string Sender() override;
  std::string SaveCaption(int32_t slot) override;
  std::vector<TSlotCaption> SaveCaptions() override;
  bool FileAvailable(const std::string& name) override;
  // The sound switch and the MIDI ports answer from the media managers once they exist.
  bool SoundOn() override;
  void SetSoundOn(bool on) override;
  std::string MidiPort() override;
  void SetMidiPort(std::string_view name) override;
  std::vector<std::string> MidiPorts() override;
  // The message history's size (pixels or entries, by its form) and its limit.
  int32_t HistoryCount() override;
  int32_t HistoryMaxCount() override;
  void SetHistoryMaxCount(int32_t n) override;
  // The page's mouse moves, and the real pointer with it.
  void MoveMouse(int32_t x, int32_t y) override;
  std::function<void(int32_t, int32_t)>* MovePointer = nullptr;
};

class TCoreSubsystems : public TSubsystems {
 public:

  // platform: dialogs for the questions the subsystems ask (the disc prompt; without them
  // every question is answered Cancel) and the disc folders.
  explicit TCoreSubsystems(IOrbaMediaLibrary& media, platform::Platform* platform = nullptr)
      : media_(media), platform_(platform) {}

  // The variable collection, its system variables reading the input of the current page.
  void RegisterEmptyArchive() override;
  void OpenProjectData(const std::vector<std::string>& params, const std::string& exePath) override;
  void VirtualFileUpkeep(int32_t delta) override;
  void FinalizeFiles() override;
  void CreateVariables() override;
  void FreeVariables() override;
  void OrbaInitialize() override;
  void OrbaFinalize() override;
  void CreateProject() override;
  bool HasProject() override { return project_ != nullptr; }
  std::string StartFailure() override;
  TProjectInfo ProjectInfo() override { return info_; }
  void SetSaveFolder(const std::string& folder) override { chosenSaveFolder_ = folder; }
  std::string SaveFolder() override;
  void RunInterpreter() override;
  bool ProcessProjectRequests() override;
  void MediaInit() override;
  bool HasScreenManager() override { return screen_ != nullptr; }
  bool HasFullScreenMode() override { return screen_ && screen_->BestMode() >= 0; }
  bool SetScreenMode(bool fullScreen) override;
  void OrbaInitColor() override;
  void SetRootSize(int32_t width, int32_t height) override;
  void InputUpdate() override;
  void ComponentUpdate() override;
  void ComposeFrame() override;
  void PresentFrame(platform::IPresenter& presenter, int panelLeft, int panelTop) override;

  TBaseInput* BaseInput(int index) override { return index >= 0 && index < 2 ? &bases_[index] : nullptr; }
  int CurrentBase() override { return root_ ? root_->CurrentBase() : 0; }
  TKeyboardState* Keyboard() override { return &keys_; }

  void FreeProject() override;
  void MediaFinal() override;
  void SuspendMedia() override;
  void ResumeMedia() override;

  TScreenManager* Screen() { return screen_.get(); }
  TOrbaBaseList* Components() { return root_.get(); }
  TProject* Project() { return project_.get(); }
  TMediaManagers* Media() { return managers_.get(); }

 private:
  IOrbaMediaLibrary& media_;
  platform::Platform* platform_;
  std::unique_ptr<TProject> project_;
  std::vector<std::string> params_;
  bool hasParams_ = false;
  TProject::TStartFailure startFailure_ = TProject::TStartFailure::None;
  std::string startPage_;  // code page 932
  std::string commandLineFolder_;
  std::string exeFolder_;
  std::string chosenSaveFolder_;  // --save-dir
  TProjectInfo info_;
  // Shows the cursor file named (empty: the project's default cursor, or the arrow).
  void ShowCursor(const std::string& name);
  std::unique_ptr<TOrbaBaseList> root_;
  // A saved game's component tree and message history, kept by the component list and the
  // history and handed to the project.
  struct TComponentsPart : IGameEntryPart {
    TCoreSubsystems& Owner;
    explicit TComponentsPart(TCoreSubsystems& owner) : Owner(owner) {}
    void SaveGamePart(TKvBigStream& stream) const override;
    void LoadGamePart(TKvBigStream& stream, int32_t version) override;
    void AfterGameLoaded() override;
  } componentsPart_{*this};
  struct THistoryPart : IGameEntryPart {
    void SaveGamePart(TKvBigStream& stream) const override;
    void LoadGamePart(TKvBigStream& stream, int32_t version) override;
  } historyPart_;
  std::unique_ptr<TScreenManager> screen_;
  std::unique_ptr<TMediaManagers> managers_;
  std::array<TBaseInput, 2> bases_;  // the mouse state of the pages, written by the window
  TKeyboardState keys_;
  TPlayerSystemSource systemSource_;

  std::unique_ptr<TParamCollection> variables_;
};

}  // namespace orba
