#include "LineHold.h"

#include "clsKOV.h"
#include "modAPI.h"

namespace modKOVComm {
namespace {

// For a pump that stopped decoding: the real clock ends the wait this long
// after the answer's time is over.
constexpr double PumpMarginMs = 2000;

bool AwaitsAnswerTo(const std::string& last) {
    return last == "T" || last == "C" || last == "X" || (!last.empty() && last.back() == '\r');
}

}  // namespace

LineHold::LineHold(clsKOV& link) : m_link(link) { ++m_link.Line.Holds; }

LineHold::~LineHold() { --m_link.Line.Holds; }

bool LineHold::Send(const std::string& command) {
    const bool before = m_link.Line.HolderSending;
    m_link.Line.HolderSending = true;
    bool sent = false;
    try {
        sent = modKOVComm::SendCommand(m_link, command);
    } catch (...) {
        m_link.Line.HolderSending = before;
        throw;
    }
    m_link.Line.HolderSending = before;
    return sent;
}

void LineHold::StartContinuous() {
    if (Send("M")) m_link.CommStatus = Comm::Measuring;
}

void LineHold::StopContinuous() {
    if (Send("S")) m_link.CommStatus = Comm::Idle;
}

void LineHold::WaitForFreeLine(const EventPump& pump, const std::function<bool()>& cancelled) {
    const double limit = modAPI::NowWithMs() + (CommandTimeout("C", 1200) + 500 + LateAnswerMs + PumpMarginMs) /
                                                   modAPI::MsPerDay;
    while (pump && AnswerAwaited(m_link) && !Closing() && m_link.PortIsOpen() && !(cancelled && cancelled()) &&
           modAPI::NowWithMs() < limit)
        pump(PumpSliceMs);
}

bool LineHeld(const clsKOV& link) { return link.Line.Holds > 0; }

bool AnswerAwaited(const clsKOV& link) {
    if (!AwaitsAnswerTo(link.LastCommand)) return false;
    return link.CurrentTime <= link.FailTime + LateAnswerMs / modAPI::MsPerDay;
}

}  // namespace modKOVComm
