// What the simulated sensor costs the program's thread: one 50 ms tick of
// output at the fastest line rate, per output format, in-process and through
// a pseudo-terminal (sensor side and link side together).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "PtyServer.h"
#include "SensorModel.h"
#include "SerialPort.h"

namespace {

// In-process: the model produces and paces one tick of continuous output.
void BM_SensorTick(benchmark::State& state) {
    double now = 0;
    Sim::SensorModel sensor({}, [&now] { return now; });
    sensor.SetLineSpeed(38400);
    sensor.SetParam(101, static_cast<int>(state.range(0)));
    sensor.SetParam(301, 0);  // fastest measuring: the line is the limit
    sensor.Receive(std::string("M"));
    size_t bytes = 0;
    for (auto _ : state) {
        now += 50;
        bytes += sensor.Transmit().size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["bytes_per_tick"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SensorTick)->DenseRange(0, 3)->ArgName("format");

// Through a pseudo-terminal: sensor writes one tick, the serial layer reads it.
void BM_PtyTick(benchmark::State& state) {
    double now = 0;
    auto sensor = std::make_shared<Sim::SensorModel>(Sim::Options{}, [&now] { return now; });
    sensor->SetParam(101, static_cast<int>(state.range(0)));
    sensor->SetParam(301, 0);
    Sim::PtyServer server(sensor);
    server.SetWaitForDelivery(true);
    std::string error;
    if (!server.Start(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    auto port = SerialLayer::CreateDevicePort(server.SlavePath());
    if (!port->Open(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    port->SetBaud(38400);
    server.Serve(0);
    sensor->Receive(std::string("M"));
    unsigned char buffer[4096];
    size_t bytes = 0;
    for (auto _ : state) {
        now += 50;
        server.Serve(0);
        const int n = port->InQueue();
        bytes += static_cast<size_t>(port->Read(buffer, n < 4096 ? n : 4096));
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["bytes_per_tick"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PtyTick)->DenseRange(0, 3)->ArgName("format");

}  // namespace

BENCHMARK_MAIN();
