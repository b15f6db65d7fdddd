#pragma once
// The serial layer under the link object: the nine operations the link needs
// (open, close, set speed, read speed back, line status, bytes waiting, read,
// discard input, send one byte), behind one interface so that a real port
// (POSIX termios in SerialPort.cpp, Win32 in SerialPortWin.cpp), a network
// port (NetworkPort.h) and the built-in simulated sensor are interchangeable.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class clsIni;

namespace SerialLayer {

class Port {
public:
    virtual ~Port() = default;
    // Opens the device; false with a reason ("Permission denied"...) when it cannot.
    virtual bool Open(std::string* error) = 0;
    virtual void Close() = 0;
    virtual void SetBaud(int bitsPerSecond) = 0;
    virtual int GetBaud() = 0;                                  // <= 0 when closed
    // Line errors since the last call: bit 0 parity, 1 framing, 2 overrun, 3 overflow.
    virtual int DataStatus() = 0;
    virtual int InQueue() = 0;                                  // bytes waiting
    virtual int Read(unsigned char* buffer, int length) = 0;    // bytes read, never more than length
    virtual void FlushInput() = 0;                              // discards what is waiting
    // Sends one byte: true once it went out; false when it could not be sent
    // (closed or lost port, or no room in the output queue within about a second).
    virtual bool PutChar(unsigned char byte) = 0;
    // True once the device went away (hang-up, unplugged adapter).
    virtual bool Lost() const = 0;
    // Why it went away, when the layer can tell ("" otherwise).
    virtual std::string LostReason() const { return {}; }
    // After a failed Open: the port is still being opened (a network
    // connection under way), Open again later; its error says so.
    virtual bool OpenInProgress() const { return false; }
    // Milliseconds every answer deadline of the protocol grows by on this
    // port (a network round trip); 0 for a local line.
    virtual int ReplyAllowanceMs() const { return 0; }
};

// The speeds the sensor runs at (bit/s), in the order of its baud-rate
// parameter (index 0..5) and of the speed lists in the windows.
inline constexpr std::array<int, 6> SensorSpeeds = {1200, 2400, 4800, 9600, 19200, 38400};

// The speeds the program sets on a port: the sensor's, 57600 and 115200; others are ignored.
bool IsLinkSpeed(int bitsPerSecond);

#ifndef _WIN32
// Bit/s of a termios speed code (B9600 gives 9600); 0 for a code the serial layer does not set.
int SpeedOfCode(unsigned long code);
#endif

// Creates a port for a device path (e.g. "/dev/ttyUSB0", a pseudo-terminal)
// or a network address ("rfc2217://192.0.2.10:4001", see NetworkPort.h).
std::unique_ptr<Port> CreateDevicePort(const std::string& devicePath);

// The built-in simulated sensor is offered by whoever links it in (the program,
// the tests): the factory is registered here, so the link does not depend on it.
using PortFactory = std::function<std::unique_ptr<Port>()>;
void RegisterSimulator(PortFactory factory);

// Device for port number `comport` (1..255): section PORTS of KOV.ini
// (key = number, value = device path or SIMULATOR), else the platform default.
// Returns "" when no device is known for that number.
std::string DeviceForComport(int comport, const clsIni* settings);

// Serial devices found on this machine, in the order that numbers them 1..n
// when KOV.ini has no PORTS entry (Linux: on-board /dev/ttyS* that have a UART,
// then /dev/ttyUSB*, then /dev/ttyACM*, each group by number).
std::vector<std::string> DetectedSerialPorts();

// Why this user cannot open a device, when the reason is a missing group
// membership: the device's group may read and write it, the process is not in
// that group, and neither the owner's nor everybody's rights let it in
// (Linux: a serial adapter belongs to group "dialout"). `group` is empty when
// that is not the reason (the device opens, is missing, or refuses for
// another reason). `accountInGroup`: the user's account is in the group
// already, only this login session is not (the user has to log in again).
struct GroupProblem {
    std::string group;
    bool accountInGroup = false;
};
GroupProblem MissingGroupForDevice(const std::string& devicePath);

// Port object for a port number, or nullptr when no device is known.
std::unique_ptr<Port> CreateForComport(int comport, const clsIni* settings, std::string* device);

}  // namespace SerialLayer
