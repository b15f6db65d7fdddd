// KOV.ini (GENERAL and CHART), the start dialog and the program folder.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>
#include <cerrno>
#include <csignal>
#include <system_error>

#include <sys/resource.h>

#include "clsIni.h"
#include "frmSplash.h"
#include "modAPI.h"
#include "modControls.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modHTMLHelp.h"
#include "modIni.h"
#include "modMain.h"

class SettingsTest : public QObject {
    Q_OBJECT

    QTemporaryDir* m_dir = nullptr;

    QString IniPath() const { return m_dir->filePath("KOV.ini"); }
    void WriteIni(const QByteArray& text) {
        QFile f(IniPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QString Read(const char* section, const char* key) {
        clsIni ini;
        ini.Filename(IniPath().toStdString());
        return QString::fromStdString(ini.GetSetting(section, key, std::string("<missing>")));
    }
    // Runs the start dialog and presses `button` in it.
    void RunSplash(const char* button, QString* language = nullptr, QString* port = nullptr,
                   QString* rate = nullptr) {
        modIni::LoadSettings();
        frmSplash splash;
        if (language) *language = splash.findChild<QComboBox*>("cmbLanguage")->currentText();
        if (port) *port = splash.findChild<QComboBox*>("cmbComPort")->currentText();
        if (rate) *rate = splash.findChild<QComboBox*>("cmbBaudrate")->currentText();
        QTimer::singleShot(0, &splash, [&] { splash.findChild<QPushButton*>(button)->click(); });
        splash.exec();
    }

private slots:
    void init() {
        m_dir = new QTemporaryDir;
        modGlobals::ResetState();
        modAPI::SetProgramFolder(m_dir->path().toStdString());
        modFunctions::SetLanguageOffset(0);
        modFunctions::SetDecimalSeparator('.');
    }
    void cleanup() {
        modGlobals::ResetState();
        delete m_dir;
    }

    void firstStartWritesDefaults() {
        QString language, port, rate;
        RunSplash("cmdOK", &language, &port, &rate);
        QCOMPARE(language, QStringLiteral("Deutsch"));
        QVERIFY(port.startsWith("COM 1"));
        QCOMPARE(rate, QStringLiteral("9600"));
        QVERIFY(!modGlobals::ExitRequested);
        QCOMPARE(Read("GENERAL", "Baudrate"), QStringLiteral("9600"));
        QCOMPARE(Read("GENERAL", "Comport"), QStringLiteral("1"));
        QCOMPARE(Read("GENERAL", "Language"), QStringLiteral("0"));
        QCOMPARE(Read("GENERAL", "DefaultDevice"), QStringLiteral("0"));
        QCOMPARE(Read("CHART", "AutoScale"), QStringLiteral("1"));
        QCOMPARE(Read("CHART", "yMax"), QStringLiteral("5000"));
        QCOMPARE(Read("CHART", "yMin"), QStringLiteral("0"));
        // The device link heads the configuration list.
        QCOMPARE(modGlobals::ConfigList.size(), size_t(1));
        QCOMPARE(modGlobals::ConfigList[0].first, std::string("Device"));
        QVERIFY(modGlobals::ConfigList[0].second == modGlobals::Device);
    }

    void storedValuesAreRepaired() {
        WriteIni("[GENERAL]\nBaudrate=57600\nComport=300\nLanguage=7\nDefaultDevice=2\n"
                 "[CHART]\nAutoScale=0\nyMax=12,5\nyMin=-3.25\n");
        QString language, port, rate;
        RunSplash("cmdOK", &language, &port, &rate);
        QCOMPARE(language, QStringLiteral("English"));
        QVERIFY(port.startsWith("COM 1"));
        QCOMPARE(rate, QStringLiteral("9600"));
        QCOMPARE(Read("GENERAL", "Baudrate"), QStringLiteral("9600"));
        QCOMPARE(Read("GENERAL", "Comport"), QStringLiteral("1"));
        QCOMPARE(Read("GENERAL", "Language"), QStringLiteral("1"));
        QCOMPARE(Read("GENERAL", "DefaultDevice"), QStringLiteral("1"));
        QCOMPARE(Read("CHART", "AutoScale"), QStringLiteral("0"));
        QCOMPARE(modGlobals::yMax, 12.5);
        QCOMPARE(modGlobals::yMin, -3.25);
        // A range without a span, upside down, or beyond any distance the chart
        // can show, falls back to the default one.
        for (const char* range : {"yMax=100\nyMin=100\n", "yMax=-1\nyMin=0\n", "yMax=1E308\nyMin=-1E308\n",
                                  "yMax=3000000000\nyMin=0\n"}) {
            WriteIni(QByteArray("[CHART]\nAutoScale=0\n") + range);
            modIni::LoadSettings();
            QCOMPARE(modGlobals::yMax, 5000.0);
            QCOMPARE(modGlobals::yMin, 0.0);
        }
    }

    void doublesRoundTripWithTheLocaleSeparator() {
        modFunctions::SetDecimalSeparator(',');
        modIni::LoadSettings();
        modGlobals::yMax = 1234.5;
        modGlobals::yMin = -0.125;
        QVERIFY(modIni::SaveSettings());
        QCOMPARE(Read("CHART", "yMax"), QStringLiteral("1234,5"));
        modGlobals::yMax = 0;
        modIni::LoadSettings();
        QCOMPARE(modGlobals::yMax, 1234.5);
        QCOMPARE(modGlobals::yMin, -0.125);
        double v = 7;
        QVERIFY(!modIni::ParseDouble("abc", &v));
        QVERIFY(!modIni::ParseDouble("", &v));
        QCOMPARE(v, 7.0);
    }

    // The seven keys reach the file together or not at all, and a failure says why.
    void savingIsOneWriteThatReportsFailure() {
        // The file may grow by a few bytes only: seven separate rewrites
        // would leave GENERAL new and CHART missing.
        const QByteArray before = "[GENERAL]\nBaudrate=1200\n;" + QByteArray(4040, 'x') + "\n";
        WriteIni(before);
        modIni::LoadSettings();
        modGlobals::Baudrate = 9600;
        struct rlimit old {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        std::string reason;
        const bool saved = modIni::SaveSettings(&reason);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!saved);
        QVERIFY2(!reason.empty(), reason.c_str());
        QFile f(IniPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);

        // A program folder that cannot exist (its parent is a file) fails for every user.
        modAPI::SetProgramFolder(IniPath().toStdString());
        modIni::LoadSettings();
        QVERIFY(!modIni::SaveSettings(&reason));
        const QString notADirectory =
            IniPath() + ": " + QString::fromStdString(std::generic_category().message(ENOTDIR));
        QCOMPARE(QString::fromStdString(reason), notADirectory);
        QVERIFY(!modIni::Release());
    }

    // OK in the start dialog says when the choice cannot be kept, and goes on with it.
    void startDialogWarnsWhenTheSettingsCannotBeSaved() {
        WriteIni("");
        QStringList warnings;
        modControls::SetWarningFunction([&](QWidget* parent, const QString&, const QString& text) {
            QCOMPARE(parent->objectName(), QStringLiteral("frmSplash"));
            warnings << text;
        });
        RunSplash("cmdOK");
        QVERIFY(warnings.isEmpty());

        modAPI::SetProgramFolder(IniPath().toStdString());
        RunSplash("cmdOK");
        modControls::SetWarningFunction({});
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].startsWith("Die Einstellungen konnten nicht gespeichert werden"), qPrintable(warnings[0]));
        QVERIFY2(
            warnings[0].endsWith(IniPath() + ": " + QString::fromStdString(std::generic_category().message(ENOTDIR))),
            qPrintable(warnings[0]));
        QVERIFY(!modGlobals::ExitRequested);
    }

    void exitWritesNothing() {
        RunSplash("cmdExit");
        QVERIFY(modGlobals::ExitRequested);
        QVERIFY(!QFile::exists(IniPath()));
    }

    void languageChoiceSwitchesTheDialog() {
        modIni::LoadSettings();
        frmSplash splash;
        auto* ok = splash.findChild<QPushButton*>("cmdOK");
        auto* list = splash.findChild<QComboBox*>("cmbLanguage");
        QCOMPARE(ok->text(), QStringLiteral("&OK"));
        QCOMPARE(splash.findChild<QPushButton*>("cmdExit")->text(), QStringLiteral("&Beenden"));
        list->setCurrentIndex(1);
        QCOMPARE(modFunctions::LanguageOffset(), 1000);
        QCOMPARE(splash.findChild<QPushButton*>("cmdExit")->text(), QStringLiteral("&Exit"));
        QVERIFY(splash.findChild<QLabel*>("lblVersion")->text().startsWith("V"));
        QVERIFY(!splash.findChild<QLabel*>("lblPlatform")->text().isEmpty());
    }

    // F1 in the start dialog shows its help page, and the help viewer takes
    // input although the dialog is modal.
    void f1InTheStartDialogShowsItsHelp() {
        modIni::LoadSettings();
        frmSplash splash;
        QString page;
        QTimer::singleShot(0, &splash, [&] {
            QTest::keyClick(splash.windowHandle(), Qt::Key_F1);
            if (QTextBrowser* browser = modHTMLHelp::HelpBrowser()) {
                page = browser->source().toString();
                QTest::keyClick(browser->window()->windowHandle(), Qt::Key_Escape);  // closes it
            }
            splash.reject();
        });
        splash.exec();
        QVERIFY2(page.endsWith("/Splash_de.htm"), qPrintable(page));
        QTRY_VERIFY(!modHTMLHelp::HelpBrowser());
    }

    void portListNamesMappedDevices() {
        WriteIni("[PORTS]\n3=/dev/ttyUSB7\n5=SIMULATOR\n");
        modIni::LoadSettings();
        QCOMPARE(frmSplash::PortEntryText(3), QStringLiteral("COM 3 (/dev/ttyUSB7)"));
        QVERIFY(frmSplash::PortEntryText(5).startsWith("COM 5 ("));
        frmSplash splash;
        QCOMPARE(splash.findChild<QComboBox*>("cmbComPort")->count(), 255);
    }

    void programFolderDecision() {
        QTemporaryDir exe;
        const QString given = m_dir->filePath("given/data");
        QCOMPARE(modMain::DecideProgramFolder({"ORA2ORB2", "--data-dir", given}, exe.path()),
                 QDir(given).absolutePath());
        QVERIFY(QDir(given).exists());
        QCOMPARE(modMain::DecideProgramFolder({"ORA2ORB2", "--data-dir=" + given}, exe.path()),
                 QDir(given).absolutePath());
        // A writable executable folder is a portable install.
        QCOMPARE(modMain::DecideProgramFolder({"ORA2ORB2"}, exe.path()), QDir(exe.path()).absolutePath());
        // Otherwise the user's data folder.
        QStandardPaths::setTestModeEnabled(true);
        const QString fallback = modMain::DecideProgramFolder({"ORA2ORB2"}, "/proc");
        QCOMPARE(fallback,
                 QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).absolutePath());
        QVERIFY(modMain::FolderIsWritable(fallback));
        QStandardPaths::setTestModeEnabled(false);
    }
};

QTEST_MAIN(SettingsTest)
#include "test_settings.moc"
