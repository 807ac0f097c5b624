// The transition base (the step rule every effect shares), the table of kinds gathered from
// the family files, and the owner's one-call start.
#include "render/wipe.h"

#include <algorithm>

#include "render/wipepixels.h"

namespace orba {

using namespace wipe;

TCustomWipe::TCustomWipe(TCustomDIBX& target, TCustomDIBX& toImage, TCustomDIBX& fromImage)
    : UpdateRect(Bounds(0, 0, target.Width(), target.Height())), target_(target), to_(toImage), from_(fromImage) {}

void TCustomWipe::SetParam(int index, int32_t value) {
  if (index != 0 && index != 1) return;
  params_[index] = ClampParam(index, value);
  ParamsChanged();
}

bool TCustomWipe::Drawable() const {
  int32_t f = target_.PixelFormat();
  return (f == 15 || f == 16 || f == 24 || f == 32) && from_.PixelFormat() == f && to_.PixelFormat() == f &&
         from_.Width() == W() && from_.Height() == H() && to_.Width() == W() && to_.Height() == H() && W() > 0 &&
         H() > 0;
}

bool TCustomWipe::Step() {
  UpdateRect = Bounds(0, 0, W(), H());
  int32_t d = std::max(Duration, 1);
  if (Elapsed >= d) return true;
  target_.IncludeRect(UpdateRect);
  if (Drawable()) DrawStep(std::max(Elapsed, 0), d);
  return false;
}

namespace {

// Every kind's row, indexed by kind.
const std::array<const TWipeKind*, kWipeKinds + 1>& KindTable() {
  static const std::array<const TWipeKind*, kWipeKinds + 1> table = [] {
    std::array<const TWipeKind*, kWipeKinds + 1> t{};
    for (const auto* rows : {&MaskKinds(), &PictureKinds()})
      for (const TWipeKind& row : *rows) t[static_cast<size_t>(row.kind)] = &row;
    return t;
  }();
  return table;
}

const TWipeKind* FindKind(int kind) {
  if (kind < 1 || kind > kWipeKinds) return nullptr;
  return KindTable()[static_cast<size_t>(kind)];
}

}  // namespace

std::unique_ptr<TCustomWipe> CreateWipe(int kind, TCustomDIBX& target, TCustomDIBX& fromImage, TCustomDIBX& toImage) {
  const TWipeKind* row = FindKind(kind);
  if (!row) return nullptr;
  std::unique_ptr<TCustomWipe> w = row->create(target, toImage, fromImage);
  const TWipeParams& defaults = WipeDefaultParams(kind);
  w->SetParam(0, defaults[0]);
  w->SetParam(1, defaults[1]);
  return w;
}

const char* WipeKindName(int kind) {
  const TWipeKind* row = FindKind(kind);
  return row ? row->name : "";
}

std::unique_ptr<TCustomWipe> StartWipe(const TWipeStart& start, TCustomDIBX& target, TCustomDIBX& fromImage,
                                       TCustomDIBX& toImage) {
  std::unique_ptr<TCustomWipe> w = CreateWipe(start.kind, target, fromImage, toImage);
  if (!w) return nullptr;
  w->Duration = std::max(start.duration, 1);
  w->SetReverse(start.reverse);
  if (start.param0) w->SetParam(0, *start.param0);
  if (start.param1) w->SetParam(1, *start.param1);
  if (start.maskFile) w->SetMaskFile(*start.maskFile);
  w->Init();
  return w;
}

namespace wipe {

std::array<uint32_t, 256> GreyTable(const TCustomDIBX& s) {
  std::array<uint32_t, 256> t{};
  for (uint32_t g = 0; g < 256; ++g) t[g] = static_cast<uint32_t>(s.ColorToPixel(g * 0x010101u));
  return t;
}

void CopyPicture(TCustomDIBX& dst, TCustomDIBX& src) {
  Pixels d(dst), s(src);
  if (!d || !s) return;
  size_t bytes = static_cast<size_t>(dst.Width()) * static_cast<size_t>((dst.BitCount() + 7) / 8);
  for (int32_t y = 0; y < dst.Height(); ++y) std::memcpy(d.Row(y), s.Row(y), bytes);
}

void GreyPicture(TCustomDIBX& dst, TCustomDIBX& src, uint32_t grey, bool subtract) {
  Pixels d(dst), s(src);
  if (!d || !s) return;
  ForFormat(dst.PixelFormat(), [&]<class F>() {
    for (int32_t y = 0; y < dst.Height(); ++y) GreyRow<F>(d.Row(y), s.Row(y), dst.Width(), grey, subtract);
  });
}

void StretchCopy(TCustomDIBX& dst, TRect dr, TCustomDIBX& src, TRect sr, std::vector<int32_t>& columns) {
  sr = sr.Intersect(Bounds(0, 0, src.Width(), src.Height()));
  if (dr.IsEmpty() || sr.IsEmpty()) return;
  TRect clip = dr.Intersect(Bounds(0, 0, dst.Width(), dst.Height()));
  if (clip.IsEmpty()) return;
  int64_t dw = dr.Width(), dh = dr.Height(), sw = sr.Width(), sh = sr.Height();
  int32_t n = clip.Width();
  if (columns.size() < static_cast<size_t>(n)) columns.resize(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i)
    columns[static_cast<size_t>(i)] = sr.Left + static_cast<int32_t>((clip.Left - dr.Left + i) * sw / dw);
  Pixels d(dst), s(src);
  if (!d || !s) return;
  ForFormat(dst.PixelFormat(), [&]<class F>() {
    int64_t lastSy = -1;
    for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
      int64_t sy = sr.Top + (y - dr.Top) * sh / dh;
      uint8_t* dp = d.At<F>(clip.Left, y);
      if (sy == lastSy) {
        std::memcpy(dp, d.At<F>(clip.Left, y - 1), static_cast<size_t>(n) * F::B);
        continue;
      }
      lastSy = sy;
      const uint8_t* sp = s.Row(static_cast<int32_t>(sy));
      if (sw == dw && clip.Left == dr.Left) {
        std::memcpy(dp, sp + static_cast<std::ptrdiff_t>(sr.Left) * F::B, static_cast<size_t>(n) * F::B);
        continue;
      }
      for (int32_t i = 0; i < n; ++i) St<F>(dp + i * F::B, Ld<F>(sp + static_cast<std::ptrdiff_t>(columns[static_cast<size_t>(i)]) * F::B));
    }
  });
}

}  // namespace wipe

}  // namespace orba
