// Cost of the main window's 50 ms tick while the simulated sensor streams
// BINARY+CRC at 38400 bit/s (about 20 values per tick, chart drawn every
// tenth tick), and of one ShowDistance.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "SimPort.h"
#include "clsKOV.h"
#include "frmMain.h"
#include "modAPI.h"
#include "modGlobals.h"
#include "modIni.h"
#include "modKOVComm.h"

namespace {

double g_ms = 0;

struct Session {
    QTemporaryDir dir;
    std::shared_ptr<Sim::SensorModel> model;
    std::unique_ptr<frmMain> window;

    Session() {
        modAPI::SetClock([] { return modAPI::DayCount(2026, 6, 1, 10, 0, 0, 0) + g_ms / modAPI::MsPerDay; });
        modKOVComm::SetSleep([](int ms) { g_ms += ms; });
        QFile ini(dir.filePath("KOV.ini"));
        if (ini.open(QIODevice::WriteOnly)) ini.write("[GENERAL]\nComport=1\nBaudrate=38400\n[PORTS]\n1=SIMULATOR\n");
        ini.close();
        modAPI::SetProgramFolder(dir.path().toStdString());
        model = Sim::RegisterInProcessSimulator(Sim::Options());
        model->SetParam(101, 3);
        model->SetParam(111, 0);
        model->SetParam(301, 0);  // fastest measuring rate
        modIni::LoadSettings();
        window = std::make_unique<frmMain>(nullptr, false);
        window->SetMonotonicClock([] { return g_ms; });
        window->resize(1000, 700);
        window->show();
        for (int i = 0; i < 200 && modGlobals::Device->CommStatus != 1; ++i) Tick();
        window->findChild<QPushButton*>("cmdStart")->click();
        for (int i = 0; i < 100; ++i) Tick();
    }
    void Tick() {
        g_ms += 50;
        window->TimerTick();
    }
};

void BM_TickStreamingBinaryCrc(benchmark::State& state) {
    Session s;
    for (auto _ : state) s.Tick();
    state.counters["status"] = modGlobals::Device->CommStatus;
}
BENCHMARK(BM_TickStreamingBinaryCrc)->Unit(benchmark::kMicrosecond);

void BM_ShowDistance(benchmark::State& state) {
    Session s;
    clsKOV value;
    value.DistanceUnit = 0;
    value.OutputFormat = 3;
    value.CurrentTime = modAPI::NowWithMs();
    int i = 0;
    for (auto _ : state) {
        value.MeasValue_mm = 1000 + (i++ % 50);
        value.MeasValue = value.MeasValue_mm;
        value.CurrentTime += 0.002 / 86400;
        s.window->ShowDistance(MeasurementOf(value));
    }
}
BENCHMARK(BM_ShowDistance)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
