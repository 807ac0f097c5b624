// Cabinets keep components out of sight with all their state: CabinetSave moves chosen
// children of the back page into a cabinet (making the cabinet when it is missing), and
// CabinetLoad moves chosen children of a cabinet back to the back page. A component is chosen
// by its name against the command's name lists: with the mode flag false those named in a
// list, with it true all the others. A cabinet that ends up empty is freed.
#include <algorithm>
#include <vector>

#include "components/baselist.h"
#include "script/commandhandlers.h"
#include "script/fieldvalues.h"

namespace orba {

namespace {

using F = fields::Cabinet;

// The cabinet's name: the property block's name expression.
std::string CabinetName(const TCommand& c) {
  const TCustomParam* v = Eval(c.Props[PR_NAME]);
  return v ? v->AsString() : std::string();
}

// Moves the children of from that the selection takes to to, last child first.
void MoveChosen(const TCommand& c, TOrbaControl& from, TOrbaControl& to) {
  std::vector<std::string> names;
  for (const auto& expr : c.Field(F::Names).List)
    if (const TCustomParam* v = Eval(expr.get())) names.push_back(v->AsString());
  const bool allButNamed = Flag(c.Field(F::Selection), false);
  const std::vector<TOrbaControl*> children = from.Children();
  for (size_t i = children.size(); i-- > 0;) {
    const bool named = std::find(names.begin(), names.end(), children[i]->Name()) != names.end();
    if (named != allButNamed) children[i]->SetParent(&to);
  }
}

void ScrapIfEmpty(TOrbaBaseList& list, TOrbaCabinet& cabinet) {
  if (cabinet.Children().empty()) list.Scrap(&cabinet);
}

TOrbaCabinet* FindCabinet(TOrbaBaseList& list, const std::string& name) {
  return name.empty() ? nullptr : dynamic_cast<TOrbaCabinet*>(list.FindComponent(name));
}

class TCabinetSaveHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    ++pc;
    TOrbaBaseList* list = ComponentList();
    if (!list) return;
    const std::string name = CabinetName(c);
    TOrbaCabinet* cabinet = FindCabinet(*list, name);
    if (!cabinet) {
      cabinet = static_cast<TOrbaCabinet*>(list->Adopt(std::make_unique<TOrbaCabinet>(list)));
      if (!name.empty()) cabinet->SetName(name);
      cabinet->SetParent(&list->Base(0));
    }
    MoveChosen(c, list->Back(), *cabinet);
    ScrapIfEmpty(*list, *cabinet);
  }
};

class TCabinetLoadHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    ++pc;
    TOrbaBaseList* list = ComponentList();
    TOrbaCabinet* cabinet = list ? FindCabinet(*list, CabinetName(c)) : nullptr;
    if (!cabinet) return;
    MoveChosen(c, *cabinet, list->Back());
    ScrapIfEmpty(*list, *cabinet);
  }
};

const TCabinetSaveHandler cabinetSave;
const TCabinetLoadHandler cabinetLoad;

}  // namespace

namespace handlers {
const TCommandHandler& kCabinetSave = cabinetSave;
const TCommandHandler& kCabinetLoad = cabinetLoad;
}  // namespace handlers

}  // namespace orba
