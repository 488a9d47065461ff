// Start at login through an XDG autostart entry: `<config home>/autostart/<id>.desktop`, whose
// Exec line starts this very program. Main thread only.
#pragma once

#include <QString>

#include "core/login_item.h"

namespace qv {

class XdgAutostart : public LoginItem {
  public:
    // `configHome`: $XDG_CONFIG_HOME, else ~/.config; `program`: the running agent's path.
    explicit XdgAutostart(QString configHome = defaultConfigHome(),
                          QString program = defaultProgram());

    // The entry exists and neither hides itself (Hidden=true) nor is switched off
    // (X-GNOME-Autostart-enabled=false).
    bool enabled() const override;
    // Writes the entry whole (atomically), replacing any earlier one.
    void enable() override;
    // Removes the entry.
    void disable() override;

    QString entryPath() const;
    static QString defaultConfigHome();
    static QString defaultProgram();

  private:
    QString configHome_;
    QString program_;
};

// The program path as one argument of a desktop entry's Exec key: quoted when it needs it, with
// the characters the quoting reserves escaped, then escaped as a desktop-entry string value.
QString desktopExecArgument(const QString& program);

}  // namespace qv
