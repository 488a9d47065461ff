// How fast the status menu opens with many upcoming meetings, and how long the main thread is
// blocked while the backend's calendar replies arrive, with the agent's real tray entry, menu
// renderer and HTTP client on a private X server.
//
//   menu_open [--meetings N] [--title-chars N] [--brief-chars N] [--opens N] [--replies 0|1]
//
// Opening: the time from the click (the menu's popup) until the menu has been painted, for the
// top level and for the "More meetings" submenu, over --opens openings (the first, cold one is
// shown apart). Replies: a repeating 5 ms timer on the main thread notes how late it runs while
// the calendar list of N meetings, then lists of growing size, arrive from a server on another
// thread and are taken over; the worst lateness is the longest time the main thread was blocked.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QSettings>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "calendar/meetings.h"
#include "core/status_menu.h"
#include "platform/desktop_entries.h"
#include "platform/qt_event_loop.h"
#include "platform/qt_http_client.h"
#include "platform/xdg_installed_apps.h"
#include "support/fake_clock.h"
#include "support/fake_services.h"
#include "support/null_services.h"
#include "support/qt_wait.h"
#include "support/xvfb.h"
#include "ui/service_icons.h"
#include "ui/tray_status_item.h"
#include "ui/window_hints.h"

using namespace qv;
using namespace qv::test;

namespace {

struct Options {
    int meetings = 400;
    int titleChars = 0;  // 0: ordinary titles
    int briefChars = 0;
    int opens = 20;
    bool replies = true;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (flag == "--meetings") o.meetings = value;
        if (flag == "--title-chars") o.titleChars = value;
        if (flag == "--brief-chars") o.briefChars = value;
        if (flag == "--opens") o.opens = value;
        if (flag == "--replies") o.replies = value != 0;
    }
    return o;
}

QString iso(double when) {
    return QDateTime::fromSecsSinceEpoch(qint64(when), QTimeZone::utc()).toString(Qt::ISODate);
}

QString filler(const QString& word, int chars) {
    QString text;
    while (text.size() < chars) text += word + QLatin1Char(' ');
    return text.left(chars);
}

// `n` meetings from ten minutes from now on, a few a day over the next weeks, as a calendar
// would list them: half with a call link, each with a colour, a brief and the backend's event.
QJsonArray meetingList(int n, int titleChars, int briefChars, double now) {
    const char* services[] = {"zoom", "meet", "teams", "webex"};
    QJsonArray list;
    for (int i = 0; i < n; ++i) {
        const double start = now + 600 + i * 3600.0 * 7;
        QJsonObject entry{
            {"key", QStringLiteral("k%1").arg(i)},
            {"title", titleChars ? filler(QStringLiteral("Quarterly planning %1").arg(i),
                                          titleChars)
                                 : QStringLiteral("Team meeting %1").arg(i)},
            {"start", iso(start)},
            {"end", iso(start + 1800)},
            {"color", "#3a7bd5"},
            {"brief", briefChars ? filler(QStringLiteral("**Agenda** review notes"), briefChars)
                                 : QStringLiteral("**Agenda**: status")},
            {"event", QJsonObject{{"id", QStringLiteral("e%1").arg(i)}, {"calendar", "work"}}},
        };
        if (i % 2 == 0) {
            entry.insert("url", QStringLiteral("https://example.zoom.us/j/%1").arg(i));
            entry.insert("service", services[i % 4]);
        }
        list.append(entry);
    }
    return list;
}

// Serves every request with one fixed body, from a thread of its own.
class BodyServer {
  public:
    BodyServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_, 16);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~BodyServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    void setBody(QByteArray body) {
        std::lock_guard lock(mutex_);
        body_ = std::move(body);
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

  private:
    void serve() {
        while (!stop_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) continue;
            std::thread([this, c] { answer(c); }).detach();
        }
    }
    void answer(int c) {
        // Keeps the connection for as many requests as the client sends on it.
        std::string pending;
        char buf[4096];
        for (;;) {
            size_t end;
            while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
                const ssize_t n = ::read(c, buf, sizeof buf);
                if (n <= 0) {
                    ::close(c);
                    return;
                }
                pending.append(buf, n);
            }
            pending.erase(0, end + 4);
            QByteArray body;
            {
                std::lock_guard lock(mutex_);
                body = body_;
            }
            const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                    "Content-Length: " +
                                    QByteArray::number(body.size()) + "\r\n\r\n";
            if (!writeAll(c, head) || !writeAll(c, body)) {
                ::close(c);
                return;
            }
        }
    }
    static bool writeAll(int c, const QByteArray& bytes) {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(c, bytes.constData() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += n;
        }
        return true;
    }

    int fd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    QByteArray body_;
};

// A repeating timer on the main thread that notes the longest it ever ran late.
class LatenessProbe {
  public:
    static constexpr int kPeriodMs = 5;
    LatenessProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            worst_ = std::max(worst_, now - last_ - kPeriodMs * 1'000'000LL);
            last_ = now;
        });
    }
    void start() {
        worst_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start(kPeriodMs);
    }
    double stopMs() {
        timer_.stop();
        return worst_ / 1e6;
    }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

// Opens `menu` as a click does and returns the milliseconds until it has been painted.
double openMs(QMenu& menu, QPoint at) {
    bool painted = false;
    struct PaintSpy : QObject {
        bool* painted;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) *painted = true;
            return false;
        }
    } spy;
    spy.painted = &painted;
    menu.installEventFilter(&spy);
    QElapsedTimer t;
    t.start();
    menu.popup(at);
    while (!painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = t.nsecsElapsed() / 1e6;
    menu.removeEventFilter(&spy);
    return ms;
}

struct Figures {
    double first = 0, median = 0, worst = 0;
};

Figures summarize(std::vector<double> v) {
    Figures f;
    if (v.empty()) return f;
    f.first = v.front();
    std::vector<double> rest(v.begin() + (v.size() > 1 ? 1 : 0), v.end());
    std::sort(rest.begin(), rest.end());
    f.median = rest[rest.size() / 2];
    f.worst = rest.back();
    return f;
}

QMenu* moreMeetingsMenu(QMenu& menu) {
    for (QAction* a : menu.actions())
        if (a->menu() && a->text().contains(QLatin1String("More meetings"))) return a->menu();
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    Xvfb xvfb(1920, 1080);
    if (!xvfb.running()) {
        std::fprintf(stderr, "menu_open: no Xvfb\n");
        return 1;
    }
    qputenv("DISPLAY", QByteArray::fromStdString(xvfb.display()));
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");  // no tray host: the menu is Qt's own
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    BodyServer server;
    QtHttpClient http(server.base());
    SystemClock clock;
    QtScheduler scheduler;
    FakeBrowser browser;
    NullMeetingCard card;
    FakeLoginItem loginItem;
    struct NoRecording : RecordingRequests {
        void start(StartOptions) override {}
        void stop(std::optional<QString>) override {}
    } recording;
    RecordingState state;
    std::unique_ptr<WindowHints> hints = makeWindowHints();
    // The call services' icons as the agent finds them: desktop entries and URL handlers.
    DesktopEntries desktopEntries(DesktopEntries::defaultFolders(), QLocale::system().name());
    XdgInstalledApps installedApps(desktopEntries, XdgInstalledApps::defaultFolders());

    Meetings meetings({http, browser, clock, scheduler, card, recording, state});
    TrayStatusItem* tray = nullptr;
    StatusMenu menu({browser, clock, loginItem, recording, state,
                     [&]() -> std::unique_ptr<StatusItem> {
                         auto item = std::make_unique<TrayStatusItem>(*hints);
                         item->setIconResolver(serviceIconResolver(installedApps));
                         tray = item.get();
                         return item;
                     }},
                    {.addUpcoming = [&](MenuRows& rows) { meetings.addUpcoming(rows); },
                     .loadUpcoming = [] {},  // the replies are measured on their own below
                     .detect = [] { return true; },
                     .setDetect = [](bool) {}});
    menu.launch();

    // Has the agent load the list the server now serves, `size` meetings long.
    const auto load = [&](qsizetype size) {
        // Dropping the old list costs what its replacement by the answer would.
        meetings.upcoming = {};
        meetings.loadUpcoming();
        waitFor([&] { return meetings.upcoming.size() == size; }, 120000);
    };
    const auto bodyOf = [](const QJsonArray& list) {
        return QJsonDocument(QJsonObject{{"events", list}}).toJson(QJsonDocument::Compact);
    };

    // Replies: the main thread's worst block while lists of growing size arrive.
    std::printf("Calendar replies (main thread's longest block while each arrives; goal <= 50 ms)\n");
    std::printf("%-34s %12s %12s\n", "reply", "bytes", "block ms");
    LatenessProbe probe;
    struct Size {
        int meetings, titleChars, briefChars;
    };
    const Size sizes[] = {{options.meetings, options.titleChars, options.briefChars},
                          {options.meetings, 2000, 8000},
                          {4000, 0, 0},
                          {4000, 2000, 8000}};
    for (const Size& s : sizes) {
        if (!options.replies) break;
        const QJsonArray list = meetingList(s.meetings, s.titleChars, s.briefChars, clock.now());
        const QByteArray body = bodyOf(list);
        server.setBody(body);
        spin(50);
        probe.start();
        load(list.size());
        spin(50);
        const double block = probe.stopMs();
        char name[64];
        std::snprintf(name, sizeof name, "%d meetings, %d/%d chars", s.meetings, s.titleChars,
                      s.briefChars);
        std::printf("%-34s %12lld %12.1f\n", name, static_cast<long long>(body.size()), block);
    }

    // Opening.
    const QJsonArray list =
        meetingList(options.meetings, options.titleChars, options.briefChars, clock.now());
    server.setBody(bodyOf(list));
    load(list.size());
    std::vector<double> tops, subs, blocks;
    for (int i = 0; i < options.opens; ++i) {
        probe.start();
        tops.push_back(openMs(tray->menu(), QPoint(100, 100)));
        QMenu* sub = moreMeetingsMenu(tray->menu());
        if (sub) subs.push_back(openMs(*sub, QPoint(400, 100)));
        spin(20);
        if (sub) sub->hide();
        tray->menu().hide();
        spin(20);
        blocks.push_back(probe.stopMs());
    }
    const Figures top = summarize(tops), sub = summarize(subs), block = summarize(blocks);
    std::printf("\nMenu with %d meetings (title %d, brief %d chars), %d openings\n",
                options.meetings, options.titleChars, options.briefChars, options.opens);
    std::printf("%-34s %10s %10s %10s\n", "click to painted, ms", "first", "median", "worst");
    std::printf("%-34s %10.1f %10.1f %10.1f\n", "menu (goal <= 50 ms)", top.first, top.median,
                top.worst);
    std::printf("%-34s %10.1f %10.1f %10.1f\n", "\"More meetings\" submenu", sub.first,
                sub.median, sub.worst);
    std::printf("%-34s %10.1f %10.1f %10.1f\n", "main thread's longest block", block.first,
                block.median, block.worst);
    return 0;
}
