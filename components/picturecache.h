// The picture cache: decoded pictures shared by every component that shows the same file
// variant. Components acquire an item and release it; items nobody holds wait on the idle list
// (oldest first) until their total memory passes the budget, so that coming back to a screen
// does not decode its pictures again. One instance, reached through PictureCache().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/dibx.h"
#include "text/kvword.h"

namespace orba {

class TTreeIO;

// One decoded frame: its surface (colour key = the frame's transparent pixel), its alpha plane
// (8 bits) when it has one, and where a trimmed frame lies in the full picture.
struct TTarnItemFrame {
  TDIBSurface Pixels;
  std::unique_ptr<TDIBSurface> Plane;
  TDIBX Surface{&Pixels, true};
  std::unique_ptr<TDIBX> AlphaPlane;  // borrows Plane
  int32_t KeyColour = -1;             // transparent colour 0x00BBGGRR, -1 none
  int32_t Delay = 1;                  // ms, at least 1
  int32_t OffsetX = 0, OffsetY = 0;
  std::vector<TRect> Pieces;  // the content rectangles (pieces holding pixels), may be empty
  int64_t Memory() const;
};

class TTarnItem {
 public:
  std::string Key;  // name, then "?m" and/or "?t"
  std::vector<const void*> Users;
  std::vector<std::unique_ptr<TTarnItemFrame>> Frames;
  int32_t Width = 0, Height = 0;
  int32_t TotalDelay = 0;
  bool Placeholder = false;  // the project has no such file
  int64_t Memory() const;
};

class TTarnCollection {
 public:
  // The idle items are freed, oldest first, while their memory passes this.
  static constexpr int64_t kIdleBudget = 5'760'000;

  // Reads a file's bytes; false when the project does not contain it. The player's reader
  // goes through the virtual file manager; tests hand in their own.
  using TReader = std::function<bool(const std::string& name, std::vector<uint8_t>& bytes)>;
  TReader Reader;
  // The page's pixel format: pictures are kept in it (0 keeps the file's); with dithering the
  // decoder itself reduces to it.
  int32_t ScreenDepth = 0;

  TTarnCollection();
  TTarnCollection(const TTarnCollection&) = delete;
  TTarnCollection& operator=(const TTarnCollection&) = delete;

  static std::string KeyOf(const std::string& name, bool trimmed, bool mask);
  TTarnItem& Acquire(const void* user, const std::string& name, bool trimmed, bool mask);
  void Release(TTarnItem& item, const void* user);
  // Decodes every item again at the new dither setting (nothing when unchanged).
  void SetDither(bool flag);
  bool Dither() const { return dither_; }
  // Frees the idle variants of a name.
  void Purge(const std::string& name);
  // Decodes every item again into new surfaces (after a depth change).
  void ReloadAll();

  TTarnItem* Find(const std::string& key);
  const std::vector<TTarnItem*>& IdleList() const { return idle_; }
  int64_t IdleMemory() const;
  int Count() const { return static_cast<int>(items_.size()); }

  // The dither flag in a game save (read above version 100).
  void Transfer(TTreeIO& io);

 private:
  void Load(TTarnItem& item);
  void Free(TTarnItem* item);
  std::unordered_map<std::string, std::unique_ptr<TTarnItem>> items_;  // by lower-case key
  std::vector<TTarnItem*> idle_;
  bool dither_ = false;
};

// The player's cache, created on first use (after the virtual file manager it reads through).
TTarnCollection& PictureCache();
// The cache when it exists (holders that outlive it at shutdown release nothing).
TTarnCollection* PictureCacheIfMade();
void FreePictureCache();

// The picture of an image in text (its SRC), held from the player's cache for as long as the
// text shows it, its frames turning by their delays; null when the project has no such file
// (the image then takes no place). What message windows and the history lay text out with.
std::shared_ptr<TTextImage> TextPicture(const std::string& src);

}  // namespace orba
