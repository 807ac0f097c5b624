#include "render/screen.h"

namespace orba {

TScreenManager::TScreenManager(int32_t width, int32_t height, int32_t fullScreenWidth, int32_t fullScreenHeight)
    : width_(width),
      height_(height),
      fullScreenWidth_(fullScreenWidth),
      fullScreenHeight_(fullScreenHeight),
      pixels_(static_cast<size_t>(width) * static_cast<size_t>(height), 0) {}

void TScreenManager::Present(platform::IPresenter& presenter, int panelLeft, int panelTop) {
  presenter.Present(BackFrame(), panelLeft, panelTop);
}

}  // namespace orba
