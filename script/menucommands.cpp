// Closing a menu. A menu is often opened by an event of its own page a little after the
// command that closes it was written, so the close command waits, tick by tick, until a
// component of that name exists, and then asks it to close with its animation.
#include "components/baselist.h"
#include "components/menuplay.h"
#include "script/commandhandlers.h"
#include "script/fieldvalues.h"

namespace orba {

namespace {

class TMenuCloseHandler : public TCommandHandler {
 public:
  void Execute(TCommand& c, TCallMan&, TPage*&, int32_t& pc) const override {
    TOrbaBaseList* list = ComponentList();
    const std::string name = Text(c.Field(fields::MenuClose::Menu));
    // An empty name would find the page shown: it names no menu, so the command waits too.
    TOrbaComponent* found = list && !name.empty() ? list->FindComponent(name) : nullptr;
    if (!found) return;  // the same command runs again next tick
    // A component of that name that is no menu has nothing to close; the command is done.
    if (auto* menu = dynamic_cast<IMenuPlay*>(found)) menu->SetMenuPlayState(IMenuPlay::kClosing);
    ++pc;
  }
};

const TMenuCloseHandler menuClose;

}  // namespace

namespace handlers {
const TCommandHandler& kMenuClose = menuClose;
}  // namespace handlers

}  // namespace orba
