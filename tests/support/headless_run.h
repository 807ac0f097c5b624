// A whole headless run of the player through the entry point, with the posix lock, paths and
// settings, and no media library.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "media/orbalib.h"
#include "platform/headless/headless.h"
#include "platform/posix/posix.h"
#include "shell/core_subsystems.h"
#include "shell/entry.h"

namespace orba {

struct HeadlessRun : platform::headless::HeadlessPlatform {
  platform::posix::InstanceLock lock;
  platform::posix::Paths paths;
  platform::posix::IniSettings settings;
  std::unique_ptr<IOrbaMediaLibrary> media = CreateNullMediaLibrary();
  TCoreSubsystems subsystems{*media, &platform};
  int passes = 0;

  explicit HeadlessRun(const std::string& lockDir) : lock(lockDir) {
    platform.settings = &settings;
    platform.lock = &lock;
    platform.paths = &paths;
  }
  TRunResult Run(const TCommandLine& cmd, int maxPasses, int version = IOrbaMediaLibrary::kRequiredVersion) {
    return RunWhile(cmd, [&](int pass) { return pass < maxPasses; }, version);
  }
  // Runs while goOn(pass) answers true; it is asked after every pass.
  TRunResult RunWhile(const TCommandLine& cmd, const std::function<bool(int)>& goOn,
                      int version = IOrbaMediaLibrary::kRequiredVersion) {
    return RunPlayer(cmd, platform, subsystems, version, [&](int pass) {
      passes = pass;
      return goOn(pass);
    });
  }
};

}  // namespace orba
