// Once-per-login marks as small files in the user's runtime folder (XDG_RUNTIME_DIR), which
// the system empties when the user's last session ends. Each mark also holds the login it was
// made in (the boot and the session id), so a runtime folder kept across logins (lingering
// users) does not carry a mark into the next login. Main thread only.
#pragma once

#include "ports/once_per_login.h"

namespace qv {

class RuntimeOncePerLogin : public OncePerLogin {
  public:
    // The marks of this process's login: in the runtime folder Qt names (XDG_RUNTIME_DIR).
    RuntimeOncePerLogin();
    // For tests: marks in `folder`, for the login called `login`.
    RuntimeOncePerLogin(QString folder, QString login);

    bool done(const QString& what) const override;
    void markDone(const QString& what) override;

    // The running login: the boot's id and XDG_SESSION_ID.
    static QString currentLogin();

  private:
    QString file(const QString& what) const;
    QString folder_;
    QString login_;
};

}  // namespace qv
