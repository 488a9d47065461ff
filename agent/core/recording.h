// The arguments of a recording start and the texts recording control shows.
#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

namespace qv {

// What a start asks for; every argument is absent unless the caller gives it.
struct StartOptions {
    std::optional<QString> app;        // the name of the application whose call is recorded
    std::optional<QJsonObject> event;  // a calendar event as the backend delivered it
    std::optional<bool> openPage;      // open the meeting's page after a start (default: no app)
    std::optional<bool> screen;        // record the screen too
    std::optional<QString> mode;       // "append" or "replace", after the add-or-replace question
};

// The start request's body: each key present exactly when its argument is given.
QJsonObject startBody(const StartOptions& options);

}  // namespace qv
