// The recorder window against a host that stands in for the main window.
#include <unistd.h>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "MonitorLoop.h"
#include "ScratchFolder.h"
#include "clsKOV.h"
#include "frmRecorder.h"
#include "modAPI.h"
#include "modKOVComm.h"
#include "modRecFile.h"

namespace fs = std::filesystem;

namespace {

struct Point {
    double Time;
    std::int32_t Distance;
    RecorderMode State;
};

class FakeHost : public RecorderHost {
public:
    FakeHost() : loop([this] { return link; }, nullptr) {
        loop.Subscribe([this](const Measurement& m) { shown.push_back({m.Time, m.Mm, state}); });
    }
    MonitorLoop& Loop() override { return loop; }
    bool Measuring() const override { return measuring; }
    RecorderMode RecorderState() const override { return state; }
    void SetRecorderState(RecorderMode s) override { state = s; }
    void SetRecorderWindowOpen(bool open) override { windowOpen = open; }
    void SetStatus(StatusPanel panel, const std::string& text) override { status[panel] = text; }
    void ResetChart(int n) override {
        resetWith = n;
        shown.clear();
    }
    void SetAutoScale(bool on) override { autoScale = on; }
    void SetYRange(double lo, double hi) override {
        low = lo;
        high = hi;
    }
    void SetTimeInterval(int ms) override { interval = ms; }
    void ShowUpTo(double last) override { shownUpTo = last; }
    bool LoadProgress(int percent) override {
        progress.push_back(percent);
        if (onProgress) onProgress();
        return progress.size() <= stopAfter;
    }

    std::shared_ptr<clsKOV> link = std::make_shared<clsKOV>();
    MonitorLoop loop;
    bool measuring = false;
    RecorderMode state = RecorderMode::Idle;
    bool windowOpen = false;
    std::map<StatusPanel, std::string> status;
    int resetWith = 0;
    bool autoScale = false;
    double low = 0, high = 0;
    int interval = 60000;
    double shownUpTo = 0;
    std::vector<Point> shown;
    std::vector<int> progress;
    size_t stopAfter = 1u << 30;  // progress calls before a load is told to stop
    std::function<void()> onProgress;
};

class FakeDialogs : public RecorderDialogs {
public:
    std::string AskOpenFile(QWidget*, const std::string& f, const std::string& p, const std::string&) override {
        folder = f;
        preset = p;
        return answer;
    }
    void ShowMessage(QWidget*, const std::string& text, const std::string&) override { messages.push_back(text); }
    std::string answer, folder, preset;
    std::vector<std::string> messages;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

double T(int s, int ms) { return modAPI::DayCount(2026, 12, 7, 13, 45, s, ms); }

}  // namespace

class TestRecorderWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<testsupport::ScratchFolder> m_folder;  // one for each test function
    std::string m_dir;

private slots:
    void init() {
        m_folder = std::make_unique<testsupport::ScratchFolder>();
        m_dir = m_folder->path;
        modAPI::SetProgramFolder(m_dir);
    }
    void cleanup() { m_folder.reset(); }

    void recordWritesEveryDistanceAndStops() {
        FakeHost host;
        auto dialogs = std::make_shared<FakeDialogs>();
        frmRecorder window(host, nullptr, dialogs);
        QVERIFY(host.windowOpen);
        QVERIFY(!window.StopButton()->isEnabled());
        window.cmdRec_Click();
        const std::string file = m_dir + "/REC/SAVE0001.rec";
        QCOMPARE(host.state, RecorderMode::Recording);
        QCOMPARE(host.status[StatusPanel::Files], "REC: " + file + " ");
        QVERIFY(!window.RecButton()->isEnabled());
        QVERIFY(!window.PlayButton()->isEnabled());
        QVERIFY(window.StopButton()->isEnabled());

        host.link->sTemperature = "25 C";
        host.link->CurrentTime = T(3, 0);
        host.link->MeasValue_mm = 1234;
        host.loop.PublishDistance(MeasurementOf(*host.link));
        // Already in the file while recording goes on.
        QCOMPARE(ReadAll(file), std::string("07.12.2026 13:45:03,000; 1234 mm; 25 \xB0" "C\r\n"));
        host.link->CurrentTime = T(3, 50);
        host.link->MeasValue_mm = 0;
        host.loop.PublishDistance(MeasurementOf(*host.link));
        window.cmdStop_Click();
        QCOMPARE(host.state, RecorderMode::Idle);
        QVERIFY(window.RecButton()->isEnabled());
        QVERIFY(window.PlayButton()->isEnabled());
        QVERIFY(!window.StopButton()->isEnabled());
        QCOMPARE(ReadAll(file), std::string("07.12.2026 13:45:03,000; 1234 mm; 25 \xB0" "C\r\n"
                                            "07.12.2026 13:45:03,050; No Echo; 25 \xB0" "C\r\n"));
        // Distances after the stop are not written.
        const std::string before = ReadAll(file);
        host.loop.PublishDistance(MeasurementOf(*host.link));
        QCOMPARE(ReadAll(file), before);

        // An empty recording leaves no file; the next number is taken again.
        window.cmdRec_Click();
        QVERIFY(fs::exists(m_dir + "/REC/SAVE0002.rec"));
        window.cmdStop_Click();
        QVERIFY(!fs::exists(m_dir + "/REC/SAVE0002.rec"));
        QVERIFY(dialogs->messages.empty());
    }

    void aFileThatCannotBeCreatedKeepsTheRecorderIdle() {
        FakeHost host;
        auto dialogs = std::make_shared<FakeDialogs>();
        frmRecorder window(host, nullptr, dialogs);
        std::ofstream(m_dir + "/REC") << "a file where the folder should be";
        window.cmdRec_Click();
        QCOMPARE(host.state, RecorderMode::Idle);
        QCOMPARE(host.status[StatusPanel::Files], std::string());
        QCOMPARE(dialogs->messages.size(), size_t(1));
        QVERIFY(window.RecButton()->isEnabled());
        QVERIFY(!window.StopButton()->isEnabled());
        QVERIFY(!window.Recording());

        if (::geteuid() != 0) {
            fs::remove(m_dir + "/REC");
            fs::create_directory(m_dir + "/REC");
            fs::permissions(m_dir + "/REC", fs::perms::owner_write, fs::perm_options::remove);
            window.cmdRec_Click();
            QCOMPARE(host.state, RecorderMode::Idle);
            QCOMPARE(dialogs->messages.size(), size_t(2));
            QVERIFY(QString::fromStdString(dialogs->messages.back()).contains("SAVE0001.rec"));
        }
    }

    void recordThenPlayBackGivesTheSamePoints() {
        FakeHost host;
        auto dialogs = std::make_shared<FakeDialogs>();
        frmRecorder window(host, nullptr, dialogs);
        window.cmdRec_Click();
        std::vector<Point> recorded;
        const std::int32_t values[] = {1000, 1010, modKOVComm::TempErrorValue, 990, modKOVComm::NoEchoValue, 5000};
        for (int i = 0; i < 6000; ++i) {  // 5 minutes at 50 ms
            host.link->CurrentTime = T(0, 0) + i * 50.0 / modAPI::MsPerDay;
            host.link->MeasValue_mm = values[i % 6];
            host.loop.PublishDistance(MeasurementOf(*host.link));
        }
        recorded = host.shown;
        window.cmdStop_Click();

        dialogs->answer = window.FileName();
        window.cmdPlay_Click();
        QCOMPARE(dialogs->preset, window.FileName());
        QCOMPARE(host.resetWith, 30000);
        QVERIFY(host.autoScale);
        QCOMPARE(host.shown.size(), recorded.size());
        for (size_t i = 0; i < recorded.size(); ++i) {
            QCOMPARE(host.shown[i].Distance, recorded[i].Distance);
            QCOMPARE(std::llround(host.shown[i].Time * modAPI::MsPerDay), std::llround(recorded[i].Time * modAPI::MsPerDay));
            QCOMPARE(host.shown[i].State, RecorderMode::PlayingBack);
        }
        QCOMPARE(host.interval, 299950);
        QCOMPARE(host.shownUpTo, host.shown.back().Time);
        // Every point of the recording lies inside the y range, not only the last window's.
        QVERIFY(host.low < 990 && host.high > 5000);
        QCOMPARE(host.status[StatusPanel::Files], window.FileName());
        QCOMPARE(host.status[StatusPanel::Events], std::string());
        QCOMPARE(host.state, RecorderMode::Idle);
        QVERIFY(window.PlayButton()->isEnabled());
    }

    void badFilesSayErrorInLoadData() {
        FakeHost host;
        auto dialogs = std::make_shared<FakeDialogs>();
        frmRecorder window(host, nullptr, dialogs);
        const std::string bad = m_dir + "/bad.rec";
        std::ofstream(bad, std::ios::binary) << "07.12.2026 13:45:02,250; 1234 mm; 25\r\n07.12.2026 13:45:02,300; 1240 mm; \xB0\xFF\r\n"
                                                "\x01 rubbish; here\r\n07.12.2026 13:45:03,250; 7 mm; 25\r\n";
        dialogs->answer = bad;
        window.cmdPlay_Click();
        QCOMPARE(host.status[StatusPanel::Events], std::string("Error in LoadData"));
        QCOMPARE(host.shown.size(), size_t(2));
        QCOMPARE(host.interval, 60000);  // a short span keeps the window
        QCOMPARE(host.state, RecorderMode::Idle);
        QVERIFY(window.RecButton()->isEnabled());

        // A file without lines: nothing shown, no error, the recorder is idle again.
        const std::string empty = m_dir + "/empty.rec";
        std::ofstream(empty).close();
        dialogs->answer = empty;
        host.shownUpTo = 0;
        window.cmdPlay_Click();
        QCOMPARE(host.status[StatusPanel::Events], std::string());
        QCOMPARE(host.shown.size(), size_t(0));
        QCOMPARE(host.shownUpTo, 0.0);

        // Cancelled dialog: nothing changes but the buttons.
        dialogs->answer.clear();
        host.resetWith = 0;
        window.cmdPlay_Click();
        QCOMPARE(host.resetWith, 0);
        QVERIFY(window.PlayButton()->isEnabled());
    }

    void rangeCoversThePointsTheChartKeeps() {
        // Only the last `capacity` points stay in the chart: early outliers
        // that have scrolled out do not stretch the range.
        FakeHost host;
        auto dialogs = std::make_shared<FakeDialogs>();
        frmRecorder window(host, nullptr, dialogs);
        const std::string file = m_dir + "/a.rec";
        {
            std::ofstream out(file, std::ios::binary);
            for (int i = 0; i < 300; ++i) {
                const std::int32_t mm = i < 100 ? 90000 : i % 3 == 0 ? modKOVComm::NoEchoValue : 2000 + i;
                out << modRecFile::FormatLine(T(0, 0) + i * 50.0 / modAPI::MsPerDay, mm, "25") << "\r\n";
            }
        }
        QVERIFY(window.LoadData(file, 100));
        QCOMPARE(host.shown.size(), size_t(300));
        // The last 100 charted values lie between 2000 + 151 and 2000 + 299.
        QVERIFY(host.low < 2151 && host.low > 2000);
        QVERIFY(host.high > 2299 && host.high < 2500);
    }

    void longLoadsShowProgressAndCanStop() {
        FakeHost host;
        auto dialogs = std::make_shared<FakeDialogs>();
        frmRecorder window(host, nullptr, dialogs);
        const std::string file = m_dir + "/long.rec";
        {
            std::ofstream out(file, std::ios::binary);
            for (int i = 0; i < 300000; ++i)
                out << modRecFile::FormatLine(T(0, 0) + i * 50.0 / modAPI::MsPerDay, 1000 + i % 7, "25") << "\r\n";
        }
        // A load starts with 0 %; the recorder window cannot be closed under it.
        bool closed = true;
        host.onProgress = [&] { closed = window.close(); };
        window.show();
        dialogs->answer = file;
        window.cmdPlay_Click();
        QVERIFY(!closed);
        QVERIFY(!host.progress.empty());
        QCOMPARE(host.progress.front(), 0);
        QVERIFY(std::is_sorted(host.progress.begin(), host.progress.end()));
        QCOMPARE(host.shown.size(), size_t(300000));
        QCOMPARE(host.state, RecorderMode::Idle);
        host.onProgress = nullptr;

        // Told to stop at once: nothing is loaded, the recorder is idle again.
        host.progress.clear();
        host.stopAfter = 0;
        window.cmdPlay_Click();
        QCOMPARE(host.progress.size(), size_t(1));
        QCOMPARE(host.shown.size(), size_t(0));
        QCOMPARE(host.state, RecorderMode::Idle);
        QVERIFY(window.PlayButton()->isEnabled());
        QVERIFY(window.close());
    }

    void measuringAndClosing() {
        FakeHost host;
        auto dialogs = std::make_shared<FakeDialogs>();
        {
            frmRecorder window(host, nullptr, dialogs);
            host.measuring = true;
            window.MeasuringChanged(true);
            QVERIFY(!window.PlayButton()->isEnabled());
            QVERIFY(!window.RecButton()->isEnabled());
            window.cmdPlay_Click();  // ignored while measuring
            QCOMPARE(host.resetWith, 0);
            host.measuring = false;
            window.MeasuringChanged(false);
            QVERIFY(window.RecButton()->isEnabled());
            // A recording started before the measurement and stopped during it:
            // the record button comes back, playing back waits for the end of
            // the measurement.
            window.cmdRec_Click();
            host.measuring = true;
            window.MeasuringChanged(true);
            QVERIFY(window.StopButton()->isEnabled());
            QVERIFY(!window.RecButton()->isEnabled());
            window.cmdStop_Click();
            QVERIFY(window.RecButton()->isEnabled());
            QVERIFY(!window.PlayButton()->isEnabled());
            host.measuring = false;
            window.MeasuringChanged(false);
            QVERIFY(window.PlayButton()->isEnabled());

            window.cmdRec_Click();
            host.link->CurrentTime = T(1, 0);
            host.link->MeasValue_mm = 10;
            host.loop.PublishDistance(MeasurementOf(*host.link));
            window.show();
            window.close();  // the program closes the window: recording stops first
            QCOMPARE(host.state, RecorderMode::Idle);
            QVERIFY(!window.Recording());
            QVERIFY(!host.windowOpen);
            QVERIFY(fs::exists(m_dir + "/REC/SAVE0001.rec"));
        }
        QVERIFY(!host.windowOpen);
    }
};

QTEST_MAIN(TestRecorderWindow)
#include "test_frmrecorder.moc"
