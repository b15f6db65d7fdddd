#pragma once
// A scriptable serial port, a simulated clock and a small sensor for the link
// tests. Nothing here sleeps or touches a real device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Crc16Loader.h"
#include "SerialPort.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modKOVComm.h"

namespace linktest {

// Both ends of the fake line; the test keeps it after the port moved into the link.
struct Wire {
    std::string toLink, fromLink;
    int baud = 9600, status = 0, maxRead = 0;
    bool lost = false, failOpen = false, isOpen = false;
    std::function<void(unsigned char)> onByte;  // the sensor's ear
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
    int DataStatus() override { return w->status; }
    int InQueue() override { return w->lost ? -1 : static_cast<int>(w->toLink.size()); }
    int Read(unsigned char* buffer, int length) override {
        const int n = std::min({length, w->maxRead > 0 ? w->maxRead : length, static_cast<int>(w->toLink.size())});
        std::copy_n(w->toLink.begin(), n, buffer);
        w->toLink.erase(0, static_cast<std::size_t>(n));
        return n;
    }
    void FlushInput() override { w->toLink.clear(); }
    void PutChar(unsigned char byte) override {
        w->fromLink.push_back(static_cast<char>(byte));
        if (w->onByte) w->onByte(byte);
    }
    bool Lost() const override { return w->lost; }

private:
    std::shared_ptr<Wire> w;
};

inline std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

inline std::string Frame4(std::int32_t v) {
    std::string f;
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF));
    return f;
}

// The binary formats' checksum, computed independently of the library:
// augmented MSB-first CRC, polynomial 0x1021, preset 0xFFFF, high byte first.
inline std::string WithCrc(const std::string& data) {
    std::uint16_t reg = 0xFFFF;
    for (char c : data + std::string(2, '\0'))
        for (int i = 7; i >= 0; --i) {
            const bool top = reg & 0x8000;
            reg = static_cast<std::uint16_t>((reg << 1) | ((static_cast<unsigned char>(c) >> i) & 1));
            if (top) reg ^= 0x1021;
        }
    return data + static_cast<char>(reg >> 8) + static_cast<char>(reg & 0xFF);
}

inline bool CrcLibraryPresent() {
    const std::string f = WithCrc(Frame4(4660));
    std::uint16_t r = 1;
    return Crc16Loader::ByteBlock(reinterpret_cast<const unsigned char*>(f.data()), 6, -1, &r) && r == 0;
}

inline double Ms(double days) { return days * modAPI::MsPerDay; }

// A link on a fake port, a simulated clock, no real sleeping; every
// module-level hook is reset around each test.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        modAPI::SetClock([this] { return now; });
        modKOVComm::SetSleep([this](int ms) { slept.push_back(ms); });
        modKOVComm::SetEventPump({});
        modKOVComm::SetClosing(false);
        modKOVComm::SetChecksumFunction({});
        modKOVComm::ConfigurationRead = false;
        link.SetPortFactory([w = wire](int comport, std::string* device) {
            *device = "/dev/fake" + std::to_string(comport);
            return std::make_unique<FakePort>(w);
        });
        link.CurrentTime = now;
    }
    void TearDown() override {
        modAPI::SetClock({});
        modKOVComm::SetSleep({});
        modKOVComm::SetClosing(false);
        modKOVComm::SetChecksumFunction({});
    }
    // One monitor tick: advance the clock, stamp the link, read, decode.
    void Tick(double ms = 50) {
        now += ms / modAPI::MsPerDay;
        link.CurrentTime = now;
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

    double now = modAPI::DayCount(2026, 3, 1, 10, 0, 0, 0);
    std::vector<int> slept;
    std::shared_ptr<Wire> wire = std::make_shared<Wire>();
    clsKOV link;
};

// Just enough sensor for round trips: banner, information block, temperature,
// ASCII stream, parameter answers, restart.
class MiniSensor {
public:
    explicit MiniSensor(std::shared_ptr<Wire> wire) : w(std::move(wire)) {
        w->onByte = [this](unsigned char b) { Hear(static_cast<char>(b)); };
    }
    bool silent = false, rejectWrites = false, streaming = false;
    int value = 12345;  // tenths of a millimetre
    std::vector<std::string> commands;

    void Produce() {  // once per tick: two lines of the stream
        for (int i = 0; streaming && i < 2; ++i, value += 7) {
            char line[32];
            std::snprintf(line, sizeof line, "   %07d.%d mm\r\n", value / 10, value % 10);
            w->toLink += line;
        }
    }
    void Restart() {  // power cycle: the stream stops and the banner comes
        streaming = false;
        w->toLink += "KOV ready\r\n";
    }
    static std::string InfoBlock() {
        return "Type: Serial\r\nAttenuator: A\r\nSerial-No: 1234\r\nVersion: 2.1\r\nPointer: off\r\n"
               "Temperature: 23 C, OK\r\n101: 0\r\n111: 0\r\n610: 5\r\n301: 2\r\n702: 1000\r\nend\r\n";
    }

private:
    void Hear(char c) {
        pending.push_back(c);
        const bool write = pending[0] >= '0' && pending[0] <= '9';
        if (write && c != '\r') return;
        commands.push_back(pending);
        const std::string cmd = pending;
        pending.clear();
        if (silent) return;
        if (cmd == "X") w->toLink += "KOV ready\r\n";
        if (cmd == "C") w->toLink += InfoBlock();
        if (cmd == "T") w->toLink += "T=23 C, OK\r\n";
        if (cmd == "M" || cmd == "S") streaming = cmd == "M";
        if (write) w->toLink += rejectWrites ? "ERR\r\n" : "OK\r\n";
    }
    std::shared_ptr<Wire> w;
    std::string pending;
};

}  // namespace linktest
