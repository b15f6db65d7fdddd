#include "modMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryFile>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "frmMain.h"
#include "frmSplash.h"
#include "modAPI.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modIni.h"
#include "modControls.h"
#include "modKOVComm.h"
#include "modLanguage.h"
#include "SimulatorRegistration.h"

namespace modMain {

bool FolderIsWritable(const QString& folder) { return modAPI::FolderIsWritable(folder.toStdString()); }

bool IsSystemProgramFolder(const QString& folder) { return modAPI::IsSystemProgramFolder(folder.toStdString()); }

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
    if (folder.isEmpty())
        folder = QString::fromStdString(modAPI::DefaultDataFolder(
            executableFolder.toStdString(),
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString()));
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
    modLanguage::ApplyQtLanguage();  // Qt's own dialogs speak the stored language
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

std::string UsageText() {
    return "Usage: ORA2ORB2 [--data-dir DIR] [Qt options]\n"
           "Configures and monitors ORA-2 / ORB-2 laser distance sensors over a serial port.\n"
           "\n"
           "Options:\n"
           "  --data-dir DIR   keep KOV.ini, the recordings (REC) and the settings report in\n"
           "                   DIR (created when missing); by default the program's own\n"
           "                   folder when it is writable and not a system folder, else\n"
           "                   ~/.local/share/ORA2ORB2\n"
           "  --help           show this text\n"
           "  --version        show the program's version\n"
           "\n"
           "Qt's own options work as well, for example -platform offscreen or -style Fusion.\n"
           "\n"
           "Ports:\n"
           "  \"COM n\" is the device given for n in section PORTS of KOV.ini (a device path\n"
           "  or SIMULATOR, the built-in simulated sensor); else the n-th serial device\n"
           "  found: on-board UARTs (/dev/ttyS*), then /dev/ttyUSB*, then /dev/ttyACM*.\n"
           "  Opening a serial device needs membership in its group, usually dialout:\n"
           "  sudo usermod -aG dialout $USER, then log out and in again.\n"
           "\n"
           "See also: ora2orb2-sim(1), the simulated sensor on a pseudo-terminal.\n";
}

std::string VersionText() { return std::string("ORA2ORB2 ") + ORA_VERSION_TEXT + "\n"; }

namespace {
// The port's group: how to join it, or that the account is in it from the next log-in.
constexpr int kJoinGroupText = 1140;
constexpr int kLogInAgainText = 1141;

bool& PortAccessHintShown() {
    static bool shown = false;
    return shown;
}
}  // namespace

void ResetPortAccessHint() { PortAccessHintShown() = false; }

QString PortAccessHint(QWidget* parent, const std::string& device, const SerialLayer::GroupProblem& problem) {
    if (problem.group.empty()) return {};
    const QString path = QString::fromStdString(device);
    const QString group = QString::fromStdString(problem.group);
    if (!PortAccessHintShown()) {
        PortAccessHintShown() = true;
        const QString text =
            modLanguage::Text(problem.accountInGroup ? kLogInAgainText : kJoinGroupText).arg(path, group);
        QPointer<QWidget> owner = parent;
        QTimer::singleShot(0, QCoreApplication::instance(), [owner, text] {
            const QString title = owner ? owner->window()->windowTitle() : QStringLiteral("ORA-2 / ORB-2");
            modControls::ShowWarning(owner, title, text);
        });
    }
    return " - " + modLanguage::Text(1139).arg(path, group);
}

QString PortAccessHint(QWidget* parent, const std::string& device) {
    if (device.empty() || device == "SIMULATOR") return {};
    return PortAccessHint(parent, device, SerialLayer::MissingGroupForDevice(device));
}

void PumpEvents(int maxWaitMs) {
    // A timer of its own wakes the wait when nothing else happens.
    QEventLoop loop;
    QTimer::singleShot(maxWaitMs > 0 ? maxWaitMs : 0, &loop, &QEventLoop::quit);
    loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace modMain
