// The serial layer on a real pseudo-terminal, the port-number mapping, and
// the in-process simulated port.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "SerialPort.h"
#include "SimPort.h"
#include "clsIni.h"
#include "modAPI.h"

namespace {

using Clock = std::chrono::steady_clock;

// A pseudo-terminal pair; the test plays the device on the master side.
struct Pty {
    int master = -1;
    std::string slavePath;
    int heldSlave = -1;
    Pty() {
        char name[256] = {};
        int slave = -1;
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            slavePath = name;
            ::close(slave);
            ::fcntl(master, F_SETFL, O_NONBLOCK);
        }
    }
    ~Pty() { CloseMaster(); }
    void CloseMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    void Write(const std::string& bytes) const { ASSERT_EQ(::write(master, bytes.data(), bytes.size()), (ssize_t)bytes.size()); }
    std::string ReadAll(size_t wanted, int timeoutMs = 1000) const {
        std::string got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < wanted && Clock::now() < deadline) {
            char b[256];
            const ssize_t n = ::read(master, b, sizeof b);
            if (n > 0) got.append(b, static_cast<size_t>(n));
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return got;
    }
};

// The kernel hands bytes across a pseudo-terminal with a small delay.
int WaitForQueue(SerialLayer::Port& port, int wanted) {
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    int n = port.InQueue();
    while (n < wanted && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        n = port.InQueue();
    }
    return n;
}

TEST(SerialPort, OpenSpeedReadFlushAndSend) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = SerialLayer::CreateDevicePort(pty.slavePath);
    EXPECT_EQ(port->GetBaud(), -1) << "closed";
    std::string error = "stale";
    ASSERT_TRUE(port->Open(&error)) << error;
    EXPECT_EQ(error, "");

    port->SetBaud(38400);
    EXPECT_EQ(port->GetBaud(), 38400);
    port->SetBaud(14400);  // no such speed: kept
    EXPECT_EQ(port->GetBaud(), 38400);
    port->SetBaud(1200);
    EXPECT_EQ(port->GetBaud(), 1200);

    // The port is raw: every byte value passes unchanged, CR is not turned into LF.
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.master, &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);

    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    pty.Write(all);
    EXPECT_EQ(WaitForQueue(*port, 256), 256);
    unsigned char buffer[300] = {};
    ASSERT_EQ(port->Read(buffer, 100), 100);
    EXPECT_EQ(WaitForQueue(*port, 156), 156);
    ASSERT_EQ(port->Read(buffer + 100, 200), 156) << "a read never returns more than was waiting";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 256), all);
    EXPECT_EQ(port->Read(buffer, 10), 0) << "nothing waiting: no wait either";

    pty.Write("stale bytes");
    WaitForQueue(*port, 11);
    port->FlushInput();
    EXPECT_EQ(port->InQueue(), 0);

    for (unsigned char c : std::string("352 20000\r")) port->PutChar(c);
    EXPECT_EQ(pty.ReadAll(10), "352 20000\r");

    EXPECT_EQ(port->DataStatus(), 0) << "a pseudo-terminal has no line errors";
    EXPECT_FALSE(port->Lost());
    port->Close();
    EXPECT_EQ(port->GetBaud(), -1);
    EXPECT_EQ(port->InQueue(), 0);
}

TEST(SerialPort, HangUpClosesThePortAndReopeningFailsUntilBack) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = SerialLayer::CreateDevicePort(pty.slavePath);
    ASSERT_TRUE(port->Open(nullptr));
    pty.Write("abc");
    WaitForQueue(*port, 3);
    pty.CloseMaster();  // the adapter is pulled

    const auto start = Clock::now();
    unsigned char buffer[16];
    int polls = 0;
    while (!port->Lost() && Clock::now() - start < std::chrono::seconds(1)) {
        port->InQueue();
        port->Read(buffer, sizeof buffer);
        ++polls;
    }
    EXPECT_TRUE(port->Lost());
    // Once lost, every operation returns at once and does nothing.
    const auto after = Clock::now();
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(port->InQueue(), 0);
        EXPECT_EQ(port->Read(buffer, sizeof buffer), 0);
        port->PutChar('X');
        port->FlushInput();
    }
    EXPECT_LT(Clock::now() - after, std::chrono::milliseconds(200));
    EXPECT_EQ(port->GetBaud(), -1);

    std::string error;
    EXPECT_FALSE(port->Open(&error));
    EXPECT_FALSE(error.empty());
}

TEST(SerialPort, OpenFailuresKeepTheReason) {
    auto missing = SerialLayer::CreateDevicePort("/nonexistent/ttyUSB9");
    std::string error;
    EXPECT_FALSE(missing->Open(&error));
    EXPECT_EQ(error, "No such file or directory");

    char path[] = "/tmp/ora-notatty-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    auto file = SerialLayer::CreateDevicePort(path);
    EXPECT_FALSE(file->Open(&error));
    EXPECT_FALSE(error.empty());
    ::unlink(path);
}

class PortMapping : public ::testing::Test {
protected:
    std::string folder;
    clsIni ini;
    void SetUp() override {
        char tmpl[] = "/tmp/ora-ports-XXXXXX";
        folder = ::mkdtemp(tmpl);
        std::ofstream(folder + "/KOV.ini") << "[GENERAL]\nComport=2\n[PORTS]\n2 = /dev/ttyUSB7 \n3=simulator\n"
                                              "9=/dev/pts/44\n";
        ini.Filename(folder + "/KOV.ini");
    }
    void TearDown() override {
        std::remove((folder + "/KOV.ini").c_str());
        ::rmdir(folder.c_str());
        SerialLayer::RegisterSimulator(nullptr);
    }
};

TEST_F(PortMapping, SectionPortsThenTheDetectedPorts) {
    EXPECT_EQ(SerialLayer::DeviceForComport(2, &ini), "/dev/ttyUSB7");
    EXPECT_EQ(SerialLayer::DeviceForComport(3, &ini), "SIMULATOR");
    EXPECT_EQ(SerialLayer::DeviceForComport(9, &ini), "/dev/pts/44");
    for (int bad : {0, -1, 256}) EXPECT_EQ(SerialLayer::DeviceForComport(bad, &ini), "");

    // Without an entry: the machine's serial ports, numbered 1..n in a stable order.
    const auto detected = SerialLayer::DetectedSerialPorts();
    EXPECT_EQ(detected, SerialLayer::DetectedSerialPorts());
    for (size_t i = 0; i < detected.size() && i < 5; ++i) {
        if (i + 1 == 2 || i + 1 == 3) continue;
        EXPECT_EQ(SerialLayer::DeviceForComport(static_cast<int>(i + 1), &ini), detected[i]);
    }
    EXPECT_EQ(SerialLayer::DeviceForComport(static_cast<int>(detected.size()) + 10, nullptr), "");
}

TEST_F(PortMapping, SimulatorPortComesFromTheRegisteredFactory) {
    std::string device;
    EXPECT_EQ(SerialLayer::CreateForComport(3, &ini, &device), nullptr) << "nothing registered";
    EXPECT_EQ(device, "SIMULATOR");
    Sim::RegisterInProcessSimulator({});
    auto port = SerialLayer::CreateForComport(3, &ini, &device);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->Open(nullptr));
    EXPECT_NE(SerialLayer::CreateForComport(2, &ini, &device), nullptr);
    EXPECT_EQ(device, "/dev/ttyUSB7");
}

// The in-process port runs on the program's clock.
class InProcess : public ::testing::Test {
protected:
    double day = 46000.5;
    void SetUp() override {
        modAPI::SetClock([this] { return day; });
    }
    void TearDown() override {
        modAPI::SetClock(nullptr);
        SerialLayer::RegisterSimulator(nullptr);
    }
    void Advance(double ms) { day += ms / modAPI::MsPerDay; }
};

TEST_F(InProcess, PacedByTheSpeedAndTheProgramsClock) {
    auto model = Sim::RegisterInProcessSimulator({});
    clsIni none;
    auto port = std::make_unique<Sim::InProcessPort>(model);
    ASSERT_TRUE(port->Open(nullptr));
    port->SetBaud(1200);
    EXPECT_EQ(port->GetBaud(), 1200);
    port->PutChar('C');
    const int size = static_cast<int>(model->InfoBlock().size());
    Advance(1000);
    EXPECT_NEAR(port->InQueue(), 120, 2) << "ten bits per byte at 1200 bit/s";
    Advance(size * 10000.0 / 1200);
    EXPECT_EQ(port->InQueue(), size);
    std::string block(static_cast<size_t>(size), '\0');
    EXPECT_EQ(port->Read(reinterpret_cast<unsigned char*>(&block[0]), size + 10), size);
    EXPECT_EQ(block, model->InfoBlock());

    // A program that stops reading loses bytes beyond the driver's buffer, and is told so.
    port->SetBaud(38400);
    model->SetParam(301, 0);  // fastest measuring: the line is the limit
    port->PutChar('M');
    Advance(1900);
    EXPECT_EQ(port->InQueue(), static_cast<int>(Sim::InProcessPort::InputLimit));
    EXPECT_EQ(port->DataStatus(), 8);
    EXPECT_EQ(port->DataStatus(), 0);
    port->FlushInput();
    EXPECT_EQ(port->InQueue(), 0);
}

TEST_F(InProcess, PulledPlugIsALostPort) {
    auto model = Sim::RegisterInProcessSimulator({});
    Sim::InProcessPort port(model);
    ASSERT_TRUE(port.Open(nullptr));
    model->SetUnplugged(true);
    EXPECT_EQ(port.InQueue(), 0);
    EXPECT_TRUE(port.Lost());
    std::string error;
    EXPECT_FALSE(port.Open(&error));
    EXPECT_FALSE(error.empty());
    model->SetUnplugged(false);
    EXPECT_TRUE(port.Open(&error));
    EXPECT_FALSE(port.Lost());
}

}  // namespace
