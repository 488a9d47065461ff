// The upcoming-meetings section at the top of the status menu.
#include "core/app.h"

namespace qv {

// The section is built from `upcoming` by the calendar code; until that exists the menu
// opens with the fixed rows alone, exactly as it does when no meeting is upcoming.
void App::addUpcoming(MenuRows& /*rows*/) {}

}  // namespace qv
