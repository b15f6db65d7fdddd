// KOV.ini (GENERAL and CHART), the start dialog and the program folder.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "clsIni.h"
#include "frmSplash.h"
#include "modAPI.h"
#include "modFunctions.h"
#include "modGlobals.h"
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
        // A range without a span, or upside down, falls back to the default one.
        for (const char* range : {"yMax=100\nyMin=100\n", "yMax=-1\nyMin=0\n"}) {
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
