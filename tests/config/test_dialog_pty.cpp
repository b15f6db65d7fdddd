// The real dialog on the real clock against the ora2orb2-sim tool through a
// pseudo-terminal, with the measurement loop on a 50 ms timer as in the
// program: opening downloads, Upload and Store send what the tool's command
// log shows.
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "MonitorLoop.h"
#include "clsKOV.h"
#include "frmKOV.h"
#include "modAPI.h"
#include "modFunctions.h"
#include "modKOVComm.h"
#include "SimulatorProcess.h"

namespace Comm = modKOVComm::Comm;

namespace {

// The program's wait: the events run, the loop's timer among them.
void PumpEvents(int maxWaitMs) {
    QEventLoop loop;
    QTimer::singleShot(maxWaitMs > 0 ? maxWaitMs : 0, &loop, &QEventLoop::quit);
    loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace

class DialogEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void uploadAndStoreThroughAPseudoTerminal() {
        simtest::PtySimulator sim;
        const QString logFile = sim.dir.filePath("commands.jsonl");
        QVERIFY(sim.Start({"--log", logFile, "--rain-filter", "--format", "0"}));
        modKOVComm::ResetHooks();
        modAPI::SetClock({});
        modAPI::SetProgramFolder(sim.dir.path().toStdString());
        modFunctions::SetLanguageOffset(0);
        modFunctions::SetDecimalSeparator(',');
        modKOVComm::SetEventPump(PumpEvents);

        auto link = std::make_shared<clsKOV>();
        link->Name = "Device";
        link->Filename = "Device";
        frmKOV::ConfigList list{{"Device", link}};
        MonitorLoop loop([link] { return link; }, nullptr);
        loop.SetPort(4, 38400);
        QTimer timer;
        timer.setInterval(MonitorLoop::TickMs);
        connect(&timer, &QTimer::timeout, [&loop] { loop.Tick(); });
        timer.start();
        QTRY_COMPARE_WITH_TIMEOUT(link->CommStatus, Comm::Idle, testsupport::PatienceMs);

        {
            frmKOV dialog(nullptr, loop, list, "Serial");
            dialog.show();
            dialog.StartUp();
            QCOMPARE(dialog.StatusText(), QStringLiteral("Konfiguration vom ORA-2 / ORB-2 geladen"));
            QCOMPARE(dialog.findChild<QComboBox*>("cmbRainFilter")->currentText(), QStringLiteral("OFF"));
            QCOMPARE(dialog.txtParameter(1)->text(), QStringLiteral("1,000"));

            dialog.findChild<QComboBox*>("cmbDistanceUnit")->setCurrentIndex(0);
            QLineEdit* offset = dialog.txtParameter(0);
            offset->clear();
            QTest::keyClicks(offset, "-12,5");
            QTest::keyClick(offset, Qt::Key_Return);
            QCOMPARE(offset->text(), QStringLiteral("-12"));
            QTRY_VERIFY_WITH_TIMEOUT(dialog.findChild<QPushButton*>("cmdUpload")->isEnabled(), testsupport::PatienceMs);
            dialog.findChild<QPushButton*>("cmdUpload")->click();
            QCOMPARE(dialog.StatusText(), QStringLiteral("Konfiguration zum ORA-2 / ORB-2 gesendet"));
            QCOMPARE(link->DistanceUnit, 0);
            QCOMPARE(link->Offset, -12);
            QTRY_VERIFY_WITH_TIMEOUT(dialog.findChild<QPushButton*>("cmdSaveSettings")->isEnabled(),
                                     testsupport::PatienceMs);
            dialog.findChild<QPushButton*>("cmdSaveSettings")->click();
            QCOMPARE(dialog.StatusText(), QStringLiteral("Konfiguration im ORA-2 / ORB-2 gespeichert"));
            QTRY_VERIFY_WITH_TIMEOUT(dialog.findChild<QPushButton*>("cmdClose")->isEnabled(), testsupport::PatienceMs);
            dialog.findChild<QPushButton*>("cmdClose")->click();
            QVERIFY(!dialog.isVisible());
        }
        // Opened as the menu opens it: modal, downloading once it is shown.
        QString statusSeen;
        QTimer watcher;
        watcher.setInterval(50);
        connect(&watcher, &QTimer::timeout, [&] {
            auto* open = qobject_cast<frmKOV*>(QApplication::activeModalWidget());
            if (!open || !open->findChild<QPushButton*>("cmdClose")->isEnabled()) return;
            statusSeen = open->StatusText();
            open->findChild<QPushButton*>("cmdClose")->click();
        });
        watcher.start();
        QCOMPARE(frmKOV::ShowDialog(nullptr, loop, list, "Serial"), int(QDialog::Rejected));
        watcher.stop();
        QCOMPARE(statusSeen, QStringLiteral("Konfiguration vom ORA-2 / ORB-2 geladen"));

        timer.stop();
        modKOVComm::ResetHooks();
        QVERIFY(sim.Stop());

        // The tool's log: one JSON object a line, times in order; the
        // parameter writes are exactly the upload's and the store's.
        QFile log(logFile);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QRegularExpression shape(QStringLiteral("^\\{\"time_ms\":(\\d+),\"command\":\"(.*)\"\\}$"));
        QStringList writes, all;
        qint64 last = -1;
        for (const QByteArray& raw : log.readAll().split('\n')) {
            if (raw.isEmpty()) continue;
            const QRegularExpressionMatch m = shape.match(QString::fromUtf8(raw));
            QVERIFY2(m.hasMatch(), raw.constData());
            const qint64 time = m.captured(1).toLongLong();
            QVERIFY(time >= last);
            last = time;
            all << m.captured(2);
            if (m.captured(2).at(0).isDigit()) writes << m.captured(2);
        }
        const QStringList expected = {"101 ASCII", "111 MM",   "301 1024", "302 25",   "304 0",    "305 0",
                                      "306 1",     "311 0",    "401 1000", "402 9000", "403 0",    "501 10000",
                                      "502 9900",  "503 1",    "504 1000", "505 900",  "601 9600", "603 C",
                                      "701 -12",   "702 1000", "801 200",  "802 1013", "351 OFF",  "999 "};
        QCOMPARE(writes, expected);
        QVERIFY(all.contains("X"));
        QCOMPARE(all.count("C"), 4);  // connecting, opening, read-back after the upload, opening again
    }
};

QTEST_MAIN(DialogEndToEndTest)
#include "test_dialog_pty.moc"
