// The recorder end to end: the real main window on its own timer, the
// ora2orb2-sim tool behind a pseudo-terminal; record, stop, play back.
#include <QAction>
#include <QPushButton>
#include <QtTest>
#include <map>
#include <memory>

#include "clsChartData.h"
#include "clsKOV.h"
#include "frmMain.h"
#include "frmRecorder.h"
#include "modAPI.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modIni.h"
#include "modKOVComm.h"
#include "modMain.h"
#include "modRecFile.h"
#include "MainWindowTestState.h"
#include "SimulatorProcess.h"

namespace Comm = modKOVComm::Comm;

namespace {

class FakeDialogs : public RecorderDialogs {
public:
    std::string AskOpenFile(QWidget*, const std::string&, const std::string& preset, const std::string&) override {
        return preset;  // the file just recorded is offered
    }
    void ShowMessage(QWidget*, const std::string& text, const std::string&) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

std::map<long long, double> Points(const clsChartData& series) {
    std::map<long long, double> points;
    for (int i = series.StartIndex(); i < series.StopIndex(); ++i)
        if (series.X(i) != 0.0) points[std::llround(series.X(i) * modAPI::MsPerDay)] = series.Y(i);
    return points;
}

}  // namespace

class RecorderPtyTest : public QObject {
    Q_OBJECT

private slots:
    void recordStopPlay() {
        simtest::PtySimulator sim;
        QVERIFY(sim.Start({"--format", "3", "--unit", "0"}, "[GENERAL]\nComport=4\nBaudrate=38400\n"));
        simtest::StartProgramState(sim.dir.path().toStdString());
        auto dialogs = std::make_shared<FakeDialogs>();
        frmRecorder::SetDefaultDialogs(dialogs);
        {
            frmMain window;
            window.show();
            QTRY_COMPARE_WITH_TIMEOUT(modGlobals::Device->CommStatus, Comm::Idle, testsupport::PatienceMs);
            window.findChild<QAction*>("mnuRecorder")->trigger();
            frmRecorder* recorder = window.Recorder();
            QVERIFY(recorder && recorder->isVisible());

            recorder->RecButton()->click();
            const std::string file = sim.dir.filePath("REC/SAVE0001.rec").toStdString();
            QCOMPARE(recorder->FileName(), file);
            QCOMPARE(window.StatusText(StatusPanel::Files).toStdString(), "REC: " + file + " ");
            window.findChild<QPushButton*>("cmdStart")->click();
            QCOMPARE(modGlobals::Device->CommStatus, Comm::Measuring);
            QTRY_VERIFY_WITH_TIMEOUT(window.Series()->WritePointer() > 20, testsupport::PatienceMs);
            window.findChild<QPushButton*>("cmdStart")->click();
            QCOMPARE(modGlobals::Device->CommStatus, Comm::Idle);
            // Values still on their way are recorded too; then the recording stops.
            QTest::qWait(300);
            const auto recorded = Points(*window.Series());
            recorder->StopButton()->click();
            QCOMPARE(modGlobals::RecorderState, RecorderMode::Idle);

            // The file holds every charted value, line by line.
            long long lines = 0;
            const auto result = modRecFile::Load(file, [&](const modRecFile::Line& line) {
                ++lines;
                if (line.Distance != modKOVComm::NoEchoValue && line.Distance != modKOVComm::TempErrorValue)
                    QVERIFY(recorded.count(std::llround(line.Time * modAPI::MsPerDay)));
            });
            QVERIFY(result.Ok);
            QVERIFY(lines >= static_cast<long long>(recorded.size()));

            recorder->PlayButton()->click();
            QCOMPARE(window.StatusText(StatusPanel::Files).toStdString(), file);
            QVERIFY(window.StatusText(StatusPanel::Events) != "Error in LoadData");
            QVERIFY(Points(*window.Series()) == recorded);
            QCOMPARE(modGlobals::RecorderState, RecorderMode::Idle);
            QVERIFY(window.Timer()->isActive());  // ticking again after the load
            QVERIFY(dialogs->messages.empty());
            window.close();
        }
        frmRecorder::SetDefaultDialogs(nullptr);
        modKOVComm::SetEventPump({});
    }
};

QTEST_MAIN(RecorderPtyTest)
#include "test_recorder_pty.moc"
