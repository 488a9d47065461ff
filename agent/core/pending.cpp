// Operations the start-up sequence already calls but whose work is not built yet. Each moves
// to its own file, with its behaviour, as it is built.
#include "core/app.h"

namespace qv {

void App::watchMic() {}

}  // namespace qv
