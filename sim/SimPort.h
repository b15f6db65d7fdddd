#pragma once
// The simulated sensor behind the serial layer: the in-process port used for
// the SIMULATOR port number, and the pseudo-terminal server used by the
// ora2orb2-sim tool and the tests.
#include <memory>
#include <string>

#include "SensorModel.h"
#include "SerialPort.h"

namespace Sim {

// A serial port whose other end is the model. It keeps the model's pace at
// the speed set with SetBaud (the simulated sensor follows the program's
// speed), runs on the program's clock (modAPI::NowWithMs, so a simulated
// clock drives it too) and buffers at most InputLimit received bytes like a
// driver would; the excess is lost and reported as an overflow.
class InProcessPort final : public SerialLayer::Port {
public:
    static constexpr size_t InputLimit = 4096;

    explicit InProcessPort(std::shared_ptr<SensorModel> model) : m_Model(std::move(model)) {}

    bool Open(std::string* error) override;
    void Close() override { m_Open = false; }
    void SetBaud(int bitsPerSecond) override;
    int GetBaud() override { return m_Open ? m_Baud : -1; }
    int DataStatus() override;
    int InQueue() override;
    int Read(unsigned char* buffer, int length) override;
    void FlushInput() override;
    bool PutChar(unsigned char byte) override;
    bool Lost() const override { return m_Lost || (m_Open && m_Model->Unplugged()); }

private:
    bool Pump();

    std::shared_ptr<SensorModel> m_Model;
    bool m_Open = false;
    bool m_Lost = false;
    int m_Baud = 9600;
    int m_Status = 0;
    std::string m_Input;
};

// Clock of the in-process sensor: the program's clock in milliseconds.
double ProgramClockMs();

// Creates a sensor on the program's clock and registers it as the SIMULATOR
// port; the model stays the same across openings of the port. Returns it so
// that the caller (tests, a menu) can switch faults or pull the plug.
std::shared_ptr<SensorModel> RegisterInProcessSimulator(const Options& options);

}  // namespace Sim
