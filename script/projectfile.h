// The project file "orba.rpb": the project's name, screen sizes, start and exit pages,
// options, the initial status variables and the folder-to-disc table. The player reads it
// at start; our project compiler writes it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/extended.h"
#include "files/header.h"

namespace orba {

struct TProjectVariable {
  uint8_t Type = 1;  // 1 integer, 2 float, 3 flag, 4 string; another type carries no value
  std::string Name;
  int32_t Int = 0;
  TExtended Float = 0;
  bool Flag = false;
  std::string Text;
  friend bool operator==(const TProjectVariable&, const TProjectVariable&) = default;
};

struct TProjectFile {
  static constexpr int32_t kMaxVersion = 110;

  int32_t Version = kMaxVersion;
  std::string Name;
  int32_t ScreenWidth = 640, ScreenHeight = 480;
  int32_t FullScreenWidth = 640, FullScreenHeight = 480;
  std::string StartPage;
  std::string ExitPage;                  // version 110 on
  std::string RegistryKey;
  int32_t ImageSeed = 0;
  uint8_t SaveEnabled = 1;               // version 104 on
  uint8_t Pacing = 1;                    // version 106 on (older files: 0)
  std::string OptionalMediaExts = "wav.wma.ogg";  // version 109 on (older: ".wav.wma.ogg.mid")
  std::string DiskPrompt, ExitMessage;
  std::vector<TProjectVariable> Variables;
  TFolderDiskList DiskList;

  // Reads every field with its version gate; raises EReadError for data that end early or
  // claim more than they hold, EOrbaError for a version above 110.
  void LoadFromBytes(std::span<const uint8_t> bytes);
  void LoadFromStream(TKvBigStream& stream);
  void SaveToStream(TKvBigStream& stream) const;
};

}  // namespace orba
