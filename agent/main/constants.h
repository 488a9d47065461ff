// Global constants of the agent, fixed before the event loop starts.
#pragma once

#include <QString>
#include <QStringList>

namespace qv {

// TCP port of the local backend.
inline constexpr int PORT = 8765;
// Prefix of every API request: the numeric loopback address, no trailing slash.
inline const QString BASE = QStringLiteral("http://127.0.0.1:%1").arg(PORT);
// Prefix of every page opened in the browser: the host name, no trailing slash.
inline const QString WEB = QStringLiteral("http://localhost:%1").arg(PORT);

// Application-identifier prefixes whose microphone use is ignored, tested in order, lower case.
inline const QStringList IGNORED_PREFIXES = {
    QStringLiteral("com.apple.speechrecognitioncore"),
    QStringLiteral("com.apple.assistant"),
    QStringLiteral("com.apple.siri"),
    QStringLiteral("com.apple.corespeech"),
    QStringLiteral("com.apple.dictation"),
    QStringLiteral("com.apple.accessibility"),
    QStringLiteral("com.apple.controlcenter"),
    QStringLiteral("com.apple.audio"),
    QStringLiteral("com.apple.coreaudiod"),
    QStringLiteral("com.apple.voicecontrol"),
    QStringLiteral("com.apple.speech"),
    QStringLiteral("com.lumaret."),
};

// The identity of the agent's windows (WM_CLASS) and desktop entry.
inline const QString APP_ID = QStringLiteral("com.lumaret.quorvia");

}  // namespace qv
