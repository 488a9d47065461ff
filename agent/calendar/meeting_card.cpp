#include "calendar/meeting_card.h"

#include <QStringList>
#include <QUrl>
#include <cmath>
#include <limits>

#include "ports/installed_apps.h"

namespace qv {

namespace {

struct CallService {
    const char* key;
    const char* name;
    QStringList desktopIds;  // native applications, in the order they are looked for
};

// The known call services. Their native applications by desktop-file id: the Flatpak id first
// where there is one, then the ids of the distributions' and the makers' own packages.
const std::vector<CallService>& callServices() {
    static const std::vector<CallService> services = {
        {"meet", "Meet", {}},
        {"zoom", "Zoom", {"us.zoom.Zoom", "Zoom"}},
        {"teams",
         "Teams",
         {"com.github.IsmaelMartinez.teams_for_linux", "teams-for-linux", "teams"}},
        {"webex", "Webex", {"webex", "com.cisco.webex"}},
        {"whereby", "Whereby", {}},
        {"slack", "Slack", {"com.slack.Slack", "slack"}},
    };
    return services;
}

const CallService* findService(const QString& key) {
    for (const CallService& s : callServices()) {
        if (key == QLatin1String(s.key)) return &s;
    }
    return nullptr;
}

// Spaces (any Unicode space separator) and tabs; line breaks are not trimmed.
bool isBlank(QChar c) {
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

QString trimBlanks(const QString& text) {
    qsizetype from = 0, to = text.size();
    while (from < to && isBlank(text[from])) ++from;
    while (to > from && isBlank(text[to - 1])) --to;
    return text.mid(from, to - from);
}

// Reads text as an unsigned hexadecimal number the way the standard parsers do: an optional
// leading '+', then one or more hexadecimal digits and nothing else.
std::optional<unsigned> parseHex(const QString& text) {
    const QStringView digits = QStringView(text).mid(text.startsWith(QLatin1Char('+')) ? 1 : 0);
    if (digits.isEmpty()) return std::nullopt;
    unsigned value = 0;
    for (QChar c : digits) {
        const int digit = QStringLiteral("0123456789abcdef").indexOf(c.toLower());
        if (c.unicode() > 0x7f || digit < 0) return std::nullopt;
        value = value * 16 + unsigned(digit);
    }
    return value;
}

}  // namespace

CardColour MeetingCard::color(const QString& text) {
    QString hex = trimBlanks(text);
    if (hex.startsWith(QLatin1Char('#'))) hex.remove(0, 1);
    if (hex.size() != 6) return kDefaultCardColour;
    const std::optional<unsigned> v = parseHex(hex);
    if (!v) return kDefaultCardColour;
    return {((*v >> 16) & 255) / 255.0, ((*v >> 8) & 255) / 255.0, (*v & 255) / 255.0};
}

std::vector<RichSegment> MeetingCard::rich(const QString& text) {
    std::vector<RichSegment> segments;
    const QStringList parts = text.split(QStringLiteral("**"), Qt::KeepEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) segments.push_back({parts[i], i % 2 == 1});
    return segments;
}

QString MeetingCard::serviceIcon(const QString& key, InstalledApps& apps) {
    for (const QString& id : serviceDesktopIds(key)) {
        if (std::optional<QString> icon = apps.iconOf(id)) return *icon;
    }
    if (key.isEmpty()) return QString();
    // Any fixed https address: it only serves to find the default web browser.
    return apps.iconOfHandler(QUrl(QStringLiteral("https://example.com/"))).value_or(QString());
}

std::optional<QString> serviceName(const QString& key) {
    if (const CallService* s = findService(key)) return QString::fromLatin1(s->name);
    return std::nullopt;
}

QStringList serviceDesktopIds(const QString& key) {
    if (const CallService* s = findService(key)) return s->desktopIds;
    return {};
}

QString cardCountdown(double start, double now) {
    const double limit = double(std::numeric_limits<int>::max());
    const double minutes = std::ceil((start - now) / 60.0);
    if (std::isnan(minutes) || minutes < 1) return QStringLiteral("Starting now");
    if (minutes == 1) return QStringLiteral("Starts in 1 min");
    return QStringLiteral("Starts in %1 min").arg(static_cast<long long>(std::min(minutes, limit)));
}

QString cardTime(double start, std::optional<double> end, const LocalCalendar& calendar) {
    QString text = timeOfDay(start, calendar);
    if (end) text += QStringLiteral(" \u2013 ") + timeOfDay(*end, calendar);
    return text;
}

std::pair<QString, QString> cardCaption(const QString& service, bool joinable) {
    if (!joinable) return {QStringLiteral("Record"), QStringLiteral("this meeting")};
    return {QStringLiteral("Join ") + serviceName(service).value_or(QStringLiteral("call")),
            QStringLiteral("& record")};
}

}  // namespace qv
