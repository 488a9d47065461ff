// WindowList for builds without a window system library: no windows are known.
#include "platform/window_list.h"

namespace qv {

std::unique_ptr<WindowList> makeWindowList() {
    return std::make_unique<NullWindowList>();
}

}  // namespace qv
