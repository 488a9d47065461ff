#include "platform/display_access.h"

namespace qv {

// A build without X11 has no screen tool that could capture.
bool displayOpens() {
    return false;
}

}  // namespace qv
