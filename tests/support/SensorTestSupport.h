#pragma once
// Shared by the link and the simulator tests: the program's clock on
// simulated time, binary frames as the sensor sends them, and the monitor's
// tick.
#include <gtest/gtest.h>

#include <boost/crc.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modKOVComm.h"

namespace testsupport {

// The link's hooks as at program start while this lives, and again after it.
// Declared before the members that set single hooks, so that it resets first
// and last.
struct CleanHooks {
    CleanHooks() { modKOVComm::ResetHooks(); }
    ~CleanHooks() { modKOVComm::ResetHooks(); }
    CleanHooks(const CleanHooks&) = delete;
    CleanHooks& operator=(const CleanHooks&) = delete;
};

// The program's clock and the protocol's pauses run on simulated
// milliseconds; a pause moves the clock on. Restored on destruction.
class SimulatedTime {
public:
    SimulatedTime() {
        modAPI::SetClock([this] { return Now(); });
        modKOVComm::SetSleep([this](int pause) {
            slept.push_back(pause);
            ms += pause;
        });
    }
    ~SimulatedTime() {
        modAPI::SetClock({});
        modKOVComm::SetSleep({});
    }
    SimulatedTime(const SimulatedTime&) = delete;
    SimulatedTime& operator=(const SimulatedTime&) = delete;

    double Now() const { return base + ms / modAPI::MsPerDay; }
    static double Ms(double days) { return days * modAPI::MsPerDay; }

    const double base = modAPI::DayCount(2026, 3, 1, 10, 0, 0, 0);
    double ms = 0;
    std::vector<int> slept;
};

// A 4-byte little-endian frame, and the same with the checksum the sensor
// appends (CRC-16/AUG-CCITT, high byte first), computed independently of
// the program's CRC library.
inline std::string Frame4(std::int32_t v) {
    std::string f;
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF));
    return f;
}
inline std::string WithCrc(const std::string& data) {
    boost::crc_optimal<16, 0x1021, 0x1D0F, 0, false, false> crc;
    crc.process_bytes(data.data(), data.size());
    const auto sum = static_cast<std::uint16_t>(crc.checksum());
    return data + static_cast<char>(sum >> 8) + static_cast<char>(sum & 0xFF);
}

// The monitor's share of one tick: a closed port is reopened and the link
// starts over; read, decode; a missing answer steps the state down.
inline void MonitorTick(clsKOV& link, int comport = 1, int speed = 9600) {
    link.CurrentTime = modAPI::NowWithMs();
    if (!link.PortIsOpen()) {
        link.OpenComPort(comport, speed);
        link.CommStatus = modKOVComm::Comm::NotConnected;
    }
    if (!link.PortIsOpen()) return;
    link.ReadComportData();
    link.EvaluateInBuffer();
    if (link.EventNr == modKOVComm::Event::NoAnswer && link.CommStatus > modKOVComm::Comm::NotConnected)
        --link.CommStatus;
}

}  // namespace testsupport
