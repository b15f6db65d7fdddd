// Serial layer: port-number mapping, simulator registration and the POSIX
// termios backend. The Windows backend lives in SerialPortWin.cpp.
#include "SerialPort.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "NetworkPort.h"
#include "clsIni.h"
#include "modFunctions.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#include <sys/sysmacros.h>
#endif
#endif

namespace SerialLayer {
namespace {

// How long PutChar waits for room in a full output queue.
constexpr std::chrono::milliseconds kPutCharPatience{1000};

PortFactory& SimulatorFactory() {
    static PortFactory factory;
    return factory;
}

using modFunctions::Trim;

bool IsSimulatorName(const std::string& text) { return modFunctions::EqualIgnoringCase(text, "SIMULATOR"); }

#ifndef _WIN32

struct SpeedEntry {
    int bitsPerSecond;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

bool SpeedCode(int bitsPerSecond, speed_t* code) {
    for (const auto& e : kSpeeds) {
        if (e.bitsPerSecond == bitsPerSecond) {
            *code = e.code;
            return true;
        }
    }
    return false;
}

constexpr const char* kNotASerialDevice = "not a serial device";

// Whether the character device `device` may be a terminal: the kernel lists
// its devices with their class (Linux: /sys/dev/char/MAJOR:MINOR/subsystem),
// and a device it lists in another class (a tape, a memory device) is none.
// Pseudo-terminals and systems without that list are not turned away here.
bool CanBeTerminal(dev_t device) {
#if defined(__linux__)
    const std::string entry =
        "/sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + "/subsystem";
    char target[256];
    const ssize_t n = ::readlink(entry.c_str(), target, sizeof target - 1);
    if (n <= 0) return true;
    const std::string subsystem(target, static_cast<size_t>(n));
    return subsystem.size() >= 4 && subsystem.compare(subsystem.size() - 4, 4, "/tty") == 0;
#else
    (void)device;
    return true;
#endif
}

// A serial device (or pseudo-terminal) driven through termios. Everything is
// non-blocking: the monitor tick polls, it never waits for input.
class PosixPort final : public Port {
public:
    explicit PosixPort(std::string path) : m_Path(std::move(path)) {}
    ~PosixPort() override { Close(); }

    bool Open(std::string* error) override {
        Close();
        // Opening some devices does something (a tape rewinds, a disk is
        // locked): only a character device that can be a terminal is opened.
        struct stat st{};
        if (::stat(m_Path.c_str(), &st) != 0) return Fail(error, errno);
        if (!S_ISCHR(st.st_mode) || !CanBeTerminal(st.st_rdev)) return Fail(error, kNotASerialDevice);
        const int fd = ::open(m_Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return Fail(error, errno);
        struct stat opened{};
        if (::fstat(fd, &opened) != 0 || opened.st_rdev != st.st_rdev || !::isatty(fd)) {
            ::close(fd);
            return Fail(error, kNotASerialDevice);
        }
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0) {
            const int err = errno;
            ::close(fd);
            return Fail(error, err);
        }
        // Raw 8N1, receiver on, modem lines ignored, no flow control of any kind.
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
#ifdef CRTSCTS
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
        tio.c_cflag |= CS8 | CREAD | CLOCAL;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
        tio.c_iflag |= IGNBRK;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        // A port that never had a speed gets the sensor's factory speed until the caller sets one.
        if (SpeedOfCode(::cfgetospeed(&tio)) == 0) ::cfsetspeed(&tio, B9600);
        if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
            const int err = errno;
            ::close(fd);
            return Fail(error, err);
        }
        // Whatever waited in the driver before we opened belongs to nobody.
        ::tcflush(fd, TCIFLUSH);
        m_Fd = fd;
        m_Lost = false;
        m_HaveCounters = ReadCounters(&m_LastCounters);
        if (error) error->clear();
        return true;
    }

    void Close() override {
        if (m_Fd >= 0) {
            ::close(m_Fd);
            m_Fd = -1;
        }
    }

    void SetBaud(int bitsPerSecond) override {
        speed_t code;
        if (m_Fd < 0 || !SpeedCode(bitsPerSecond, &code)) return;
        termios tio{};
        if (::tcgetattr(m_Fd, &tio) != 0) {
            CheckGone(errno);
            return;
        }
        ::cfsetspeed(&tio, code);
        if (::tcsetattr(m_Fd, TCSANOW, &tio) != 0) CheckGone(errno);
    }

    int GetBaud() override {
        if (m_Fd < 0) return -1;
        termios tio{};
        if (::tcgetattr(m_Fd, &tio) != 0) {
            CheckGone(errno);
            return -1;
        }
        const int speed = SpeedOfCode(::cfgetospeed(&tio));
        return speed > 0 ? speed : -1;
    }

    int DataStatus() override {
        if (m_Fd < 0 || !m_HaveCounters) return 0;
        Counters now{};
        if (!ReadCounters(&now)) return 0;
        int status = 0;
        if (now.parity != m_LastCounters.parity) status |= 1;
        if (now.frame != m_LastCounters.frame) status |= 2;
        if (now.overrun != m_LastCounters.overrun) status |= 4;
        if (now.bufferOverrun != m_LastCounters.bufferOverrun) status |= 8;
        m_LastCounters = now;
        return status;
    }

    int InQueue() override {
        if (m_Fd < 0 || CheckHangup()) return 0;
        int waiting = 0;
        if (::ioctl(m_Fd, FIONREAD, &waiting) != 0) {
            CheckGone(errno);
            return 0;
        }
        return waiting > 0 ? waiting : 0;
    }

    int Read(unsigned char* buffer, int length) override {
        if (m_Fd < 0 || buffer == nullptr || length <= 0) return 0;
        int total = 0;
        while (total < length) {
            const ssize_t n = ::read(m_Fd, buffer + total, static_cast<size_t>(length - total));
            if (n > 0) {
                total += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            // End of file or a hard error: a terminal only says so when its line is gone.
            if (n < 0) CheckGone(errno);
            else CheckHangup();
            break;
        }
        return total;
    }

    void FlushInput() override {
        if (m_Fd >= 0 && ::tcflush(m_Fd, TCIFLUSH) != 0) CheckGone(errno);
    }

    bool PutChar(unsigned char byte) override {
        if (m_Fd < 0) return false;
        // A full output queue drains at the line's speed: wait for room, but
        // not for ever. A byte is either sent or reported as not sent.
        const auto deadline = std::chrono::steady_clock::now() + kPutCharPatience;
        for (;;) {
            const ssize_t n = ::write(m_Fd, &byte, 1);
            if (n == 1) return true;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                CheckGone(errno);
                return false;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{m_Fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR) return false;
            if (ready > 0 && (p.revents & POLLOUT) == 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                MarkLost();
                return false;
            }
        }
    }

    bool Lost() const override { return m_Lost; }

private:
    struct Counters {
        long parity = 0, frame = 0, overrun = 0, bufferOverrun = 0;
    };

    bool ReadCounters(Counters* out) const {
#if defined(__linux__) && defined(TIOCGICOUNT)
        serial_icounter_struct icount{};
        if (::ioctl(m_Fd, TIOCGICOUNT, &icount) != 0) return false;  // pseudo-terminals, USB CDC: none
        out->parity = icount.parity;
        out->frame = icount.frame;
        out->overrun = icount.overrun;
        out->bufferOverrun = icount.buf_overrun;
        return true;
#else
        (void)out;
        return false;
#endif
    }

    static bool Fail(std::string* error, int err) { return Fail(error, std::strerror(err)); }
    static bool Fail(std::string* error, const char* text) {
        if (error) *error = text;
        return false;
    }

    // The device went away (adapter unplugged, other end of a pseudo-terminal
    // closed): close it, so the caller sees a closed port and retries opening.
    void MarkLost() {
        m_Lost = true;
        Close();
    }

    void CheckGone(int err) {
        if (err == EIO || err == ENXIO || err == ENODEV || err == EBADF) MarkLost();
    }

    bool CheckHangup() {
        pollfd p{m_Fd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            MarkLost();
            return true;
        }
        return false;
    }

    std::string m_Path;
    int m_Fd = -1;
    bool m_Lost = false;
    bool m_HaveCounters = false;
    Counters m_LastCounters;
};

// Number at the end of a device name ("ttyUSB12" -> 12), -1 when none.
long TrailingNumber(const std::string& name, size_t prefixLength) {
    if (name.size() <= prefixLength) return -1;
    long value = 0;
    for (size_t i = prefixLength; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
        value = value * 10 + (name[i] - '0');
        if (value > 1000000) return -1;
    }
    return value;
}

bool ReadsNonZero(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    long value = 0;
    const bool ok = std::fscanf(f, "%ld", &value) == 1;
    std::fclose(f);
    return ok && value != 0;
}

#endif  // !_WIN32

}  // namespace

#ifndef _WIN32

std::vector<std::string> DetectedSerialPorts() {
    // On-board UARTs first (their names never change), then USB adapters and
    // USB modems; each group by number. A ttyS node without a UART behind it
    // (the kernel lists several legacy ones) is left out.
    struct Group {
        const char* prefix;
        bool needsUart;
    };
    static const Group kGroups[] = {{"ttyS", true}, {"ttyUSB", false}, {"ttyACM", false}};
    std::vector<std::tuple<size_t, long, std::string>> found;  // group, number, device
    if (DIR* dir = ::opendir("/sys/class/tty")) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            for (size_t g = 0; g < std::size(kGroups); ++g) {
                const size_t prefixLength = std::strlen(kGroups[g].prefix);
                if (name.compare(0, prefixLength, kGroups[g].prefix) != 0) continue;
                const long number = TrailingNumber(name, prefixLength);
                if (number < 0) continue;
                const std::string sys = "/sys/class/tty/" + name;
                struct stat st{};
                if (::stat((sys + "/device").c_str(), &st) != 0) break;
                if (kGroups[g].needsUart && !ReadsNonZero(sys + "/type")) break;
                if (::stat(("/dev/" + name).c_str(), &st) != 0) break;
                found.emplace_back(g, number, "/dev/" + name);
                break;
            }
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> result;
    for (auto& f : found) result.push_back(std::move(std::get<2>(f)));
    return result;
}

int SpeedOfCode(unsigned long code) {
    for (const auto& e : kSpeeds) {
        if (e.code == code) return e.bitsPerSecond;
    }
    return 0;
}

std::unique_ptr<Port> CreateDevicePort(const std::string& devicePath) {
    if (IsNetworkAddress(devicePath)) return CreateNetworkPort(devicePath);
    return std::make_unique<PosixPort>(devicePath);
}

#endif  // !_WIN32

bool IsLinkSpeed(int bitsPerSecond) {
    if (bitsPerSecond == 57600 || bitsPerSecond == 115200) return true;
    return std::find(SensorSpeeds.begin(), SensorSpeeds.end(), bitsPerSecond) != SensorSpeeds.end();
}

void RegisterSimulator(PortFactory factory) { SimulatorFactory() = std::move(factory); }

std::string DeviceForComport(int comport, const clsIni* settings) {
    if (comport < 1 || comport > 255) return {};
    if (settings) {
        const std::string configured = Trim(settings->GetSetting("PORTS", std::to_string(comport), ""));
        if (!configured.empty()) return IsSimulatorName(configured) ? std::string("SIMULATOR") : configured;
    }
#ifdef _WIN32
    return "\\\\.\\COM" + std::to_string(comport);
#else
    const auto ports = DetectedSerialPorts();
    if (static_cast<size_t>(comport) > ports.size()) return {};
    return ports[static_cast<size_t>(comport) - 1];
#endif
}

GroupProblem MissingGroupForDevice(const std::string& devicePath) {
    GroupProblem problem;
#ifndef _WIN32
    struct stat st{};
    if (devicePath.empty() || ::stat(devicePath.c_str(), &st) != 0) return problem;
    if (::geteuid() == 0) return problem;
    if (::access(devicePath.c_str(), R_OK | W_OK) == 0 || errno != EACCES) return problem;
    // Only a group that may read and write the device can be the way in.
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return problem;
    if (st.st_uid == ::geteuid()) return problem;  // the owner's own rights say no
    if (::getegid() == st.st_gid) return problem;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<size_t>(count) : 0);
    if (count > 0 && ::getgroups(count, groups.data()) == count &&
        std::find(groups.begin(), groups.end(), st.st_gid) != groups.end())
        return problem;  // in the group and still refused: not a membership question
    if (const group* g = ::getgrgid(st.st_gid))
        problem.group = g->gr_name;
    else
        problem.group = std::to_string(st.st_gid);
    // Is the account in the group already, waiting for the next login?
    if (const passwd* pw = ::getpwuid(::geteuid())) {
        int n = 64;
        std::vector<gid_t> account(static_cast<size_t>(n));
        if (::getgrouplist(pw->pw_name, pw->pw_gid, account.data(), &n) < 0 && n > 0) {
            account.resize(static_cast<size_t>(n));
            if (::getgrouplist(pw->pw_name, pw->pw_gid, account.data(), &n) < 0) n = 0;
        }
        account.resize(static_cast<size_t>(std::max(n, 0)));
        problem.accountInGroup = std::find(account.begin(), account.end(), st.st_gid) != account.end();
    }
#else
    (void)devicePath;
#endif
    return problem;
}

std::unique_ptr<Port> CreateForComport(int comport, const clsIni* settings, std::string* device) {
    const std::string path = DeviceForComport(comport, settings);
    if (device) *device = path;
    if (path.empty()) return nullptr;
    if (path == "SIMULATOR") {
        const auto& factory = SimulatorFactory();
        return factory ? factory() : nullptr;
    }
    return CreateDevicePort(path);
}

}  // namespace SerialLayer
