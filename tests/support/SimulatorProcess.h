#pragma once
// The window tests that talk to ora2orb2-sim (ORA_SIM_TOOL, defined by the
// test's build) through a real pseudo-terminal: the tool runs in a folder of
// its own with its link there, COM 4 mapped to that link in the folder's
// KOV.ini, and is ended with the test.
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include "Waiting.h"

namespace simtest {

class PtySimulator {
public:
    PtySimulator() = default;
    ~PtySimulator() { Stop(); }
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    // Starts the tool with `options`, then writes KOV.ini as `settings`
    // followed by the [PORTS] section; false when the tool does not come up
    // or the file cannot be written.
    bool Start(const QStringList& options, const QString& settings = {}) {
        if (!Restart(options)) return false;
        QFile ini(dir.filePath("KOV.ini"));
        if (!ini.open(QIODevice::WriteOnly)) return false;
        ini.write((settings + QStringLiteral("[PORTS]\n4=%1\n").arg(device)).toUtf8());
        return ini.flush();
    }
    // Starts it (again) at the same link; true once the link is there.
    bool Restart(const QStringList& options) {
        process.start(QStringLiteral(ORA_SIM_TOOL), QStringList{"--link", device} + options);
        if (!process.waitForStarted(testsupport::PatienceMs)) return false;
        const QDeadlineTimer deadline(testsupport::PatienceMs);
        while (!QFile::exists(device)) {
            if (deadline.hasExpired() || process.state() == QProcess::NotRunning) return false;
            QTest::qWait(20);
        }
        return true;
    }
    // Ends it, as when the adapter is pulled; true once it has ended.
    bool Stop() {
        if (process.state() == QProcess::NotRunning) return true;
        process.terminate();
        return process.waitForFinished(testsupport::PatienceMs);
    }

    QTemporaryDir dir;
    QProcess process;
    const QString device = dir.filePath("ttySIM");
};

}  // namespace simtest
