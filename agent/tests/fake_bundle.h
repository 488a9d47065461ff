// A resources folder with stand-ins for the bundle's programs, each a small script, so the
// supervisor runs its real command lines against children whose behaviour the test picks.
#pragma once

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/local_data_files.h"
#include "platform/posix_process.h"
#include "platform/qt_http_client.h"
#include "supervisor/server.h"

namespace qv::test {

struct BackendScript {
    bool serves = true;        // answers 200 on 127.0.0.1:8765
    bool ignoresTerm = false;  // SIGTERM does nothing; only SIGKILL ends it
};

class FakeBundle {
  public:
    FakeBundle() {
        QDir().mkpath(res() + "/app");
        QDir().mkpath(res() + "/bin");
        QDir().mkpath(res() + "/python/bin");
    }
    QString res() const { return dir_.filePath("res"); }
    Locations locations() const {
        return Locations{res(), dir_.filePath("share"), dir_.filePath("home")};
    }
    QString data() const { return dir_.filePath("share/Quorvia"); }
    // The real launcher and files, with `probe` (by default the real one).
    Server::Services services(Server::Probe probe = httpAlive) {
        return {launcher_, files_, std::move(probe)};
    }

    // The bundle's interpreter: prints what it was started with, then behaves as told. It keeps
    // its process id (exec), so the log line names the process the supervisor holds.
    void backend(const BackendScript& b) {
        QString body = "#!/bin/sh\n";
        if (b.ignoresTerm) body += "trap '' TERM\n";  // before the first line of output
        body +=
            "echo \"launched $$ in $(pwd) with $*\"\n"
            "echo \"data $HALCYRA_DATA\" >&2\n";
        if (b.serves) {
            body +=
                "exec /usr/bin/python3 -c '\n"
                "import http.server\n"
                "class H(http.server.BaseHTTPRequestHandler):\n"
                "    def do_GET(self):\n"
                "        self.send_response(200); self.end_headers()\n"
                "    def log_message(self, *a): pass\n"
                "http.server.HTTPServer((\"127.0.0.1\", 8765), H).serve_forever()\n"
                "'\n";
        } else {
            body += "while :; do sleep 0.1; done\n";
        }
        write(res() + "/python/bin/python3", body);
    }

    // bin/ollama: records its arguments, address and output target, and its SIGTERM.
    void ollama() {
        write(res() + "/bin/ollama",
              "#!/bin/sh\n"
              "out=\"$HALCYRA_DATA/ollama.txt\"\n"
              "trap 'echo terminated >> \"$out\"; exit 0' TERM\n"
              "echo \"$* $OLLAMA_HOST $(readlink /proc/$$/fd/1)\" > \"$out\"\n"
              "while :; do sleep 0.1; done\n");
    }

  private:
    static void write(const QString& path, const QString& body) {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(body.toUtf8());
        f.close();
        ::chmod(QFile::encodeName(path).constData(), 0755);
    }
    QTemporaryDir dir_;
    PosixLauncher launcher_;
    LocalDataFiles files_;
};

}  // namespace qv::test
