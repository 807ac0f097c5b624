#include "shell/core_subsystems.h"

namespace orba {

void TCoreSubsystems::CreateVariables() {
  systemSource_.AttachInput(&bases_[CurrentBase()], &keys_);
  variables_ = std::make_unique<TParamCollection>(&systemSource_);
  SetVariables(variables_.get());
}

void TCoreSubsystems::FreeVariables() {
  SetVariables(nullptr);
  variables_.reset();
}

void TCoreSubsystems::CreateProject() {
  project_ = TProjectInfo{};
  project_.ScreenWidth = kDefaultWidth;
  project_.ScreenHeight = kDefaultHeight;
  project_.FullScreenWidth = kDefaultWidth;
  project_.FullScreenHeight = kDefaultHeight;
  hasProject_ = true;
}

void TCoreSubsystems::MediaInit() {
  media_.orbaInit();
  media_.orbaOggmanSetUseThread(true);
  if (project_.ScreenWidth > 0 && project_.ScreenHeight > 0)
    screen_ = std::make_unique<TScreenManager>(project_.ScreenWidth, project_.ScreenHeight,
                                               project_.FullScreenWidth, project_.FullScreenHeight);
}

void TCoreSubsystems::InputUpdate() {
  // Latch what the window reported since the last tick, as the component root's input step
  // does for the current page.
  TBaseInput& b = bases_[CurrentBase()];
  b.LeftClick = b.LeftPressed;
  b.RightClick = b.RightPressed;
  b.WheelDownTick = b.WheelDown;
  b.WheelUpTick = b.WheelUp;
  b.LeftPressed = b.RightPressed = false;
  b.WheelDown = b.WheelUp = 0;
  keys_.KeyClickedTick = keys_.KeyClicked;
  keys_.KeyClicked.fill(0);
  b.Moved = false;
}

void TCoreSubsystems::PresentFrame(platform::IPresenter& presenter, int panelLeft, int panelTop) {
  if (screen_) screen_->Present(presenter, panelLeft, panelTop);
}

void TCoreSubsystems::MediaFinal() {
  screen_.reset();
  media_.orbaFinal();
}

}  // namespace orba
