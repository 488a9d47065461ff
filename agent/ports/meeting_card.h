// The floating meeting card shown shortly before a calendar meeting. The card is a widget
// (ui/meeting_card_panel.h); this interface and everything it calls run on the main thread.
// `color`, `rich` and `serviceIcon` are the card's pure look, defined with the calendar
// (calendar/meeting_card.cpp); `color` and `rich` may run on any thread.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace qv {

class InstalledApps;

// An opaque colour, components from 0 to 1.
struct CardColour {
    double red, green, blue;
    bool operator==(const CardColour&) const = default;
};

// A run of the brief's text and whether it is set in semibold.
struct RichSegment {
    QString text;
    bool semibold;
    bool operator==(const RichSegment&) const = default;
};

// The card's colour when an entry names none it can read: the agent's accent.
inline constexpr CardColour kDefaultCardColour{0.125, 0.627, 0.816};

class MeetingCard {
  public:
    virtual ~MeetingCard() = default;
    // Replaces any visible card and returns at once. `onJoin` empty means the meeting cannot
    // be joined: the card then offers to record only. Every way out of the card hides it
    // before a callback runs; the time-out and the close button run none.
    virtual void show(const QString& title, double start, std::optional<double> end,
                      const QString& color, const QString& service, const QString& brief,
                      std::function<void()> onJoinRecord, std::function<void()> onRecord,
                      std::function<void()> onJoin, std::function<void()> onOpen,
                      double seconds = 150) = 0;
    virtual void close() = 0;
    virtual bool visible() const = 0;

    // The colour bar's colour for an entry's "color" text: six hexadecimal digits, with or
    // without one leading "#", spaces and tabs around them ignored; anything else gives
    // kDefaultCardColour.
    static CardColour color(const QString& text);
    // The brief split at every "**": even runs regular, odd runs semibold. No other markup.
    static std::vector<RichSegment> rich(const QString& text);
    // The icon for a call service key: the first installed native application of the service,
    // else, for any non-empty key, the default web browser's. A theme icon name or an absolute
    // path; empty for the agent's own icon (an empty key, or nothing found). Asks `apps`.
    static QString serviceIcon(const QString& key, InstalledApps& apps);
};

}  // namespace qv
