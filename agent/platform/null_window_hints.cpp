// The build's choice where no X11 libraries are available.
#include "ui/window_hints.h"

namespace qv {

std::unique_ptr<WindowHints> makeWindowHints() {
    return std::make_unique<NullWindowHints>();
}

}  // namespace qv
