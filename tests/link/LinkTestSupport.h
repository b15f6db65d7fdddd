#pragma once
// A scriptable serial port, a simulated clock and a small sensor for the link
// tests. Nothing here sleeps or touches a real device.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SerialPort.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modKOVComm.h"

namespace linktest {

// What both ends of the fake line see. The test keeps a handle after the
// port object has moved into the link.
struct Wire {
    std::string toLink;    // bytes waiting for the link
    std::string fromLink;  // every byte the link sent
    int baud = 9600;
    int status = 0;
    bool lost = false;
    bool failOpen = false;
    std::string openError = "Permission denied";
    int opens = 0;
    int flushes = 0;
    bool isOpen = false;
    int maxRead = -1;                                 // > 0: Read delivers at most this many bytes
    std::function<void(unsigned char)> onByte;        // the sensor's ear
};

class FakePort : public SerialLayer::Port {
public:
    explicit FakePort(std::shared_ptr<Wire> wire) : m_wire(std::move(wire)) {}
    bool Open(std::string* error) override {
        ++m_wire->opens;
        if (m_wire->failOpen) {
            if (error) *error = m_wire->openError;
            return false;
        }
        m_wire->isOpen = true;
        return true;
    }
    void Close() override { m_wire->isOpen = false; }
    void SetBaud(int bps) override { m_wire->baud = bps; }
    int GetBaud() override { return m_wire->isOpen && !m_wire->lost ? m_wire->baud : -1; }
    int DataStatus() override { return m_wire->status; }
    int InQueue() override { return m_wire->lost ? -1 : static_cast<int>(m_wire->toLink.size()); }
    int Read(unsigned char* buffer, int length) override {
        if (m_wire->lost) return -1;
        int n = std::min<int>(length, static_cast<int>(m_wire->toLink.size()));
        if (m_wire->maxRead > 0) n = std::min(n, m_wire->maxRead);
        for (int i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(m_wire->toLink[static_cast<std::size_t>(i)]);
        m_wire->toLink.erase(0, static_cast<std::size_t>(n));
        return n;
    }
    void FlushInput() override {
        ++m_wire->flushes;
        m_wire->toLink.clear();
    }
    void PutChar(unsigned char byte) override {
        if (m_wire->lost) return;
        m_wire->fromLink.push_back(static_cast<char>(byte));
        if (m_wire->onByte) m_wire->onByte(byte);
    }
    bool Lost() const override { return m_wire->lost; }

private:
    std::shared_ptr<Wire> m_wire;
};

inline void Attach(clsKOV& link, const std::shared_ptr<Wire>& wire) {
    link.SetPortFactory([wire](int comport, std::string* device) -> std::unique_ptr<SerialLayer::Port> {
        if (device) *device = "/dev/fake" + std::to_string(comport);
        return std::make_unique<FakePort>(wire);
    });
}

// The checksum of the binary formats, computed here independently of the
// library: augmented MSB-first CRC with polynomial 0x1021, preset 0xFFFF,
// appended high byte first.
inline std::uint16_t Crc(const std::string& bytes) {
    std::uint16_t reg = 0xFFFF;
    auto step = [&reg](unsigned char b) {
        for (int i = 7; i >= 0; --i) {
            const bool top = (reg & 0x8000) != 0;
            reg = static_cast<std::uint16_t>((reg << 1) | ((b >> i) & 1));
            if (top) reg ^= 0x1021;
        }
    };
    for (char c : bytes) step(static_cast<unsigned char>(c));
    step(0);
    step(0);
    return reg;
}

inline std::string WithCrc(const std::string& data) {
    const std::uint16_t c = Crc(data);
    return data + static_cast<char>(c >> 8) + static_cast<char>(c & 0xFF);
}

inline std::string Frame4(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    std::string f(4, '\0');
    for (int i = 0; i < 4; ++i) f[static_cast<std::size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFF);
    return f;
}

inline std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

// Simulated time; the fixture installs it as the program's clock.
struct SimClock {
    double now = modAPI::DayCount(2026, 3, 1, 10, 0, 0, 0);
    void Advance(double ms) { now += ms / modAPI::MsPerDay; }
};

inline double Ms(double days) { return days * modAPI::MsPerDay; }

// Resets every module-level hook around each test.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        modAPI::SetClock([this] { return clock.now; });
        modKOVComm::SetSleep([this](int ms) { slept.push_back(ms); });
        modKOVComm::SetEventPump({});
        modKOVComm::SetClosing(false);
        modKOVComm::SetChecksumFunction({});
        modKOVComm::ConfigurationRead = false;
        wire = std::make_shared<Wire>();
        Attach(link, wire);
        link.CurrentTime = clock.now;
    }
    void TearDown() override {
        modAPI::SetClock({});
        modKOVComm::SetSleep({});
        modKOVComm::SetEventPump({});
        modKOVComm::SetClosing(false);
        modKOVComm::SetChecksumFunction({});
    }
    void Open(int baud = 9600) { link.OpenComPort(1, baud); }

    // One monitor tick: advance the clock, stamp the link, read, decode.
    void Tick(double ms = 50) {
        clock.Advance(ms);
        link.CurrentTime = clock.now;
        link.ReadComportData();
        link.EvaluateInBuffer();
    }
    // Decode `text` as the whole buffer at the current time.
    void Decode(const std::string& text) {
        link.InBuffer = text;
        link.EvaluateInBuffer();
    }
    // Puts the link into a state with an awaited command and a deadline
    // `msLeft` from now (negative: already passed).
    void Await(std::int32_t status, const std::string& last, double msLeft = 1000) {
        link.CommStatus = status;
        link.LastCommand = last;
        link.FailTime = link.CurrentTime + msLeft / modAPI::MsPerDay;
        wire->fromLink.clear();
    }

    SimClock clock;
    std::vector<int> slept;
    std::shared_ptr<Wire> wire;
    clsKOV link;
};

// A small sensor behind the fake port, enough for protocol round trips:
// banner, information block, temperature, continuous ASCII values, parameter
// answers, restart.
class MiniSensor {
public:
    explicit MiniSensor(std::shared_ptr<Wire> wire) : m_wire(std::move(wire)) {
        m_wire->onByte = [this](unsigned char b) { Hear(b); };
    }
    bool silent = false;          // answers nothing
    bool rejectWrites = false;    // "ERR" to parameter writes
    bool streaming = false;
    int valuesPerTick = 2;
    std::int32_t nextValueTenths = 12345;   // 1234.5 mm
    std::vector<std::string> commands;      // every complete command heard

    // Called once per tick: the measurement stream.
    void Produce() {
        if (!streaming || silent) return;
        for (int i = 0; i < valuesPerTick; ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "   %07d.%d mm\r\n", nextValueTenths / 10, nextValueTenths % 10);
            m_wire->toLink += line;
            sent.push_back(nextValueTenths / 10.0);
            nextValueTenths += 7;
        }
    }
    // Power cycle: the stream stops and the banner comes.
    void Restart() {
        streaming = false;
        m_pending.clear();
        m_wire->toLink += "KOV ready\r\n";
    }
    std::vector<double> sent;

    static std::string InfoBlock() {
        return "Type: Serial\r\nAttenuator: A\r\nSerial-No: 1234\r\nVersion: 2.1\r\nBuild: 7\r\n"
               "Date: 01.02.2026\r\nPointer: off\r\nTemperature: 23 C, OK\r\n101: 0\r\n111: 0\r\n"
               "601: 3\r\n603: 0\r\n610: 5\r\n301: 2\r\n302: 1\r\n304: 1\r\n305: 0\r\n306: 1\r\n311: 0\r\n"
               "401: 1000\r\n402: 9000\r\n403: 0\r\n501: 10000\r\n502: 9900\r\n503: 1\r\n504: 1000\r\n"
               "505: 900\r\n506: 1\r\n701: 0\r\n702: 1000\r\n801: 200\r\n802: 1013\r\nend\r\n";
    }

private:
    void Hear(unsigned char b) {
        m_pending.push_back(static_cast<char>(b));
        const std::string& p = m_pending;
        if (p == "X" || p == "C" || p == "M" || p == "S" || p == "T" || p == "G" || p == "P" || p == "O" ||
            (p.size() > 1 && p.back() == '\r')) {
            const std::string cmd = p;
            m_pending.clear();
            commands.push_back(cmd);
            Answer(cmd);
        } else if (p.size() > 1 && !(p[0] >= '0' && p[0] <= '9')) {
            m_pending.clear();
        }
    }
    void Answer(const std::string& cmd) {
        if (silent) return;
        std::string& out = m_wire->toLink;
        if (cmd == "X") out += "KOV ready\r\n";
        else if (cmd == "C") out += InfoBlock();
        else if (cmd == "T") out += "T=23 C, OK\r\n";
        else if (cmd == "M") streaming = true;
        else if (cmd == "S") streaming = false;
        else if (cmd.back() == '\r') out += rejectWrites ? "ERR\r\n" : "OK\r\n";
    }
    std::shared_ptr<Wire> m_wire;
    std::string m_pending;
};

}  // namespace linktest
