// The main window's measurement loop against the simulated sensor, with a
// simulated clock: connection, start/stop, values, temperatures, failures.
#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QFile>
#include <QTimer>
#include <QApplication>
#include <QtTest>

#include "frmRecorder.h"
#include "frmChartSettings.h"
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include "AppHarness.h"
#include "modControls.h"
#include "XYChart.h"
#include "frmSplash.h"
#include "frmTextWindow.h"

using namespace apptest;

class MonitorTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        modFunctions::SetLanguageOffset(0);
        modFunctions::SetDecimalSeparator('.');
    }

    void connectsAndEnablesControls() {
        Harness h;
        auto* start = h.child<QPushButton>("cmdStart");
        QCOMPARE(h.window->LampColor(), frmMain::LampRed);
        QVERIFY(!start->isEnabled());
        bool sawConfigText = false;
        QVERIFY(h.TickUntil([&] {
            sawConfigText |= h.window->StatusText(StatusPanel::Events) == Text(MonitorText::ConfigurationRead);
            return h.link().CommStatus == Comm::Idle;
        }));
        QVERIFY(sawConfigText);
        h.Tick();
        QCOMPARE(h.window->LampColor(), frmMain::LampYellow);
        QVERIFY(start->isEnabled());
        QVERIFY(h.child<QComboBox>("cmbAverageDepth")->isEnabled());
        QVERIFY(h.child<QCheckBox>("chkMovingAverage")->isEnabled());
        QVERIFY(!h.child<QPushButton>("cmdSingleValue")->isEnabled());
        // The idle link stays connected through its keep-alive.
        h.Tick(200);
        QCOMPARE(h.link().CommStatus, Comm::Idle);
        QVERIFY(h.SentCount("T") >= 5);
        QVERIFY(h.window->StatusText(StatusPanel::Clock).contains(':'));
    }

    void startShowsValuesAndStopReturnsToIdle() {
        Harness h;
        QVERIFY(h.Connect());
        auto* start = h.child<QPushButton>("cmdStart");
        QTest::mouseClick(start, Qt::LeftButton);
        QCOMPARE(h.link().CommStatus, Comm::Measuring);
        QCOMPARE(start->text(), QStringLiteral("Stop"));
        QVERIFY(h.window->Loop().Measuring());
        QVERIFY(h.TickUntil([&] { return h.window->StatusText(StatusPanel::Events) == Text(MonitorText::NewDistance); }, 100));
        QCOMPARE(h.window->LampColor(), frmMain::LampGreen);
        // Default sensor set: ASCII+UNIT in metres.
        QVERIFY2(QRegularExpression("^-?\\d+\\.\\d{3} m$").match(h.ValueLabel()).hasMatch(),
                 qPrintable(h.ValueLabel()));
        h.Tick(40);  // two seconds: the chart has points and scrolls
        QVERIFY(h.window->Series()->WritePointer() > 10);
        QCOMPARE(h.link().CommStatus, Comm::Measuring);

        QTest::mouseClick(start, Qt::LeftButton);
        QCOMPARE(h.link().CommStatus, Comm::Idle);
        QCOMPARE(start->text(), QStringLiteral("Start"));
        QVERIFY(h.ValueLabel().isEmpty());
        h.Tick(100);
        QCOMPARE(h.link().CommStatus, Comm::Idle);
        QCOMPARE(h.window->LampColor(), frmMain::LampYellow);
    }

    void valueFormatting_data() {
        QTest::addColumn<int>("mm");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("format");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("expected");
        QTest::newRow("m ascii") << 1234 << 1 << 0 << QChar('.') << "1.234 [m]";
        QTest::newRow("m ascii+unit") << 1234 << 1 << 1 << QChar('.') << "1.234 m";
        QTest::newRow("mm binary") << 1234 << 0 << 2 << QChar('.') << "1234 mm";
        QTest::newRow("ft") << 3048 << 3 << 1 << QChar('.') << "10.0000 ft";
        QTest::newRow("mi") << 1609344 << 5 << 3 << QChar('.') << "1.00000000 mi";
        QTest::newRow("comma") << 1234 << 1 << 1 << QChar(',') << "1,234 m";
        QTest::newRow("negative in") << -254 << 2 << 0 << QChar('.') << "-10.000 [in]";
    }
    void valueFormatting() {
        QFETCH(int, mm);
        QFETCH(int, unit);
        QFETCH(int, format);
        QFETCH(QChar, separator);
        QFETCH(QString, expected);
        Harness h;
        modFunctions::SetDecimalSeparator(separator.toLatin1());
        clsKOV value;
        value.MeasValue_mm = mm;
        value.DistanceUnit = unit;
        value.OutputFormat = format;
        value.MeasValue = mm / DistanceUnits::FactorOf(unit);
        value.CurrentTime = modAPI::NowWithMs();
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(h.ValueLabel(), expected);
        QCOMPARE(QString::fromStdString(h.window->KOVChart()->yScaleText(0)->Caption),
                 "[ " + QString::fromLatin1(DistanceUnits::Name(unit)) + " ]");
    }

    void markersAreTestedOnMillimetres() {
        Harness h;
        QVERIFY(h.Connect());
        clsKOV& link = h.link();
        link.CurrentTime = modAPI::NowWithMs();
        // Temperature error in a binary format with unit m: MeasValue is the
        // marker divided by 1000, the millimetre value is the marker itself.
        link.DistanceUnit = 1;
        link.OutputFormat = 2;
        link.MeasValue_mm = 2147483632;
        link.MeasValue = 2147483632 / 1000.0;
        const int before = h.window->Series()->WritePointer();
        h.window->ShowDistance(MeasurementOf(link));
        QCOMPARE(h.ValueLabel(), QStringLiteral("TempError"));
        QCOMPARE(h.window->Series()->WritePointer(), before);  // markers are not charted
        link.MeasValue_mm = 2147483647;
        link.MeasValue = 2147483647 / 1000.0;
        h.window->ShowDistance(MeasurementOf(link));
        QCOMPARE(h.ValueLabel(), QStringLiteral("No Echo"));
    }

    void temperatureErrorThroughTheLoopShowsShutdown() {
        // A sensor with a temperature fault streaming BINARY in metres.
        Harness hot;
        hot.model->Faults().tempError = true;
        hot.model->SetParam(101, 2);
        QVERIFY(hot.Connect());
        QCOMPARE(hot.link().OutputFormat, 2);
        QTest::mouseClick(hot.child<QPushButton>("cmdStart"), Qt::LeftButton);
        hot.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(hot.window.get()));
        QVERIFY(hot.TickUntil([&] { return hot.ValueLabel() == QStringLiteral("TempError"); }, 100));
        QVERIFY(!hot.child<QLabel>("lblShutDown")->isHidden());
        // The marker must not push the value label over the temperature line.
        QCoreApplication::processEvents();
        const QRect value = hot.child<QLabel>("lblMeasValue")->geometry();
        const QRect temperature = hot.child<QLabel>("Label5")->geometry();
        QVERIFY2(value.bottom() < temperature.top(),
                 qPrintable(QStringLiteral("value bottom %1, temperature top %2").arg(value.bottom()).arg(temperature.top())));
        QVERIFY(hot.window->height() >= hot.window->minimumSizeHint().height());
    }

    void zeroDistanceWithShowZeroOff() {
        Harness h;
        clsKOV value;
        value.DistanceUnit = 0;
        value.OutputFormat = 1;
        value.CurrentTime = modAPI::NowWithMs();
        value.MeasValue_mm = 500;
        value.MeasValue = 500;
        h.window->ShowDistance(MeasurementOf(value));  // first value: chart reset for the unit, one point
        const int afterFirst = h.window->Series()->WritePointer();
        QCOMPARE(afterFirst, 1);
        value.MeasValue_mm = 0;
        value.MeasValue = 0;
        value.CurrentTime += 0.05 / 86400;
        modGlobals::ShowZeroValues = false;
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(h.ValueLabel(), QStringLiteral("No Echo"));
        QCOMPARE(h.window->Series()->WritePointer(), afterFirst);
        modGlobals::ShowZeroValues = true;
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(h.window->Series()->WritePointer(), afterFirst + 1);
        // Values of 99 999 999 mm or more are shown but not charted.
        value.MeasValue_mm = 99999999;
        value.MeasValue = 99999999;
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(h.ValueLabel(), QStringLiteral("99999999 mm"));
        QCOMPARE(h.window->Series()->WritePointer(), afterFirst + 1);
    }

    void unitChangeClearsTheChart() {
        Harness h;
        clsKOV value;
        value.DistanceUnit = 0;
        value.OutputFormat = 1;
        value.CurrentTime = modAPI::NowWithMs();
        for (int i = 0; i < 5; ++i) {
            value.MeasValue_mm = 1000 + i;
            value.MeasValue = 1000 + i;
            value.CurrentTime += 0.05 / 86400;
            h.window->ShowDistance(MeasurementOf(value));
        }
        QCOMPARE(h.window->Series()->WritePointer(), 5);
        value.DistanceUnit = 1;
        value.MeasValue_mm = 1005;
        value.MeasValue = 1.005;
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(h.window->Series()->WritePointer(), 1);
        QCOMPARE(h.window->Series()->X(1), 0.0);
        QCOMPARE(h.window->Series()->Y(0), 1.005);
        // The auto-scale range starts afresh, in the new unit on the axis.
        QCOMPARE(h.window->KOVChart()->yMin(0), 0.980);
        QCOMPARE(h.window->KOVChart()->yMax(0), 1.030);
    }

    void autoScaleFirstValueAndGrowth() {
        Harness h;
        clsKOV value;
        value.DistanceUnit = 0;
        value.OutputFormat = 1;
        value.CurrentTime = modAPI::NowWithMs();
        value.MeasValue_mm = 1000;
        value.MeasValue = 1000;
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(h.window->KOVChart()->yMin(0), 975.0);
        QCOMPARE(h.window->KOVChart()->yMax(0), 1025.0);
        // A value above the range widens it by one step (span / 25).
        value.MeasValue_mm = 1100;
        value.MeasValue = 1100;
        value.CurrentTime += 0.05 / 86400;
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(h.window->KOVChart()->yMax(0), 1102.0);
        QCOMPARE(h.window->KOVChart()->yMin(0), 975.0);
        // Fixed range: AutoScale off leaves the axis alone.
        modGlobals::AutoScale = false;
        value.MeasValue_mm = 5000;
        value.MeasValue = 5000;
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(h.window->KOVChart()->yMax(0), 1102.0);
        // The fixed range is stored in millimetres: in metres 0..5000 mm is 0..5 m.
        modGlobals::yMin = 0;
        modGlobals::yMax = 5000;
        value.DistanceUnit = 1;
        value.MeasValue = 5.0;
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(h.window->KOVChart()->yMin(0), 0.0);
        QCOMPARE(h.window->KOVChart()->yMax(0), 5.0);
        modGlobals::AutoScale = true;
    }

    void temperatureInterleaveKeepsMeasuring() {
        Harness h;
        QVERIFY(h.Connect());
        h.child<QCheckBox>("chkTempMeasurement")->setChecked(true);
        h.link().ReadTempInterval = 3000;
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        h.model->ClearHistory();
        bool sawTemperature = false;
        for (int i = 0; i < 400; ++i) {  // 20 s
            h.Tick();
            QCOMPARE(h.link().CommStatus, Comm::Measuring);
            if (i > 2) QCOMPARE(h.window->LampColor(), frmMain::LampGreen);
            QVERIFY(h.window->StatusText(StatusPanel::Events) != Text(MonitorText::NoConnection));
            sawTemperature |= h.window->StatusText(StatusPanel::Events) == Text(MonitorText::NewTemperature);
        }
        QVERIFY(sawTemperature);
        QVERIFY(h.child<QLabel>("lblTemperature")->text().contains(" C,"));
        // Each cycle is S, then T once the stop deadline passed, then M again.
        std::string sequence;
        for (const auto& c : h.model->Commands()) sequence += c.text;
        QVERIFY2(sequence.find("STM") != std::string::npos, sequence.c_str());
        QVERIFY(h.SentCount("S") >= 3);
        QVERIFY(!h.window->Loop().TemperaturePending() || h.link().LastCommand == "S" || h.link().LastCommand == "T");
        // Values still arrive between the temperature readings.
        QVERIFY(h.TickUntil([&] { return h.window->StatusText(StatusPanel::Events) == Text(MonitorText::NewDistance); }, 100));
    }

    void noAnswerShowsNoConnection() {
        Harness h;
        QVERIFY(h.Connect());
        h.model->Faults().silent = true;
        QVERIFY(h.TickUntil([&] { return h.window->StatusText(StatusPanel::Events) == Text(MonitorText::NoConnection); }, 100));
        QCOMPARE(h.link().CommStatus, Comm::NotConnected);
        h.Tick();
        QCOMPARE(h.window->LampColor(), frmMain::LampRed);
        QVERIFY(!h.child<QPushButton>("cmdStart")->isEnabled());
        // While measuring: back to idle first, measurement flag kept.
        h.model->Faults().silent = false;
        QVERIFY(h.Connect());
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        h.Tick(20);
        QVERIFY(!h.child<QLabel>("lblMeasValue")->text().isEmpty());
        h.model->Faults().silent = true;
        QVERIFY(h.TickUntil([&] { return h.window->StatusText(StatusPanel::Events) == Text(MonitorText::NoConnection); }, 200));
        QCOMPARE(h.link().CommStatus, Comm::Idle);
        // The last value does not stay on show as if it were live.
        QVERIFY(h.child<QLabel>("lblMeasValue")->text().isEmpty());
    }

    void configurationReadSetsControlsSilently() {
        Harness h;
        QVERIFY(h.Connect());
        h.Tick(5);
        h.model->SetParam(301, 2);
        h.model->SetParam(304, 1);
        h.model->ClearHistory();
        h.link().SendCommand("C");
        QVERIFY(h.TickUntil(
            [&] {
                return h.link().AverageDepth == 2 && h.window->StatusText(StatusPanel::Events) == Text(MonitorText::ConfigurationRead);
            },
            100));
        QCOMPARE(h.child<QComboBox>("cmbAverageDepth")->currentIndex(), 2);
        QVERIFY(h.child<QCheckBox>("chkMovingAverage")->isChecked());
        h.Tick(20);
        QCOMPARE(h.SentCount("301"), 0);
        QCOMPARE(h.SentCount("304"), 0);
    }

    void averageDepthChangeWritesParameter() {
        Harness h;
        QVERIFY(h.Connect());
        // The write waits by running the event pump; here the pump drives the loop.
        modKOVComm::SetEventPump([&](int) { h.Tick(); });
        auto* list = h.child<QComboBox>("cmbAverageDepth");
        list->setCurrentIndex(1);
        emit list->activated(1);
        QCOMPARE(h.link().AverageDepth, 1);
        QCOMPARE(h.SentCount("301 16"), 1);
        QCOMPARE(h.model->Param(301), 1);

        // Rejected: the list shows the sensor's value again, and the status says so.
        h.model->Faults().rejectedCodes = {"301", "304"};
        bool lockedMeanwhile = false;
        modKOVComm::SetEventPump([&](int) {
            lockedMeanwhile = lockedMeanwhile || !h.child<QPushButton>("cmdStart")->isEnabled();
            h.Tick();
        });
        list->setCurrentIndex(3);
        emit list->activated(3);
        QCOMPARE(h.link().AverageDepth, 1);
        QCOMPARE(list->currentIndex(), 1);
        QCOMPARE(h.window->StatusText(StatusPanel::Events), Text(MonitorText::SettingRejected));
        QVERIFY2(lockedMeanwhile, "Start must not be usable while a write waits");
        auto* box = h.child<QCheckBox>("chkMovingAverage");
        box->setChecked(true);
        emit box->clicked(true);
        QVERIFY(!box->isChecked());
        QCOMPARE(h.link().MovingAverage, 0);
    }

    void singleMeasurementInSingleMode() {
        Harness h;
        h.model->SetParam(603, 1);  // output mode "Single"
        QVERIFY(h.Connect());
        QCOMPARE(h.link().OutputMode, 1);
        h.Tick(5);
        h.model->ClearHistory();
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        QVERIFY2(QRegularExpression("^-?\\d+\\.\\d{3} m$").match(h.ValueLabel()).hasMatch(),
                 qPrintable(h.ValueLabel()));
        QCOMPARE(h.window->StatusText(StatusPanel::Events), Text(MonitorText::NewDistance));
        QCOMPARE(h.link().CommStatus, Comm::Idle);
        QCOMPARE(h.link().LastCommand, std::string());
        QCOMPARE(h.SentCount("M"), 1);
        // Afterwards the link is idle: the keep-alive goes on and nothing fails.
        for (int i = 0; i < 100; ++i) {
            h.Tick();
            QVERIFY(h.window->StatusText(StatusPanel::Events) != Text(MonitorText::NoConnection));
            QCOMPARE(h.link().CommStatus, Comm::Idle);
        }
        QVERIFY(h.SentCount("T") >= 2);
        QCOMPARE(h.SentCount("S"), 0);
        QCOMPARE(h.window->LampColor(), frmMain::LampYellow);
    }

    void closingDuringSingleMeasurementEndsTheWait() {
        Harness h;
        h.model->SetParam(603, 1);
        QVERIFY(h.Connect());
        h.model->Faults().silent = true;  // the reply never comes
        int waits = 0;
        h.onWait = [&] {
            if (++waits == 3) h.window->close();
        };
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        QCOMPARE(waits, 3);  // the wait ended with the window
        QVERIFY(h.window->Closing());
        QVERIFY(!modGlobals::Device);  // unload ran after the wait
        QVERIFY(QFileInfo::exists(h.m_dir.filePath("KOV.ini")));
        h.window->TimerTick();  // a stray tick after unload does nothing
    }

    void closingDuringParameterWriteEndsTheWait() {
        Harness h;
        QVERIFY(h.Connect());
        h.model->Faults().silent = true;
        int pumps = 0;
        modKOVComm::SetEventPump([&](int) {
            h.Tick();
            if (++pumps == 2) h.window->close();
        });
        auto* box = h.child<QCheckBox>("chkMovingAverage");
        box->setChecked(true);
        emit box->clicked(true);
        QCOMPARE(pumps, 2);
        QVERIFY(!modGlobals::Device);
    }

    void unplugAndReplug() {
        Harness h;
        QVERIFY(h.Connect());
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        h.Tick(20);
        h.model->SetUnplugged(true);
        QVERIFY(h.TickUntil([&] { return h.window->StatusText(StatusPanel::Events).startsWith(Text(MonitorText::PortNotOpen)); }, 10));
        QVERIFY(h.window->StatusText(StatusPanel::Events).contains("No such file"));
        QCOMPARE(h.link().CommStatus, Comm::NotConnected);
        h.Tick();
        QCOMPARE(h.window->LampColor(), frmMain::LampRed);
        // The caption tells the truth: the user's measurement is still on and
        // goes on when the sensor is back; pressing the button now stops it.
        auto* start = h.child<QPushButton>("cmdStart");
        QCOMPARE(start->text(), QStringLiteral("Stop"));
        QVERIFY(start->isEnabled());
        h.Tick(40);
        QVERIFY(h.window->StatusText(StatusPanel::Events).startsWith(Text(MonitorText::PortNotOpen)));
        h.model->SetUnplugged(false);
        h.model->PowerCycle();
        QVERIFY(h.TickUntil(
            [&] {
                return h.link().CommStatus == Comm::Measuring &&
                       h.window->StatusText(StatusPanel::Events) == Text(MonitorText::NewDistance);
            },
            200));
        QCOMPARE(start->text(), QStringLiteral("Stop"));
        QCOMPARE(h.window->LampColor(), frmMain::LampGreen);

        // Stopped while the sensor is away: nothing starts when it is back.
        h.model->SetUnplugged(true);
        QVERIFY(h.TickUntil([&] { return h.link().CommStatus == Comm::NotConnected; }, 20));
        QTest::mouseClick(start, Qt::LeftButton);
        QCOMPARE(start->text(), QStringLiteral("Start"));
        QVERIFY(!start->isEnabled());
        const int starts = h.SentCount("M");
        h.model->SetUnplugged(false);
        h.model->PowerCycle();
        QVERIFY(h.Connect());
        h.Tick(60);
        QCOMPARE(h.link().CommStatus, Comm::Idle);
        QCOMPARE(h.SentCount("M"), starts);
        QCOMPARE(start->text(), QStringLiteral("Start"));
    }

    // The sensor has a power supply of its own and goes on streaming while
    // the cable is out: back on the line, the link stops the stream, connects,
    // and the user's measurement goes on by itself.
    void replugOfAStreamingSensorResumesTheMeasurement() {
        Harness h;
        QVERIFY(h.Connect());
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        h.Tick(20);
        h.model->SetUnplugged(true);
        QVERIFY(h.TickUntil([&] { return h.link().CommStatus == Comm::NotConnected && !h.link().PortIsOpen(); }, 10));
        h.Tick(20);
        QVERIFY(h.model->Measuring());
        h.model->SetUnplugged(false);
        int ticks = 0;
        QVERIFY(h.TickUntil(
            [&] {
                ++ticks;
                return h.link().CommStatus == Comm::Measuring &&
                       h.window->StatusText(StatusPanel::Events) == Text(MonitorText::NewDistance);
            },
            100));
        QVERIFY2(ticks * 50 < 3000, qPrintable(QString::number(ticks * 50)));
        QCOMPARE(h.window->LampColor(), frmMain::LampGreen);
        QCOMPARE(h.child<QPushButton>("cmdStart")->text(), QStringLiteral("Stop"));
    }

    // A folder that cannot take the settings: said once, in the free panel,
    // and the program goes on.
    void settingsThatCannotBeSavedAreReportedOnce() {
        Harness h;
        QVERIFY(h.Connect());
        QFile blocker(h.m_dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        modGlobals::SettingsFile = h.m_dir.filePath("blocker/KOV.ini").toStdString();  // fails for root too
        auto* deen = h.child<QAction>("mnuOptionLanguageDEEN");
        deen->trigger();
        QVERIFY(h.window->SettingsSaveFailed());
        QCOMPARE(h.window->StatusText(StatusPanel::Files), QStringLiteral("The settings could not be saved"));
        deen->trigger();  // back to German: not said again
        QCOMPARE(h.window->StatusText(StatusPanel::Files), QStringLiteral("The settings could not be saved"));
        h.Tick(5);
        QCOMPARE(h.link().CommStatus, Comm::Idle);
    }

    // Configuration files that could not be read at start: the user is told
    // which, once the window is up.
    void unreadableConfigurationFilesAreReported() {
        QStringList shown;
        modControls::SetWarningFunction([&](QWidget*, const QString&, const QString& text) { shown << text; });
        {
            Harness h({}, [] { modGlobals::ConfigLoadProblems = "/media/stick/plant.kov: No such file or directory"; });
            QVERIFY(shown.isEmpty());
            QCoreApplication::processEvents();
            QCOMPARE(shown, QStringList{QStringLiteral("/media/stick/plant.kov: No such file or directory")});
        }
        modControls::SetWarningFunction({});
    }

    // Text from outside (the sensor's answers, file names, descriptions,
    // the system's error texts) is never read as markup: every label of
    // every window shows plain text, and so does every message box.
    void outsideTextIsShownAsPlainText() {
        Harness h;
        QVERIFY(h.Connect());
        const auto plain = [](QWidget* window) {
            const QList<QLabel*> labels = window ? window->findChildren<QLabel*>() : QList<QLabel*>();
            return !labels.isEmpty() && std::all_of(labels.begin(), labels.end(), [](QLabel* label) {
                return label->textFormat() == Qt::PlainText;
            });
        };
        QVERIFY(plain(h.window.get()));
        h.window->findChild<QAction*>("mnuPopUpYscaleSettings")->trigger();
        QVERIFY(plain(h.window->ChartSettings()));
        QVERIFY(plain(frmTextWindow::Open()));
        frmSplash splash;
        QVERIFY(plain(&splash));
        for (const char* modal : {"mnuConfigurationKOV", "mnuHelpAbout"}) {
            bool checked = false;
            QTimer::singleShot(0, [&] {
                QWidget* dialog = QApplication::activeModalWidget();
                checked = plain(dialog);
                if (dialog) dialog->close();
            });
            h.window->findChild<QAction*>(modal)->trigger();
            QVERIFY2(checked, modal);
        }
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            format = box->textFormat();
            box->accept();
        });
        modControls::Message(h.window.get(), QMessageBox::Warning, "Title", "<img src=x> <b>bold</b>");
        QCOMPARE(format, Qt::PlainText);
        frmTextWindow::Unload();
    }

    void languageSwitchTwiceRestoresGerman() {
        Harness h;
        auto captions = [&] {
            QStringList all;
            all << h.window->windowTitle();
            for (auto* w : h.window->findChildren<QWidget*>()) {
                if (auto* l = qobject_cast<QLabel*>(w)) all << l->objectName() + "=" + l->text();
                if (auto* b = qobject_cast<QAbstractButton*>(w)) all << b->objectName() + "=" + b->text();
                if (auto* g = qobject_cast<QGroupBox*>(w)) all << g->objectName() + "=" + g->title();
            }
            for (auto* a : h.window->findChildren<QAction*>()) all << a->objectName() + "=" + a->text();
            return all;
        };
        const QStringList german = captions();
        auto* deen = h.window->findChild<QAction*>("mnuOptionLanguageDEEN");
        QCOMPARE(deen->text(), QStringLiteral("English"));
        QCOMPARE(h.child<QLabel>("Label4")->text(), QStringLiteral("Meßwert:"));
        deen->trigger();
        QCOMPARE(modFunctions::LanguageOffset(), 1000);
        QCOMPARE(deen->text(), QStringLiteral("Deutsch"));
        QCOMPARE(h.child<QLabel>("Label4")->text(), QStringLiteral("Measurement Value:"));
        QCOMPARE(h.window->findChild<QMenu*>("mnuFile")->title(), QStringLiteral("&File"));
        QCOMPARE(h.window->windowTitle(), QStringLiteral("ORA-2 / ORB-2"));
        QVERIFY(captions() != german);
        deen->trigger();
        QCOMPARE(modFunctions::LanguageOffset(), 0);
        QCOMPARE(captions(), german);
        // Status texts follow the language too.
        QVERIFY(h.Connect());
        QCOMPARE(Text(MonitorText::NoConnection), QStringLiteral("Keine Verbindung zum Sensor"));
    }

    void windowKeepsItsMinimumSize() {
        Harness h;
        const QSize minimum = h.window->MinimumPixelSize();
        const double dpi = h.window->logicalDpiX();
        const double dpiY = h.window->logicalDpiY();
        QCOMPARE(minimum.width(), qRound(10935 * dpi / 1440));
        QCOMPARE(minimum.height(), qRound(6630 * dpiY / 1440));
        h.window->show();
        h.window->resize(200, 150);
        QVERIFY(h.window->width() >= minimum.width());
        QVERIFY(h.window->height() >= minimum.height());
        h.window->resize(minimum.width() + 300, minimum.height() + 200);
        QTRY_COMPARE(h.window->width(), minimum.width() + 300);
        // The chart takes the room beside the sensor frames.
        auto* graph = h.window->findChild<QWidget*>("picGraph");
        QVERIFY(graph->width() > h.window->width() - h.child<QGroupBox>("fraKOV")->width() - 80);
    }

    void chartShowsItsScaleBeforeTheFirstValue() {
        Harness h;
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        QCoreApplication::processEvents();
        const QImage picture = h.window->KOVChart()->Picture();
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), h.window->findChild<QWidget*>("picGraph")->size());
        int dark = 0;
        for (int y = 0; y < picture.height(); y += 2)
            for (int x = 0; x < picture.width(); x += 2)
                if (qGray(picture.pixel(x, y)) < 128) ++dark;
        QVERIFY2(dark > 100, qPrintable(QString::number(dark)));  // frame, ticks and labels
    }

    void portAndSpeedLists() {
        Harness h;
        QVERIFY(h.Connect());
        const int opens = h.portOpens;
        auto* ports = h.child<QComboBox>("cmbComPort");
        QCOMPARE(ports->count(), 255);
        QCOMPARE(ports->currentIndex(), 0);
        emit ports->activated(0);  // the open port again: nothing happens
        QCOMPARE(h.portOpens, opens);
        QCOMPARE(h.link().CommStatus, Comm::Idle);
        ports->setCurrentIndex(4);
        emit ports->activated(4);  // another port: close and reopen
        QCOMPARE(h.portOpens, opens + 1);
        QCOMPARE(modGlobals::Comport, 5);
        QCOMPARE(h.link().CommComPort(), 5);
        auto* rates = h.child<QComboBox>("cmbBaudrate");
        rates->setCurrentIndex(5);
        emit rates->activated(5);
        QCOMPARE(modGlobals::Baudrate, 38400);
        QCOMPARE(h.link().CommBaudrate(), 38400);
    }

    // The sensor takes a new speed (601): the port follows it, and so do the
    // speed list and KOV.ini.
    void speedListAndSettingsFollowTheSensor() {
        Harness h;
        QVERIFY(h.Connect());
        h.link().Baudrate = 5;
        modKOVComm::WriteParameter(h.link(), "601");
        QCOMPARE(h.link().EventNr, Event::Accepted);
        QCOMPARE(h.link().CommBaudrate(), 38400);
        QCOMPARE(modGlobals::Baudrate, 38400);
        QCOMPARE(h.child<QComboBox>("cmbBaudrate")->currentIndex(), 5);
        clsIni ini;
        ini.Filename(h.m_dir.filePath("KOV.ini").toStdString());
        QCOMPARE(ini.GetSetting("GENERAL", "Baudrate", std::string()), std::string("38400"));
    }

    void valueWindowFollowsTheLabel() {
        Harness h;
        QTest::mouseClick(h.child<QLabel>("lblMeasValue"), Qt::LeftButton);
        QVERIFY(frmTextWindow::IsOpen());
        clsKOV value;
        value.DistanceUnit = 0;
        value.OutputFormat = 1;
        value.CurrentTime = modAPI::NowWithMs();
        value.MeasValue_mm = 4321;
        value.MeasValue = 4321;
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(frmTextWindow::Instance()->ValueText(), QStringLiteral("4321 mm"));
        // A second click shows the same window; the main window unloads it at the end.
        frmTextWindow* first = frmTextWindow::Instance();
        QTest::mouseClick(h.child<QLabel>("lblMeasValue"), Qt::LeftButton);
        QCOMPARE(frmTextWindow::Instance(), first);
        h.window->close();
        QVERIFY(!frmTextWindow::IsOpen());
    }

    void viewMenuAndTimeAxis() {
        Harness h;
        auto* menu = h.window->findChild<QMenu*>("mnuPopUp");
        auto* zero = h.window->findChild<QAction*>("mnuPopupShowZero");
        auto* axis = h.window->findChild<QAction*>("mnuPopupFixedTime");
        modGlobals::ShowZeroValues = true;
        emit menu->aboutToShow();
        QVERIFY(zero->isChecked());
        zero->trigger();
        QVERIFY(!modGlobals::ShowZeroValues);
        QCOMPARE(h.window->KOVChart()->IsTimeScale(), 1);
        axis->trigger();
        QCOMPARE(h.window->KOVChart()->IsTimeScale(), 0);
        QCOMPARE(axis->text(), Text(1064));
        axis->trigger();
        QCOMPARE(axis->text(), Text(1063));
        // The configuration dialog opens modally from the menu, downloads
        // with the window's ticks, and closes.
        auto* kov = h.window->findChild<QAction*>("mnuConfigurationKOV");
        QVERIFY(kov->isEnabled());
        QVERIFY(h.Connect());
        bool sawDialog = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            sawDialog = dialog && dialog->objectName() == "frmKOV" && modGlobals::ConfigDialogOpen;
            h.Tick(20);
            if (dialog) dialog->close();
        });
        kov->trigger();
        QVERIFY(sawDialog);
        QVERIFY(!modGlobals::ConfigDialogOpen);
        QVERIFY(h.SentCount("C") >= 2);  // the download when the dialog opens
        // The recorder opens as a tool window.
        QAction* recorder = h.window->findChild<QAction*>("mnuRecorder");
        QVERIFY(recorder->isEnabled());
        recorder->trigger();
        QVERIFY(h.window->Recorder() && h.window->Recorder()->isVisible());
        QVERIFY(modGlobals::RecorderWindowOpen);
        h.window->Recorder()->close();
        QVERIFY(!modGlobals::RecorderWindowOpen);
        QVERIFY(h.window->findChild<QAction*>("mnuPopUpYscaleSettings")->isEnabled());
        h.window->findChild<QAction*>("mnuConfigurationDefaultProfibus")->trigger();
        QCOMPARE(modGlobals::DefaultDevice, std::string("Profibus"));
        QVERIFY(!h.window->findChild<QAction*>("mnuConfigurationDefaultSerial")->isChecked());
    }

    // The view settings open from the chart's menu, follow the menu's
    // commands while open, and Apply saves the fixed range, kept in
    // millimetres while the axis shows the sensor's unit.
    void chartSettingsFromThePopupMenu() {
        Harness h;
        auto* open = h.window->findChild<QAction*>("mnuPopUpYscaleSettings");
        QVERIFY(!h.window->ChartSettings());
        open->trigger();
        frmChartSettings* dialog = h.window->ChartSettings();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(!dialog->isModal());
        QCOMPARE(dialog->parentWidget(), static_cast<QWidget*>(h.window.get()));
        open->trigger();  // one dialog only
        QCOMPARE(h.window->ChartSettings(), dialog);
        auto* zero = dialog->findChild<QCheckBox*>("chkNullWerte");
        auto* timeAxis = dialog->findChild<QRadioButton*>("optxAxisTime");
        QCOMPARE(zero->isChecked(), modGlobals::ShowZeroValues);
        h.window->findChild<QAction*>("mnuPopupShowZero")->trigger();
        QCOMPARE(zero->isChecked(), modGlobals::ShowZeroValues);
        QVERIFY(timeAxis->isChecked());
        h.window->findChild<QAction*>("mnuPopupFixedTime")->trigger();
        QVERIFY(!timeAxis->isChecked());
        // The recorder's hook brings it up to date as well.
        modGlobals::AutoScale = false;
        h.window->ShowUpdatedChartSettings();
        QVERIFY(dialog->findChild<QRadioButton*>("optYScaleManual")->isChecked());

        // A value in metres: the boxes and the axis show metres.
        clsKOV value;
        value.DistanceUnit = 1;
        value.OutputFormat = 1;
        value.CurrentTime = modAPI::NowWithMs();
        value.MeasValue_mm = 1500;
        value.MeasValue = 1.5;
        h.window->ShowDistance(MeasurementOf(value));
        QCOMPARE(h.window->DisplayUnitFactor(), 1000.0);
        QCOMPARE(dialog->txtParameter(0)->text(), QStringLiteral("5"));
        dialog->txtParameter(0)->setText(QStringLiteral("2.5"));
        dialog->txtParameter(1)->setText(QStringLiteral("0.5"));
        QVERIFY(dialog->cmdApply_Click());
        QCOMPARE(modGlobals::yMax, 2500.0);
        QCOMPARE(modGlobals::yMin, 500.0);
        QCOMPARE(h.window->KOVChart()->yMax(0), 2.5);
        QCOMPARE(h.window->KOVChart()->yMin(0), 0.5);
        clsIni ini;
        ini.Filename(h.m_dir.filePath("KOV.ini").toStdString());
        QCOMPARE(ini.GetSetting("CHART", "yMax", std::string()), std::string("2500"));
        QCOMPARE(ini.GetSetting("CHART", "yMin", std::string()), std::string("500"));
        QCOMPARE(ini.GetSetting("CHART", "AutoScale", std::string()), std::string("0"));
        // The menu's axis item names what it switches to, whoever switched.
        dialog->findChild<QRadioButton*>("optxAxisTime")->setChecked(true);
        QVERIFY(dialog->cmdApply_Click());
        emit h.window->findChild<QMenu*>("mnuPopUp")->aboutToShow();
        QCOMPARE(h.window->findChild<QAction*>("mnuPopupFixedTime")->text(), Text(1063));
        h.window->close();
        QVERIFY(!h.window->ChartSettings());
    }

    void wallClockJumps() {
        Harness h;
        QVERIFY(h.Connect());
        h.child<QCheckBox>("chkTempMeasurement")->setChecked(true);
        h.link().ReadTempInterval = 5000;
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        h.Tick(40);
        // Back one hour (end of daylight-saving time).
        h.wallMs -= 3600000;
        const int temperaturesBefore = h.SentCount("T");
        const QString clockBefore = h.window->StatusText(StatusPanel::Clock);
        bool sawValue = false;
        for (int i = 0; i < 300; ++i) {
            h.Tick();
            QVERIFY(h.window->StatusText(StatusPanel::Events) != Text(MonitorText::NoConnection));
            sawValue |= h.window->StatusText(StatusPanel::Events) == Text(MonitorText::NewDistance);
        }
        QVERIFY(sawValue);
        QCOMPARE(h.link().CommStatus, Comm::Measuring);
        QVERIFY(h.SentCount("T") > temperaturesBefore);      // temperature requests go on
        QVERIFY(h.window->StatusText(StatusPanel::Clock) != clockBefore);  // the clock panel follows
        QVERIFY(h.window->KOVChart()->Xmax() < BaseDay());     // the chart follows the new time

        // Forward one hour: no false "no connection", measurement goes on.
        h.wallMs += 2 * 3600000;
        for (int i = 0; i < 100; ++i) {
            h.Tick();
            QVERIFY(h.window->StatusText(StatusPanel::Events) != Text(MonitorText::NoConnection));
        }
        QCOMPARE(h.link().CommStatus, Comm::Measuring);

        // Stopped and idle: a jump back must not silence the keep-alive.
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        h.Tick(10);
        h.wallMs -= 3600000;
        const int keepAlive = h.SentCount("T");
        h.Tick(100);
        QVERIFY(h.SentCount("T") >= keepAlive + 2);
        QCOMPARE(h.link().CommStatus, Comm::Idle);
    }
};

QTEST_MAIN(MonitorTest)
#include "test_monitor.moc"
