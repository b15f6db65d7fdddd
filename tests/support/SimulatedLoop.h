#pragma once
// The measurement loop without a window, against the simulated sensor behind
// an in-process port, everything on simulated time; the link's own waits
// (parameter writes, transfers) run the loop's ticks, as the main window's
// timer does.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "MonitorLoop.h"
#include "SensorModel.h"
#include "SensorTestSupport.h"
#include "SimPort.h"
#include "Waiting.h"
#include "clsKOV.h"

namespace testsupport {

class SimulatedLoopTest : public ::testing::Test {
protected:
    // The sensor with `options`, a link to it and the loop, which tells `view`.
    void StartLoop(const Sim::Options& options = {}, MonitorView* view = nullptr) {
        model = std::make_shared<Sim::SensorModel>(options, [this] { return time.ms; });
        link = std::make_shared<clsKOV>();
        link->SetPortFactory([this](int, std::string* device) {
            *device = "simulated";
            return std::make_unique<Sim::InProcessPort>(model);
        });
        loop = std::make_unique<MonitorLoop>([this] { return link; }, view);
        loop->SetClock([this] { return time.Now(); });
        loop->SetMonotonicClock([this] { return time.ms; });
        loop->SetWaitFunction([this](int ms) {
            time.ms += ms;
            return true;
        });
        modKOVComm::SetEventPump([this](int) { Tick(); });
    }
    void TearDown() override { loop.reset(); }  // before the view and listeners of the test

    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            time.ms += MonitorLoop::TickMs;
            loop->Tick();
        }
    }
    bool TickUntil(const std::function<bool()>& done, int limit = TickLimit) {
        return testsupport::TickUntil([this] { Tick(); }, done, limit);
    }

    CleanHooks clean;
    SimulatedTime time;
    std::shared_ptr<Sim::SensorModel> model;
    std::shared_ptr<clsKOV> link;
    std::unique_ptr<MonitorLoop> loop;
};

}  // namespace testsupport
