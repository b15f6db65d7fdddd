#include "SimPort.h"

#include <algorithm>
#include <cstring>

#include "modAPI.h"

namespace Sim {

double ProgramClockMs() { return modAPI::NowWithMs() * modAPI::MsPerDay; }

std::shared_ptr<SensorModel> RegisterInProcessSimulator(const Options& options) {
    auto model = std::make_shared<SensorModel>(options, &ProgramClockMs);
    SerialLayer::RegisterSimulator([model]() -> std::unique_ptr<SerialLayer::Port> {
        return std::make_unique<InProcessPort>(model);
    });
    return model;
}

bool InProcessPort::Open(std::string* error) {
    if (m_Model->Unplugged()) {
        if (error) *error = std::strerror(ENOENT);
        m_Open = false;
        return false;
    }
    // What the sensor sent while nobody listened is gone.
    m_Model->SetLineSpeed(m_Baud);
    m_Model->Transmit();
    m_Input.clear();
    m_Status = 0;
    m_Open = true;
    m_Lost = false;
    if (error) error->clear();
    return true;
}

bool InProcessPort::Pump() {
    if (!m_Open) return false;
    if (m_Model->Unplugged()) {
        m_Lost = true;
        m_Open = false;
        return false;
    }
    const std::string bytes = m_Model->Transmit();
    const size_t room = InputLimit - std::min(InputLimit, m_Input.size());
    m_Input.append(bytes, 0, std::min(room, bytes.size()));
    if (bytes.size() > room) m_Status |= 8;
    return true;
}

void InProcessPort::SetBaud(int bitsPerSecond) {
    if (!m_Open || !SerialLayer::IsLinkSpeed(bitsPerSecond)) return;
    Pump();  // bytes already on the wire went at the old speed
    m_Baud = bitsPerSecond;
    m_Model->SetLineSpeed(bitsPerSecond);
}

int InProcessPort::DataStatus() {
    if (!m_Open) return 0;
    Pump();
    const int status = m_Status;
    m_Status = 0;
    return status;
}

int InProcessPort::InQueue() { return Pump() ? static_cast<int>(m_Input.size()) : 0; }

int InProcessPort::Read(unsigned char* buffer, int length) {
    if (!Pump() || buffer == nullptr || length <= 0) return 0;
    const size_t n = std::min(static_cast<size_t>(length), m_Input.size());
    std::memcpy(buffer, m_Input.data(), n);
    m_Input.erase(0, n);
    return static_cast<int>(n);
}

void InProcessPort::FlushInput() {
    if (Pump()) m_Input.clear();
}

bool InProcessPort::PutChar(unsigned char byte) {
    if (!m_Open) return false;
    if (m_Model->Unplugged()) {
        m_Lost = true;
        m_Open = false;
        return false;
    }
    m_Model->Receive(&byte, 1);
    return true;
}

}  // namespace Sim
