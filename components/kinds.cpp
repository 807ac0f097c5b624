// The factory of component kinds: one row per kind the player has, by type code. A saved
// tree and the creation commands make components only through this table.
#include <iterator>

#include "components/baselist.h"
#include "components/box.h"
#include "components/mes.h"
#include "components/image.h"
#include "components/imagemap.h"
#include "components/sound.h"

namespace orba {

namespace {

template <class T>
std::unique_ptr<TOrbaObject> Make(TOrbaBaseList* owner) {
  return std::make_unique<T>(owner);
}

constexpr TComponentKind kKinds[] = {
    {2, Make<TOrbaBox>},
    {3, Make<TOrbaButton>},
    {8, Make<TOrbaImages>},
    {18, Make<TOrbaMapImage>},
    {20, Make<TOrbaTile>},
    {27, Make<TOrbaCabinet>},
    {13, Make<TOrbaMes>},
    {15, Make<TOrbaTimer>},
    {17, Make<TOrbaSound>},
    {26, Make<TOrbaPropMotion>},
};

const TComponentKind* standIn = nullptr;

}  // namespace

const TComponentKind* TOrbaBaseList::KindOf(int32_t code) {
  code &= 127;
  for (const TComponentKind& k : kKinds)
    if (k.Code == code) return &k;
  return standIn && standIn->Code == code ? standIn : nullptr;
}

void TOrbaBaseList::SetStandInKind(const TComponentKind* kind) { standIn = kind; }

}  // namespace orba
