#pragma once
// A scriptable serial port and a link on simulated time for the link tests.
// Nothing here sleeps or touches a real device.
#include <algorithm>
#include <memory>
#include <string>

#include "Crc16Loader.h"
#include "SensorTestSupport.h"
#include "SerialPort.h"

namespace linktest {

using namespace testsupport;
namespace Comm = modKOVComm::Comm;
namespace Event = modKOVComm::Event;

// Both ends of the fake line; the test keeps it after the port moved into the link.
struct Wire {
    std::string toLink, fromLink;
    int baud = 9600;
    bool lost = false, failOpen = false, isOpen = false;
    // As a network port: an open still under way, why it went away, its round trip.
    bool pending = false;
    std::string lostReason;
    int allowance = 0;
};

class FakePort : public SerialLayer::Port {
public:
    explicit FakePort(std::shared_ptr<Wire> w) : w(std::move(w)) {}
    bool Open(std::string* error) override {
        if (w->failOpen) *error = "Permission denied";
        return w->isOpen = !w->failOpen;
    }
    void Close() override { w->isOpen = false; }
    void SetBaud(int bps) override { w->baud = bps; }
    int GetBaud() override { return w->isOpen && !w->lost ? w->baud : -1; }
    int DataStatus() override { return 0; }
    int InQueue() override { return w->lost ? -1 : static_cast<int>(w->toLink.size()); }
    int Read(unsigned char* buffer, int length) override {
        const int n = std::min(length, static_cast<int>(w->toLink.size()));
        std::copy_n(w->toLink.begin(), n, buffer);
        w->toLink.erase(0, static_cast<std::size_t>(n));
        return n;
    }
    void FlushInput() override { w->toLink.clear(); }
    bool PutChar(unsigned char byte) override {
        w->fromLink.push_back(static_cast<char>(byte));
        return true;
    }
    bool Lost() const override { return w->lost; }
    std::string LostReason() const override { return w->lostReason; }
    bool OpenInProgress() const override { return w->pending; }
    int ReplyAllowanceMs() const override { return w->allowance; }

private:
    std::shared_ptr<Wire> w;
};

inline std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

inline bool CrcLibraryPresent() {
    const std::string f = WithCrc(Frame4(4660));
    std::uint16_t r = 1;
    return Crc16Loader::ByteBlock(reinterpret_cast<const unsigned char*>(f.data()), 6, -1, &r) && r == 0;
}

// A link on a fake port and simulated time; the link's hooks are reset
// around each test.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        link.SetPortFactory([w = wire](int comport, std::string* device) {
            *device = "/dev/fake" + std::to_string(comport);
            return std::make_unique<FakePort>(w);
        });
        link.CurrentTime = time.Now();
    }
    // One monitor tick: advance the clock, stamp the link, read, decode.
    void Tick(double ms = 50) {
        time.ms += ms;
        link.CurrentTime = time.Now();
        link.ReadComportData();
        link.EvaluateInBuffer();
    }
    void Decode(const std::string& text) {
        link.InBuffer = text;
        link.EvaluateInBuffer();
    }
    // A state with an awaited command due `msLeft` from now (negative: overdue).
    void Await(std::int32_t status, const std::string& last, double msLeft = 1000) {
        link.CommStatus = status;
        link.LastCommand = last;
        link.FailTime = link.CurrentTime + msLeft / modAPI::MsPerDay;
        wire->fromLink.clear();
    }
    double MsLeft() const { return SimulatedTime::Ms(link.FailTime - link.CurrentTime); }

    CleanHooks hooks;
    SimulatedTime time;
    std::shared_ptr<Wire> wire = std::make_shared<Wire>();
    clsKOV link;
};

}  // namespace linktest
