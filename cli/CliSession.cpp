#include "CliSession.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>

#include "SerialPort.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modFunctions.h"
#include "modKOVComm.h"

namespace cli {
namespace {

volatile std::sig_atomic_t g_interrupt = 0;

}  // namespace

void RequestInterrupt() { g_interrupt = 1; }
bool InterruptRequested() { return g_interrupt != 0; }
void ClearInterrupt() { g_interrupt = 0; }

// ---------------------------------------------------------------------------
// TickDriver
// ---------------------------------------------------------------------------

TickDriver::TickDriver(ClockMs clock, SleepMs sleep) : m_clock(std::move(clock)), m_sleep(std::move(sleep)) {
    if (!m_clock) {
        const auto start = std::chrono::steady_clock::now();
        m_clock = [start] {
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        };
    }
    if (!m_sleep) {
        m_sleep = [](double ms) { std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms)); };
    }
}

bool TickDriver::WaitForTick(double maxWaitMs) {
    double now = m_clock();
    if (m_next < 0) m_next = now;  // the first tick is due at once
    const double wait = m_next - now;
    if (wait > maxWaitMs) {
        Sleep(maxWaitMs);
        return false;
    }
    Sleep(wait);
    now = m_clock();
    // Missed ticks are not made up: the next one is a whole period away.
    m_next = now - m_next > MonitorLoop::TickMs ? now + MonitorLoop::TickMs : m_next + MonitorLoop::TickMs;
    ++m_ticks;
    return true;
}

// ---------------------------------------------------------------------------
// Session
// ---------------------------------------------------------------------------

Session::Session(const Options& options, std::ostream& err, TickDriver::ClockMs clock, TickDriver::SleepMs sleep)
    : m_options(options),
      m_err(err),
      m_link(std::make_shared<clsKOV>()),
      m_loop([this] { return m_link; }, this),
      m_driver(std::move(clock), std::move(sleep)) {
    m_settings.Filename(modAPI::ProgramFolder() + "/KOV.ini");
    m_link->Name = "Device";
    m_link->Filename = "Device";
    m_comport = options.Port > 0 ? options.Port : m_settings.GetSetting("GENERAL", "Comport", 1);
    m_baud = options.Baud > 0 ? options.Baud : m_settings.GetSetting("GENERAL", "Baudrate", 9600);
    if (!SerialLayer::IsLinkSpeed(m_baud)) m_baud = 9600;
    if (!options.Device.empty()) {
        const std::string path = options.Device;
        m_link->SetPortFactory([path](int, std::string* device) {
            if (device) *device = path;
            return SerialLayer::CreateDevicePort(path);
        });
        m_comport = 1;
    }
    m_loop.SetPort(m_comport, m_baud);
    m_loop.SetWaitFunction([this](int ms) {
        m_driver.Sleep(ms);
        return !InterruptRequested() && !m_lost;
    });
    // The protocol's waits (parameter writes, transfers) run the loop's tick.
    modKOVComm::SetEventPump([this](int maxWaitMs) { Pump(maxWaitMs); });
}

Session::~Session() {
    Progress("");
    modKOVComm::SetEventPump({});
    m_loop.SetClosing(true);
    modKOVComm::SetClosing(false);
    m_link->CloseComPort();
}

std::string Session::PortName() const {
    if (!m_options.Device.empty()) return m_options.Device;
    const std::string device = m_link->DevicePath().empty() ? SerialLayer::DeviceForComport(m_comport, &m_settings)
                                                            : m_link->DevicePath();
    return "COM " + std::to_string(m_comport) + (device.empty() ? "" : " (" + device + ")");
}

void Session::Note(const std::string& text) {
    if (m_options.Quiet) return;
    Progress("");
    m_err << text << "\n" << std::flush;
}

void Session::Error(const std::string& text) {
    Progress("");
    m_err << "ora2orb2-cli: " << text << "\n" << std::flush;
}

void Session::Progress(const std::string& text) {
    if (!m_progressAllowed || m_options.Quiet) return;
    if (text.empty() && m_progressWidth == 0) return;
    std::string line = "\r" + text;
    if (text.size() < m_progressWidth) line += std::string(m_progressWidth - text.size(), ' ') + "\r" + text;
    if (text.empty()) line += "\r";
    m_progressWidth = text.size();
    m_err << line << std::flush;
}

void Session::ShowConfiguration(const clsKOV&) { m_configured = true; }

void Session::Received(const std::string& bytes) {
    if (!bytes.empty()) m_heard = true;
}

void Session::StepFailed(const std::string& what) {
    if (!m_options.Quiet) Note("note: a step of the measurement loop failed: " + what);
}

void Session::SpeedChanged(std::int32_t bitsPerSecond) {
    if (bitsPerSecond != m_baud) m_speedChangedTo = bitsPerSecond;
}

void Session::NoteNewSpeed() {
    if (m_speedChangedTo <= 0 || m_speedNoted) return;
    m_speedNoted = true;
    const std::string speed = std::to_string(m_speedChangedTo);
    Note("note: the sensor now talks at " + speed + " bit/s; later commands need --baud " + speed);
}

void Session::ChecksumUnavailable(const std::string& text) { m_checksumProblem = text; }

void Session::AfterTick() {
    if (m_link->PortIsOpen()) {
        m_wasOpen = true;
    } else if (m_wasOpen) {
        m_lost = true;
    }
}

void Session::Tick() {
    // A port that hung up is seen before the loop reopens it.
    if (m_wasOpen && !m_link->PortIsOpen()) m_lost = true;
    if (m_lost) {
        m_driver.WaitForTick(MonitorLoop::TickMs);
        return;
    }
    m_driver.WaitForTick(1e9);
    m_loop.Tick();
    AfterTick();
}

void Session::Pump(int maxWaitMs) {
    if (m_wasOpen && !m_link->PortIsOpen()) m_lost = true;
    if (m_lost || InterruptRequested()) {
        // Nothing to wait for; the caller's wait sees the closed port or its cancel.
        m_driver.Sleep(maxWaitMs > 0 ? 1 : 0);
        return;
    }
    if (m_driver.WaitForTick(maxWaitMs > 0 ? maxWaitMs : 0)) {
        m_loop.Tick();
        AfterTick();
    }
}

int Session::Stopped() {
    if (m_lost) {
        Error("the connection to the sensor was lost: " + PortName() + " went away" +
              (m_link->LastOpenError().empty() ? "" : " (" + m_link->LastOpenError() + ")"));
        return ExitCode::Lost;
    }
    if (InterruptRequested()) {
        Error("interrupted");
        return ExitCode::Interrupted;
    }
    return ExitCode::Ok;
}

int Session::Connect() {
    const double start = m_driver.NowMs();
    const double limit = start + m_options.TimeoutS * 1000.0;
    Tick();  // opens the port
    // A network port connects meanwhile (within seconds, whatever the outcome).
    while (!m_link->PortIsOpen() && m_link->OpenPending() && !InterruptRequested()) Tick();
    if (InterruptRequested()) return Stopped();
    if (!m_link->PortIsOpen()) {
        const std::string reason = m_link->LastOpenError();
        Error("cannot open " + PortName() + ": " + (reason.empty() ? std::string("no such port") : reason));
        return ExitCode::PortNotOpen;
    }
    Progress("connecting to " + PortName() + " ...");
    while (!(m_configured && m_link->CommStatus != modKOVComm::Comm::NotConnected)) {
        if (const int code = Stopped()) return code;
        if (m_driver.NowMs() >= limit) {
            Error("no answer from the sensor on " + PortName() + " within " +
                  modFunctions::NumberText(m_options.TimeoutS) + " s" +
                  (m_heard ? " (it sends something: is the speed right? --baud)" : ""));
            return ExitCode::NoAnswer;
        }
        Tick();
    }
    Progress("");
    return ExitCode::Ok;
}

}  // namespace cli
