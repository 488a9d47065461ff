// Start at login through an XDG autostart entry: `<config home>/autostart/<id>.desktop`, made
// from the installed desktop entry, whose Exec line starts this very program. Main thread only.
#pragma once

#include <QString>

#include "ports/login_item.h"

namespace qv {

class XdgAutostart : public LoginItem {
  public:
    // `configHome`: $XDG_CONFIG_HOME, else ~/.config; `program`: the running agent's path;
    // `installedEntry`: the desktop entry installed with it, by default the one the install
    // layout puts beside `program` (<prefix>/share/applications/<id>.desktop).
    explicit XdgAutostart(QString configHome = defaultConfigHome(),
                          QString program = defaultProgram(), QString installedEntry = QString());

    // The entry exists and neither hides itself (Hidden=true) nor is switched off
    // (X-GNOME-Autostart-enabled=false).
    bool enabled() const override;
    // Writes the entry whole (atomically), replacing any earlier one: the installed desktop
    // entry made to start `program`, or a minimal entry of its own when none can be read.
    void enable() override;
    // Removes the entry.
    void disable() override;

    QString entryPath() const;
    static QString defaultConfigHome();
    static QString defaultProgram();
    static QString installedEntryFor(const QString& program);

  private:
    QString configHome_;
    QString program_;
    QString installedEntry_;
};

// The desktop entry `installed` made into an autostart entry for `program`: in its
// [Desktop Entry] group, Exec starts `program`, TryExec and Hidden go, and
// X-GNOME-Autostart-enabled is true; every other line (names and comments in every language,
// the icon, other groups) stays as it is. Empty when `installed` has no [Desktop Entry] group.
QString autostartEntryFrom(const QString& installed, const QString& program);

// The program path as one argument of a desktop entry's Exec key: quoted when it needs it, with
// the characters the quoting reserves escaped, then escaped as a desktop-entry string value.
QString desktopExecArgument(const QString& program);

}  // namespace qv
