// Call services' icons as images: the icon a desktop entry names, found in the icon theme, and
// the resolver the tray gives the meeting rows. The agent's own icon stands in wherever no
// image is found. Needs a QGuiApplication; main thread.
#pragma once

#include <QIcon>
#include <QString>
#include <functional>

namespace qv {

class InstalledApps;

// The image for a desktop entry's Icon value: an absolute path, or a name in the icon theme
// (else in the XDG "pixmaps" folders); the agent's own icon for an empty value or when nothing
// is found.
QIcon iconFromEntryValue(const QString& value);

// The icon of a call service (MeetingCard::serviceIcon) as an image.
QIcon serviceIconImage(const QString& service, InstalledApps& apps);

// For the status menu's rows: resolves the names made by serviceIconName(); a null icon for
// any other name. `apps` is borrowed and must outlive the resolver.
std::function<QIcon(const QString& name)> serviceIconResolver(InstalledApps& apps);

}  // namespace qv
