// The recorder with the real main window: record the simulated sensor, play
// the file back into the chart, bad files, and a close during a load.
#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <map>
#include <memory>

#include "AppHarness.h"
#include "XYChart.h"
#include "frmRecorder.h"
#include "modRecFile.h"

using namespace apptest;

namespace {

class FakeDialogs : public RecorderDialogs {
public:
    std::string AskOpenFile(QWidget*, const std::string&, const std::string&, const std::string&) override {
        return answer;
    }
    void ShowMessage(QWidget*, const std::string& text, const std::string&) override { messages.push_back(text); }
    std::string answer;
    std::vector<std::string> messages;
};

// The series' points by time in whole ms (value in the display unit).
std::map<long long, double> Points(const clsChartData& series) {
    std::map<long long, double> points;
    for (int i = series.StartIndex(); i < series.StopIndex(); ++i)
        if (series.X(i) != 0.0) points[std::llround(series.X(i) * modAPI::MsPerDay)] = series.Y(i);
    return points;
}

void WriteLines(const std::string& file, const std::string& tail, int lines, double start) {
    std::ofstream out(file, std::ios::binary);
    for (int i = 0; i < lines; ++i)
        out << modRecFile::FormatLine(start + i * 50.0 / modAPI::MsPerDay, 1500 + (i * 37) % 400, "23 C") << "\r\n";
    out << tail;
}

}  // namespace

class PlaybackMainTest : public QObject {
    Q_OBJECT
    std::shared_ptr<FakeDialogs> m_dialogs;

    frmRecorder* OpenRecorder(Harness& h) {
        h.window->findChild<QAction*>("mnuRecorder")->trigger();
        return h.window->Recorder();
    }

private slots:
    void init() {
        m_dialogs = std::make_shared<FakeDialogs>();
        frmRecorder::SetDefaultDialogs(m_dialogs);
    }
    void cleanup() { frmRecorder::SetDefaultDialogs(nullptr); }

    void recordTheSensorThenPlayItBack() {
        Harness h;
        QVERIFY(h.Connect());
        frmRecorder* recorder = OpenRecorder(h);
        QVERIFY(recorder);
        recorder->RecButton()->click();
        QCOMPARE(modGlobals::RecorderState, RecorderMode::Recording);
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        // While measuring the record button stays off, the recording goes on.
        QVERIFY(!recorder->PlayButton()->isEnabled());
        h.Tick(200);  // 10 s, within the 60 s window the chart keeps
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        h.Tick(5);
        const auto recorded = Points(*h.window->Series());
        QVERIFY(recorded.size() > 20);
        recorder->StopButton()->click();
        QCOMPARE(modGlobals::RecorderState, RecorderMode::Idle);
        QVERIFY(recorder->PlayButton()->isEnabled());

        m_dialogs->answer = recorder->FileName();
        recorder->PlayButton()->click();
        QCOMPARE(h.window->StatusText(StatusPanel::Files).toStdString(), recorder->FileName());
        QVERIFY(h.window->StatusText(StatusPanel::Events) != "Error in LoadData");
        const auto played = Points(*h.window->Series());
        QCOMPARE(played.size(), recorded.size());
        // Measured in the sensor's unit, played back in millimetres (the file's unit).
        const double factor = DistanceUnits::FactorOf(h.link().DistanceUnit);
        for (auto r = recorded.begin(), p = played.begin(); r != recorded.end(); ++r, ++p) {
            QCOMPARE(p->first, r->first);
            QCOMPARE(p->second, std::nearbyint(r->second * factor));
        }
        // Every point lies inside the y range; the right edge is the last point.
        double low = 1e300, high = -1e300;
        for (const auto& p : played) low = std::min(low, p.second), high = std::max(high, p.second);
        QVERIFY(h.window->KOVChart()->yMin(0) < low && h.window->KOVChart()->yMax(0) > high);
        QVERIFY(modGlobals::AutoScale);
        QCOMPARE(modGlobals::RecorderState, RecorderMode::Idle);
        QVERIFY(!h.window->Timer()->isActive());  // as before the load (the harness ticks by hand)
        QVERIFY(m_dialogs->messages.empty());
    }

    void badFilesLeaveTheChartUsable() {
        Harness h;
        QVERIFY(h.Connect());
        frmRecorder* recorder = OpenRecorder(h);
        const double start = BaseDay() - 1.0;  // yesterday
        struct Case {
            const char* name;
            std::string tail;
            int good;
            bool error;
        };
        const Case cases[] = {
            {"garbage", std::string("\x01\xFF junk; 12\r\n", 13), 30, true},
            {"truncated", "01.06.2026 09:59:5", 30, true},
            {"wrong date", "2026-06-01 09:59:59,000; 12 mm; 23 C\r\n", 30, true},
            {"8-bit temperature", "31.05.2026 10:00:05,000; 1234 mm; \xB0\xFF\x80 C\r\n", 0, false},
            {"no lines", "", 0, false},
            {"line without end", std::string(100000, 'x'), 5, true},
        };
        for (const Case& c : cases) {
            const std::string file = h.m_dir.path().toStdString() + "/bad.rec";
            WriteLines(file, c.tail, c.good, start);
            m_dialogs->answer = file;
            recorder->PlayButton()->click();
            QVERIFY2((h.window->StatusText(StatusPanel::Events) == "Error in LoadData") == c.error, c.name);
            QVERIFY2(int(Points(*h.window->Series()).size()) == c.good + (c.error || c.tail.empty() ? 0 : 1), c.name);
            QVERIFY2(modGlobals::RecorderState == RecorderMode::Idle, c.name);
            QVERIFY2(recorder->RecButton()->isEnabled() && recorder->PlayButton()->isEnabled(), c.name);
        }
        // A measurement afterwards fills the chart again, at the present time.
        QTest::mouseClick(h.child<QPushButton>("cmdStart"), Qt::LeftButton);
        h.Tick(40);
        QCOMPARE(h.window->StatusText(StatusPanel::Events), Text(MonitorText::NewDistance));
        const auto points = Points(*h.window->Series());
        QVERIFY(points.size() > 5);
        QVERIFY(points.begin()->first > std::llround(BaseDay() * modAPI::MsPerDay));
        QVERIFY(h.window->KOVChart()->Xmax() > BaseDay());
    }

    void theChartSettingsFollowThePlayback() {
        Harness h;
        frmRecorder* recorder = OpenRecorder(h);
        h.window->findChild<QAction*>("mnuPopUpYscaleSettings")->trigger();
        QWidget* settings = h.window->findChild<QWidget*>("frmChartSettings");
        QVERIFY(settings && settings->isVisible());
        modGlobals::AutoScale = false;
        h.window->ShowUpdatedChartSettings();
        auto* automatic = settings->findChild<QRadioButton*>("optYScaleAuto");
        QVERIFY(!automatic->isChecked());
        const std::string file = h.m_dir.path().toStdString() + "/a.rec";
        WriteLines(file, "", 10, BaseDay() - 1.0);
        m_dialogs->answer = file;
        recorder->PlayButton()->click();
        QVERIFY(modGlobals::AutoScale);
        QVERIFY(automatic->isChecked());
    }

    void closingTheMainWindowDuringALoad() {
        Harness h;
        frmRecorder* recorder = OpenRecorder(h);
        const std::string file = h.m_dir.path().toStdString() + "/a.rec";
        WriteLines(file, "", 5000, BaseDay() - 1.0);
        m_dialogs->answer = file;
        h.window->Timer()->start();
        // The close arrives while the load lets the windows paint.
        QTimer::singleShot(0, h.window.get(), [&] { h.window->close(); });
        QPointer<frmRecorder> watch(recorder);
        recorder->PlayButton()->click();
        QVERIFY(watch);  // not destroyed under its own load
        QVERIFY(!h.window->Timer()->isActive());
        QTRY_VERIFY(!watch);  // the main window's unload follows the load
        QVERIFY(!modGlobals::RecorderWindowOpen);
        QCOMPARE(modGlobals::RecorderState, RecorderMode::Idle);
    }

    void theTimerRestsDuringALoadOnly() {
        Harness h;
        frmRecorder* recorder = OpenRecorder(h);
        const std::string file = h.m_dir.path().toStdString() + "/a.rec";
        WriteLines(file, "", 100, BaseDay() - 1.0);
        m_dialogs->answer = file;
        h.window->Timer()->start();
        bool ranDuringLoad = false;
        auto connection = QObject::connect(h.window->Timer(), &QTimer::timeout, [&] {
            ranDuringLoad |= modGlobals::RecorderState == RecorderMode::PlayingBack;
        });
        QString statusDuringLoad;
        QTimer::singleShot(0, [&] {
            ranDuringLoad |= h.window->Timer()->isActive();
            statusDuringLoad = h.window->StatusText(StatusPanel::Files);
        });
        recorder->PlayButton()->click();
        QCOMPARE(statusDuringLoad, Text(1391) + " 0 %");
        QObject::disconnect(connection);
        QVERIFY(!ranDuringLoad);
        QVERIFY(h.window->Timer()->isActive());
        QCOMPARE(int(Points(*h.window->Series()).size()), 100);
        h.window->Timer()->stop();
    }
};

QTEST_MAIN(PlaybackMainTest)
#include "test_playback_main.moc"
