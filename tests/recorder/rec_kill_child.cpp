// Records a simulated sensor's stream the way the recorder does (a distance
// listener of the measurement loop writes every value through the record
// writer) until it is killed. After every line it has written it prints the
// line count on its standard output, so that whoever kills it knows which
// lines must be in the file.
//
//   rec_kill_child FILE
#include <cstdio>
#include <memory>
#include <string>

#include "MonitorLoop.h"
#include "SensorModel.h"
#include "SimPort.h"
#include "clsKOV.h"
#include "clsRecordWriter.h"
#include "modAPI.h"
#include "modKOVComm.h"
#include "modRecFile.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rec_kill_child FILE\n");
        return 2;
    }
    double ms = 0;
    const double base = modAPI::DayCount(2026, 12, 7, 13, 45, 0, 0);
    modKOVComm::SetSleep([&](int pause) { ms += pause; });
    auto model = std::make_shared<Sim::SensorModel>(Sim::Options{}, [&] { return ms; });
    auto link = std::make_shared<clsKOV>();
    link->SetPortFactory([&](int, std::string* device) {
        *device = "simulated";
        return std::make_unique<Sim::InProcessPort>(model);
    });
    MonitorLoop loop([&] { return link; }, nullptr);
    loop.SetClock([&] { return base + ms / modAPI::MsPerDay; });
    loop.SetMonotonicClock([&] { return ms; });
    loop.SetWaitFunction([&](int pause) {
        ms += pause;
        return true;
    });
    auto tick = [&] {
        ms += MonitorLoop::TickMs;
        loop.Tick();
    };

    clsRecordWriter writer;
    std::string error;
    if (!writer.Create(argv[1], &error)) {
        std::fprintf(stderr, "rec_kill_child: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    int failed = 0;
    loop.Subscribe([&](const Measurement& m) {
        if (!writer.WriteLine(modRecFile::FormatLine(m), &error)) {
            ++failed;
            return;
        }
        std::printf("%lld\n", writer.Lines());
        std::fflush(stdout);
    });

    for (int i = 0; i < 400 && link->CommStatus != modKOVComm::Comm::Idle; ++i) tick();
    if (link->CommStatus != modKOVComm::Comm::Idle) {
        std::fprintf(stderr, "rec_kill_child: the simulated sensor did not answer\n");
        return 1;
    }
    model->SetParam(301, 0);  // the fastest measuring rate
    loop.StartStop();
    // Until killed (a limit, in case nobody does).
    for (long long i = 0; i < 100000000 && !failed; ++i) tick();
    std::fprintf(stderr, "rec_kill_child: %s\n", failed ? error.c_str() : "not killed");
    return 1;
}
