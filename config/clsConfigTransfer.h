#pragma once
// Moving the sensor's parameter set between the sensor and the program:
// download ("C" and the information block), upload (one parameter write per
// code, then "C" to read the set back), store permanently ("999"), factory
// defaults ("000") and the read-back after them.
//
// No windows: the status line, the Abort / Retry / Ignore question and the
// showing of a freshly read configuration go to a TransferHost, which the
// configuration dialog implements (a command-line tool can do the same).
//
// Waiting: every wait runs the event pump, so that the measurement loop's
// tick reads the port and decodes meanwhile, and every wait ends on the
// answer, on its deadline, when the port closes, when the host asks to
// cancel (its window is closing) and when the program closes.
//
// A transfer holds the line (modKOVComm::LineHold) from its first command to
// its last, the host's questions included: nothing else goes to the sensor
// meanwhile, so every answer is its own command's.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "modConfigFields.h"
#include "modKOVComm.h"

class clsKOV;
namespace modKOVComm {
class LineHold;
}

// Status texts (German ids).
namespace TransferText {
constexpr int Stored = 1271;       // "999" accepted
constexpr int DefaultsSet = 1272;  // "000" accepted
constexpr int Downloaded = 1273;
constexpr int Uploaded = 1274;
constexpr int NotStored = 1275;         // red
constexpr int DefaultsNotSet = 1276;    // red
constexpr int UploadIncomplete = 1277;  // red: a code was ignored after it failed
constexpr int UploadAborted = 1278;     // red: the user aborted the upload
constexpr int ParameterError = 1291;    // question text, followed by the code
constexpr int NoResponse = 1292;        // question title: no answer
constexpr int InvalidCode = 1293;       // question title: rejected
}  // namespace TransferText

// Colours of the status line (0x00BBGGRR).
constexpr std::uint32_t StatusBlack = 0;
constexpr std::uint32_t StatusRed = 255;

enum class TransferAnswer { Abort, Retry, Ignore };

class TransferHost {
public:
    virtual ~TransferHost() = default;
    // The status line: text of German id `textId`, 0 empties it.
    virtual void ShowStatus(int textId) = 0;
    virtual void SetStatusColor(std::uint32_t color) = 0;
    // A parameter write failed: `eventNr` -1 (no answer) or 6 (rejected).
    virtual TransferAnswer AskAbortRetryIgnore(const std::string& code, std::int32_t eventNr) = 0;
    // The sensor's information block was read: show the sensor's configuration.
    virtual void ConfigurationRead() {}
    // A download got no answer: show the configuration shown before, with no
    // entry of the configuration list selected.
    virtual void ConfigurationMissing() {}
    // True once the transfer is to end as soon as it can (the window closes).
    virtual bool CancelRequested() { return false; }
};

class clsConfigTransfer {
public:
    enum class Mode { Upload, Download, Reload, StorePermanent, FactoryDefaults };
    enum class Result {
        Done,        // everything answered as asked
        Incomplete,  // upload: a failed code was ignored
        Aborted,     // upload: aborted by the user, or cut short (port closed, cancelled)
        NoAnswer,    // the sensor did not answer (or the read-back after an upload failed)
        Rejected,    // "999" / "000" answered with an error
        Busy,        // another transfer runs: nothing done
    };

    clsConfigTransfer(std::shared_ptr<clsKOV> link, TransferHost& host);

    // One round of pending events while waiting. Empty: the protocol's pump
    // (modKOVComm::Hooks), and without one the link is read and decoded here
    // every 50 ms.
    void SetEventPump(modKOVComm::EventPump pump) { m_pump = std::move(pump); }
    void Pump(int maxWaitMs);

    // One transfer. A running measurement is stopped first ("S") and started
    // again afterwards ("M").
    Result TransferConfig(Mode mode);
    // Factory defaults, then the read-back whatever their outcome; a running
    // measurement is stopped once around both.
    Result SetFactoryDefaults();

    // True from the start to the end of a transfer.
    bool TransferBusy() const { return m_busy; }
    // The measurement loop's tick, once per tick while a window shows the
    // transfer: every tick's event is seen, also when one pump round runs
    // several ticks.
    void NoteTick(const clsKOV& link);
    // The port closed, the program is closing or the host cancels.
    bool Interrupted() const;

    // The thresholds before their last accepted edit (ApplyControls sets
    // them); the upload tells an exchange of on and off threshold by them.
    modConfigFields::PreviousThresholds Old;

    // Whether the upload sends parameter `code` (by the device kind, the
    // analog output and the rain filter); "351" is not sent for a sensor
    // without rain filter, and the codes after it never.
    static bool SentByUpload(const clsKOV& link, const std::string& code);
    // Whether the sensor of `link` has parameter `code` at all: the rain
    // filter codes 351-355 only with a rain filter, the Profibus address 610
    // only on a Profibus device, the outputs (401-403, 501-506) and the
    // output mode (603) only on a serial one.
    static bool DeviceHas(const clsKOV& link, const std::string& code);

private:
    enum class UploadOutcome { Complete, Incomplete, Aborted };

    // Runs `transfer` with the line held, a running measurement stopped
    // before and started again after it.
    Result Hold(const std::function<Result()>& transfer);
    Result Run(Mode mode);
    UploadOutcome SendConfig();
    std::int32_t Write(const std::string& code);
    std::int32_t RequestConfiguration();
    void Note(std::int32_t eventNr);

    std::shared_ptr<clsKOV> m_link;
    TransferHost& m_host;
    modKOVComm::EventPump m_pump;
    bool m_busy = false;
    modKOVComm::LineHold* m_hold = nullptr;  // while a transfer runs
    bool m_watching = false;      // waiting for the information block
    bool m_seenConfiguration = false;
    bool m_seenNoAnswer = false;
};
