#include "MonitorLoop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <thread>

#include "Crc16Loader.h"
#include "LineHold.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modKOVComm.h"

namespace Event = modKOVComm::Event;
namespace Comm = modKOVComm::Comm;
namespace OutputMode = modKOVComm::OutputMode;

namespace {

// Input within this time counts as a sensor that still sends (a value is due
// at least every 3 s, plus the half second of grace every deadline has).
constexpr double StillSendingMs = 3500;

std::int32_t& AverageField(clsKOV& link, const std::string& code) {
    return code == "304" ? link.MovingAverage : link.AverageDepth;
}

}  // namespace

MonitorLoop::MonitorLoop(LinkSource link, MonitorView* view)
    : m_link(std::move(link)), m_view(view ? view : &m_silent) {
    SetClock(nullptr);
    SetMonotonicClock(nullptr);
    m_lastTickTime = m_now();
}

void MonitorLoop::SetPort(std::int32_t comport, std::int32_t baudrate) {
    m_comport = comport;
    m_baudrate = baudrate;
}

void MonitorLoop::ChangeSpeed(std::int32_t baudrate) {
    m_baudrate = baudrate;
    const std::shared_ptr<clsKOV> link = m_link();
    if (link && link->CommBaudrate() != baudrate) link->CommBaudrate(baudrate);
}

void MonitorLoop::ChangePort(std::int32_t comport, std::int32_t baudrate) {
    SetPort(comport, baudrate);
    const std::shared_ptr<clsKOV> link = m_link();
    if (!link || (link->CommComPort() == comport && link->PortIsOpen())) return;
    link->CloseComPort();
    link->OpenComPort(m_comport, m_baudrate);
}

void MonitorLoop::SetClock(std::function<double()> now) {
    m_now = now ? std::move(now) : std::function<double()>(modAPI::NowWithMs);
}

void MonitorLoop::SetMonotonicClock(std::function<double()> ms) {
    if (ms) {
        m_monotonic = std::move(ms);
    } else {
        const auto start = std::chrono::steady_clock::now();
        m_monotonic = [start] {
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        };
    }
    m_lastMonotonic = -1;
}

void MonitorLoop::SetClosing(bool closing) {
    m_closing = closing;
    modKOVComm::SetClosing(closing);
}

void MonitorLoop::Step(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const std::exception& e) {
        m_view->StepFailed(e.what());
    } catch (...) {
        m_view->StepFailed("unknown error");
    }
}

int MonitorLoop::Subscribe(DistanceListener listener) {
    m_listeners.push_back({m_nextId, std::move(listener)});
    return m_nextId++;
}

int MonitorLoop::SubscribeTemperature(TemperatureListener listener) {
    m_temperatureListeners.push_back({m_nextId, std::move(listener)});
    return m_nextId++;
}

void MonitorLoop::Unsubscribe(int id) {
    const auto matches = [id](const auto& e) { return e.id == id; };
    m_listeners.erase(std::remove_if(m_listeners.begin(), m_listeners.end(), matches), m_listeners.end());
    m_temperatureListeners.erase(std::remove_if(m_temperatureListeners.begin(), m_temperatureListeners.end(), matches),
                                 m_temperatureListeners.end());
}

int MonitorLoop::AddTickListener(TickListener listener) {
    m_tickListeners.push_back({m_nextId, std::move(listener)});
    return m_nextId++;
}

void MonitorLoop::RemoveTickListener(int id) {
    m_tickListeners.erase(
        std::remove_if(m_tickListeners.begin(), m_tickListeners.end(), [id](const auto& e) { return e.id == id; }),
        m_tickListeners.end());
}

void MonitorLoop::PublishDistance(const Measurement& m) {
    ++m_published;
    // A copy: a listener may subscribe or leave while it is called.
    const auto listeners = m_listeners;
    for (const auto& e : listeners) Step([&] { e.call(m); });
}

// ---------------------------------------------------------------------------
// The tick
// ---------------------------------------------------------------------------

void MonitorLoop::CheckClockJump(clsKOV& link, double now) {
    const double mono = m_monotonic();
    if (m_lastMonotonic >= 0) {
        const double jumpMs = (now - m_lastTickTime) * modAPI::MsPerDay - (mono - m_lastMonotonic);
        if (std::fabs(jumpMs) > ClockJumpMs) {
            // The wall clock was set. Every pending deadline and the tick
            // reference move with it, so that time-outs, keep-alive,
            // temperature requests and the clock panel go on as before.
            const double jump = jumpMs / modAPI::MsPerDay;
            link.FailTime += jump;
            link.ReadTempTime += jump;
            link.Decoder.SentAt += jump;
            link.Decoder.LastInputAt += jump;
            m_lastTickTime += jump;
            if (jump < 0) m_view->ClockSetBack();
        }
    }
    m_lastMonotonic = mono;
}

bool MonitorLoop::Busy() const {
    if (m_busy > 0) return true;
    const std::shared_ptr<clsKOV> link = m_link();
    return link && modKOVComm::LineHeld(*link);
}

void MonitorLoop::Listen(clsKOV& link) {
    // The port's speed changes (the sensor took a speed write): a lost port
    // is opened again at the new speed, and the view keeps it.
    if (m_listening == &link) return;
    m_listening = &link;
    link.SetSpeedListener([this](std::int32_t speed) {
        m_baudrate = speed;
        m_view->SpeedChanged(speed);
    });
}

void MonitorLoop::ShowLasting(clsKOV& link) {
    // States that outlast a single event keep their text in the status panel.
    if (link.Decoder.ChecksumMissing) {
        const std::string& where = Crc16Loader::FailedWhere();
        const std::string& why = Crc16Loader::FailedWhy();
        const std::string detail = where.empty() ? "" : " (" + where + "): " + why;
        const std::string text = "CRC16 library not loaded" + detail;
        if (text != m_checksumTold) {
            m_checksumTold = text;
            m_view->ChecksumUnavailable(text);
        }
        m_view->ShowStatus(MonitorText::ChecksumLibrary, detail);
        return;
    }
    m_checksumTold.clear();
    if (link.Decoder.LineNoise && link.CommStatus == Comm::Measuring) m_view->ShowStatus(MonitorText::LineNoise, "");
}

void MonitorLoop::Tick() {
    if (m_closing) return;
    const std::shared_ptr<clsKOV> keep = m_link();
    if (!keep) return;
    clsKOV& link = *keep;
    Listen(link);

    const double now = m_now();
    Step([&] { CheckClockJump(link, now); });
    link.CurrentTime = now;

    bool open = false;
    Step([&] { open = link.PortIsOpen(); });
    if (open) {
        const std::int32_t before = link.CommStatus;
        Step([&] { link.ReadComportData(); });
        if (!link.NewInData.empty()) Step([&] { m_view->Received(link.NewInData); });
        Step([&] { link.EvaluateInBuffer(); });
        // The ready banner in the middle of a measurement: the sensor restarted.
        const bool restarted = before == Comm::Measuring && link.CommStatus == Comm::NotConnected;
        Step([&] { HandleEvent(link); });
        if (restarted) m_view->ShowStatus(MonitorText::SensorRestarted, "");
        Step([&] { ShowLasting(link); });
        // A value that is no longer live does not stay on show: silence,
        // a restart and a lost port alike clear it.
        if (before == Comm::Measuring && link.CommStatus != Comm::Measuring) m_view->ClearValue();
    }
    Step([&] { open = link.PortIsOpen(); });
    if (!open && !m_closing) {
        Step([&] { link.OpenComPort(m_comport, m_baudrate); });
        if (link.CommStatus == Comm::Measuring) {
            m_view->ClearValue();
            link.CommStatus = Comm::Idle;
        }
        if (link.PortIsOpen()) {
            m_view->ShowStatus(0, "");
        } else {
            const std::string& reason = link.LastOpenError();
            m_view->ShowStatus(MonitorText::PortNotOpen, reason.empty() ? "" : " (" + reason + ")");
        }
        link.CommStatus = Comm::NotConnected;
    }
    Step([&] { m_view->ShowState(link.CommStatus, Busy()); });
    const auto tickListeners = m_tickListeners;
    for (const auto& e : tickListeners) Step([&] { e.call(link); });

    Step([&] {
        const double delta = std::nearbyint((link.CurrentTime - m_lastTickTime) * modAPI::MsPerDay);
        if (delta > 0) m_elapsed += delta > 1e9 ? 1000000000 : static_cast<std::int64_t>(delta);
        if (m_elapsed >= 500) {
            m_elapsed = 0;
            m_view->HalfSecond(link.CurrentTime, link.CommStatus);
        }
    });
    m_lastTickTime = link.CurrentTime;
}

void MonitorLoop::NoAnswer(clsKOV& link) {
    if (link.OutputMode == OutputMode::Single) return;
    // A sensor with a temperature fault may send nothing readable, but it
    // still sends; one that sends nothing at all is not answering.
    const bool sending = (link.CurrentTime - link.Decoder.LastInputAt) * modAPI::MsPerDay < StillSendingMs;
    if (link.TempStatus == modKOVComm::TempState::Error && m_measuring && sending) {
        m_view->ShowStatus(0, "TempError");
        return;
    }
    m_view->ShowStatus(MonitorText::NoConnection, "");
    // While a sequence holds the line, a missing answer is its own business
    // (a write asks the user); the connection is judged again afterwards.
    if (modKOVComm::LineHeld(link)) return;
    if (link.CommStatus == Comm::Idle) {
        m_view->ShowTemperature("");
        link.CommStatus = Comm::NotConnected;
    } else if (link.CommStatus == Comm::Measuring) {
        link.CommStatus = Comm::Idle;
    }
}

void MonitorLoop::HandleEvent(clsKOV& link) {
    if (link.EventNr != Event::Nothing) m_lastEventAt = link.CurrentTime;
    switch (link.EventNr) {
        case Event::NoAnswer: NoAnswer(link); break;
        case Event::Distance: {
            const Measurement m = MeasurementOf(link);
            PublishDistance(m);
            m_view->ShowStatus(link.Decoder.ChecksumErrors > 0 ? MonitorText::ChecksumError : MonitorText::NewDistance,
                               "");
            // The marker is tested on the millimetre value.
            m_view->ShowShutDown(m.State == MeasurementState::TempError);
            if (!m_singleActive && !Busy() && m_temperatureRequests && link.CurrentTime >= link.ReadTempTime) {
                // The stream stops; once the stop's deadline has passed the
                // decoder asks for the temperature.
                link.SendCommand("S");
                link.ReadTempTime = link.CurrentTime + link.ReadTempInterval / modAPI::MsPerDay;
                m_temperaturePending = true;
            }
            break;
        }
        case Event::Temperature: {
            m_view->ShowTemperature(link.sTemperature);
            const Measurement m = MeasurementOf(link);
            const auto listeners = m_temperatureListeners;
            for (const auto& e : listeners) Step([&] { e.call(m); });
            m_view->ShowStatus(MonitorText::NewTemperature, "");
            if (!Busy()) {
                if (link.CommStatus == Comm::Measuring) {
                    link.SendCommand("M");
                } else if (link.CommStatus == Comm::Idle && m_measuring) {
                    Start(link, false);  // the user's measurement goes on after a lost link
                }
            }
            m_temperaturePending = false;
            break;
        }
        case Event::Configuration:
            m_view->ShowConfiguration(link);
            m_view->ShowShutDown(link.HWPointer.find("shutdown") != std::string::npos);
            m_view->ShowStatus(MonitorText::ConfigurationRead, "");
            break;
        case Event::ChecksumError: m_view->ShowStatus(MonitorText::ChecksumError, ""); break;
        default:
            // A step with nothing new clears the status once nothing has
            // happened for a moment: cleared on every empty tick, a value
            // every 100 ms made the text blink ten times a second.
            if (link.CommStatus != Comm::NotConnected &&
                (link.CurrentTime - m_lastEventAt) * modAPI::MsPerDay >= StatusHoldMs)
                m_view->ShowStatus(0, "");
            break;
    }
}

// ---------------------------------------------------------------------------
// Start / Stop and single values
// ---------------------------------------------------------------------------

void MonitorLoop::SetMeasuring(bool measuring) {
    if (measuring == m_measuring) return;
    m_measuring = measuring;
    m_view->MeasuringChanged(measuring);
}

void MonitorLoop::Start(clsKOV& link, bool fresh) {
    m_view->ShowStatus(0, "");
    m_view->Starting(fresh && !m_measuring);
    modKOVComm::StartContinuous(link);
    link.ReadTempTime = link.CurrentTime + link.ReadTempInterval / modAPI::MsPerDay;
    SetMeasuring(link.CommStatus == Comm::Measuring);
}

void MonitorLoop::StartStop() {
    if (m_closing || Busy()) return;
    const std::shared_ptr<clsKOV> keep = m_link();
    if (!keep) return;
    clsKOV& link = *keep;
    if (link.OutputMode == OutputMode::Single) {
        SingleMeasurement();
        return;
    }
    if (m_measuring || link.CommStatus == Comm::Measuring) {
        // Stop: also a measurement that waits to be resumed after a lost link.
        if (link.CommStatus == Comm::Measuring) modKOVComm::StopContinuous(link);
        m_view->ClearValue();
        m_temperaturePending = false;
        SetMeasuring(false);
    } else if (link.CommStatus == Comm::Idle) {
        Start(link, true);
    }
}

bool MonitorLoop::Wait(int ms) {
    if (m_closing) return false;
    if (m_wait) return m_wait(ms) && !m_closing;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return !m_closing;
}

void MonitorLoop::SingleMeasurement() {
    const std::shared_ptr<clsKOV> keep = m_link();
    if (!keep) return;
    clsKOV& link = *keep;
    if (!link.PortIsOpen() || m_singleActive || Busy()) return;

    // In output mode "Single" the sensor answers "M" with one value. The
    // decoder reads distances only while it believes a measurement runs, so
    // it is told so for the time of this request; afterwards the link is idle
    // again and the keep-alive goes on.
    const std::int32_t statusBefore = link.CommStatus;
    m_singleActive = true;
    ++m_busy;
    const std::uint64_t before = m_published;
    link.CommStatus = Comm::Measuring;
    link.SendCommand("M");
    for (int attempt = 0; attempt < 41 && !m_closing; ++attempt) {
        link.CurrentTime = m_now();
        Step([&] { link.ReadComportData(); });
        if (!link.NewInData.empty()) Step([&] { m_view->Received(link.NewInData); });
        Step([&] { link.EvaluateInBuffer(); });
        if (link.EventNr == Event::Distance) {
            PublishDistance(MeasurementOf(link));
            m_view->ShowStatus(MonitorText::NewDistance, "");
            break;
        }
        if (m_published != before) break;  // a tick took the reply meanwhile
        if (!Wait(100)) break;
        if (m_published != before) break;
    }
    --m_busy;
    m_singleActive = false;
    if (!m_closing && m_link() == keep && link.CommStatus == Comm::Measuring) {
        link.CommStatus = statusBefore == Comm::NotConnected ? Comm::NotConnected : Comm::Idle;
        link.LastCommand.clear();
        link.InBuffer.clear();
        link.FailTime = link.CurrentTime;  // keep-alive "T" at the next tick
    }
}

void MonitorLoop::SingleValue() {
    if (m_closing || Busy()) return;
    const std::shared_ptr<clsKOV> keep = m_link();
    if (!keep) return;
    if (keep->OutputMode == OutputMode::Single || keep->OutputMode == OutputMode::OnRequest) keep->SendCommand("G");
}

bool MonitorLoop::WriteAverage(const std::string& code, std::int32_t value) {
    const std::shared_ptr<clsKOV> keep = m_link();
    if (!keep || m_closing || Busy()) return false;
    clsKOV& link = *keep;
    std::int32_t& field = AverageField(link, code);
    if (link.CommStatus == Comm::NotConnected) return false;
    if (field == value) return true;
    const std::int32_t old = field;
    field = value;
    const bool wasMeasuring = link.CommStatus == Comm::Measuring;
    if (wasMeasuring) modKOVComm::StopContinuous(link);
    ++m_busy;
    try {
        modKOVComm::WriteParameter(link, code);
    } catch (...) {
        --m_busy;
        field = old;
        throw;
    }
    --m_busy;
    if (m_closing) return false;
    const bool taken = link.EventNr == Event::Accepted;
    if (!taken) {
        field = old;
        m_view->ShowStatus(MonitorText::SettingRejected, "");
    }
    if (wasMeasuring && link.PortIsOpen() && link.CommStatus == Comm::Idle) modKOVComm::StartContinuous(link);
    return taken;
}

bool MonitorLoop::SetLaser(bool on) {
    const std::shared_ptr<clsKOV> keep = m_link();
    if (!keep || m_closing) return true;
    clsKOV& link = *keep;
    if (link.CommStatus == Comm::NotConnected) return true;
    // Switching it off is always allowed.
    if (on && link.TempStatus != modKOVComm::TempState::Good) return false;
    if (Busy()) return true;
    const bool wasMeasuring = link.CommStatus == Comm::Measuring;
    if (wasMeasuring) modKOVComm::StopContinuous(link);
    link.SendCommand(on ? "P" : "O");
    if (wasMeasuring) modKOVComm::StartContinuous(link);
    return true;
}

MonitorLoop::Controls MonitorLoop::ControlsNow() const {
    // Sensor controls while connected; nothing that sends while an answer is
    // awaited. Start also while a measurement waits to go on (to stop it).
    const std::shared_ptr<clsKOV> link = m_link();
    const bool connected = link && link->CommStatus != Comm::NotConnected;
    const bool free = !Busy();
    Controls c;
    c.Sensor = connected && free;
    c.Start = (connected || m_measuring) && free;
    c.Port = free;
    c.SingleRequest =
        link && link->OutputMode == OutputMode::OnRequest && link->CommStatus == Comm::Measuring && m_measuring && free;
    return c;
}
