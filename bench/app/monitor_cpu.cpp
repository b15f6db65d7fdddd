// CPU share of the main window while the sensor streams: starts ora2orb2-sim
// on a pseudo-terminal, opens the main window on it, starts the continuous
// measurement with the chart visible and reads the process's own CPU time
// (utime + stime of /proc/self/stat) over the measuring period.
//
//   monitor_cpu [--seconds N] [--format F] [--baud B] [--sim PATH] [--full-screen 1]
//               [--mqtt mqtt://HOST:PORT]   (publishing on, as Options > Publish to MQTT sets it)
//
// Run it under a real or virtual display (xvfb-run) or QT_QPA_PLATFORM=offscreen.
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "clsChartData.h"
#include "clsKOV.h"
#include "frmMain.h"
#include "modAPI.h"
#include "modGlobals.h"
#include "modIni.h"
#include "modKOVComm.h"
#include "modMain.h"

namespace {

// utime + stime of this process in seconds.
double ProcessCpuSeconds() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        usleep(5000);
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    int seconds = 60, format = 3, baud = 38400;
    bool fullScreen = false;
    QString mqtt;
    QString sim = QDir(QCoreApplication::applicationDirPath()).filePath("ora2orb2-sim");
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--seconds") seconds = args[i + 1].toInt();
        else if (args[i] == "--format") format = args[i + 1].toInt();
        else if (args[i] == "--baud") baud = args[i + 1].toInt();
        else if (args[i] == "--sim") sim = args[i + 1];
        else if (args[i] == "--full-screen") fullScreen = args[i + 1] == "1";
        else if (args[i] == "--mqtt") mqtt = args[i + 1];
    }
    if (!QFile::exists(sim)) {
        std::fprintf(stderr, "monitor_cpu: %s not found (build the ora2orb2-sim target)\n", qPrintable(sim));
        return 2;
    }

    QTemporaryDir dir;
    const QString tty = dir.filePath("ttySIM");
    QProcess simulator;
    simulator.start(sim, {"--link", tty, "--format", QString::number(format), "--unit", "0"});
    if (!simulator.waitForStarted(5000) || !WaitFor([&] { return QFile::exists(tty); }, 5000)) {
        std::fprintf(stderr, "monitor_cpu: the simulator did not start\n");
        return 2;
    }
    {
        QFile ini(dir.filePath("KOV.ini"));
        if (!ini.open(QIODevice::WriteOnly)) return 2;
        ini.write(QStringLiteral("[GENERAL]\nComport=2\nBaudrate=%1\n[PORTS]\n2=%2\n").arg(baud).arg(tty).toUtf8());
        if (!mqtt.isEmpty()) ini.write(QStringLiteral("[MQTT]\nPublish=1\nBroker=%1\n").arg(mqtt).toUtf8());
    }
    modAPI::SetProgramFolder(dir.path().toStdString());
    modKOVComm::SetEventPump(modMain::PumpEvents);
    modIni::LoadSettings();

    int result = 0;
    {
        frmMain window;
        if (fullScreen)
            window.showFullScreen();
        else
            window.show();
        if (!WaitFor([] { return modGlobals::Device && modGlobals::Device->CommStatus == 1; }, 15000)) {
            std::fprintf(stderr, "monitor_cpu: no connection to the simulated sensor\n");
            result = 1;
        } else {
            window.findChild<QCheckBox*>("chkTempMeasurement")->setChecked(true);
            window.findChild<QPushButton*>("cmdStart")->click();
            WaitFor([] { return false; }, 2000);  // let the stream settle
            const int startPointer = window.Series()->WritePointer();
            const double cpu0 = ProcessCpuSeconds();
            QElapsedTimer wall;
            wall.start();
            // Read everything before quitting: quitting closes the window,
            // which releases the link.
            QTimer::singleShot(seconds * 1000, &app, [&] {
                const double cpu = ProcessCpuSeconds() - cpu0;
                const double elapsed = wall.elapsed() / 1000.0;
                std::printf("format %d at %d bit/s, chart visible, %.1f s: CPU %.2f s = %.2f %% of one core\n",
                            format, baud, elapsed, cpu, 100.0 * cpu / elapsed);
                std::printf("value label \"%s\", temperature \"%s\", chart write pointer %d -> %d, status %d\n",
                            qPrintable(window.findChild<QLabel*>("lblMeasValue")->text()),
                            qPrintable(window.findChild<QLabel*>("lblTemperature")->text()), startPointer,
                            window.Series()->WritePointer(), modGlobals::Device ? modGlobals::Device->CommStatus : -1);
                QCoreApplication::quit();
            });
            QApplication::exec();
        }
        window.close();
    }
    simulator.terminate();
    simulator.waitForFinished(5000);
    return result;
}
