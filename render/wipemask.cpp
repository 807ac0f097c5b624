// The mask-driven transitions. Most of them give every mask element a start level and an
// edge width: at level L an element that starts at s shows min(255, (L - s) 255 div w) of the
// new picture (0 before it starts), and L runs over the effect's length as the steps go. They
// differ only in the start levels, which are built once (blinds, curtains, clock hand, fans,
// circle). The grids grow squares, the dissolve sets cells of a tile in a fixed random order,
// the rule wipe reads its levels from the rule image's bytes and the block wipes from the
// order of their blocks; they make their masks themselves. Rows that are wholly old or new
// are copied; only the rows on the edge are composed through their mask.
#include "render/wipemask.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/stream.h"
#include "files/kvrandom.h"
#include "files/vrmanager.h"
#include "render/trn.h"
#include "render/wipepixels.h"

namespace orba {

using namespace wipe;

// ---- the family ----

void TWipeMask::Init() {
  maskHeight_ = std::max(MaskHeight(), 1);
  mask_.assign(static_cast<size_t>(W()) * static_cast<size_t>(maskHeight_), 0);
  rowState_.assign(static_cast<size_t>(maskHeight_), 0);
  LastLevel = -1;
  BuildTables();
}

void TWipeMask::SetReverse(bool flag) {
  TCustomWipe::SetReverse(flag);
  ParamsChanged();
}

void TWipeMask::ParamsChanged() {
  if (maskHeight_ > 0) Init();
}

int32_t TWipeMask::ClampParam(int index, int32_t value) const { return std::max(value, index == 0 ? 2 : 1); }

void TWipeMask::DrawStep(int32_t t, int32_t d) {
  if (maskHeight_ != std::max(MaskHeight(), 1) || mask_.size() != static_cast<size_t>(W()) * maskHeight_) Init();
  if (!UpdateMask(t, d)) return;
  Pixels dst(target_), from(from_), to(to_);
  if (!dst || !from || !to) return;
  const int32_t w = W();
  ForFormat(target_.PixelFormat(), [&]<class F>() {
    const size_t bytes = static_cast<size_t>(w) * F::B;
    for (int32_t y = 0, my = 0; y < H(); ++y, my = my + 1 == maskHeight_ ? 0 : my + 1) {
      uint8_t* dp = dst.Row(y);
      switch (rowState_[static_cast<size_t>(my)]) {
        case kRowFrom: std::memcpy(dp, from.Row(y), bytes); break;
        case kRowTo: std::memcpy(dp, to.Row(y), bytes); break;
        default: MixMaskRow<F>(dp, from.Row(y), to.Row(y), MaskRow(my), w);
      }
    }
  });
}

std::vector<uint8_t> LoadRuleImage(const std::string& name, int32_t width, int32_t height, bool invert) {
  std::vector<uint8_t> rule(static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0)), 255);
  if (name.empty() || rule.empty()) return rule;
  TTarnFrameList frames;
  try {
    TVrFileManager& files = VrFileManager();
    if (!files.HasFile(name)) return rule;
    TKvMemoryStream bytes;
    files.LoadFile(bytes, name);
    frames.LoadFromBytes(bytes.Bytes(), name, true);
  } catch (const std::exception&) {
    // A rule file that cannot be read is no rule: the effect becomes a plain fade.
  }
  if (frames.Count() == 0) return rule;
  const TDIBSurface& pic = frames[0].Surface;
  int32_t pw = pic.Width(), ph = pic.Height();
  if (pw <= 0 || ph <= 0) return rule;
  std::vector<uint8_t> grey(static_cast<size_t>(pw) * static_cast<size_t>(ph));
  for (int32_t y = 0; y < ph; ++y)
    for (int32_t x = 0; x < pw; ++x) {
      TRGB c = pic.PixelToRGB(pic.GetPixel(x, y), true);
      uint8_t v = static_cast<uint8_t>((c.Red * 77 + c.Green * 150 + c.Blue * 29) >> 8);
      grey[static_cast<size_t>(y) * pw + x] = invert ? static_cast<uint8_t>(255 - v) : v;
    }
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      rule[static_cast<size_t>(y) * width + x] = grey[static_cast<size_t>(y % ph) * pw + x % pw];
  return rule;
}

namespace {

// ---- start levels and an edge ----

class TWipeRampMask : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;

 protected:
  // Fills starts_ (one per column of each mask row, or one per mask row when rowUniform_),
  // edge_ (at least 1) and run_ (the level reached at the end).
  virtual void BuildStarts() = 0;

  void BuildTables() override {
    rowUniform_ = false;
    edge_ = 1;
    run_ = 1;
    BuildStarts();
    edge_ = std::max(edge_, 1);
    Binary = edge_ < 2;
    ramp_.resize(static_cast<size_t>(edge_));
    for (int32_t i = 0; i < edge_; ++i) ramp_[static_cast<size_t>(i)] = static_cast<uint8_t>(int64_t{i} * 255 / edge_);
    // The first and last start of each row, so a step touches only rows that are on the edge.
    const size_t across = rowUniform_ ? 1 : static_cast<size_t>(W());
    rowFirst_.resize(static_cast<size_t>(maskHeight_));
    rowLast_.resize(static_cast<size_t>(maskHeight_));
    for (size_t y = 0; y < rowFirst_.size(); ++y) {
      auto row = starts_.begin() + static_cast<std::ptrdiff_t>(y * across);
      auto [lo, hi] = std::minmax_element(row, row + static_cast<std::ptrdiff_t>(across));
      rowFirst_[y] = *lo;
      rowLast_[y] = *hi;
    }
    // Hard-edged full masks (the sweeps and the circle) keep their starts in 16 bits when they
    // fit, which halves what a step reads.
    starts16_.clear();
    if (!rowUniform_ && edge_ == 1 && !starts_.empty() &&
        *std::min_element(rowFirst_.begin(), rowFirst_.end()) >= 0 &&
        *std::max_element(rowLast_.begin(), rowLast_.end()) <= 0xFFFF)
      starts16_.assign(starts_.begin(), starts_.end());
  }

  bool UpdateMask(int32_t t, int32_t d) override {
    int32_t level = static_cast<int32_t>(int64_t{run_} * t / d);
    if (level == LastLevel) return false;
    LastLevel = level;
    const int32_t w = W();
    for (int32_t y = 0; y < maskHeight_; ++y) {
      const size_t row = static_cast<size_t>(y);
      uint8_t& state = rowState_[row];
      if (level <= rowFirst_[row]) {
        state = kRowFrom;
      } else if (int64_t{level} - rowLast_[row] >= edge_) {
        state = kRowTo;
      } else if (rowUniform_) {
        uint8_t k = Level(level - starts_[row]);
        std::memset(&mask_[row * w], k, static_cast<size_t>(w));
        state = k == 0 ? kRowFrom : k == 255 ? kRowTo : kRowMixed;
      } else {
        state = kRowMixed;
        // A mask as tall as the picture is computed row by row as it is composed (MaskRow),
        // while the starts are at hand; a shorter one is used again and again, so now.
        if (maskHeight_ < H()) FillRow(y, &mask_[row * w]);
      }
    }
    return true;
  }

  const uint8_t* MaskRow(int32_t y) override {
    if (rowUniform_ || maskHeight_ < H()) return TWipeMask::MaskRow(y);
    FillRow(y, mask_.data());  // row 0 serves as the buffer
    return mask_.data();
  }

  void FillRow(int32_t y, uint8_t* __restrict m) const {
    const size_t w = static_cast<size_t>(W());
    const int32_t level = LastLevel;
    if (!starts16_.empty()) {
      const uint16_t* __restrict s = &starts16_[static_cast<size_t>(y) * w];
      if (level > 0xFFFF) {
        std::memset(m, 255, w);
      } else {
        const auto l16 = static_cast<uint16_t>(level);
        for (size_t i = 0; i < w; ++i) m[i] = s[i] < l16 ? 255 : 0;
      }
      return;
    }
    const int32_t* __restrict s = &starts_[static_cast<size_t>(y) * w];
    if (edge_ == 1) {
      for (size_t i = 0; i < w; ++i) m[i] = level > s[i] ? 255 : 0;
    } else if (edge_ == 255) {
      for (size_t i = 0; i < w; ++i) m[i] = static_cast<uint8_t>(std::clamp(level - s[i], 0, 255));
    } else {
      for (size_t i = 0; i < w; ++i) m[i] = Level(level - s[i]);
    }
  }

  uint8_t Level(int32_t diff) const {
    return diff <= 0 ? 0 : diff >= edge_ ? 255 : ramp_[static_cast<size_t>(diff)];
  }
  // The starts of the whole mask from a function of (x, y).
  template <class Fn>
  void StartsFrom(Fn start) {
    const int32_t w = W();
    starts_.resize(static_cast<size_t>(w) * maskHeight_);
    for (int32_t y = 0; y < maskHeight_; ++y)
      for (int32_t x = 0; x < w; ++x) starts_[static_cast<size_t>(y) * w + x] = start(x, y);
  }
  // One start per mask row.
  template <class Fn>
  void RowStartsFrom(Fn start) {
    rowUniform_ = true;
    starts_.resize(static_cast<size_t>(maskHeight_));
    for (int32_t y = 0; y < maskHeight_; ++y) starts_[static_cast<size_t>(y)] = start(y);
  }

  std::vector<int32_t> starts_, rowFirst_, rowLast_;
  std::vector<uint16_t> starts16_;
  std::vector<uint8_t> ramp_;
  bool rowUniform_ = false;
  int32_t edge_ = 1, run_ = 1;
};

// Kinds 2 and 3: slats of p0 columns (rows) that open one after another, edge p1.
template <bool Vertical>
class TWipeBlind : public TWipeRampMask {
 public:
  using TWipeRampMask::TWipeRampMask;
  int32_t MaskHeight() const override { return Vertical ? std::max(params_[0], 2) : 1; }

 protected:
  void BuildStarts() override {
    const int32_t p0 = params_[0];
    auto start = [&](int32_t i) { return 2 * (Reverse ? p0 - i % p0 - 1 : i % p0); };
    if (Vertical) RowStartsFrom(start);
    else StartsFrom([&](int32_t x, int32_t) { return start(x); });
    edge_ = params_[1];
    run_ = params_[1] + 2 * p0 - 2;
  }
};

// Kinds 4 and 5: columns (rows) open in groups of p0, each group a little after the last.
template <bool Vertical>
class TWipeCurtain : public TWipeRampMask {
 public:
  using TWipeRampMask::TWipeRampMask;
  int32_t MaskHeight() const override { return Vertical ? H() : 1; }

 protected:
  int32_t ClampParam(int, int32_t value) const override { return std::max(value, 1); }
  void BuildStarts() override {
    const int32_t p0 = params_[0], length = Vertical ? H() : W();
    auto start = [&](int32_t i) {
      if (Reverse) i = length - 1 - i;
      return (i / p0 + i % p0) * 16;
    };
    if (Vertical) RowStartsFrom(start);
    else StartsFrom([&](int32_t x, int32_t) { return start(x); });
    edge_ = params_[1];
    run_ = ((length + p0 - 1) / p0 + p0 - 2) * 16 + params_[1];
  }
};

// Kind 19: the rule image's bright pixels change first, over a soft edge 256 grey levels wide:
// at level L (0..512 over the course) a pixel of rule value v shows clamp(L + v - 256, 0, 255)
// of the new picture.
class TWipeShadow : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;

 protected:
  void BuildTables() override {
    rule_ = LoadRuleImage(MaskFile, W(), H(), Reverse);
    const size_t w = static_cast<size_t>(W());
    rowLow_.resize(static_cast<size_t>(maskHeight_));
    rowHigh_.resize(rowLow_.size());
    for (size_t y = 0; y < rowLow_.size(); ++y) {
      auto [lo, hi] = std::minmax_element(rule_.begin() + static_cast<std::ptrdiff_t>(y * w),
                                          rule_.begin() + static_cast<std::ptrdiff_t>((y + 1) * w));
      rowLow_[y] = *lo;
      rowHigh_[y] = *hi;
    }
  }

  bool UpdateMask(int32_t t, int32_t d) override {
    int32_t level = static_cast<int32_t>(int64_t{512} * t / d);
    if (level == LastLevel) return false;
    LastLevel = level;
    for (size_t y = 0; y < rowLow_.size(); ++y)
      rowState_[y] = level + rowHigh_[y] <= 256 ? kRowFrom : level + rowLow_[y] >= 511 ? kRowTo : kRowMixed;
    return true;
  }

  const uint8_t* MaskRow(int32_t y) override {
    const size_t w = static_cast<size_t>(W());
    const uint8_t* __restrict v = &rule_[static_cast<size_t>(y) * w];
    uint8_t* __restrict m = mask_.data();  // row 0 serves as the buffer
    // clamp(v + level - 256, 0, 255) as a saturating byte add or subtract.
    const int32_t shift = LastLevel - 256;
    const bool up = shift >= 0;
    const auto by = static_cast<uint8_t>(std::min(up ? shift : -shift, 255));
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i step = _mm_set1_epi8(static_cast<char>(by));
    for (; i + 16 <= w; i += 16) {
      __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i));
      x = up ? _mm_adds_epu8(x, step) : _mm_subs_epu8(x, step);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(m + i), x);
    }
#endif
    for (; i < w; ++i) m[i] = static_cast<uint8_t>(std::clamp(v[i] + (up ? by : -by), 0, 255));
    return m;
  }

 private:
  std::vector<uint8_t> rule_, rowLow_, rowHigh_;
};

// The angle of a pixel's centre about the screen's centre, clockwise from 12 o'clock, in
// 1/16 degree (0..5759).
constexpr int32_t kTurn = 5760;
int32_t PixelAngle(int32_t x, int32_t y, int32_t w, int32_t h) {
  double dx = x + 0.5 - w / 2.0, dy = y + 0.5 - h / 2.0;
  double a = std::atan2(dx, -dy) * kTurn / (2 * std::numbers::pi);
  int32_t v = static_cast<int32_t>(std::floor(a));
  return ((v % kTurn) + kTurn) % kTurn;
}

// Angle a measured from a start of the given degrees (any value: taken round the circle).
int32_t AngleFrom(int32_t a, int32_t degrees) {
  int32_t r = (a - degrees % 360 * 16) % kTurn;
  return r < 0 ? r + kTurn : r;
}

// Kind 31: a hand sweeps a full turn from p0 degrees (counter-clockwise with Reverse).
class TWipeClockhand : public TWipeRampMask {
 public:
  using TWipeRampMask::TWipeRampMask;

 protected:
  int32_t ClampParam(int, int32_t value) const override { return value; }
  void BuildStarts() override {
    StartsFrom([&](int32_t x, int32_t y) {
      int32_t a = AngleFrom(PixelAngle(x, y, W(), H()), params_[0]);
      return Reverse ? (kTurn - a) % kTurn : a;
    });
    run_ = kTurn;
  }
};

// Kinds 34 and 35: one fan opening from p0 degrees half a turn to both sides, or two opposite
// fans opening a quarter turn each way.
template <int Fans>
class TWipeFanOf : public TWipeRampMask {
 public:
  using TWipeRampMask::TWipeRampMask;

 protected:
  int32_t ClampParam(int, int32_t value) const override { return value; }
  void BuildStarts() override {
    const int32_t sector = kTurn / Fans;
    StartsFrom([&](int32_t x, int32_t y) {
      int32_t a = AngleFrom(PixelAngle(x, y, W(), H()), params_[0]) % sector;
      return std::min(a, sector - a);
    });
    run_ = sector / 2 + 1;
  }
};

// Kind 36: a circle grows from the centre to the half-diagonal; with Reverse the new picture
// closes in from outside.
class TWipeCircle : public TWipeRampMask {
 public:
  using TWipeRampMask::TWipeRampMask;

 protected:
  int32_t ClampParam(int, int32_t value) const override { return value; }
  void BuildStarts() override {
    const int32_t half = HalfDiagonal(W(), H());
    StartsFrom([&](int32_t x, int32_t y) {
      int32_t r = CentreDistance(x, y, W(), H());
      return Reverse ? half - r : r;
    });
    run_ = half + 1;
  }
};

// Kinds 37 and 38: p0 x p0 blocks, shown one at a time in an order. The mask of a row is made
// block by block from the order of its row of blocks.
class TWipeBlocks : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;

 protected:
  // The block size must fit the screen: between 10 (or the screen's smaller side, when that
  // is less) and the smaller side.
  int32_t ClampParam(int index, int32_t value) const override {
    if (index != 0) return value;
    int32_t side = std::max(std::min(W(), H()), 1);
    return std::clamp(value, std::min(10, side), side);
  }
  // The position in the order of each block, cols x rows, row by row.
  virtual std::vector<int32_t> Order(int32_t cols, int32_t rows) const = 0;

  void BuildTables() override {
    size_ = std::max(params_[0], 1);
    cols_ = (W() + size_ - 1) / size_;
    rows_ = (H() + size_ - 1) / size_;
    order_ = Order(cols_, rows_);
    Binary = true;
  }

  // Block n shows the new picture once the level (0 .. blocks over the course) is past n.
  bool UpdateMask(int32_t t, int32_t d) override {
    int32_t level = static_cast<int32_t>(int64_t{cols_} * rows_ * t / d);
    if (level == LastLevel) return false;
    LastLevel = level;
    for (int32_t j = 0; j < rows_; ++j) {
      int32_t shown = 0;
      for (int32_t i = 0; i < cols_; ++i) shown += level > order_[static_cast<size_t>(j) * cols_ + i];
      uint8_t state = shown == 0 ? kRowFrom : shown == cols_ ? kRowTo : kRowMixed;
      for (int32_t y = j * size_; y < std::min((j + 1) * size_, maskHeight_); ++y) rowState_[static_cast<size_t>(y)] = state;
    }
    return true;
  }

  const uint8_t* MaskRow(int32_t y) override {
    uint8_t* m = mask_.data();  // row 0 serves as the buffer
    const int32_t j = y / size_, w = W();
    for (int32_t i = 0; i < cols_; ++i)
      std::memset(m + i * size_, LastLevel > order_[static_cast<size_t>(j) * cols_ + i] ? 255 : 0,
                  static_cast<size_t>(std::min(size_, w - i * size_)));
    return m;
  }

 private:
  std::vector<int32_t> order_;
  int32_t size_ = 1, cols_ = 0, rows_ = 0;
};

// Kind 37: clockwise along the edge from the top-left block, turning inward.
class TWipeBlockCoil : public TWipeBlocks {
 public:
  using TWipeBlocks::TWipeBlocks;

 protected:
  std::vector<int32_t> Order(int32_t cols, int32_t rows) const override {
    std::vector<int32_t> order(static_cast<size_t>(cols) * rows);
    int32_t left = 0, top = 0, right = cols - 1, bottom = rows - 1, n = 0;
    auto put = [&](int32_t c, int32_t r) { order[static_cast<size_t>(r) * cols + c] = n++; };
    while (left <= right && top <= bottom) {
      for (int32_t c = left; c <= right; ++c) put(c, top);
      for (int32_t r = top + 1; r <= bottom; ++r) put(right, r);
      if (top < bottom)
        for (int32_t c = right - 1; c >= left; --c) put(c, bottom);
      if (left < right)
        for (int32_t r = bottom - 1; r > top; --r) put(left, r);
      ++left, ++top, --right, --bottom;
    }
    return order;
  }
};

// Kind 38: a random order, the same in every run.
class TWipeBlockRandom : public TWipeBlocks {
 public:
  using TWipeBlocks::TWipeBlocks;
  static constexpr int32_t kSeed = 12341;

 protected:
  std::vector<int32_t> Order(int32_t cols, int32_t rows) const override {
    const int32_t n = cols * rows;
    std::vector<int32_t> order(static_cast<size_t>(n));
    TKvRandom random(kSeed);
    random.ResetPermutation(n);
    for (int32_t j = 0; j < n; ++j) order[static_cast<size_t>(random.NextUnique())] = j;
    return order;
  }
};

// ---- kinds 8, 9, 10: squares growing in a grid of p0 x p0 cells ----

enum class GridOrder { Distance, Column, Row };

template <GridOrder Order>
class TWipeGrid : public TWipeMask {
 public:
  using TWipeMask::TWipeMask;
  int32_t MaskHeight() const override {
    return Order == GridOrder::Column ? std::min(std::max(params_[0], 2), H()) : H();
  }

 protected:
  void BuildTables() override {
    const int32_t p0 = params_[0];
    cols_ = (W() + p0 - 1) / p0;
    rows_ = Order == GridOrder::Column ? 1 : (H() + p0 - 1) / p0;
    const int32_t allRows = (H() + p0 - 1) / p0;
    auto start = [&](int32_t i, int32_t j) {
      if (Reverse) i = cols_ - 1 - i, j = allRows - 1 - j;
      switch (Order) {
        case GridOrder::Column: return 4 * i;
        case GridOrder::Row: return 4 * j;
        default: return 4 * static_cast<int32_t>(std::nearbyint(std::sqrt(double(i) * i + double(j) * j)));
      }
    };
    starts_.resize(static_cast<size_t>(cols_) * rows_);
    for (int32_t j = 0; j < rows_; ++j)
      for (int32_t i = 0; i < cols_; ++i) starts_[static_cast<size_t>(j) * cols_ + i] = start(i, j);
    int32_t last = Order == GridOrder::Column ? 4 * (cols_ - 1)
                   : Order == GridOrder::Row  ? 4 * (allRows - 1)
                                              : start(Reverse ? 0 : cols_ - 1, Reverse ? 0 : allRows - 1);
    run_ = params_[1] + last - 4;
    Binary = params_[1] < 2;
  }

  bool UpdateMask(int32_t t, int32_t d) override {
    int32_t level = static_cast<int32_t>(int64_t{run_} * t / d);
    if (level == LastLevel) return false;
    LastLevel = level;
    const int32_t p0 = params_[0], p1 = params_[1], w = W();
    // The square of a cell at this level: its side and mask value.
    auto square = [&](int32_t i, int32_t j, int32_t& side, uint8_t& k) {
      int32_t s = starts_[static_cast<size_t>(j) * cols_ + i];
      int64_t diff = int64_t{level} - s;
      side = diff < 0 ? 0 : static_cast<int32_t>(std::min<int64_t>(p0, p0 * diff / p1));
      k = diff < 0 ? 0 : static_cast<uint8_t>(std::min<int64_t>(255, diff * 255 / p1));
    };
    // Rows a square crosses are composed; a band of whole squares shows the new picture; rows
    // without any square the old one. Only the composed rows need their mask values.
    std::fill(rowState_.begin(), rowState_.end(), kRowFrom);
    for (int32_t j = 0; j < rows_; ++j) {
      bool allFull = true;
      for (int32_t i = 0; i < cols_; ++i) {
        int32_t side;
        uint8_t k;
        square(i, j, side, k);
        allFull &= side == p0 && k == 255;
        if (side <= 0 || k == 0) continue;
        int32_t y0 = j * p0 + (p0 - side) / 2, y1 = std::min(y0 + side, maskHeight_);
        for (int32_t y = y0; y < y1; ++y) rowState_[static_cast<size_t>(y)] = kRowMixed;
      }
      if (allFull)
        for (int32_t y = j * p0; y < std::min((j + 1) * p0, maskHeight_); ++y) rowState_[static_cast<size_t>(y)] = kRowTo;
    }
    for (int32_t y = 0; y < maskHeight_; ++y)
      if (rowState_[static_cast<size_t>(y)] == kRowMixed) std::memset(&mask_[static_cast<size_t>(y) * w], 0, static_cast<size_t>(w));
    for (int32_t j = 0; j < rows_; ++j)
      for (int32_t i = 0; i < cols_; ++i) {
        int32_t side;
        uint8_t k;
        square(i, j, side, k);
        if (side <= 0 || k == 0) continue;
        int32_t x0 = i * p0 + (p0 - side) / 2, y0 = j * p0 + (p0 - side) / 2;
        int32_t x1 = std::min(x0 + side, w), y1 = std::min(y0 + side, maskHeight_);
        if (x1 <= x0) continue;
        for (int32_t y = y0; y < y1; ++y)
          if (rowState_[static_cast<size_t>(y)] == kRowMixed)
            std::memset(&mask_[static_cast<size_t>(y) * w + x0], k, static_cast<size_t>(x1 - x0));
      }
    return true;
  }

 private:
  std::vector<int32_t> starts_;
  int32_t cols_ = 0, rows_ = 0, run_ = 0;
};

// ---- kind 11: the dissolve ----

// A 64 x 64 tile whose 4096 cells turn in a fixed random order, repeated over the screen.
class TWipeDither : public TWipeMask {
 public:
  static constexpr int32_t kTile = 64;
  static constexpr int32_t kSeed = 12341;

  TWipeDither(TCustomDIBX& target, TCustomDIBX& to, TCustomDIBX& from) : TWipeMask(target, to, from) {
    Binary = true;
    TKvRandom random(kSeed);
    random.ResetPermutation(kTile * kTile);
    for (int32_t& cell : cells_) cell = random.NextUnique();
  }
  int32_t MaskHeight() const override { return kTile; }

 protected:
  bool UpdateMask(int32_t t, int32_t d) override {
    int32_t n = static_cast<int32_t>(int64_t{kTile * kTile} * t / d);
    if (n == LastLevel) return false;
    LastLevel = n;
    if (n <= 2047) {
      tile_.fill(0);
      for (int32_t i = 0; i < n; ++i) tile_[static_cast<size_t>(cells_[static_cast<size_t>(i)])] = 255;
    } else {
      tile_.fill(255);
      for (int32_t i = n; i < kTile * kTile; ++i) tile_[static_cast<size_t>(cells_[static_cast<size_t>(i)])] = 0;
    }
    const int32_t w = W();
    for (int32_t y = 0; y < maskHeight_; ++y)
      for (int32_t x = 0; x < w; x += kTile)
        std::memcpy(&mask_[static_cast<size_t>(y) * w + x], &tile_[static_cast<size_t>(y) * kTile],
                    static_cast<size_t>(std::min(kTile, w - x)));
    std::fill(rowState_.begin(), rowState_.end(), n == 0 ? kRowFrom : n == kTile * kTile ? kRowTo : kRowMixed);
    return true;
  }

 private:
  std::array<int32_t, kTile * kTile> cells_{};
  std::array<uint8_t, kTile * kTile> tile_{};
};

}  // namespace

namespace wipe {

const std::vector<TWipeKind>& MaskKinds() {
  static const std::vector<TWipeKind> rows{
      {2, "TWipeBlindH", MakeWipe<TWipeBlind<false>>},
      {3, "TWipeBlindV", MakeWipe<TWipeBlind<true>>},
      {4, "TWipeCurtainH", MakeWipe<TWipeCurtain<false>>},
      {5, "TWipeCurtainV", MakeWipe<TWipeCurtain<true>>},
      {8, "TWipeGrid", MakeWipe<TWipeGrid<GridOrder::Distance>>},
      {9, "TWipeGridH", MakeWipe<TWipeGrid<GridOrder::Column>>},
      {10, "TWipeGridV", MakeWipe<TWipeGrid<GridOrder::Row>>},
      {11, "TWipeDither", MakeWipe<TWipeDither>},
      {19, "TWipeShadow", MakeWipe<TWipeShadow>},
      {31, "TWipeClockhand", MakeWipe<TWipeClockhand>},
      {34, "TWipeFan", MakeWipe<TWipeFanOf<1>>},
      {35, "TWipeWFan", MakeWipe<TWipeFanOf<2>>},
      {36, "TWipeCircle", MakeWipe<TWipeCircle>},
      {37, "TWipeBlockCoil", MakeWipe<TWipeBlockCoil>},
      {38, "TWipeBlockRandom", MakeWipe<TWipeBlockRandom>},
  };
  return rows;
}

}  // namespace wipe

}  // namespace orba
