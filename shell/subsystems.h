// The seams through which the main window reaches every subsystem during start-up, each
// tick and shutdown. The window owns the order; the subsystems own the work. Every
// operation does nothing by default, so a step whose subsystem is not built yet is
// skipped, and tests can record which step ran when.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orba {

namespace platform { class IPresenter; }
struct TBaseInput;
struct TKeyboardState;

// What the window needs to know of the project once it is created.
struct TProjectInfo {
  std::string Name;  // code page 932; empty keeps the window caption
  int32_t ScreenWidth = 0, ScreenHeight = 0;
  int32_t FullScreenWidth = 0, FullScreenHeight = 0;
  bool Pacing = true;
};

class TSubsystems {
 public:
  virtual ~TSubsystems() = default;

  // Set by the main window: asks it to close (a subsystem that gives up the player, such as
  // a refused disc prompt, calls it after setting the stop flag).
  std::function<void()> PostClose;
  // Set by the main window: called every so many commands while a script runs without
  // waiting, so the close button and the exit question still work; may set the stop flag.
  std::function<void()> KeepResponsive;
  // Moves the real pointer to a point of the screen panel (a script wrote the mouse position).
  std::function<void(int32_t, int32_t)> MovePointer;

  // ---- start-up, in the order the window calls them ----
  // The archive entry with an empty path in the virtual file manager.
  virtual void RegisterEmptyArchive() {}
  // Base folder and archives from the command line (native UTF-8 paths), or beside and
  // inside the executable.
  virtual void OpenProjectData(const std::vector<std::string>& /*params*/, const std::string& /*exePath*/) {}
  virtual void CreateVariables() {}
  virtual void CreateSystemFunctions() {}
  // The sound device; an exception here is ignored by the window.
  virtual void InitSound() {}
  // Component root, message history, read list, picture cache and clip manager.
  virtual void OrbaInitialize() {}
  // The project; leaves the process state's Terminating set when the project cannot run.
  virtual void CreateProject() {}
  virtual bool HasProject() { return false; }
  // Why the project could not start, as one line of UTF-8 for a terminal (the folder and what
  // it lacks); empty when it started, or when the player chose to end.
  virtual std::string StartFailure() { return {}; }
  virtual TProjectInfo ProjectInfo() { return {}; }
  // Saves go to this folder (native) instead of the one the project would choose; set
  // before CreateProject.
  virtual void SetSaveFolder(const std::string& /*folder*/) {}
  // The folder save.dat is written to (native, trailing '/'); empty without a project.
  virtual std::string SaveFolder() { return {}; }
  // Runtime media library, screen manager (when the screen size is known) and media managers.
  virtual void MediaInit() {}
  virtual bool HasScreenManager() { return false; }
  virtual bool HasFullScreenMode() { return false; }
  // Grey lookup tables of the screen's pixel format.
  virtual void OrbaInitColor() {}
  virtual void SetRootSize(int32_t /*width*/, int32_t /*height*/) {}

  // ---- one tick ----
  // Work-file locks age by delta ms; queued deletions run.
  virtual void VirtualFileUpkeep(int32_t /*delta*/) {}
  // Key states, key repeat, mouse state of the current page, focus events.
  virtual void InputUpdate() {}
  virtual void RunInterpreter() {}
  // Every component advances; scrapped ones are freed.
  virtual void ComponentUpdate() {}
  // A pending game load (returns true) or save is carried out.
  virtual bool ProcessProjectRequests() { return false; }
  // Paints the dirty rectangles of the current page and the transition into the back buffer.
  virtual void ComposeFrame() {}
  virtual void PresentFrame(platform::IPresenter& /*presenter*/, int /*panelLeft*/, int /*panelTop*/) {}
  virtual void ClearClipLists() {}

  // ---- made-with logo, before the script starts ----
  // Adds the logo archive and starts its animation; false when there is no logo to play.
  virtual bool LogoCreate() { return false; }
  // The animation is still in the component root.
  virtual bool LogoAlive() { return false; }
  // Removes the logo archive and clears the file cache.
  virtual void LogoRemoveArchive() {}
  // Gives the logo's system-named link label its name and cursor; true when it did so.
  virtual bool LogoFixLabel() { return false; }
  // The current page saw a left click this tick / the component under the mouse is a label.
  virtual bool LogoClicked() { return false; }
  virtual bool LogoLabelUnderMouse() { return false; }
  virtual void LogoDelete() {}

  // ---- input routing: the window writes, the component root's input step reads ----
  virtual TBaseInput* BaseInput(int /*index*/) { return nullptr; }
  virtual int CurrentBase() { return 0; }
  virtual TKeyboardState* Keyboard() { return nullptr; }

  // ---- media and screen around pauses and mode switches ----
  virtual void SuspendMedia() {}
  virtual void ResumeMedia() {}
  virtual void SuspendVideos() {}
  virtual void ResumeVideos() {}
  virtual void ReleaseSurfaces() {}
  // The screen manager's mode: the best full-screen mode, or the window; false when refused.
  virtual bool SetScreenMode(bool /*fullScreen*/) { return true; }
  virtual void RestoreSurfaces() {}
  virtual void PublishWindowHandles() {}

  // ---- shutdown, in the order the window calls them ----
  // Runs the exit page and writes the status data.
  virtual void FreeProject() {}
  virtual void FreeSystemFunctions() {}
  virtual void FreeVariables() {}
  // Drops the component root and its companions.
  virtual void OrbaFinalize() {}
  // Screen manager, media managers, then the runtime media library.
  virtual void MediaFinal() {}
  // The virtual file manager deletes its work files.
  virtual void FinalizeFiles() {}
};

}  // namespace orba
