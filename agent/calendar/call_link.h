// Which calendar links the agent hands to the desktop. Links come from invitations anyone can
// send, so only web pages and the call applications' own link schemes are opened; a file, a
// share, a script or any other scheme never is. Pure; any thread.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace qv {

// The link to open for a calendar entry's "url": an http or https address with a host, or a
// link of a call application's scheme (zoommtg, zoomus, msteams, webex, slack). Nothing for
// every other text, including text without a scheme.
std::optional<QUrl> callLink(const QString& url);

}  // namespace qv
