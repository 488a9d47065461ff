#include "core/app.h"

#include <QUrl>

#include "main/constants.h"

namespace qv {

namespace {
const QString kDetectKey = QStringLiteral("detectCalls");
}

App::App(AppServices services)
    : server(services.server),
      prompt(services.prompt),
      card(services.card),
      eventStore(services.eventStore),
      services_(std::move(services)) {}

void App::applicationDidFinishLaunching() {
    if (services_.makeStatusItem) item = services_.makeStatusItem();
    if (item) item->setMenuSource([this] { return menuNeedsUpdate(); });
    if (services_.permissions.micAccess() == MicAccess::NotDetermined) {
        services_.permissions.requestMicAccess([] {});
    }
    // The backend launch may block for half a minute: the tray works meanwhile.
    services_.background.run([this] { server.start(); }, [this] { continueStartup(); });
}

void App::continueStartup() {
    refresh(true);
    timers_.push_back(services_.scheduler.every(2.0, [this] { refresh(false); }));
    timers_.push_back(services_.scheduler.every(1.5, [this] { watchMic(); }));
    timers_.push_back(services_.scheduler.every(30.0, [this] { checkSoon(); }));
    timers_.push_back(services_.scheduler.every(120.0, [this] { loadUpcoming(); }));
    loadUpcoming();
    timers_.push_back(services_.scheduler.after(8.0, [this] {
        checkSoon();
        loadUpcoming();
    }));
}

bool App::applicationShouldHandleReopen() {
    openWeb(QString());
    return false;
}

void App::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    server.stop();
}

bool App::detect() const {
    const QVariant value = services_.settings.value(kDetectKey);
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    // Text-based settings formats keep a Boolean as the words "true" and "false".
    if (value.typeId() == QMetaType::QString) {
        if (value.toString() == QLatin1String("false")) return false;
    }
    return true;
}

void App::setDetect(bool on) {
    services_.settings.setValue(kDetectKey, on);
    services_.settings.sync();
}

void App::http(const QString& path, const QString& method, const std::optional<QJsonObject>& body,
               double timeout, HttpDone done) {
    services_.http.send(path, method, body, timeout, std::move(done));
}

void App::openWeb(const QString& path) {
    const QUrl url(WEB + "/" + path, QUrl::StrictMode);
    if (!url.isValid()) return;
    services_.browser.open(url);
}

}  // namespace qv
