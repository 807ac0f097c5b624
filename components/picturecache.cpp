#include "components/picturecache.h"

#include <algorithm>

#include "base/cp932.h"
#include "base/stream.h"
#include "components/orbaobject.h"
#include "files/vrmanager.h"
#include "media/orbalib.h"
#include "render/trn.h"

namespace orba {

namespace {

int64_t PlaneBytes(const TDIBSurface& s) {
  return int64_t{s.Width()} * s.Height() * ((s.BitCount() + 7) / 8);
}

bool ReadThroughFileManager(const std::string& name, std::vector<uint8_t>& bytes) {
  TVrFileManager& files = VrFileManager();
  if (!files.HasFile(name)) return false;
  TKvMemoryStream stream;
  files.LoadFile(stream, name);
  bytes = stream.Bytes();
  return true;
}

// The flags come off the end of the key, "?t" first, as they were added.
std::string FileNameOf(std::string key, bool& trimmed, bool& mask) {
  trimmed = key.find("?t") != std::string::npos;
  mask = key.find("?m") != std::string::npos;
  key.resize(key.size() - 2 * (trimmed + mask));
  return key;
}

std::unique_ptr<TTarnCollection>& Instance() {
  static std::unique_ptr<TTarnCollection> cache;
  return cache;
}

}  // namespace

int64_t TTarnItemFrame::Memory() const { return PlaneBytes(Pixels) + (Plane ? PlaneBytes(*Plane) : 0); }

int64_t TTarnItem::Memory() const {
  int64_t total = 0;
  for (const auto& f : Frames) total += f->Memory();
  return total;
}

TTarnCollection::TTarnCollection() : Reader(ReadThroughFileManager) {}

std::string TTarnCollection::KeyOf(const std::string& name, bool trimmed, bool mask) {
  return name + (mask ? "?m" : "") + (trimmed ? "?t" : "");
}

TTarnItem* TTarnCollection::Find(const std::string& key) {
  auto it = items_.find(LowerCase(key));
  return it == items_.end() ? nullptr : it->second.get();
}

TTarnItem& TTarnCollection::Acquire(const void* user, const std::string& name, bool trimmed, bool mask) {
  const std::string key = KeyOf(name, trimmed, mask);
  auto& slot = items_[LowerCase(key)];
  if (!slot) {
    slot = std::make_unique<TTarnItem>();
    slot->Key = key;
    Load(*slot);
  }
  TTarnItem& item = *slot;
  if (std::find(item.Users.begin(), item.Users.end(), user) == item.Users.end()) item.Users.push_back(user);
  std::erase(idle_, &item);
  return item;
}

void TTarnCollection::Release(TTarnItem& item, const void* user) {
  auto it = std::find(item.Users.begin(), item.Users.end(), user);
  if (it == item.Users.end()) return;
  item.Users.erase(it);
  if (!item.Users.empty()) return;
  idle_.push_back(&item);
  // The last idle item stays, however large: it is most likely the next one wanted.
  while (idle_.size() > 1 && IdleMemory() > kIdleBudget) Free(idle_.front());
}

int64_t TTarnCollection::IdleMemory() const {
  int64_t total = 0;
  for (const TTarnItem* item : idle_) total += item->Memory();
  return total;
}

void TTarnCollection::Free(TTarnItem* item) {
  std::erase(idle_, item);
  items_.erase(LowerCase(item->Key));
}

void TTarnCollection::Purge(const std::string& name) {
  for (bool mask : {false, true})
    for (bool trimmed : {false, true})
      if (TTarnItem* item = Find(KeyOf(name, trimmed, mask)); item && item->Users.empty()) Free(item);
}

void TTarnCollection::SetDither(bool flag) {
  if (flag == dither_) return;
  dither_ = flag;
  ReloadAll();
}

void TTarnCollection::ReloadAll() {
  // The frames keep their objects when the count is unchanged, so components that show one
  // keep a valid pointer; a file that changed its frame count meanwhile is read anew.
  for (auto& [key, item] : items_) Load(*item);
}

void TTarnCollection::Load(TTarnItem& item) {
  bool trimmed = false, mask = false;
  const std::string name = FileNameOf(item.Key, trimmed, mask);
  TTarnFrameList list(ProjectImageSeed());
  if (dither_) list.ReduceFormat = ScreenDepth;
  std::vector<uint8_t> bytes;
  item.Placeholder = !Reader || !Reader(name, bytes);
  if (!item.Placeholder) {
    try {
      list.LoadFromBytes(bytes, name, false, dither_ && ScreenDepth > 0);
    } catch (const std::exception&) {
      // A damaged file keeps the frames read before the damage.
    }
    if (list.Count() == 0) item.Placeholder = true;
  }
  if (item.Placeholder && OrbaLog().Enabled()) OrbaLog().Write("Picture not found: " + name);
  if (item.Placeholder) {
    list.Clear();
    TTarnFrame& f = list.AddFrame();
    f.Surface.SetSize(8, 8, 32);
    f.TransparentValue = 0;
    f.TransparentColor = 0;
  }
  if (mask) list.MakeMasks();
  const size_t count = static_cast<size_t>(list.Count());
  if (item.Frames.size() != count) {
    item.Frames.clear();
    for (size_t i = 0; i < count; ++i) item.Frames.push_back(std::make_unique<TTarnItemFrame>());
  }
  item.TotalDelay = 0;
  for (int i = 0; i < list.Count(); ++i) {
    TTarnFrame& src = list[i];
    TTarnItemFrame& f = *item.Frames[static_cast<size_t>(i)];
    if (trimmed) {
      const TRect kept = src.Trim();
      f.OffsetX = kept.Left;
      f.OffsetY = kept.Top;
    }
    f.Pieces = src.Rects1;
    std::unique_ptr<TDIBSurface> plane;
    if (src.Surface.Alpha()) {
      plane = std::make_unique<TDIBSurface>(std::move(*src.Surface.Alpha()));
      src.Surface.FreeAlpha();
    }
    f.Pixels = std::move(src.Surface);
    int64_t key = src.TransparentColor < 0 ? -1 : src.TransparentValue;
    // Pictures are drawn onto the page without conversion, so they are kept in its format.
    if (ScreenDepth > 0 && f.Pixels.PixelFormat() != ScreenDepth && !f.Pixels.Empty()) {
      f.Pixels.ConvertTo(ScreenDepth);
      const int32_t c = src.TransparentColor;
      key = c < 0 ? -1 : f.Pixels.RGBToPixel(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    }
    f.Surface.SetImage(&f.Pixels, true);
    f.Surface.TransparentColor = key;
    f.Plane = std::move(plane);
    f.AlphaPlane = f.Plane ? std::make_unique<TDIBX>(f.Plane.get(), true) : nullptr;
    f.KeyColour = src.TransparentColor;
    f.Delay = std::max(src.Delay, 1);
    item.TotalDelay += f.Delay;
  }
  item.Width = item.Frames.empty() ? 0 : item.Frames[0]->Pixels.Width();
  item.Height = item.Frames.empty() ? 0 : item.Frames[0]->Pixels.Height();
}

void TTarnCollection::Transfer(TTreeIO& io) {
  if (io.Version <= 100) return;
  bool flag = dither_;
  io.Flag(flag);
  if (io.Mode == TTreeIO::TMode::Read) SetDither(flag);
}

TTarnCollection& PictureCache() {
  auto& cache = Instance();
  if (!cache) cache = std::make_unique<TTarnCollection>();
  return *cache;
}

TTarnCollection* PictureCacheIfMade() { return Instance().get(); }

void FreePictureCache() { Instance().reset(); }

namespace {

// A cached picture as text shows it. Text draws a frame through its own alpha, so a frame
// whose transparency is a key colour or a separate plane is drawn from a 32-bit copy that
// carries it; other frames are the cache's own surfaces.
class TCachedTextPicture : public TTextImage {
 public:
  TCachedTextPicture(TTarnCollection& cache, const std::string& src)
      : cache_(cache), item_(cache.Acquire(this, src, false, false)) {
    if (Missing()) return;
    for (const auto& f : item_.Frames) composed_.push_back(f->Plane || f->KeyColour >= 0 ? WithAlpha(*f) : nullptr);
  }
  ~TCachedTextPicture() override {
    if (PictureCacheIfMade() == &cache_) cache_.Release(item_, this);
  }
  bool Missing() const { return item_.Placeholder || item_.Frames.empty(); }
  size_t FrameCount() const override { return item_.Frames.size(); }
  const TDIBSurface& Frame(size_t index) const override {
    return composed_[index] ? *composed_[index] : item_.Frames[index]->Pixels;
  }
  size_t CurrentIndex() const override { return current_; }
  bool Advance(int32_t ms) override {
    if (item_.Frames.size() < 2) return false;
    elapsed_ += ms;
    const size_t before = current_;
    while (elapsed_ >= item_.Frames[current_]->Delay) {
      elapsed_ -= item_.Frames[current_]->Delay;
      current_ = (current_ + 1) % item_.Frames.size();
    }
    return current_ != before;
  }

 private:
  static std::unique_ptr<TDIBSurface> WithAlpha(const TTarnItemFrame& f) {
    const TDIBSurface& src = f.Pixels;
    auto out = std::make_unique<TDIBSurface>(src.Width(), src.Height(), 32);
    out->CreateAlpha();
    const int64_t key = f.Surface.TransparentColor;
    for (int32_t y = 0; y < src.Height(); ++y) {
      for (int32_t x = 0; x < src.Width(); ++x) {
        const uint32_t p = src.GetPixel(x, y);
        const TRGB c = src.PixelToRGB(p, true);
        out->SetPixel(x, y, out->RGBToPixel(c.Red, c.Green, c.Blue));
        out->Alpha()->ScanLine(y)[x] = f.Plane ? f.Plane->ScanLine(y)[x] : (key >= 0 && p == key ? 0 : 255);
      }
    }
    return out;
  }

  TTarnCollection& cache_;
  TTarnItem& item_;
  std::vector<std::unique_ptr<TDIBSurface>> composed_;
  size_t current_ = 0;
  int32_t elapsed_ = 0;
};

}  // namespace

std::shared_ptr<TTextImage> TextPicture(const std::string& src) {
  auto picture = std::make_shared<TCachedTextPicture>(PictureCache(), src);
  if (picture->Missing()) return nullptr;
  return picture;
}

}  // namespace orba
