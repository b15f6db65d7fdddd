// Start-up of an installed program: the port-access hint, the data folder of
// a program in a system folder, the texts of --help and --version.
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "modControls.h"
#include "modFunctions.h"
#include "modMain.h"

class PortHintTest : public QObject {
    Q_OBJECT

    struct Shown {
        QString title, text;
    };
    QList<Shown> m_shown;

private slots:
    void init() {
        m_shown.clear();
        modMain::ResetPortAccessHint();
        modControls::SetWarningFunction(
            [this](QWidget*, const QString& title, const QString& text) { m_shown.append({title, text}); });
    }
    void cleanup() {
        modControls::SetWarningFunction({});
        modFunctions::SetLanguageOffset(0);
    }

    // The status bar names the group every time; the way to join it is shown
    // once per run, after the tick that reported the failure has returned.
    void groupNamedEveryTimeHintShownOnce() {
        modFunctions::SetLanguageOffset(1000);
        QWidget window;
        window.setWindowTitle("ORA-2 / ORB-2");
        const SerialLayer::GroupProblem problem{"dialout", false};
        const QString status = modMain::PortAccessHint(&window, "/dev/ttyUSB0", problem);
        QCOMPARE(status, QStringLiteral(" - /dev/ttyUSB0 belongs to group dialout, which you are not in"));
        QCOMPARE(m_shown.size(), 0);  // not inside the caller
        QTRY_COMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown[0].title, QStringLiteral("ORA-2 / ORB-2"));
        QVERIFY(m_shown[0].text.contains("/dev/ttyUSB0"));
        QVERIFY(m_shown[0].text.contains("sudo usermod -aG dialout $USER"));
        QVERIFY(m_shown[0].text.contains("log out and log in again", Qt::CaseInsensitive));

        for (int i = 0; i < 5; ++i)
            QCOMPARE(modMain::PortAccessHint(&window, "/dev/ttyUSB0", problem), status);
        QCoreApplication::processEvents();  // runs what the calls posted
        QCOMPARE(m_shown.size(), 1);
    }

    void germanHintHasTheSameCommand() {
        modFunctions::SetLanguageOffset(0);
        const QString status = modMain::PortAccessHint(nullptr, "/dev/ttyACM0", {"uucp", false});
        QCOMPARE(status, QString::fromUtf8(" - /dev/ttyACM0 gehört der Gruppe uucp, in der Sie nicht sind"));
        QTRY_COMPARE(m_shown.size(), 1);
        QVERIFY(m_shown[0].text.contains("sudo usermod -aG uucp $USER"));
        QVERIFY(m_shown[0].text.contains("ab und wieder an"));
    }

    // Already added to the group, not yet logged in again: no command to
    // repeat, only the new login.
    void accountInGroupOnlyNeedsNewLogin() {
        modFunctions::SetLanguageOffset(1000);
        modMain::PortAccessHint(nullptr, "/dev/ttyUSB0", {"dialout", true});
        QTRY_COMPARE(m_shown.size(), 1);
        QVERIFY(!m_shown[0].text.contains("usermod"));
        QVERIFY(m_shown[0].text.contains("log out and log in again", Qt::CaseInsensitive));
    }

    // Any other reason (busy, missing, the simulator) adds nothing and shows nothing.
    void otherReasonsGiveNoHint() {
        QCOMPARE(modMain::PortAccessHint(nullptr, "/dev/ttyUSB0", {}), QString());
        QCOMPARE(modMain::PortAccessHint(nullptr, "SIMULATOR"), QString());
        QCOMPARE(modMain::PortAccessHint(nullptr, ""), QString());
        QCOMPARE(modMain::PortAccessHint(nullptr, "/dev/null"), QString());
        QCoreApplication::processEvents();
        QCOMPARE(m_shown.size(), 0);
    }

    // An installed program keeps the user's files out of the system folder
    // it lives in, also when it runs as root and could write there.
    void installedProgramUsesTheUsersDataFolder() {
        QVERIFY(modMain::IsSystemProgramFolder("/usr/bin"));
        QVERIFY(modMain::IsSystemProgramFolder("/usr/bin/"));
        QVERIFY(modMain::IsSystemProgramFolder("/usr/local/bin"));
        QVERIFY(modMain::IsSystemProgramFolder("/bin"));
        QTemporaryDir portable;
        QVERIFY(!modMain::IsSystemProgramFolder(portable.path()));
        QVERIFY(!modMain::IsSystemProgramFolder(""));

        QStandardPaths::setTestModeEnabled(true);
        const QString data = QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).absolutePath();
        QCOMPARE(modMain::DecideProgramFolder({"ORA2ORB2"}, "/usr/bin"), data);
        QCOMPARE(modMain::DecideProgramFolder({"ORA2ORB2"}, portable.path()), QDir(portable.path()).absolutePath());
        QStandardPaths::setTestModeEnabled(false);
        QVERIFY(!QFileInfo::exists("/usr/bin/KOV.ini"));
    }

    void helpAndVersionTexts() {
        const QString usage = QString::fromStdString(modMain::UsageText());
        QVERIFY(usage.startsWith("Usage: ORA2ORB2"));
        for (const char* option : {"--data-dir DIR", "--help", "--version"}) QVERIFY(usage.contains(option));
        QVERIFY(QString::fromStdString(modMain::VersionText()).contains(QRegularExpression("^ORA2ORB2 \\d+\\.\\d+\\.\\d+\n$")));
    }
};

QTEST_MAIN(PortHintTest)
#include "test_port_hint.moc"
