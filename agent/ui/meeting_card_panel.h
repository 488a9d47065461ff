// The meeting card as a floating panel in the top-right corner of the primary screen: the
// countdown, the meeting's title, time, colour and brief, one main control (join and record,
// or record) and a "More" menu of the other choices. At most one card is visible; it closes
// itself after its time-out. Main thread only.
#pragma once

#include <QMenu>
#include <QPointer>
#include <functional>
#include <vector>

#include "calendar/calendar_entry.h"
#include "calendar/meeting_card.h"
#include "ui/panel_slot.h"

class QMenu;

namespace qv {

class Clock;
class InstalledApps;
class WindowHints;

class MeetingCardPanel : public MeetingCard {
  public:
    static constexpr int kWidth = 452;
    static constexpr int kHeight = 112;           // without a brief
    static constexpr int kHeightWithBrief = 168;  // with one

    // All three are borrowed and must outlive the card. `calendar` decides how the meeting's
    // time reads; `clock` gives the countdown's "now".
    MeetingCardPanel(WindowHints& hints, const Clock& clock, InstalledApps& apps,
                     LocalCalendar calendar = LocalCalendar::system());

    void show(const QString& title, double start, std::optional<double> end, const QString& color,
              const QString& service, const QString& brief, std::function<void()> onJoinRecord,
              std::function<void()> onRecord, std::function<void()> onJoin,
              std::function<void()> onOpen, double seconds = 150) override;
    void close() override;
    bool visible() const override;

    // The "More" menu's entry with this tag (its position): closes the card, then runs the
    // entry's action. Entries of a card that has been replaced run nothing.
    void pick(int tag);

    // The panel shown now, or null; and its "More" menu.
    FloatingPanel* panel() const { return slot_.panel(); }
    QMenu* moreMenu() const { return menu_; }

  private:
    void addHead(FloatingPanel& panel, const QString& title, double start,
                 std::optional<double> end, const QString& color);
    void addActions(FloatingPanel& panel, const QString& service, bool joinable,
                    std::function<void()> main);
    void buildMenu(FloatingPanel& panel, const std::vector<QString>& titles);

    WindowHints& hints_;
    const Clock& clock_;
    InstalledApps& apps_;
    LocalCalendar calendar_;
    PanelSlot slot_;
    std::vector<std::function<void()>> actions_;  // the last card's menu actions, by tag
    QPointer<QMenu> menu_;
};

}  // namespace qv
