// The real main window, on the real clock and its own timer, against the
// ora2orb2-sim tool through a pseudo-terminal: connect, stream BINARY+CRC,
// chart, temperatures, stop.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "clsChartData.h"
#include "clsKOV.h"
#include "frmMain.h"
#include "modAPI.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modIni.h"
#include "modKOVComm.h"
#include "modMain.h"
#include "MainWindowTestState.h"
#include "SimulatorProcess.h"

namespace Comm = modKOVComm::Comm;

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void streamsThroughAPseudoTerminal() {
        simtest::PtySimulator sim;
        QVERIFY(sim.Start({"--format", "3", "--unit", "0"}, "[GENERAL]\nComport=4\nBaudrate=38400\n"));
        simtest::StartProgramState(sim.dir.path().toStdString());
        {
            frmMain window;
            window.show();
            QTRY_COMPARE_WITH_TIMEOUT(modGlobals::Device->CommStatus, Comm::Idle, testsupport::PatienceMs);
            QCOMPARE(window.LampColor(), frmMain::LampYellow);
            QCOMPARE(modGlobals::Device->OutputFormat, 3);
            window.findChild<QCheckBox*>("chkTempMeasurement")->setChecked(true);
            modGlobals::Device->ReadTempInterval = 2000;
            window.findChild<QPushButton*>("cmdStart")->click();
            QCOMPARE(modGlobals::Device->CommStatus, Comm::Measuring);
            auto* label = window.findChild<QLabel*>("lblMeasValue");
            QTRY_VERIFY_WITH_TIMEOUT(label->text().endsWith(" mm"), testsupport::PatienceMs);
            QTRY_VERIFY_WITH_TIMEOUT(window.findChild<QLabel*>("lblTemperature")->text().contains(" C,"),
                                     testsupport::PatienceMs);
            QTRY_VERIFY_WITH_TIMEOUT(window.Series()->WritePointer() > 20, testsupport::PatienceMs);
            QCOMPARE(modGlobals::Device->CommStatus, Comm::Measuring);
            QCOMPARE(window.LampColor(), frmMain::LampGreen);
            // The adapter goes away while measuring: the port closes, the
            // status says so, and the program reconnects when it is back.
            QVERIFY(sim.Stop());
            QTRY_VERIFY_WITH_TIMEOUT(window.StatusText(StatusPanel::Events).startsWith(QStringLiteral("Comport nicht geöffnet")),
                                     testsupport::PatienceMs);
            QTRY_COMPARE_WITH_TIMEOUT(window.LampColor(), frmMain::LampRed, testsupport::PatienceMs);
            // The user's measurement is still on: it goes on when the sensor is back.
            QCOMPARE(window.findChild<QPushButton*>("cmdStart")->text(), QStringLiteral("Stop"));
            QVERIFY(sim.Restart({"--format", "3", "--unit", "0"}));
            QTRY_COMPARE_WITH_TIMEOUT(modGlobals::Device->CommStatus, Comm::Measuring, testsupport::PatienceMs);
            QTRY_COMPARE_WITH_TIMEOUT(window.StatusText(StatusPanel::Events), QStringLiteral("Neuer Messwert eingelesen"),
                                      testsupport::PatienceMs);
            QCOMPARE(window.findChild<QPushButton*>("cmdStart")->text(), QStringLiteral("Stop"));
            window.findChild<QPushButton*>("cmdStart")->click();
            QCOMPARE(modGlobals::Device->CommStatus, Comm::Idle);
            window.close();
        }
        QVERIFY(!modGlobals::Device);
        modKOVComm::SetEventPump({});
    }
};

QTEST_MAIN(EndToEndTest)
#include "test_end_to_end.moc"
