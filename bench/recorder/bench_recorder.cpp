// Recorder costs:
//  - BM_PlaybackLines/N: the Play button with a recording of N lines, up to
//    the chart drawn on the screen (real main window, 1000 x 700). The case
//    with a million lines reports the peak resident memory of the process
//    (run it alone with --benchmark_filter=PlaybackLines/1000000 for a
//    figure of its own).
//  - BM_LoadLines/N: reading and parsing the file only.
//  - BM_WriteLine/<sync>: one record line written through the record writer
//    to a file in the system's temporary folder; sync 0: synced to the disk
//    after every line, 1000: at most once a second (the recorder's setting),
//    -1: only on close.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>

#include "clsChartData.h"
#include "clsRecordWriter.h"
#include "frmMain.h"
#include "frmRecorder.h"
#include "modAPI.h"
#include "modGlobals.h"
#include "modIni.h"
#include "modKOVComm.h"
#include "modRecFile.h"

namespace {

double PeakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kB on Linux
}

// A recording of `lines` values every 50 ms around 1500 mm, with no-echo gaps.
std::string RecordingFile(const QTemporaryDir& dir, long long lines) {
    const std::string path = dir.filePath(QString("rec%1.rec").arg(lines)).toStdString();
    std::ofstream out(path, std::ios::binary);
    const double start = modAPI::DayCount(2026, 6, 1, 8, 0, 0, 0);
    std::uint64_t state = 12345;
    for (long long i = 0; i < lines; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const int noise = static_cast<int>(state >> 58);
        const std::int32_t mm = i % 997 == 0 ? modKOVComm::NoEchoValue : 1500 + static_cast<int>(i % 800) + noise;
        out << modRecFile::FormatLine(start + static_cast<double>(i) * 50.0 / modAPI::MsPerDay, mm, "23 C") << "\r\n";
    }
    return path;
}

class FixedAnswer : public RecorderDialogs {
public:
    std::string AskOpenFile(QWidget*, const std::string&, const std::string&, const std::string&) override {
        return answer;
    }
    void ShowMessage(QWidget*, const std::string&, const std::string&) override {}
    std::string answer;
};

void BM_PlaybackLines(benchmark::State& state) {
    QTemporaryDir dir;
    const long long lines = state.range(0);
    auto dialogs = std::make_shared<FixedAnswer>();
    dialogs->answer = RecordingFile(dir, lines);
    frmRecorder::SetDefaultDialogs(dialogs);
    modAPI::SetProgramFolder(dir.path().toStdString());
    modIni::LoadSettings();
    const double rssBefore = PeakRssMb();
    auto window = std::make_unique<frmMain>(nullptr, false);
    window->resize(1000, 700);
    window->show();
    window->findChild<QAction*>("mnuRecorder")->trigger();
    frmRecorder* recorder = window->Recorder();
    QApplication::processEvents();
    for (auto _ : state) {
        recorder->PlayButton()->click();
        window->repaint();  // the drawn chart on the screen
    }
    state.counters["points"] = window->Series()->StopIndex();
    state.counters["peak_rss_MB"] = PeakRssMb();
    state.counters["rss_growth_MB"] = PeakRssMb() - rssBefore;
    state.counters["error"] = window->StatusText(StatusPanel::Events) == "Error in LoadData";
    window.reset();
    frmRecorder::SetDefaultDialogs(nullptr);
}
BENCHMARK(BM_PlaybackLines)->Arg(30000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaybackLines)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_LoadLines(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = RecordingFile(dir, state.range(0));
    long long sum = 0;
    for (auto _ : state) {
        const auto result = modRecFile::Load(path, [&](const modRecFile::Line& line) { sum += line.Distance; });
        benchmark::DoNotOptimize(result);
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadLines)->Arg(30000)->Unit(benchmark::kMillisecond);

void BM_WriteLine(benchmark::State& state) {
    QTemporaryDir dir(QDir::tempPath() + "/bench_rec_XXXXXX");
    clsRecordWriter writer;
    writer.SetSyncInterval(static_cast<double>(state.range(0)));
    if (!writer.Create(dir.filePath("SAVE0001.rec").toStdString())) {
        state.SkipWithError("cannot create the file");
        return;
    }
    double t = modAPI::DayCount(2026, 6, 1, 8, 0, 0, 0);
    for (auto _ : state) {
        t += 50.0 / modAPI::MsPerDay;
        if (!writer.WriteLine(modRecFile::FormatLine(t, 1234, "23 C"))) {
            state.SkipWithError("write failed");
            break;
        }
    }
    writer.Close();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteLine)->Arg(0)->Arg(1000)->Arg(-1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
