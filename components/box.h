// The box: a rectangle filled with a colour, with an optional border, drawn opaque, blended or
// added by its alpha. Also the stand-in for pictures until the image kinds draw them.
#pragma once

#include "components/orbaobject.h"

namespace orba {

class TOrbaBox : public TOrbaControl {
 public:
  explicit TOrbaBox(TOrbaBaseList* owner) : TOrbaControl(owner) {}
  int32_t GetCompoType() const override { return 2; }

  // Saved after the control part, in this order.
  int32_t BorderWidth = 0;
  int32_t BorderColor = -1;
  int32_t Alpha = 255;
  std::string OnIdle;
  std::string Source;  // a motion file, or empty
  bool Repeat = false;
  bool AutoScrap = false;
  std::string OnPlayEnd;
  bool Paused = false;

  int32_t GetInt(int32_t code) const override;
  void SetInt(int32_t code, int32_t v) override;
  bool GetBool(int32_t code) const override;
  void SetBool(int32_t code, bool v) override;
  std::string GetStr(int32_t code) const override;
  void SetStr(int32_t code, const std::string& v) override;

  void Paint(TPaintContext& ctx) override;
  void CollectOpaqueRegions(TClipData& data) override;
  void Transfer(TTreeIO& io) override;
  // A motion source attaches its motion again.
  void Loaded() override;

 private:
  // The fill and the border strips, in page coordinates (what Paint draws).
  TRect Inner() const;
  template <class Fn>
  void ForBorderStrips(Fn fn) const;
};

// Draws rect in colour (0x00BBGGRR) by the alpha convention of drawn components: 255 opaque,
// 1..254 blended, 256..511 added with the colour scaled by (alpha - 256) / 256, otherwise
// nothing.
void FillByAlpha(TCustomDIBX& surface, const TRect& rect, int32_t colour, int32_t alpha);

}  // namespace orba
