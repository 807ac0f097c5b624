// Subsystems that write down every seam the window calls, so tests can check the order of
// start-up, of each tick and of shutdown.
#pragma once

#include <string>
#include <vector>

#include "base/process.h"
#include "components/input_state.h"
#include "shell/subsystems.h"

namespace orba::testing_support {

class RecordingSubsystems : public TSubsystems {
 public:
  std::vector<std::string> calls;
  bool loadRequest = false;   // ProcessProjectRequests reports a load once
  bool terminateInInterpreter = false;
  bool logo = false;          // a logo animation can be created
  bool logoAlive = true;
  int32_t width = 320, height = 240;
  bool pacing = true;
  std::array<TBaseInput, 2> bases;
  TKeyboardState keys;

  void Clear() { calls.clear(); }
  void Log(const char* s) { calls.emplace_back(s); }

  void RegisterEmptyArchive() override { Log("RegisterEmptyArchive"); }
  void OpenProjectData(const std::vector<std::string>&, const std::string&) override { Log("OpenProjectData"); }
  void CreateVariables() override { Log("CreateVariables"); }
  void CreateSystemFunctions() override { Log("CreateSystemFunctions"); }
  void InitSound() override { Log("InitSound"); }
  void OrbaInitialize() override { Log("OrbaInitialize"); }
  void CreateProject() override { Log("CreateProject"); }
  bool HasProject() override { return true; }
  TProjectInfo ProjectInfo() override { return {"\x83\x65\x83\x58\x83\x67", width, height, width, height, pacing}; }
  void MediaInit() override { Log("MediaInit"); }
  bool HasScreenManager() override { return true; }
  bool HasFullScreenMode() override { return true; }
  void OrbaInitColor() override { Log("OrbaInitColor"); }
  void SetRootSize(int32_t, int32_t) override { Log("SetRootSize"); }

  void VirtualFileUpkeep(int32_t) override { Log("VirtualFileUpkeep"); }
  void InputUpdate() override { Log("InputUpdate"); }
  void RunInterpreter() override {
    Log("RunInterpreter");
    if (terminateInInterpreter) Process().Terminating = true;
  }
  void ComponentUpdate() override { Log("ComponentUpdate"); }
  bool ProcessProjectRequests() override {
    Log("ProcessProjectRequests");
    bool r = loadRequest;
    loadRequest = false;
    return r;
  }
  void ComposeFrame() override { Log("ComposeFrame"); }
  void PresentFrame(platform::IPresenter&, int, int) override { Log("PresentFrame"); }
  void ClearClipLists() override { Log("ClearClipLists"); }

  bool LogoCreate() override { Log("LogoCreate"); return logo; }
  bool LogoAlive() override { return logoAlive; }
  void LogoRemoveArchive() override { Log("LogoRemoveArchive"); }
  void LogoDelete() override { Log("LogoDelete"); logoAlive = false; }
  bool LogoClicked() override { return bases[0].LeftClick; }

  TBaseInput* BaseInput(int i) override { return i >= 0 && i < 2 ? &bases[i] : nullptr; }
  TKeyboardState* Keyboard() override { return &keys; }

  void SuspendMedia() override { Log("SuspendMedia"); }
  void ResumeMedia() override { Log("ResumeMedia"); }

  void FreeProject() override { Log("FreeProject"); }
  void FreeSystemFunctions() override { Log("FreeSystemFunctions"); }
  void FreeVariables() override { Log("FreeVariables"); }
  void OrbaFinalize() override { Log("OrbaFinalize"); }
  void MediaFinal() override { Log("MediaFinal"); }
  void FinalizeFiles() override { Log("FinalizeFiles"); }
};

}  // namespace orba::testing_support
