#include "modMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryFile>
#include <memory>

#include "frmMain.h"
#include "frmSplash.h"
#include "modAPI.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modIni.h"
#include "modKOVComm.h"
#include "SimulatorRegistration.h"

namespace modMain {

bool FolderIsWritable(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return false;
    // Ask the file system rather than the permission bits (read-only mounts, ACLs).
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".ora2orb2-write-test-XXXXXX")));
    return probe.open();
}

QString DecideProgramFolder(const QStringList& arguments, const QString& executableFolder) {
    QString folder;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--data-dir") && i + 1 < arguments.size()) {
            folder = arguments[i + 1];
            break;
        }
        if (a.startsWith(QLatin1String("--data-dir="))) {
            folder = a.mid(11);
            break;
        }
    }
    if (folder.isEmpty()) {
        if (FolderIsWritable(executableFolder))
            folder = executableFolder;
        else
            folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    }
    if (folder.isEmpty()) folder = QDir::currentPath();
    QDir().mkpath(folder);
    return QDir(folder).absolutePath();
}

int Main(const QStringList& arguments) {
    modAPI::SetProgramFolder(
        DecideProgramFolder(arguments, QCoreApplication::applicationDirPath()).toStdString());
    const QString point = QLocale::system().decimalPoint();
    modFunctions::SetDecimalSeparator(point == QLatin1String(",") ? ',' : '.');
    RegisterSimulatedSensor();

    // The waits of the link (parameter writes) keep the window alive and let
    // the measurement timer decode while they wait.
    modKOVComm::SetEventPump(PumpEvents);
    modKOVComm::SetClosing(false);

    modGlobals::ExitRequested = false;
    modIni::LoadSettings();
    {
        frmSplash splash;
        splash.exec();
    }
    if (modGlobals::ExitRequested) {
        modGlobals::ConfigList.clear();
        modGlobals::Device.reset();
        return 0;
    }

    auto window = std::make_unique<frmMain>();
    window->show();
    const int code = QApplication::exec();
    window.reset();
    return code;
}

void PumpEvents(int maxWaitMs) {
    // A timer of its own wakes the wait when nothing else happens.
    QEventLoop loop;
    QTimer::singleShot(maxWaitMs > 0 ? maxWaitMs : 0, &loop, &QEventLoop::quit);
    loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace modMain
