// The configuration dialog against the simulated sensor in process: the
// measurement loop runs on simulated time and ticks inside every wait, as
// the main window's timer does; the question box is taken over.
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <memory>

#include "MonitorLoop.h"
#include "SensorModel.h"
#include "SimPort.h"
#include "Waiting.h"
#include "clsConfigStore.h"
#include "clsIni.h"
#include "clsKOV.h"
#include "frmKOV.h"
#include "modAPI.h"
#include "modFunctions.h"
#include "modHTMLHelp.h"
#include "modKOVComm.h"

namespace {

// The sensor, the link, the loop and the configuration list of one test.
struct Bench {
    explicit Bench(Sim::Options options = {}) {
        modKOVComm::ResetHooks();
        modAPI::SetClock([this] { return Now(); });
        modKOVComm::SetSleep([this](int ms) { this->ms += ms; });
        model = std::make_shared<Sim::SensorModel>(options, [this] { return this->ms; });
        link = std::make_shared<clsKOV>();
        link->Name = "Device";
        link->Filename = "Device";
        link->SetPortFactory([this](int, std::string* device) {
            *device = "simulated";
            return std::make_unique<Sim::InProcessPort>(model);
        });
        list.emplace_back("Device", link);
        loop = std::make_unique<MonitorLoop>([this] { return link; }, nullptr);
        loop->SetClock([this] { return Now(); });
        loop->SetMonotonicClock([this] { return this->ms; });
        loop->SetWaitFunction([this](int wait) {
            this->ms += wait;
            return true;
        });
        modKOVComm::SetEventPump([this](int) { Tick(); });
    }
    ~Bench() {
        frmKOV::SetQuestionFunction(nullptr);
        modKOVComm::ResetHooks();
        modAPI::SetClock({});
    }
    double Now() const { return modAPI::DayCount(2026, 3, 1, 10, 0, 0, 0) + ms / modAPI::MsPerDay; }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            ms += MonitorLoop::TickMs;
            if (onTick) onTick();
            loop->Tick();
        }
    }
    bool Connect() {
        for (int i = 0; i < 400 && link->CommStatus != modKOVComm::Comm::Idle; ++i) Tick();
        Tick(5);
        return link->CommStatus == modKOVComm::Comm::Idle;
    }
    std::vector<std::string> SentSince(std::size_t mark) const {
        std::vector<std::string> s;
        for (std::size_t i = mark; i < model->Commands().size(); ++i) s.push_back(model->Commands()[i].text);
        return s;
    }
    bool WasSent(std::size_t mark, const std::string& prefix) const {
        for (const std::string& c : SentSince(mark))
            if (c.rfind(prefix, 0) == 0) return true;
        return false;
    }

    double ms = 0;
    std::shared_ptr<Sim::SensorModel> model;
    std::shared_ptr<clsKOV> link;
    frmKOV::ConfigList list;
    std::unique_ptr<MonitorLoop> loop;
    std::function<void()> onTick;
};

template <typename T>
T* Find(QWidget& w, const char* name) {
    T* child = w.findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no control %s", name);
    return child;
}

void LeaveField(QLineEdit* field) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(field, &out);
}

// The store's input box and file dialogs answered by the test.
struct FakeStoreHost : ConfigStoreHost {
    std::string description, saveFile, openFile;
    int questions = 0;
    std::vector<std::string> messages;
    bool AskText(const std::string&, const std::string&, std::string& text) override {
        text = description;
        return true;
    }
    std::string AskSaveFile(const std::string&, const std::string&, const std::string&) override { return saveFile; }
    std::string AskOpenFile(const std::string&, const std::string&) override { return openFile; }
    bool AskYesNo(const std::string&, const std::string&) override {
        ++questions;
        return true;
    }
    void ShowMessage(const std::string& text, const std::string&) override { messages.push_back(text); }
};

// Records what would be started; starts nothing.
struct FakeStarter : modReport::ProcessStarter {
    std::vector<modReport::Command> started;
    bool StartDetached(const modReport::Command& command, std::string*) override {
        started.push_back(command);
        return true;
    }
};

std::string FileContent(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

class DialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        modFunctions::SetLanguageOffset(0);
        modFunctions::SetDecimalSeparator(',');
    }
    void cleanup() {
        modFunctions::SetLanguageOffset(0);
        modFunctions::SetDecimalSeparator('.');
    }

    // Opening downloads the sensor's configuration and shows it; a sensor
    // in PIXEL mode shows PIXEL. The captions follow the program's language.
    void opensWithTheSensorsConfiguration() {
        Sim::Options options;
        options.rainFilter = true;
        Bench bench(options);
        bench.model->SetParam(351, 2);
        bench.model->SetParam(702, 1500);
        bench.model->SetParam(601, 5);
        QVERIFY(bench.Connect());
        frmKOV dialog(nullptr, *bench.loop, bench.list, "Serial");
        const std::size_t mark = bench.model->Commands().size();
        dialog.StartUp();
        QCOMPARE(bench.SentSince(mark), std::vector<std::string>{"C"});
        QCOMPARE(dialog.StatusText(), QStringLiteral("Konfiguration vom ORA-2 / ORB-2 geladen"));
        QCOMPARE(Find<QComboBox>(dialog, "cmbConfig")->currentText(), QStringLiteral("Gerät"));
        QCOMPARE(Find<QLabel>(dialog, "lblSource")->text(), QStringLiteral("Device"));
        QCOMPARE(Find<QLabel>(dialog, "lblSerialNo")->text(), QStringLiteral("30514"));
        QCOMPARE(Find<QLabel>(dialog, "lblDeviceType")->text(), QStringLiteral("Serial"));
        QCOMPARE(dialog.txtParameter(1)->text(), QStringLiteral("1,500"));
        QCOMPARE(dialog.txtParameter(2)->text(), QStringLiteral("20,0"));
        QCOMPARE(dialog.txtParameter(10)->text(), QStringLiteral("n/a"));
        QVERIFY(!dialog.txtParameter(10)->isEnabled());
        QCOMPARE(Find<QComboBox>(dialog, "cmbBaudrate")->currentText(), QStringLiteral("38400"));
        auto* rain = Find<QComboBox>(dialog, "cmbRainFilter");
        QCOMPARE(rain->currentText(), QStringLiteral("PIXEL"));
        QVERIFY(rain->isEnabled());
        QCOMPARE(dialog.txtParameter(11)->text(), QStringLiteral("20000"));
        QVERIFY(!dialog.txtParameter(11)->isEnabled());
        // Analog output off: Q2's thresholds are edited, the analog range is not.
        QVERIFY(dialog.txtParameter(6)->isEnabled());
        QVERIFY(!dialog.txtParameter(8)->isEnabled());
        QVERIFY(!Find<QComboBox>(dialog, "cmbS2Logic")->isEnabled());
        QCOMPARE(Find<QLabel>(dialog, "lblS1Logic")->text(), QStringLiteral("Positiv"));
        bench.Tick();
        QVERIFY(Find<QPushButton>(dialog, "cmdUpload")->isEnabled());
        QVERIFY(Find<QPushButton>(dialog, "cmdClose")->isEnabled());

        Find<QCheckBox>(dialog, "chkAnalogOutput")->click();
        QVERIFY(!dialog.txtParameter(6)->isEnabled());
        QVERIFY(dialog.txtParameter(8)->isEnabled());
        QVERIFY(Find<QComboBox>(dialog, "cmbS2Logic")->isEnabled());
        QCOMPARE(bench.model->Param(403), 0);  // nothing is written before Upload

        modFunctions::SetLanguageOffset(1000);
        bench.Tick();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ORA-2 / ORB-2 Settings"));
        QCOMPARE(Find<QPushButton>(dialog, "cmdClose")->text(), QStringLiteral("&Close"));
        QCOMPARE(dialog.StatusText(), QStringLiteral("Download configuration from ORA-2 / ORB-2 finished"));
        QCOMPARE(Find<QLabel>(dialog, "lblS1Logic")->text(), QStringLiteral("positive"));
        QCOMPARE(Find<QComboBox>(dialog, "cmbConfig")->itemText(0), QStringLiteral("Device"));
        QCOMPARE(Find<QComboBox>(dialog, "cmbS2Logic")->itemText(1), QStringLiteral("positive"));
        QCOMPARE(Find<QLabel>(dialog, "lblParameter_4")->text(), QStringLiteral("ON-Threshold Q1"));
    }

    // A Profibus sensor without rain filter: the address is edited, the
    // outputs are empty and disabled, the rain filter part is hidden and the
    // frame shorter. Its upload leaves the outputs alone.
    void profibusWithoutRainFilter() {
        Sim::Options options;
        options.profibus = true;
        Bench bench(options);
        QVERIFY(bench.Connect());
        frmKOV dialog(nullptr, *bench.loop, bench.list, "Serial");
        dialog.show();
        dialog.StartUp();
        QCOMPARE(dialog.txtParameter(10)->text(), QString::number(bench.model->Param(610)));
        QVERIFY(dialog.txtParameter(10)->isEnabled());
        QVERIFY(!Find<QComboBox>(dialog, "cmbOutputMode")->isEnabled());
        for (int i = 4; i <= 9; ++i) {
            QVERIFY(dialog.txtParameter(i)->text().isEmpty());
            QVERIFY(!dialog.txtParameter(i)->isEnabled());
        }
        QVERIFY(!Find<QCheckBox>(dialog, "chkAnalogOutput")->isEnabled());
        QVERIFY(!Find<QComboBox>(dialog, "cmbRainFilter")->isEnabled());
        QVERIFY(!Find<QComboBox>(dialog, "cmbRainFilter")->isVisibleTo(&dialog));
        QVERIFY(dialog.txtParameter(11)->text().isEmpty());

        auto* measurement = Find<QGroupBox>(dialog, "fraData_1");
        auto* outputs = Find<QGroupBox>(dialog, "fraData_2");
        dialog.layout()->activate();
        const int shortHeight = measurement->height();
        clsKOV withRain = *bench.link;
        withRain.RainFilter = 0;
        dialog.ShowConfig(&withRain);
        dialog.layout()->activate();
        QVERIFY(Find<QComboBox>(dialog, "cmbRainFilter")->isVisibleTo(&dialog));
        QCOMPARE(measurement->height(), outputs->height());
        QVERIFY(shortHeight < measurement->height());
        dialog.ShowConfig(bench.link.get());

        dialog.txtParameter(10)->setText(QStringLiteral("17"));
        const std::size_t mark = bench.model->Commands().size();
        bench.Tick();
        Find<QPushButton>(dialog, "cmdUpload")->click();
        QCOMPARE(dialog.StatusText(), QStringLiteral("Konfiguration zum ORA-2 / ORB-2 gesendet"));
        QVERIFY(bench.WasSent(mark, "610 17"));
        for (const char* code : {"401", "403", "501", "504", "506", "603", "351"}) QVERIFY(!bench.WasSent(mark, code));
        QCOMPARE(bench.link->S1OnThreshold, 10000);
        QCOMPARE(bench.link->AnalogMax, 9000);
        QCOMPARE(bench.model->Param(610), 17);
    }

    // The input filter and the leave-field check on the real fields, with
    // the German and the English separator.
    void inputFilterAndLeaveCheck() {
        Bench bench;
        frmKOV dialog(nullptr, *bench.loop, bench.list, "Serial");
        dialog.StartUp();  // no connection: shows the device entry
        QLineEdit* scale = dialog.txtParameter(1);
        scale->clear();
        QTest::keyClicks(scale, "1.5x ");
        QCOMPARE(scale->text(), QStringLiteral("1,5"));
        QTest::keyClick(scale, Qt::Key_Return);
        QCOMPARE(scale->text(), QStringLiteral("1,500"));
        QLineEdit* pressure = dialog.txtParameter(3);
        pressure->clear();
        QTest::keyClicks(pressure, "1300");
        LeaveField(pressure);
        QCOMPARE(pressure->text(), QStringLiteral("1200"));
        pressure->clear();
        LeaveField(pressure);
        QCOMPARE(pressure->text(), QStringLiteral("1013"));

        modFunctions::SetDecimalSeparator('.');
        QLineEdit* temperature = dialog.txtParameter(2);
        temperature->clear();
        QTest::keyClicks(temperature, "-2,25");
        QCOMPARE(temperature->text(), QStringLiteral("-2.25"));
        LeaveField(temperature);
        QCOMPARE(temperature->text(), QStringLiteral("-2.2"));
        QLineEdit* offset = dialog.txtParameter(0);
        offset->clear();
        QTest::keyClicks(offset, "2.5");
        LeaveField(offset);
        QCOMPARE(offset->text(), QStringLiteral("2"));
    }

    // Upload: a refused field turns red and goes out with its old value; a
    // list without a selection keeps the sensor's value ("38400", not "9600").
    void uploadWithRefusedFieldAndEmptyList() {
        Bench bench;
        bench.model->SetParam(601, 5);
        QVERIFY(bench.Connect());
        frmKOV dialog(nullptr, *bench.loop, bench.list, "Serial");
        dialog.StartUp();
        dialog.txtParameter(4)->setText(QStringLiteral("1000"));
        dialog.txtParameter(5)->setText(QStringLiteral("995"));
        Find<QComboBox>(dialog, "cmbBaudrate")->setCurrentIndex(-1);
        const std::size_t mark = bench.model->Commands().size();
        bench.Tick();
        Find<QPushButton>(dialog, "cmdUpload")->click();
        QCOMPARE(dialog.FieldColor(5), 255u);
        QCOMPARE(dialog.FieldColor(4), 0u);
        QVERIFY(bench.WasSent(mark, "501 1000"));
        QVERIFY(bench.WasSent(mark, "502 9900"));
        QVERIFY(bench.WasSent(mark, "601 38400"));
        QCOMPARE(dialog.StatusText(), QStringLiteral("Konfiguration zum ORA-2 / ORB-2 gesendet"));
        // The read-back shows the sensor's value; the field stays red.
        QCOMPARE(dialog.txtParameter(5)->text(), QStringLiteral("9900"));
        QCOMPARE(dialog.FieldColor(5), 255u);
    }

    // A rejected code asks with the code in the text. The link drops while
    // the question is open: Close is usable again afterwards, the transfer
    // buttons are not, and the status says why.
    void rejectedCodeAndALinkThatDrops() {
        Sim::Options options;
        options.rejectedCodes = {"302"};
        Bench bench(options);
        QVERIFY(bench.Connect());
        frmKOV dialog(nullptr, *bench.loop, bench.list, "Serial");
        dialog.StartUp();
        QString title, text;
        bool closeEnabled = true;
        frmKOV::SetQuestionFunction([&](QWidget*, const QString& t, const QString& x) {
            title = t;
            text = x;
            closeEnabled = Find<QPushButton>(dialog, "cmdClose")->isEnabled();
            bench.model->SetUnplugged(true);
            return TransferAnswer::Retry;
        });
        bench.Tick();
        Find<QPushButton>(dialog, "cmdUpload")->click();
        QCOMPARE(title, QStringLiteral("Konfigurationscode ungültig"));
        QCOMPARE(text, QStringLiteral("Siehe Anleitungl 5.4. Fehler beim Setzen des Konfigurationscodes 302"));
        QVERIFY(!closeEnabled);
        QVERIFY(!dialog.Busy());
        bench.Tick();
        QVERIFY(Find<QPushButton>(dialog, "cmdClose")->isEnabled());
        QVERIFY(!Find<QPushButton>(dialog, "cmdUpload")->isEnabled());
        QCOMPARE(dialog.StatusText(), QStringLiteral("Comport nicht geöffnet"));
    }

    // Closing the dialog while a transfer waits: the wait ends at once and
    // the dialog closes when the transfer has returned. The program closing
    // closes the dialog by itself.
    void closingWhileBusyAndWhenTheProgramCloses() {
        Bench bench;
        QVERIFY(bench.Connect());
        frmKOV dialog(nullptr, *bench.loop, bench.list, "Serial");
        dialog.StartUp();
        dialog.show();
        bench.model->Faults().silent = true;
        bool asked = false;
        frmKOV::SetQuestionFunction([&](QWidget*, const QString&, const QString&) {
            asked = true;
            return TransferAnswer::Retry;
        });
        const double start = bench.ms;
        bench.onTick = [&] {
            if (bench.ms - start > 300 && dialog.isVisible()) dialog.reject();
        };
        bench.Tick();
        Find<QPushButton>(dialog, "cmdUpload")->click();
        bench.onTick = nullptr;
        QVERIFY(!asked);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(bench.ms - start < 1000);

        bench.model->Faults().silent = false;
        frmKOV second(nullptr, *bench.loop, bench.list, "Serial");
        second.show();
        bench.loop->SetClosing(true);
        QTRY_VERIFY_WITH_TIMEOUT(!second.isVisible(), testsupport::PatienceMs);
    }

    // The dialog opens during an interleaved temperature request: it waits
    // for the temperature, then downloads.
    void opensDuringATemperatureRequest() {
        Bench bench;
        QVERIFY(bench.Connect());
        bench.link->ReadTempInterval = 300;
        bench.loop->SetTemperatureRequests(true);
        bench.loop->StartStop();
        for (int i = 0; i < 200 && !bench.loop->TemperaturePending(); ++i) bench.Tick();
        QVERIFY(bench.loop->TemperaturePending());
        const std::size_t mark = bench.model->Commands().size();
        frmKOV dialog(nullptr, *bench.loop, bench.list, "Serial");
        dialog.StartUp();
        const std::vector<std::string> sent = bench.SentSince(mark);
        const auto t = std::find(sent.begin(), sent.end(), "T");
        const auto c = std::find(sent.begin(), sent.end(), "C");
        QVERIFY(t != sent.end());
        QVERIFY(c > t);
        QCOMPARE(sent.back(), std::string("M"));
        QCOMPARE(dialog.StatusText(), QStringLiteral("Konfiguration vom ORA-2 / ORB-2 geladen"));
    }

    // Save to a new file adds the entry and shows it; saving it again under
    // its own name renames the item without a question; Import of that file
    // adds a second entry with the typed values; Delete takes entries out of
    // the list and of the index in KOV.ini, never the device.
    void saveImportAndDelete() {
        Bench bench;
        QVERIFY(bench.Connect());
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const std::string dir = folder.path().toStdString();
        clsIni settings;
        settings.Filename(dir + "/KOV.ini");
        std::vector<std::string> unloaded;
        frmKOV dialog(nullptr, *bench.loop, bench.list, "Serial");
        dialog.AttachStore(unloaded, settings, dir);
        FakeStoreHost host;
        dialog.SetStoreHost(&host);
        dialog.StartUp();
        auto* cmbConfig = Find<QComboBox>(dialog, "cmbConfig");
        auto* lblSource = Find<QLabel>(dialog, "lblSource");
        auto* cmdDelete = Find<QPushButton>(dialog, "cmdDelete");
        QCOMPARE(cmbConfig->currentIndex(), 0);
        QVERIFY(!cmdDelete->isEnabled());

        dialog.txtParameter(0)->setText(QStringLiteral("125"));
        LeaveField(dialog.txtParameter(0));
        const QString offset = dialog.txtParameter(0)->text();
        host.description = "Halle 3 \xC3\xBC";  // "Halle 3 ü", UTF-8
        host.saveFile = dir + "/halle3.kov";
        Find<QPushButton>(dialog, "cmdSave")->click();
        QCOMPARE(bench.list.size(), std::size_t(2));
        QCOMPARE(cmbConfig->count(), 2);
        QCOMPARE(cmbConfig->currentIndex(), 1);
        QCOMPARE(cmbConfig->currentText(), QStringLiteral("Halle 3 \u00fc"));
        QCOMPARE(lblSource->text(), QString::fromStdString(host.saveFile));
        QCOMPARE(dialog.CurrentConfig(), bench.list[1].second);
        QVERIFY(cmdDelete->isEnabled());
        QCOMPARE(settings.GetSetting("FILES", "1KOVFile", ""), host.saveFile);
        // The device itself is unchanged: the values went into the file.
        QCOMPARE(bench.link->Description, std::string());

        host.description = "Halle 4 \xC3\xA4";  // "Halle 4 ä"
        Find<QPushButton>(dialog, "cmdSave")->click();
        QCOMPARE(host.questions, 0);
        QCOMPARE(cmbConfig->count(), 2);
        QCOMPARE(cmbConfig->itemText(1), QStringLiteral("Halle 4 \u00e4"));
        QCOMPARE(lblSource->text(), QString::fromStdString(host.saveFile));

        // A dialog opened later shows the entry from the list.
        {
            frmKOV again(nullptr, *bench.loop, bench.list, "Serial");
            QCOMPARE(Find<QComboBox>(again, "cmbConfig")->itemText(1), QStringLiteral("Halle 4 \u00e4"));
        }

        cmbConfig->setCurrentIndex(0);
        QVERIFY(dialog.txtParameter(0)->text() != offset);
        host.openFile = host.saveFile;
        Find<QPushButton>(dialog, "cmdLoad")->click();
        QCOMPARE(cmbConfig->count(), 3);
        QCOMPARE(cmbConfig->currentIndex(), 2);
        QCOMPARE(cmbConfig->currentText(), QStringLiteral("Halle 4 \u00e4"));
        QCOMPARE(dialog.txtParameter(0)->text(), offset);
        QCOMPARE(lblSource->text(), QString::fromStdString(host.saveFile));

        // The imported entry goes: the one before it is shown.
        cmdDelete->click();
        QCOMPARE(bench.list.size(), std::size_t(2));
        QCOMPARE(cmbConfig->count(), 2);
        QCOMPARE(cmbConfig->currentIndex(), 1);
        QCOMPARE(dialog.CurrentConfig(), bench.list[1].second);
        cmdDelete->click();
        QCOMPARE(bench.list.size(), std::size_t(1));
        QCOMPARE(cmbConfig->count(), 1);
        QCOMPARE(cmbConfig->currentIndex(), 0);
        QCOMPARE(cmbConfig->currentText(), QStringLiteral("Ger\u00e4t"));
        QCOMPARE(lblSource->text(), QStringLiteral("Device"));
        QVERIFY(!cmdDelete->isEnabled());
        cmdDelete->click();
        QCOMPARE(bench.list.size(), std::size_t(1));
        QCOMPARE(settings.GetSetting("FILES", "1KOVFile", "x"), std::string());
        QVERIFY(host.messages.empty());
        // The file itself stays.
        QVERIFY(QFile::exists(QString::fromStdString(host.saveFile)));
    }

    // Print writes $KVD$.txt into the folder, with the controls as they
    // stand, and hands the file to the editor as one argument.
    void printOpensTheReportInTheEditor() {
        Bench bench;
        QVERIFY(bench.Connect());
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const std::string dir = folder.path().toStdString();
        clsIni settings;
        settings.Filename(dir + "/KOV.ini");
        std::vector<std::string> unloaded;
        frmKOV dialog(nullptr, *bench.loop, bench.list, "Serial");
        dialog.AttachStore(unloaded, settings, dir);
        FakeStarter starter;
        dialog.SetProcessStarter(&starter);
        dialog.StartUp();
        dialog.txtParameter(0)->setText(QStringLiteral("321"));
        Find<QPushButton>(dialog, "cmdPrint")->click();

        const std::string path = modReport::ReportPath(dir);
        QVERIFY(QFile::exists(QString::fromStdString(path)));
        const std::string report = FileContent(path);
        QVERIFY(report.find("Serial-No:\t\t\t\t30514\r\n") != std::string::npos);
        QVERIFY(report.find("\t321 mm\r\n") != std::string::npos);
        QCOMPARE(starter.started.size(), std::size_t(1));
        const auto& arguments = starter.started.front().Arguments;
        QCOMPARE(std::count(arguments.begin(), arguments.end(), path), std::ptrdiff_t(1));
        QCOMPARE(arguments.back(), path);
        QVERIFY(Find<QPushButton>(dialog, "cmdPrintDirect")->isEnabled());
    }

    // Help opens the dialog's page of the current language.
    void helpShowsTheSettingsPage() {
        Bench bench;
        frmKOV dialog(nullptr, *bench.loop, bench.list, "Serial");
        dialog.show();
        Find<QPushButton>(dialog, "cmdHelp")->click();
        QTextBrowser* browser = modHTMLHelp::HelpBrowser();
        QVERIFY(browser);
        QVERIFY(browser->source().toString().endsWith(QStringLiteral("KOVSettings_de.htm")));
        QCOMPARE(modHTMLHelp::HelpPageFor(&dialog), QStringLiteral("KOVSettings_de.htm"));
        modHTMLHelp::CloseHelp();
    }
};

QTEST_MAIN(DialogTest)
#include "test_dialog.moc"
