#pragma once
// The window tests that talk to ora2orb2-sim through a real pseudo-terminal:
// start it with its link in a test folder and map COM 4 to that link in the
// folder's KOV.ini.
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include "Waiting.h"

namespace simtest {

// Starts `tool` with `options` and its device at dir/ttySIM, then writes
// KOV.ini as `settings` followed by the [PORTS] section. The device path in
// *device; false when the simulator did not come up or the file
// cannot be written.
inline bool StartSimulator(QProcess& sim, const QString& tool, const QTemporaryDir& dir, QStringList options,
                           const QString& settings, QString* device) {
    *device = dir.filePath("ttySIM");
    options.prepend(*device);
    options.prepend("--link");
    sim.start(tool, options);
    if (!sim.waitForStarted(testsupport::PatienceMs)) return false;
    const QDeadlineTimer deadline(testsupport::PatienceMs);
    while (!QFile::exists(*device)) {
        if (deadline.hasExpired() || sim.state() == QProcess::NotRunning) return false;
        QTest::qWait(20);
    }
    QFile ini(dir.filePath("KOV.ini"));
    if (!ini.open(QIODevice::WriteOnly)) return false;
    ini.write((settings + QStringLiteral("[PORTS]\n4=%1\n").arg(*device)).toUtf8());
    return ini.flush();
}

}  // namespace simtest
