#pragma once
// One run of ora2orb2-cli against a sensor: the settings (KOV.ini of the
// data folder), the link, the measurement loop and the 50 ms tick that
// drives it, as the program's window timer does.
//
// Every wait has an exit: the sensor's answer, a deadline, the port going
// away, or an interrupt (Ctrl+C, a termination signal).
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "CliArgs.h"
#include "MonitorLoop.h"
#include "clsIni.h"

class clsKOV;

namespace cli {

// Interrupts: set from a signal handler (async-signal-safe), read by every wait.
void RequestInterrupt();
bool InterruptRequested();
void ClearInterrupt();

// The 50 ms rhythm of the loop, on an injectable monotonic clock and sleep
// (tests run it without real waiting). Ticks that were missed (a slow step,
// a suspended machine) are not made up in a burst: the rhythm starts anew.
class TickDriver {
public:
    using ClockMs = std::function<double()>;
    using SleepMs = std::function<void(double)>;

    // Empty functions: the steady clock and the system's sleep.
    TickDriver(ClockMs clock = {}, SleepMs sleep = {});

    double NowMs() const { return m_clock(); }
    void Sleep(double ms) {
        if (ms > 0) m_sleep(ms);
    }
    // Sleeps until the next tick is due, but at most `maxWaitMs`. True when
    // the tick is due now (and counted), false when the wait ended first.
    bool WaitForTick(double maxWaitMs);
    long long Ticks() const { return m_ticks; }

private:
    ClockMs m_clock;
    SleepMs m_sleep;
    double m_next = -1;
    long long m_ticks = 0;
};

class Session : private MonitorView {
public:
    Session(const Options& options, std::ostream& err, TickDriver::ClockMs clock = {}, TickDriver::SleepMs sleep = {});
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the port and waits until the sensor has sent its information
    // block (identity and parameters). ExitCode::Ok, or the code of the
    // failure after its message went to the error stream.
    int Connect();

    // Waits for the next tick and runs it.
    void Tick();
    // One round for a wait of the protocol (a parameter write, a transfer):
    // runs the tick that falls within `maxWaitMs`, else just waits.
    void Pump(int maxWaitMs);

    clsKOV& Link() { return *m_link; }
    std::shared_ptr<clsKOV> LinkPtr() { return m_link; }
    MonitorLoop& Loop() { return m_loop; }
    TickDriver& Driver() { return m_driver; }
    const Options& Opts() const { return m_options; }

    // The port went away after it had been open.
    bool Lost() const { return m_lost; }
    // A wait ended early: interrupted or lost. The code to exit with, after
    // its message went out; 0 when neither happened.
    int Stopped();
    // "COM 4 (/dev/ttyUSB0)" or the device given with --device.
    std::string PortName() const;
    // Whether the sensor has been heard at all (any byte) since the start.
    bool Heard() const { return m_heard; }
    // The port followed the sensor to another speed (bit/s); 0 when not.
    int SpeedChangedTo() const { return m_speedChangedTo; }
    // The CRC16 library cannot be loaded: where and why; "" while it can.
    const std::string& ChecksumProblem() const { return m_checksumProblem; }
    // Tells that later commands need the new --baud, once the speed changed.
    void NoteNewSpeed();

    // A note on the error stream, unless --quiet.
    void Note(const std::string& text);
    // An error on the error stream, always: "ora2orb2-cli: text".
    void Error(const std::string& text);
    // Progress on a terminal: the line is rewritten in place. "" ends it.
    void Progress(const std::string& text);
    void SetProgressAllowed(bool allowed) { m_progressAllowed = allowed; }

private:
    // MonitorView
    void ShowConfiguration(const clsKOV& link) override;
    void Received(const std::string& bytes) override;
    void StepFailed(const std::string& what) override;
    void SpeedChanged(std::int32_t bitsPerSecond) override;
    void ChecksumUnavailable(const std::string& text) override;

    void AfterTick();

    Options m_options;
    std::ostream& m_err;
    clsIni m_settings;
    std::shared_ptr<clsKOV> m_link;
    MonitorLoop m_loop;
    TickDriver m_driver;
    int m_comport = 1;
    int m_baud = 9600;
    bool m_wasOpen = false;
    bool m_lost = false;
    bool m_heard = false;
    bool m_configured = false;
    int m_speedChangedTo = 0;
    bool m_speedNoted = false;
    std::string m_checksumProblem;
    bool m_progressAllowed = false;
    std::size_t m_progressWidth = 0;
};

}  // namespace cli
