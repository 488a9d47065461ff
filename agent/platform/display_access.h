// Whether the screen tool could capture the display now: it captures through X11, so this is
// whether an X11 display opens (DISPLAY). One adapter per build, chosen in CMake: without xcb
// the answer is always no. Any thread; it connects and disconnects at once, so callers cache it.
#pragma once

namespace qv {

bool displayOpens();

}  // namespace qv
