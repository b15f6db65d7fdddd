#include "clsKOV.h"

#include <vector>

#include "clsIni.h"
#include "modAPI.h"
#include "modKOVComm.h"

namespace {

std::unique_ptr<SerialLayer::Port> DefaultPort(int comport, std::string* device) {
    clsIni settings;
    settings.Filename(modAPI::ProgramFolder() + "/KOV.ini");
    return SerialLayer::CreateForComport(comport, &settings, device);
}

// The input queue of a serial driver is a few kilobytes; more than this in
// one call means the layer reports nonsense.
constexpr int MaxReadBytes = 1 << 20;

}  // namespace

clsKOV::clsKOV() = default;

clsKOV::~clsKOV() { CloseComPort(); }

std::int32_t clsKOV::CommBaudrate() {
    if (!m_Port.Port) return -1;
    return m_Port.Port->GetBaud();
}

void clsKOV::CommBaudrate(std::int32_t Baudrate) {
    const std::int32_t before = CommBaudrate();
    SetPortSpeed(Baudrate);
    const std::int32_t after = CommBaudrate();
    if (after != before && after > 0 && m_Port.OnSpeed) {
        const SpeedListener listener = m_Port.OnSpeed;  // it may replace itself
        listener(after);
    }
}

std::int32_t clsKOV::CommComPort() const { return m_Port.Comport; }

bool clsKOV::PortIsOpen() {
    // A device that hung up (adapter unplugged) is closed here, so the
    // monitor sees a closed port and keeps trying to reopen it.
    if (m_Port.IsOpen && (!m_Port.Port || m_Port.Port->Lost())) CloseComPort();
    return m_Port.IsOpen;
}

std::int32_t clsKOV::PortStatus() {
    if (!m_Port.IsOpen || !m_Port.Port) return -1;
    return m_Port.Port->DataStatus();
}

std::string clsKOV::PortStatusByName(std::int32_t Status) {
    if (Status == -1) Status = PortStatus();
    if (Status <= 0) return "";
    std::string text;
    if (Status & 1) text += "|Parity Error";
    if (Status & 2) text += "|Framing Error";
    if (Status & 4) text += "|Overrun Error";
    if (Status & 8) text += "|Overflow Error";
    return text.empty() ? text : text.substr(1);
}

void clsKOV::OpenComPort(std::int32_t Comport, std::int32_t Baudrate) {
    if (Comport <= 0 || m_Port.IsOpen) return;
    m_Port.Comport = Comport;
    if (m_Port.Port) {
        m_Port.Port->Close();
        m_Port.Port.reset();
    }
    m_Port.Device.clear();
    m_Port.Pending = false;
    std::unique_ptr<SerialLayer::Port> port =
        m_Port.Factory ? m_Port.Factory(Comport, &m_Port.Device) : DefaultPort(Comport, &m_Port.Device);
    if (!port) {
        m_Port.LastError = "No device for port " + std::to_string(Comport);
        CloseComPort();
        return;
    }
    std::string error;
    if (!port->Open(&error)) {
        m_Port.LastError = error.empty() ? std::string("Cannot open ") + m_Port.Device : error;
        m_Port.Pending = port->OpenInProgress();
        port->Close();
        CloseComPort();
        return;
    }
    m_Port.LastError.clear();
    m_Port.Port = std::move(port);
    m_Port.IsOpen = true;
    SetPortSpeed(Baudrate);
}

void clsKOV::CloseComPort() {
    if (m_Port.Port && m_Port.IsOpen && m_Port.Port->Lost()) m_Port.LastError = m_Port.Port->LostReason();
    if (m_Port.Port) {
        if (m_Port.IsOpen) m_Port.Port->Close();
        m_Port.Port.reset();
    }
    m_Port.IsOpen = false;
}

void clsKOV::ReadComportData() {
    NewInData.clear();
    if (!PortIsOpen()) return;
    SerialLayer::Port& port = *m_Port.Port;
    const int waiting = port.InQueue();
    if (waiting > 0) {
        const int wanted = waiting < MaxReadBytes ? waiting : MaxReadBytes;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(wanted));
        const int got = port.Read(bytes.data(), wanted);
        // Only what the layer really delivered; a short read must not add
        // stale bytes.
        if (got > 0) {
            const int n = got < wanted ? got : wanted;
            NewInData.assign(reinterpret_cast<const char*>(bytes.data()), static_cast<std::size_t>(n));
            InBuffer += NewInData;
        }
    }
    if (port.Lost()) CloseComPort();
}

void clsKOV::EvaluateInBuffer() { modKOVComm::DecodeInBuffer(*this); }

bool clsKOV::SendCommand(const std::string& Command) { return modKOVComm::SendCommand(*this, Command); }

SerialLayer::Port* clsKOV::SerialPort() { return PortIsOpen() ? m_Port.Port.get() : nullptr; }

void clsKOV::SetPortFactory(PortFactory factory) { m_Port.Factory = std::move(factory); }

void clsKOV::SetPortSpeed(std::int32_t speed) {
    if (m_Port.IsOpen && m_Port.Port && SerialLayer::IsLinkSpeed(speed)) m_Port.Port->SetBaud(speed);
}
