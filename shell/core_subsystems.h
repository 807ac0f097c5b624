// The subsystems of the running player behind the window's seams. Each subsystem joins
// here as it is built; until then its steps do nothing.
#pragma once

#include <array>
#include <memory>

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
  void RunInterpreter() override;
  bool ProcessProjectRequests() override;
  void MediaInit() override;
  bool HasScreenManager() override { return screen_ != nullptr; }
  bool HasFullScreenMode() override { return screen_ && screen_->BestMode() >= 0; }
  bool SetScreenMode(bool fullScreen) override;
  void OrbaInitColor() override;
  void InputUpdate() override;
  void ComposeFrame() override;
  void PresentFrame(platform::IPresenter& presenter, int panelLeft, int panelTop) override;

  // A picture of the project (a native UTF-8 name such as "pictures/title.trn") that every
  // composed frame shows centred over black, until components compose the screen. It is read
  // when the screen manager is made; a picture that cannot be read stops the start-up.
  void ShowPicture(const std::string& utf8Name) { showName_ = utf8Name; }

  TBaseInput* BaseInput(int index) override { return index >= 0 && index < 2 ? &bases_[index] : nullptr; }
  int CurrentBase() override { return 0; }
  TKeyboardState* Keyboard() override { return &keys_; }

  void FreeProject() override;
  void MediaFinal() override;
  void SuspendMedia() override;
  void ResumeMedia() override;

  TScreenManager* Screen() { return screen_.get(); }
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
  TProjectInfo info_;
  TEventQueueOnly root_;  // the event queue until the component tree exists
  std::unique_ptr<TScreenManager> screen_;
  std::unique_ptr<TMediaManagers> managers_;
  std::array<TClipList, 2> dirty_;  // what each screen page needs repainted
  std::string showName_;
  std::unique_ptr<TDIBSurface> shown_;  // the picture to show, as read
  bool shownDrawn_ = false;             // it is in the current back buffer
  std::array<TBaseInput, 2> bases_;
  TKeyboardState keys_;
  TPlayerSystemSource systemSource_;

  void LoadShownPicture();
  std::unique_ptr<TParamCollection> variables_;
};

}  // namespace orba
