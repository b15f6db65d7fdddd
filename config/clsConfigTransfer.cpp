#include "clsConfigTransfer.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "LineHold.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modFunctions.h"

namespace Event = modKOVComm::Event;
namespace Comm = modKOVComm::Comm;

namespace {

// Ids of the parameter codes in the text table, in upload order.
constexpr int FirstCodeId = 1;
constexpr int LastCodeId = 29;

// The decoder reports a missing answer at the deadline; this much longer the
// wait for the information block goes on by the clock alone, for a pump that
// stopped decoding.
constexpr double WaitMarginMs = 2000;

// Sets a flag for the life of a scope, also when a pump throws.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
};

// A switching output whose on and off thresholds the user exchanged: the
// sensor keeps its thresholds and inverts the output's logic instead. Of the
// output's three codes (on threshold, off threshold, logic) only the logic
// goes out, once, inverted once: a retried write does not invert it again.
class OutputSwap {
public:
    OutputSwap(bool exchange, const char* onCode, const char* offCode, const char* logicCode, std::int32_t& logic)
        : m_exchange(exchange), m_on(onCode), m_off(offCode), m_logicCode(logicCode), m_logic(logic) {}

    // Whether `code` is one of this output's codes while they are exchanged;
    // then `wire` is what goes out in its place, "" for nothing.
    bool Replace(const std::string& code, std::string& wire) {
        if (!m_exchange || (code != m_on && code != m_off && code != m_logicCode)) return false;
        wire.clear();
        if (code == m_off || m_done) return true;
        if (!m_inverted) {
            m_logic = m_logic == 1 ? 0 : 1;
            m_inverted = true;
        }
        wire = m_logicCode;
        return true;
    }
    // `wire` went out (accepted or ignored by the user).
    void Sent(const std::string& wire) {
        if (m_exchange && wire == m_logicCode) m_done = true;
    }

private:
    const bool m_exchange;
    const std::string m_on, m_off, m_logicCode;
    std::int32_t& m_logic;
    bool m_inverted = false;  // logic inverted on the link
    bool m_done = false;      // the logic went out in place of the thresholds
};

}  // namespace

clsConfigTransfer::clsConfigTransfer(std::shared_ptr<clsKOV> link, TransferHost& host)
    : m_link(std::move(link)), m_host(host) {}

bool clsConfigTransfer::DeviceHas(const clsKOV& link, const std::string& code) {
    const bool serial = link.DeviceType == "Serial";
    if (code == "351" || code == "352" || code == "353" || code == "354" || code == "355") return link.RainFilter != -1;
    if (code == "610") return !serial;
    if (code == "401" || code == "402" || code == "403" || code == "501" || code == "502" || code == "503" ||
        code == "504" || code == "505" || code == "506" || code == "603")
        return serial;
    return true;
}

bool clsConfigTransfer::SentByUpload(const clsKOV& link, const std::string& code) {
    const bool serial = link.DeviceType == "Serial";
    if (code == "101" || code == "111" || code == "301" || code == "302" || code == "304" || code == "305" ||
        code == "306" || code == "311" || code == "601" || code == "701" || code == "702" || code == "801" ||
        code == "802")
        return true;
    if (code == "401" || code == "402" || code == "403" || code == "501" || code == "502" || code == "503" ||
        code == "603")
        return serial;
    if (code == "504" || code == "505") return serial && link.AnalogOutput != 1;
    if (code == "506") return serial && link.AnalogOutput != 0;
    if (code == "610") return !serial;
    if (code == "351") return link.RainFilter != -1;
    return false;  // 352..355: shown, never sent
}

void clsConfigTransfer::Pump(int maxWaitMs) {
    if (m_pump) {
        const modKOVComm::EventPump pump = m_pump;  // it may replace itself
        pump(maxWaitMs);
        return;
    }
    const modKOVComm::EventPump hook = modKOVComm::GetHooks().pump;
    if (hook) {
        hook(maxWaitMs);
        return;
    }
    // No event loop: read and decode here, one step per monitor period.
    const int pause = maxWaitMs < modKOVComm::PumpSliceMs ? maxWaitMs : modKOVComm::PumpSliceMs;
    if (const modKOVComm::SleepFunction sleep = modKOVComm::GetHooks().sleep) {
        sleep(pause);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
    clsKOV& k = *m_link;
    k.CurrentTime = modAPI::NowWithMs();
    k.ReadComportData();
    k.EvaluateInBuffer();
}

bool clsConfigTransfer::Interrupted() const {
    return modKOVComm::Closing() || !m_link->PortIsOpen() || m_host.CancelRequested();
}

void clsConfigTransfer::NoteTick(const clsKOV& link) {
    if (&link == m_link.get()) Note(link.EventNr);
}

void clsConfigTransfer::Note(std::int32_t eventNr) {
    if (!m_watching) return;
    if (eventNr == Event::Configuration) m_seenConfiguration = true;
    if (eventNr == Event::NoAnswer) m_seenNoAnswer = true;
}

// ---------------------------------------------------------------------------
// Waiting for the sensor
// ---------------------------------------------------------------------------

std::int32_t clsConfigTransfer::Write(const std::string& code) {
    clsKOV& k = *m_link;
    // Without a connection the decoder does not read "OK" / "ERR": a write
    // could only fail.
    if (Interrupted() || k.CommStatus == Comm::NotConnected) return Event::NoAnswer;
    k.CurrentTime = modAPI::NowWithMs();
    modKOVComm::WriteParameter(
        k, code, [this](int ms) { Pump(ms); }, [this] { return m_host.CancelRequested(); });
    const std::int32_t e = k.EventNr;
    return e == Event::Accepted || e == Event::Rejected ? e : Event::NoAnswer;
}

std::int32_t clsConfigTransfer::RequestConfiguration() {
    if (Interrupted()) return Event::NoAnswer;
    clsKOV& k = *m_link;
    k.CurrentTime = modAPI::NowWithMs();
    m_hold->Send("C");
    // The block may still come complete a little after its deadline: nothing
    // else goes out meanwhile.
    const double lateUntil = k.FailTime + modKOVComm::LateAnswerMs / modAPI::MsPerDay;
    const double limit = modAPI::NowWithMs() + (modKOVComm::CommandTimeout("C", k.CommBaudrate()) + 500 +
                                                modKOVComm::LateAnswerMs + WaitMarginMs) /
                                                   modAPI::MsPerDay;
    m_seenConfiguration = false;
    m_seenNoAnswer = false;
    FlagScope watching(m_watching);
    for (;;) {
        if (Interrupted()) return Event::NoAnswer;
        Pump(modKOVComm::PumpSliceMs);
        Note(k.EventNr);
        if (m_seenConfiguration) return Event::Configuration;
        if (m_seenNoAnswer && (k.CurrentTime > lateUntil || k.LastCommand != "C")) return Event::NoAnswer;
        if (modAPI::NowWithMs() > limit) return Event::NoAnswer;
    }
}

// ---------------------------------------------------------------------------
// The transfers
// ---------------------------------------------------------------------------

clsConfigTransfer::Result clsConfigTransfer::TransferConfig(Mode mode) {
    if (m_busy) return Result::Busy;
    return Hold([this, mode] { return Run(mode); });
}

clsConfigTransfer::Result clsConfigTransfer::SetFactoryDefaults() {
    if (m_busy) return Result::Busy;
    return Hold([this] {
        const Result result = Run(Mode::FactoryDefaults);
        // The read-back shows what the sensor holds now, whatever "000" answered.
        if (!Interrupted()) Run(Mode::Reload);
        return result;
    });
}

clsConfigTransfer::Result clsConfigTransfer::Hold(const std::function<Result()>& transfer) {
    FlagScope busy(m_busy);
    // The transfer owns the line from its first command to its last, the
    // questions to the user included: no keep-alive, no temperature request,
    // no restart of the measurement goes out in between.
    modKOVComm::LineHold hold(*m_link);
    m_hold = &hold;
    struct Release {
        modKOVComm::LineHold*& hold;
        ~Release() { hold = nullptr; }
    } release{m_hold};
    const bool wasMeasuring = m_link->CommStatus == Comm::Measuring;
    if (wasMeasuring) hold.StopContinuous();
    // A keep-alive "T" that went out just before is answered first.
    hold.WaitForFreeLine([this](int ms) { Pump(ms); }, [this] { return Interrupted(); });
    const Result result = transfer();
    if (wasMeasuring && !modKOVComm::Closing() && m_link->PortIsOpen() && m_link->CommStatus == Comm::Idle)
        hold.StartContinuous();
    return result;
}

clsConfigTransfer::Result clsConfigTransfer::Run(Mode mode) {
    // The read-back after factory defaults keeps the text (and a failure's
    // red) of the defaults.
    if (mode != Mode::Reload) {
        m_host.ShowStatus(0);
        m_host.SetStatusColor(StatusBlack);
    }

    if (mode == Mode::StorePermanent || mode == Mode::FactoryDefaults) {
        // Decided on the write's own answer: "OK", "ERR" or none.
        const bool store = mode == Mode::StorePermanent;
        const std::int32_t e = Write(store ? "999" : "000");
        if (e == Event::Accepted) {
            m_host.ShowStatus(store ? TransferText::Stored : TransferText::DefaultsSet);
            return Result::Done;
        }
        m_host.SetStatusColor(StatusRed);
        m_host.ShowStatus(store ? TransferText::NotStored : TransferText::DefaultsNotSet);
        return e == Event::Rejected ? Result::Rejected : Result::NoAnswer;
    }

    UploadOutcome outcome = UploadOutcome::Complete;
    if (mode == Mode::Upload) outcome = SendConfig();
    // Texts of an upload that did not send everything it should have.
    const int shortfallText = outcome == UploadOutcome::Aborted      ? TransferText::UploadAborted
                              : outcome == UploadOutcome::Incomplete ? TransferText::UploadIncomplete
                                                                     : 0;
    const Result uploadResult = outcome == UploadOutcome::Aborted      ? Result::Aborted
                                : outcome == UploadOutcome::Incomplete ? Result::Incomplete
                                                                       : Result::Done;

    if (RequestConfiguration() == Event::Configuration) {
        m_host.ConfigurationRead();
        if (mode == Mode::Download) m_host.ShowStatus(TransferText::Downloaded);
        if (mode == Mode::Upload) {
            if (shortfallText != 0) {
                m_host.SetStatusColor(StatusRed);
                m_host.ShowStatus(shortfallText);
            } else {
                m_host.ShowStatus(TransferText::Uploaded);
            }
        }
        return mode == Mode::Upload ? uploadResult : Result::Done;
    }

    m_host.SetStatusColor(StatusRed);
    if (mode == Mode::Download) m_host.ConfigurationMissing();
    if (mode == Mode::Upload) {
        if (shortfallText != 0) m_host.ShowStatus(shortfallText);
        return uploadResult == Result::Done ? Result::NoAnswer : uploadResult;
    }
    return Result::NoAnswer;
}

clsConfigTransfer::UploadOutcome clsConfigTransfer::SendConfig() {
    clsKOV& k = *m_link;
    const bool serial = k.DeviceType == "Serial";
    // Decided once for the whole upload.
    OutputSwap q1(serial && k.S1OnThreshold != k.S1OffThreshold && k.S1OnThreshold == Old.OldS1Off &&
                      k.S1OffThreshold == Old.OldS1On,
                  "501", "502", "503", k.S1Logic);
    OutputSwap q2(serial && k.AnalogOutput != 1 && k.S2OnThreshold != k.S2OffThreshold &&
                      k.S2OnThreshold == Old.OldS2Off && k.S2OffThreshold == Old.OldS2On,
                  "504", "505", "506", k.S2Logic);
    bool ignored = false;
    bool aborted = false;

    int id = FirstCodeId;
    while (id <= LastCodeId) {
        const std::string code = modFunctions::GetText(id);
        if (code == "351" && k.RainFilter == -1) break;  // no rain filter: the upload ends here
        if (!SentByUpload(k, code)) {
            ++id;
            continue;
        }
        std::string wire = code;
        if ((q1.Replace(code, wire) || q2.Replace(code, wire)) && wire.empty()) {
            ++id;
            continue;
        }

        const std::int32_t e = Write(wire);
        if (e != Event::Accepted) {
            if (Interrupted()) {  // port gone, window or program closing: nobody to ask
                aborted = true;
                break;
            }
            // The line stays held while the user thinks: nothing goes out.
            const TransferAnswer answer = m_host.AskAbortRetryIgnore(wire, e);
            if (Interrupted()) {
                aborted = true;
                break;
            }
            if (answer == TransferAnswer::Retry) continue;
            if (answer == TransferAnswer::Abort) {
                // Abort ends the upload here, whatever the code.
                aborted = true;
                break;
            }
            ignored = true;
        }
        q1.Sent(wire);
        q2.Sent(wire);
        ++id;
    }
    if (aborted) return UploadOutcome::Aborted;
    return ignored ? UploadOutcome::Incomplete : UploadOutcome::Complete;
}
