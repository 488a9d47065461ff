// The floating meeting card shown shortly before a calendar meeting. Main thread only.
#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace qv {

class MeetingCard {
  public:
    virtual ~MeetingCard() = default;
    // Replaces any visible card and returns at once. Every way out of the card hides it
    // before a callback runs; the time-out and the close button run none.
    virtual void show(const QString& title, double start, std::optional<double> end,
                      const QString& color, const QString& service, const QString& brief,
                      std::function<void()> onJoinRecord, std::function<void()> onRecord,
                      std::function<void()> onJoin, std::function<void()> onOpen,
                      double seconds = 150) = 0;
    virtual void close() = 0;
    virtual bool visible() const = 0;
};

}  // namespace qv
