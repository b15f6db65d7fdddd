#pragma once
// Shared set-up for the main-window tests: a temporary program folder, a
// simulated clock, the simulated sensor behind an in-process port, and a main
// window whose ticks the test drives itself.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "DistanceUnits.h"
#include "SensorModel.h"
#include "SerialPort.h"
#include "Waiting.h"
#include "clsChartData.h"
#include "clsKOV.h"
#include "frmMain.h"
#include "modAPI.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modIni.h"
#include "modKOVComm.h"

namespace apptest {

namespace Comm = modKOVComm::Comm;
namespace Event = modKOVComm::Event;

// 1 June 2026, 10:00:00 local time.
inline double BaseDay() { return modAPI::DayCount(2026, 6, 1, 10, 0, 0, 0); }

// The simulated sensor as a serial port; pulling the adapter makes it lost.
class ModelPort : public SerialLayer::Port {
public:
    explicit ModelPort(std::shared_ptr<Sim::SensorModel> model) : m_model(std::move(model)) {}
    bool Open(std::string* error) override {
        if (m_model->Unplugged()) {
            if (error) *error = "No such file or directory";
            return false;
        }
        m_open = true;
        m_in.clear();
        return true;
    }
    void Close() override { m_open = false; }
    void SetBaud(int bps) override { m_baud = bps, m_model->SetLineSpeed(bps); }
    int GetBaud() override { return m_open ? m_baud : -1; }
    int DataStatus() override { return 0; }
    int InQueue() override {
        if (!m_open || m_model->Unplugged()) return 0;
        m_in += m_model->Transmit();
        return static_cast<int>(m_in.size());
    }
    int Read(unsigned char* buffer, int length) override {
        const int n = std::min<int>(length, static_cast<int>(m_in.size()));
        for (int i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(m_in[i]);
        m_in.erase(0, n);
        return n;
    }
    void FlushInput() override {
        m_model->Transmit();
        m_in.clear();
    }
    bool PutChar(unsigned char byte) override {
        if (!m_open || m_model->Unplugged()) return false;
        m_model->Receive(&byte, 1);
        return true;
    }
    bool Lost() const override { return m_model->Unplugged(); }

private:
    std::shared_ptr<Sim::SensorModel> m_model;
    std::string m_in;
    bool m_open = false;
    int m_baud = 9600;
};

class Harness {
public:
    explicit Harness(Sim::Options options = Sim::Options(), const std::function<void()>& beforeWindow = {}) {
        modGlobals::ResetState();
        modAPI::SetProgramFolder(m_dir.path().toStdString());
        modAPI::SetClock([this] { return BaseDay() + wallMs / modAPI::MsPerDay; });
        modKOVComm::ResetHooks();
        modKOVComm::SetSleep([this](int ms) { Advance(ms); });
        modFunctions::SetLanguageOffset(0);
        modFunctions::SetDecimalSeparator('.');
        modIni::LoadSettings();
        model = std::make_shared<Sim::SensorModel>(options, [this] { return realMs; });
        modGlobals::Device->SetPortFactory([this](int, std::string* device) {
            ++portOpens;
            if (device) *device = "simulated";
            return std::unique_ptr<SerialLayer::Port>(new ModelPort(model));
        });
        if (beforeWindow) beforeWindow();
        window = std::make_unique<frmMain>(nullptr, false);
        window->SetMonotonicClock([this] { return realMs; });
        window->SetWaitFunction([this](int ms) {
            Advance(ms);
            if (onWait) onWait();
            return true;
        });
    }
    ~Harness() {
        window.reset();
        modKOVComm::ResetHooks();
        modAPI::SetClock({});
        modGlobals::ResetState();
    }

    void Advance(double ms) {
        wallMs += ms;
        realMs += ms;
    }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            Advance(50);
            window->TimerTick();
        }
    }
    // Ticks until `done` holds (checked after every tick); false after `limit` ticks.
    bool TickUntil(const std::function<bool()>& done, int limit = testsupport::TickLimit) {
        return testsupport::TickUntil([this] { Tick(); }, done, limit);
    }
    bool Connect() {
        return TickUntil([this] { return link().CommStatus == Comm::Idle; });
    }
    clsKOV& link() { return *modGlobals::Device; }

    template <typename T>
    T* child(const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    QString ValueLabel() { return child<QLabel>("lblMeasValue")->text(); }
    int SentCount(const std::string& prefix) const {
        int n = 0;
        for (const auto& c : model->Commands())
            if (c.text.compare(0, prefix.size(), prefix) == 0) ++n;
        return n;
    }

    QTemporaryDir m_dir;
    double wallMs = 0;   // what the wall clock says, relative to BaseDay
    double realMs = 0;   // real elapsed time
    std::shared_ptr<Sim::SensorModel> model;
    std::unique_ptr<frmMain> window;
    std::function<void()> onWait;
    int portOpens = 0;  // ports created for the link
};

inline QString Text(int id) { return QString::fromStdString(modFunctions::GetText(id)); }

}  // namespace apptest
