// PropMotion starts a property motion: a component that moves one numbered property of
// another component from its value now to an end value over a time, along a curve.
#include "base/cp932.h"
#include "base/error.h"
#include "components/baselist.h"
#include "components/propaccess.h"
#include "components/sound.h"
#include "script/commandhandlers.h"
#include "script/fieldvalues.h"

namespace orba {

namespace {

using F = fields::PropMotion;

class TPropMotionHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    ++pc;
    TOrbaBaseList* list = ComponentList();
    if (!list) return;
    auto* motion = static_cast<TOrbaPropMotion*>(list->Adopt(std::make_unique<TOrbaPropMotion>(list)));
    const std::string name = Text(c.Field(F::Motion));
    if (!name.empty()) motion->SetName(name);
    const std::string target = Text(c.Field(F::Component));
    if (!target.empty()) motion->TargetName = target;
    // The motion stays without a property: it ends by itself at its first tick.
    const TCustomParam* code = Eval(c.Field(F::Property));
    if (!code) throw EOrbaError(Sjis(u8"プロパティ指定が不正です"));
    motion->Property = code->AsInt() & 0xFF;
    if (const TCustomParam* v = Eval(c.Field(F::End))) motion->EndValue = v->AsFloat();
    if (const TCustomParam* v = Eval(c.Field(F::Time))) motion->Duration = v->AsInt();
    if (const TCustomParam* v = Eval(c.Field(F::Curve))) motion->Easing = static_cast<uint8_t>(v->AsInt());
    if (const TCustomParam* v = Eval(c.Field(F::Paused))) SetPropBool(*motion, PR_PAUSED, v->AsFlag());
  }
};

const TPropMotionHandler propMotion;

}  // namespace

namespace handlers {
const TCommandHandler& kPropMotion = propMotion;
}  // namespace handlers

}  // namespace orba
