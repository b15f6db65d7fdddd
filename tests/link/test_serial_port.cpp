// The serial layer on a real pseudo-terminal, and the port-number mapping.
#include <fcntl.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SensorTestSupport.h"
#include "SerialPort.h"
#include "Waiting.h"
#include "clsIni.h"

namespace {

using namespace testsupport;
using Clock = std::chrono::steady_clock;

// The kernel hands bytes across a pseudo-terminal with a small delay.
bool Eventually(const std::function<bool()>& done) { return WaitFor(done); }

// A pseudo-terminal; the test plays the device on the master side.
struct Pty {
    int master = -1, slave = -1;
    char slavePath[256] = {};
    Pty() {
        if (::openpty(&master, &slave, slavePath, nullptr, nullptr) != 0) return;
        ::close(slave);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    void Write(const std::string& bytes) const { ASSERT_EQ(::write(master, bytes.data(), bytes.size()), (ssize_t)bytes.size()); }
    std::string Read(size_t wanted) const {
        std::string got;
        Eventually([&] {
            char b[256];
            const ssize_t n = ::read(master, b, sizeof b);
            if (n > 0) got.append(b, static_cast<size_t>(n));
            return got.size() >= wanted;
        });
        return got;
    }
};

TEST(SerialPort, RawBytesBothWaysSpeedAndFlush) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = SerialLayer::CreateDevicePort(pty.slavePath);
    EXPECT_EQ(port->GetBaud(), -1) << "closed";
    std::string error = "stale";
    ASSERT_TRUE(port->Open(&error)) << error;
    EXPECT_EQ(error, "");
    port->SetBaud(38400);
    port->SetBaud(14400);  // no such speed: kept
    EXPECT_EQ(port->GetBaud(), 38400);

    // Raw: every byte value passes unchanged, nothing is echoed or held back
    // for a line end, and a read never returns more than was waiting.
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    pty.Write(all);
    EXPECT_TRUE(Eventually([&] { return port->InQueue() == 256; }));
    unsigned char buffer[300] = {};
    ASSERT_EQ(port->Read(buffer, 100), 100);
    ASSERT_EQ(port->Read(buffer + 100, 200), 156);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 256), all);
    EXPECT_EQ(port->Read(buffer, 10), 0) << "nothing waiting: no wait either";
    for (unsigned char c : all) EXPECT_TRUE(port->PutChar(c));
    EXPECT_EQ(pty.Read(256), all);

    pty.Write("stale bytes");
    EXPECT_TRUE(Eventually([&] { return port->InQueue() == 11; }));
    port->FlushInput();
    EXPECT_EQ(port->InQueue(), 0);
    EXPECT_EQ(port->DataStatus(), 0) << "a pseudo-terminal has no line errors";
    port->Close();
    EXPECT_EQ(port->GetBaud(), -1);
}

TEST(SerialPort, EveryLinkSpeedReachesTheDevice) {
    // The device side (here the master, as for the simulator's pseudo-terminal
    // server) reads the speed through the same code table.
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = SerialLayer::CreateDevicePort(pty.slavePath);
    std::string error;
    ASSERT_TRUE(port->Open(&error)) << error;
    std::vector<int> speeds(SerialLayer::SensorSpeeds.begin(), SerialLayer::SensorSpeeds.end());
    speeds.insert(speeds.end(), {57600, 115200});
    for (int speed : speeds) {
        EXPECT_TRUE(SerialLayer::IsLinkSpeed(speed)) << speed;
        port->SetBaud(speed);
        EXPECT_EQ(port->GetBaud(), speed);
        termios tio{};
        ASSERT_EQ(::tcgetattr(pty.master, &tio), 0);
        EXPECT_EQ(SerialLayer::SpeedOfCode(::cfgetospeed(&tio)), speed);
    }
    for (int other : {0, 300, 14400, 230400}) EXPECT_FALSE(SerialLayer::IsLinkSpeed(other)) << other;
    EXPECT_EQ(SerialLayer::SpeedOfCode(0x7fffffff), 0);
}

TEST(SerialPort, HangUpIsALostPortThatNeverBlocks) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = SerialLayer::CreateDevicePort(pty.slavePath);
    ASSERT_TRUE(port->Open(nullptr));
    EXPECT_FALSE(port->Lost());
    pty.Write("abc");
    EXPECT_TRUE(Eventually([&] { return port->InQueue() == 3; }));
    ::close(pty.master);  // the adapter is pulled
    pty.master = -1;

    unsigned char buffer[16];
    EXPECT_TRUE(Eventually([&] { return port->Read(buffer, sizeof buffer), port->Lost(); }));
    const auto after = Clock::now();
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(port->InQueue(), 0);
        EXPECT_EQ(port->Read(buffer, sizeof buffer), 0);
        EXPECT_FALSE(port->PutChar('X'));
        port->FlushInput();
    }
    // No call waits: PutChar's wait for room (a second), once per call, would take 1000 times that.
    EXPECT_LT(Clock::now() - after, std::chrono::milliseconds(PatienceMs));
    EXPECT_EQ(port->GetBaud(), -1);

    // Devices that cannot be opened keep the reason.
    std::string error;
    EXPECT_FALSE(port->Open(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(SerialLayer::CreateDevicePort("/nonexistent/ttyUSB9")->Open(&error));
    EXPECT_EQ(error, "No such file or directory");
    ScratchFolder folder;
    std::ofstream(folder.path + "/file") << "not a terminal";
    error.clear();
    EXPECT_FALSE(SerialLayer::CreateDevicePort(folder.path + "/file")->Open(&error));
    EXPECT_FALSE(error.empty());
}

// Fills the output queue of a port whose other end reads nothing: a byte
// either reaches the other end or PutChar says it did not.
class FullOutputQueue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(pty.master, 0);
        port = SerialLayer::CreateDevicePort(pty.slavePath);
        ASSERT_TRUE(port->Open(nullptr));
    }
    // What arrives at the other end until, once `written` is set, the `sent`
    // bytes have come (or nothing more comes for the patience limit), and
    // whatever follows them within 200 ms.
    std::string Drain(const std::atomic<bool>& written, const std::atomic<size_t>& sent) const {
        std::string got;
        auto quiet = Clock::now();
        for (;;) {
            const bool all = written && got.size() >= sent;
            if (Clock::now() - quiet > (all ? std::chrono::milliseconds(200) : std::chrono::milliseconds(PatienceMs)))
                return got;
            char b[4096];
            const ssize_t n = ::read(pty.master, b, sizeof b);
            if (n > 0) {
                got.append(b, static_cast<size_t>(n));
                quiet = Clock::now();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
    static unsigned char Pattern(size_t i) { return static_cast<unsigned char>(i * 7 + i / 251); }

    Pty pty;
    std::unique_ptr<SerialLayer::Port> port;
};

TEST_F(FullOutputQueue, ASlowReaderGetsEveryByte) {
    // The other end starts reading only once the writer has stood still for a
    // while (the queue is full; on a loaded machine that takes a while to
    // happen): PutChar waits for room.
    constexpr size_t total = 256 * 1024;  // far more than a pseudo-terminal buffers
    std::string got;
    std::atomic<bool> written{false};
    std::atomic<size_t> progress{0};
    std::thread reader([&] {
        size_t seen = progress;
        auto still = Clock::now();
        const auto limit = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() - still < std::chrono::milliseconds(300) && Clock::now() < limit && !written) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (progress != seen) {
                seen = progress;
                still = Clock::now();
            }
        }
        got = Drain(written, progress);
    });
    std::string sent;
    auto longest = Clock::duration::zero();
    for (size_t i = 0; i < total; ++i) {
        const auto start = Clock::now();
        const bool ok = port->PutChar(Pattern(i));
        longest = std::max(longest, Clock::now() - start);
        if (!ok) break;
        sent.push_back(static_cast<char>(Pattern(i)));
        progress = sent.size();
    }
    written = true;
    reader.join();
    EXPECT_EQ(sent.size(), total);
    EXPECT_GE(longest, std::chrono::milliseconds(200)) << "the output queue never filled";
    EXPECT_TRUE(got == sent) << "sent " << sent.size() << " bytes, " << got.size() << " arrived";
}

TEST_F(FullOutputQueue, NoReaderReportsTheByteThatDidNotGo) {
    std::string sent;
    bool refused = false;
    auto refusal = Clock::duration::zero();
    const auto end = Clock::now() + std::chrono::seconds(10);
    for (size_t i = 0; i < 4 * 1024 * 1024 && !refused && Clock::now() < end; ++i) {
        const auto start = Clock::now();
        if (port->PutChar(Pattern(i))) {
            sent.push_back(static_cast<char>(Pattern(i)));
        } else {
            refused = true;
            refusal = Clock::now() - start;
        }
    }
    ASSERT_TRUE(refused) << "every byte reported as sent, with nobody reading";
    EXPECT_GE(refusal, std::chrono::milliseconds(900)) << "gave up without waiting for room";
    EXPECT_LT(refusal, std::chrono::milliseconds(PatienceMs)) << "gives up instead of hanging";
    EXPECT_FALSE(port->Lost());
    // Exactly the bytes reported as sent arrived; the refused one did not.
    const std::string got = Drain(std::atomic<bool>{true}, std::atomic<size_t>{sent.size()});
    EXPECT_TRUE(got == sent) << "sent " << sent.size() << " bytes, " << got.size() << " arrived";

    // With room again, the port sends as before.
    EXPECT_TRUE(port->PutChar('!'));
    EXPECT_EQ(pty.Read(1), "!");
}

// A device from [PORTS] is looked at before it is opened: only a character
// device that can be a terminal is opened at all (opening a tape rewinds
// it). Whether anything opened a node, the kernel tells (inotify).
TEST(SerialPort, OnlyACharacterDeviceThatCanBeATerminalIsOpened) {
    ScratchFolder folder;
    const std::string file = folder.path + "/file", fifo = folder.path + "/fifo", null = folder.path + "/null";
    std::ofstream(file) << "x";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> refused = {file, fifo, folder.path};
    // A memory device (the kernel lists it outside the terminals), as a node of our own.
    if (::geteuid() == 0 && ::mknod(null.c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0) refused.push_back(null);

    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    const auto opened = [&] {
        char events[4096];
        return ::read(watch, events, sizeof events) > 0;
    };
    for (const std::string& path : refused) {
        ASSERT_GE(::inotify_add_watch(watch, path.c_str(), IN_OPEN), 0) << path;
        std::string error;
        EXPECT_FALSE(SerialLayer::CreateDevicePort(path)->Open(&error)) << path;
        EXPECT_EQ(error, "not a serial device") << path;
        EXPECT_FALSE(opened()) << path << " was opened";
    }
    ::close(::open(file.c_str(), O_RDONLY));  // the watch does see an open
    EXPECT_TRUE(opened());
    ::close(watch);

    Pty pty;
    std::string error;
    EXPECT_TRUE(SerialLayer::CreateDevicePort(pty.slavePath)->Open(&error)) << error;
}

TEST(PortMapping, SectionPortsThenTheDetectedPorts) {
    ScratchFolder folder;
    std::ofstream(folder.path + "/KOV.ini") << "[PORTS]\n2 = /dev/ttyUSB7 \n3=simulator\n9=/dev/pts/44\n";
    clsIni ini;
    ini.Filename(folder.path + "/KOV.ini");
    EXPECT_EQ(SerialLayer::DeviceForComport(2, &ini), "/dev/ttyUSB7");
    EXPECT_EQ(SerialLayer::DeviceForComport(3, &ini), "SIMULATOR");
    EXPECT_EQ(SerialLayer::DeviceForComport(9, &ini), "/dev/pts/44");
    for (int bad : {0, -1, 256}) EXPECT_EQ(SerialLayer::DeviceForComport(bad, &ini), "");

    // Without an entry: the machine's serial ports, numbered 1..n in a stable order.
    const auto detected = SerialLayer::DetectedSerialPorts();
    EXPECT_EQ(detected, SerialLayer::DetectedSerialPorts());
    for (size_t i = 0; i < detected.size() && i < 5; ++i) {
        if (i + 1 != 2 && i + 1 != 3) {
            EXPECT_EQ(SerialLayer::DeviceForComport(static_cast<int>(i + 1), &ini), detected[i]);
        }
    }
    EXPECT_EQ(SerialLayer::DeviceForComport(static_cast<int>(detected.size()) + 10, nullptr), "");
}

}  // namespace
