// The tray entry's recording title.
#pragma once

#include <QString>

namespace qv {

// The elapsed recording time for a number of seconds, cut to whole seconds: "m:ss" below an
// hour ("0:05", "59:59"), "h:mm:ss" from an hour on ("1:00:00"). A negative time (a start
// reported ahead of this machine's clock) reads as "0:00".
QString elapsedText(double seconds);

}  // namespace qv
