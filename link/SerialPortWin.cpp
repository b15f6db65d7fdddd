// Windows backend of the serial layer: the seam is CreateDevicePort and
// DetectedSerialPorts. Port numbers map to "\\.\COMn" (see SerialPort.cpp);
// the Win32 port (CreateFile, SetCommState, ClearCommError for the bytes
// waiting and the line errors, PurgeComm, WriteFile) is still to be written.
// Until then such a port refuses to open with a reason the window can show.
#ifdef _WIN32
#include "SerialPort.h"

namespace SerialLayer {
namespace {

class UnavailablePort final : public Port {
public:
    bool Open(std::string* error) override {
        if (error) *error = "Serial ports are not supported in this build";
        return false;
    }
    void Close() override {}
    void SetBaud(int) override {}
    int GetBaud() override { return -1; }
    int DataStatus() override { return 0; }
    int InQueue() override { return 0; }
    int Read(unsigned char*, int) override { return 0; }
    void FlushInput() override {}
    bool PutChar(unsigned char) override { return false; }
    bool Lost() const override { return false; }
};

}  // namespace

std::vector<std::string> DetectedSerialPorts() { return {}; }

std::unique_ptr<Port> CreateDevicePort(const std::string&) { return std::make_unique<UnavailablePort>(); }

}  // namespace SerialLayer
#endif  // _WIN32
