// Windows backend of the serial layer: a COM port opened with CreateFile on
// "\\.\COMn", raw 8N1 without flow control, reads that never wait, writes
// that wait about a second at most, and the line errors through
// ClearCommError. Port numbers map to "\\.\COMn" in SerialPort.cpp.
#ifdef _WIN32
#include "WindowsApi.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "NetworkPort.h"
#include "SerialPort.h"
#include "SerialPortWinNames.h"
#include "modAPI.h"

namespace SerialLayer {

namespace WinNames {

std::string DevicePath(const std::string& name) {
    // "COM12" and "com12" become "\\.\COM12"; names that already carry a
    // device prefix, or are a path of another kind, are taken as they are.
    if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
        (name[2] == 'M' || name[2] == 'm') && ComNumber(name) > 0)
        return "\\\\.\\" + name;
    return name;
}

int ComNumber(const std::string& name) {
    std::string rest = name;
    if (rest.compare(0, 4, "\\\\.\\") == 0) rest = rest.substr(4);
    if (rest.size() < 4 || rest.size() > 6) return 0;
    if (!((rest[0] == 'C' || rest[0] == 'c') && (rest[1] == 'O' || rest[1] == 'o') && (rest[2] == 'M' || rest[2] == 'm')))
        return 0;
    int number = 0;
    for (size_t i = 3; i < rest.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return 0;
        number = number * 10 + (rest[i] - '0');
    }
    return number >= 1 && number <= 255 && rest[3] != '0' ? number : 0;
}

int StatusOfErrors(unsigned long errors) {
    int status = 0;
    if (errors & CE_RXPARITY) status |= 1;
    if (errors & CE_FRAME) status |= 2;
    if (errors & CE_OVERRUN) status |= 4;
    if (errors & CE_RXOVER) status |= 8;
    return status;
}

// ERROR_NO_SUCH_DEVICE, which not every SDK's headers name.
constexpr unsigned long kErrorNoSuchDevice = 433;

bool MeansDeviceGone(unsigned long error) {
    switch (error) {
    case ERROR_INVALID_HANDLE:
    case ERROR_BAD_COMMAND:           // USB serial drivers after the adapter was pulled
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_ACCESS_DENIED:         // some drivers once the device object is gone
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case kErrorNoSuchDevice:
    case ERROR_BROKEN_PIPE:
        return true;
    default:
        return false;
    }
}

}  // namespace WinNames

namespace {

// How long PutChar waits for room in a full output queue.
constexpr DWORD kPutCharPatienceMs = 1000;

// Speeds a port may be set to; others are ignored, as on the other platforms.
constexpr int kSpeeds[] = {50,   75,    110,   134,   150,   200,   300,    600,    1200,   1800,
                           2400, 4800,  9600,  19200, 38400, 57600, 115200, 230400, 460800, 921600};

bool IsSettableSpeed(int bitsPerSecond) {
    return std::find(std::begin(kSpeeds), std::end(kSpeeds), bitsPerSecond) != std::end(kSpeeds);
}

class Win32Port final : public Port {
public:
    explicit Win32Port(std::string path) : m_Path(std::move(path)) {}
    ~Win32Port() override { Close(); }

    bool Open(std::string* error) override {
        Close();
        const std::wstring device = modAPI::Utf8ToWide(WinNames::DevicePath(m_Path));
        HANDLE h = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return Fail(error, GetLastError());
        if (GetFileType(h) != FILE_TYPE_CHAR) {  // a plain file or a pipe is no serial port
            CloseHandle(h);
            return Fail(error, ERROR_BAD_DEVICE);
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(h, &dcb)) {
            const DWORD err = GetLastError();
            CloseHandle(h);
            return Fail(error, err);
        }
        // Raw 8N1, modem lines ignored, no flow control and no character
        // replacement of any kind; DTR and RTS on, as terminal programs leave them.
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fTXContinueOnXoff = TRUE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;  // an error must not stop all later reads and writes
        // A port that never had a speed gets the sensor's factory speed until the caller sets one.
        if (!IsSettableSpeed(static_cast<int>(dcb.BaudRate))) dcb.BaudRate = CBR_9600;
        if (!SetCommState(h, &dcb)) {
            const DWORD err = GetLastError();
            CloseHandle(h);
            return Fail(error, err);
        }
        SetupComm(h, 4096, 4096);  // a request; drivers may keep their own sizes
        // Reads return at once with whatever is waiting; a write gives up
        // after the patience (the byte is then reported as not sent).
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 0;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = kPutCharPatienceMs;
        if (!SetCommTimeouts(h, &timeouts)) {
            const DWORD err = GetLastError();
            CloseHandle(h);
            return Fail(error, err);
        }
        // Whatever waited in the driver before we opened belongs to nobody.
        PurgeComm(h, PURGE_RXCLEAR | PURGE_RXABORT);
        DWORD errors = 0;
        ClearCommError(h, &errors, nullptr);
        m_Handle = h;
        m_Lost = false;
        m_PendingStatus = 0;
        if (error) error->clear();
        return true;
    }

    void Close() override {
        if (m_Handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_Handle);
            m_Handle = INVALID_HANDLE_VALUE;
        }
    }

    void SetBaud(int bitsPerSecond) override {
        if (m_Handle == INVALID_HANDLE_VALUE || !IsSettableSpeed(bitsPerSecond)) return;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(m_Handle, &dcb)) {
            CheckGone(GetLastError());
            return;
        }
        dcb.BaudRate = static_cast<DWORD>(bitsPerSecond);
        if (!SetCommState(m_Handle, &dcb)) CheckGone(GetLastError());
    }

    int GetBaud() override {
        if (m_Handle == INVALID_HANDLE_VALUE) return -1;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(m_Handle, &dcb)) {
            CheckGone(GetLastError());
            return -1;
        }
        return dcb.BaudRate > 0 ? static_cast<int>(dcb.BaudRate) : -1;
    }

    int DataStatus() override {
        if (m_Handle != INVALID_HANDLE_VALUE) Poll();
        const int status = m_PendingStatus;
        m_PendingStatus = 0;
        return status;
    }

    int InQueue() override {
        if (m_Handle == INVALID_HANDLE_VALUE) return 0;
        COMSTAT stat{};
        if (!Poll(&stat)) return 0;
        return stat.cbInQue > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(stat.cbInQue);
    }

    int Read(unsigned char* buffer, int length) override {
        if (m_Handle == INVALID_HANDLE_VALUE || buffer == nullptr || length <= 0) return 0;
        DWORD got = 0;
        if (!ReadFile(m_Handle, buffer, static_cast<DWORD>(length), &got, nullptr)) {
            const DWORD err = GetLastError();
            // A line error with the abort flag set by a driver: clear it and go on.
            if (err == ERROR_OPERATION_ABORTED && Poll()) return 0;
            CheckGone(err);
            return 0;
        }
        return static_cast<int>(std::min<DWORD>(got, static_cast<DWORD>(length)));
    }

    void FlushInput() override {
        if (m_Handle != INVALID_HANDLE_VALUE && !PurgeComm(m_Handle, PURGE_RXCLEAR)) CheckGone(GetLastError());
    }

    bool PutChar(unsigned char byte) override {
        if (m_Handle == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        if (!WriteFile(m_Handle, &byte, 1, &written, nullptr)) {
            CheckGone(GetLastError());
            return false;
        }
        return written == 1;  // 0: the write time-out passed with the queue still full
    }

    bool Lost() const override { return m_Lost; }

private:
    // ClearCommError both reports and clears the line errors: every call
    // keeps them for the next DataStatus, so that the bytes-waiting query of
    // every tick does not swallow them.
    bool Poll(COMSTAT* stat = nullptr) {
        DWORD errors = 0;
        COMSTAT local{};
        if (!ClearCommError(m_Handle, &errors, stat ? stat : &local)) {
            CheckGone(GetLastError());
            return false;
        }
        m_PendingStatus |= WinNames::StatusOfErrors(errors);
        return true;
    }

    static bool Fail(std::string* error, DWORD code) {
        if (error) *error = modAPI::SystemErrorText(code);
        return false;
    }

    // The device went away (adapter unplugged): close it, so the caller sees
    // a closed port and retries opening.
    void CheckGone(DWORD err) {
        if (!WinNames::MeansDeviceGone(err)) return;
        m_Lost = true;
        Close();
    }

    std::string m_Path;
    HANDLE m_Handle = INVALID_HANDLE_VALUE;
    bool m_Lost = false;
    int m_PendingStatus = 0;
};

// COM port names the system knows: the serial devices in the registry
// (present hardware), and every name "COMn" the object manager resolves
// (also ports of drivers that do not register, and Wine's mapped ports).
std::vector<int> KnownComNumbers() {
    std::vector<int> numbers;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = static_cast<DWORD>(std::size(name));
            wchar_t data[64];
            DWORD dataBytes = sizeof data - sizeof(wchar_t);
            DWORD type = 0;
            const LONG rc = RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                          &dataBytes);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
            data[dataBytes / sizeof(wchar_t)] = L'\0';
            const int n = WinNames::ComNumber(modAPI::WideToUtf8(data));
            if (n > 0) numbers.push_back(n);
        }
        RegCloseKey(key);
    }
    for (int n = 1; n <= 255; ++n) {
        wchar_t target[512];
        const std::wstring name = L"COM" + std::to_wstring(n);
        if (QueryDosDeviceW(name.c_str(), target, static_cast<DWORD>(std::size(target))) != 0) numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

}  // namespace

std::vector<std::string> DetectedSerialPorts() {
    std::vector<std::string> ports;
    for (int n : KnownComNumbers()) ports.push_back("\\\\.\\COM" + std::to_string(n));
    return ports;
}

std::unique_ptr<Port> CreateDevicePort(const std::string& devicePath) {
    if (IsNetworkAddress(devicePath)) return CreateNetworkPort(devicePath);
    return std::make_unique<Win32Port>(devicePath);
}

}  // namespace SerialLayer
#endif  // _WIN32
