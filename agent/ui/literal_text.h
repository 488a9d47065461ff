// Text for menus and buttons shown exactly as it stands.
#pragma once

#include <QString>

namespace qv {

// Qt reads '&' in menu and button captions as a mnemonic mark; doubled, it shows as itself.
inline QString literalText(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace qv
