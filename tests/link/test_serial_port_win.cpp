// The Windows serial backend: port names, line status bits, ports that
// cannot be opened, and, when a simulated sensor is mapped to a COM port
// (ORA_TEST_COM_PORT=5, set by scripts/test-windows.sh), the real port with
// the link on top of it.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "SerialPort.h"
#include "SerialPortWinNames.h"
#include "clsKOV.h"
#include "modKOVComm.h"
#include "SensorTestSupport.h"

namespace {

using namespace SerialLayer;

TEST(WinSerialNames, ComNamesBecomeDevicePathsAndNumbers) {
    EXPECT_EQ(WinNames::DevicePath("COM5"), "\\\\.\\COM5");
    EXPECT_EQ(WinNames::DevicePath("com12"), "\\\\.\\com12");
    EXPECT_EQ(WinNames::DevicePath("\\\\.\\COM7"), "\\\\.\\COM7");
    // Not a COM name: left as it is.
    for (const char* other : {"COM", "COM0", "COM256", "COMX", "C:\\data\\port", "LPT1", "COM1x", ""})
        EXPECT_EQ(WinNames::DevicePath(other), other) << other;

    EXPECT_EQ(WinNames::ComNumber("COM1"), 1);
    EXPECT_EQ(WinNames::ComNumber("\\\\.\\COM255"), 255);
    EXPECT_EQ(WinNames::ComNumber("cOm42"), 42);
    for (const char* bad : {"COM0", "COM256", "COM007", "COM-1", "COM 1", "\\\\.\\LPT1", "COM99999", "COM"})
        EXPECT_EQ(WinNames::ComNumber(bad), 0) << bad;
}

TEST(WinSerialNames, LineErrorsAndGoneDevices) {
    EXPECT_EQ(WinNames::StatusOfErrors(0), 0);
    EXPECT_EQ(WinNames::StatusOfErrors(CE_RXPARITY), 1);
    EXPECT_EQ(WinNames::StatusOfErrors(CE_FRAME), 2);
    EXPECT_EQ(WinNames::StatusOfErrors(CE_OVERRUN), 4);
    EXPECT_EQ(WinNames::StatusOfErrors(CE_RXOVER), 8);
    EXPECT_EQ(WinNames::StatusOfErrors(CE_RXPARITY | CE_OVERRUN | CE_BREAK | CE_TXFULL), 5);

    for (unsigned long gone : {ERROR_BAD_COMMAND, ERROR_DEVICE_NOT_CONNECTED, ERROR_GEN_FAILURE, ERROR_INVALID_HANDLE})
        EXPECT_TRUE(WinNames::MeansDeviceGone(gone)) << gone;
    for (unsigned long passing : {ERROR_SUCCESS, ERROR_IO_PENDING, ERROR_TIMEOUT, ERROR_MORE_DATA})
        EXPECT_FALSE(WinNames::MeansDeviceGone(passing)) << passing;
}

TEST(WinSerialPort, APortThatCannotBeOpenedSaysWhyAndStaysInert) {
    // COM200 does not exist; a plain file is no serial port.
    testsupport::ScratchFolder dir;
    const std::string file = dir.path + "\\not-a-port.txt";
    std::ofstream(std::filesystem::u8path(file)) << "x";
    for (const std::string& device : {std::string("\\\\.\\COM200"), file}) {
        auto port = CreateDevicePort(device);
        std::string error;
        EXPECT_FALSE(port->Open(&error)) << device;
        EXPECT_FALSE(error.empty()) << device;
        EXPECT_FALSE(port->Lost());
        EXPECT_EQ(port->GetBaud(), -1);
        EXPECT_EQ(port->InQueue(), 0);
        unsigned char buffer[8];
        EXPECT_EQ(port->Read(buffer, sizeof buffer), 0);
        EXPECT_FALSE(port->PutChar('S'));
        EXPECT_EQ(port->DataStatus(), 0);
        port->FlushInput();
        port->Close();
    }
    // Port numbers map to the COM device of the same number.
    EXPECT_EQ(DeviceForComport(5, nullptr), "\\\\.\\COM5");
    EXPECT_EQ(DeviceForComport(0, nullptr), "");
}

// The simulated sensor behind a real COM port, when the test run provides one.
int SensorComPort() {
    const char* text = std::getenv("ORA_TEST_COM_PORT");
    return text ? std::atoi(text) : 0;
}

std::string ReadFor(Port& port, std::chrono::milliseconds patience, const std::string& until) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline && got.find(until) == std::string::npos) {
        const int waiting = port.InQueue();
        if (waiting > 0) {
            std::string chunk(static_cast<size_t>(waiting), '\0');
            const int n = port.Read(reinterpret_cast<unsigned char*>(chunk.data()), waiting);
            EXPECT_LE(n, waiting);
            got.append(chunk, 0, static_cast<size_t>(std::max(n, 0)));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return got;
}

TEST(WinSerialPort, TalksToTheSensorThroughTheComPort) {
    const int com = SensorComPort();
    if (com <= 0) GTEST_SKIP() << "no simulated sensor on a COM port (ORA_TEST_COM_PORT)";
    auto port = CreateDevicePort("\\\\.\\COM" + std::to_string(com));
    std::string error;
    ASSERT_TRUE(port->Open(&error)) << error;
    EXPECT_EQ(error, "");
    port->SetBaud(38400);
    EXPECT_EQ(port->GetBaud(), 38400);
    port->SetBaud(14400);  // not a speed the layer sets: ignored
    EXPECT_EQ(port->GetBaud(), 38400);

    // Reads never wait: nothing asked, nothing read (a read that waited
    // for data would never return).
    unsigned char buffer[64];
    port->FlushInput();
    EXPECT_EQ(port->Read(buffer, sizeof buffer), 0);

    ASSERT_TRUE(port->PutChar('C'));
    const std::string block = ReadFor(*port, std::chrono::seconds(30), "end\r\n");
    EXPECT_NE(block.find("Serial-No: 30514\r\n"), std::string::npos) << block;
    EXPECT_NE(block.find("end\r\n"), std::string::npos) << block;
    EXPECT_EQ(port->DataStatus(), 0);

    // A stream of values; once it stopped (the sensor answers "C" again),
    // a block that waits in full is thrown away by FlushInput.
    ASSERT_TRUE(port->PutChar('M'));
    const std::string values = ReadFor(*port, std::chrono::seconds(30), "\r\n");
    EXPECT_FALSE(values.empty());
    ASSERT_TRUE(port->PutChar('S'));
    ASSERT_TRUE(port->PutChar('C'));
    EXPECT_NE(ReadFor(*port, std::chrono::seconds(30), "end\r\n").find("end\r\n"), std::string::npos);
    ASSERT_TRUE(port->PutChar('C'));  // on a quiet line: the answer alone
    const std::string answer = ReadFor(*port, std::chrono::seconds(30), "end\r\n");
    ASSERT_TRUE(port->PutChar('C'));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (port->InQueue() < static_cast<int>(answer.size()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(port->InQueue(), static_cast<int>(answer.size()));
    port->FlushInput();
    EXPECT_EQ(port->InQueue(), 0);
    EXPECT_FALSE(port->Lost());
    port->Close();
    EXPECT_EQ(port->GetBaud(), -1);
}

TEST(WinSerialPort, TheLinkReadsTheSensorsIdentityByPortNumber) {
    const int com = SensorComPort();
    if (com <= 0) GTEST_SKIP() << "no simulated sensor on a COM port (ORA_TEST_COM_PORT)";
    testsupport::CleanHooks hooks;
    clsKOV link;
    link.OpenComPort(com, 9600);
    ASSERT_TRUE(link.PortIsOpen()) << link.DevicePath();
    EXPECT_EQ(link.CommBaudrate(), 9600);
    link.CurrentTime = modAPI::NowWithMs();
    link.SendCommand("C");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (link.EventNr != modKOVComm::Event::Configuration && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        testsupport::MonitorTick(link, com, 9600);
    }
    EXPECT_EQ(link.EventNr, modKOVComm::Event::Configuration);
    EXPECT_EQ(link.SerialNo, "30514");
    EXPECT_EQ(link.SWVersion, "3.12");
    link.CloseComPort();
    EXPECT_FALSE(link.PortIsOpen());
}

}  // namespace
