#pragma once
// The measurement loop: one tick every 50 ms moves the received bytes
// through the link, acts on the decoder's event, interleaves temperature
// requests into a running measurement and reopens a lost port. Start, Stop,
// the blocking single measurement and the averaging writes live here too.
//
// Plain C++: the main window, and a program without windows, drive it the
// same way. What happened is told to a MonitorView; every new distance goes,
// as a Measurement, to the distance listeners, whoever they are (value label
// and chart, value window, recorder, command-line output). Played-back values
// take the same road through PublishDistance.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Measurement.h"

class clsKOV;

// Status texts of the loop (German ids; the language offset is added where
// the text is looked up).
namespace MonitorText {
constexpr int ConfigurationRead = 1131;
constexpr int NewDistance = 1132;
constexpr int NewTemperature = 1133;
constexpr int NoConnection = 1134;
constexpr int ChecksumError = 1135;
constexpr int PortNotOpen = 1136;
constexpr int SettingRejected = 1137;
constexpr int SettingsNotSaved = 1138;
constexpr int SensorRestarted = 1142;  // the ready banner came in the middle of a measurement
constexpr int LineNoise = 1143;        // values held back until the stream is in step again
constexpr int ChecksumLibrary = 1144;  // "CRC16 library not loaded", followed by where and why
}  // namespace MonitorText

// What the loop shows. Every function has an empty default.
class MonitorView {
public:
    virtual ~MonitorView() = default;
    // Status panel 1: the text `textId` followed by `detail`; with id 0 just
    // `detail` ("" clears the panel).
    virtual void ShowStatus(int textId, const std::string& detail) { (void)textId, (void)detail; }
    virtual void ShowTemperature(const std::string& text) { (void)text; }  // "" clears
    virtual void ShowConfiguration(const clsKOV& link) { (void)link; }     // information block read
    virtual void ShowShutDown(bool visible) { (void)visible; }
    virtual void ClearValue() {}
    // The user's measurement began or ended (Start, Stop, a lost link that is
    // not to be resumed): the Start button's caption follows it.
    virtual void MeasuringChanged(bool measuring) { (void)measuring; }
    // A measurement is about to start; `fresh`: not a resumed one (the chart starts anew).
    virtual void Starting(bool fresh) { (void)fresh; }
    // End of every tick: lamp and the enabled controls follow the state.
    virtual void ShowState(std::int32_t commStatus, bool busy) { (void)commStatus, (void)busy; }
    // Every 500 ms: the chart scrolls while measuring, the clock panel.
    virtual void HalfSecond(double now, std::int32_t commStatus) { (void)now, (void)commStatus; }
    virtual void Received(const std::string& bytes) { (void)bytes; }  // raw input, for the console
    virtual void ClockSetBack() {}  // the wall clock went back: points in the future of the axis
    // A statement of the tick failed and was abandoned; the tick went on.
    virtual void StepFailed(const std::string& what) { (void)what; }
    // The port follows a new speed (the sensor took a speed write, or the
    // user chose one): the speed to open the port with from now on.
    virtual void SpeedChanged(std::int32_t bitsPerSecond) { (void)bitsPerSecond; }
    // The frames' checksum cannot be computed: the CRC16 library could not
    // be loaded. `text` says where it was looked for and why it failed. Told
    // once; the status panel keeps saying it while it lasts.
    virtual void ChecksumUnavailable(const std::string& text) { (void)text; }
};

class MonitorLoop {
public:
    using LinkSource = std::function<std::shared_ptr<clsKOV>()>;
    using DistanceListener = std::function<void(const Measurement& m)>;
    using TickListener = std::function<void(clsKOV& link)>;
    // Told every temperature reading: the measurement record of that moment
    // (its temperature text and state; the distance is the last one).
    using TemperatureListener = std::function<void(const Measurement& m)>;
    // Waits `ms` with the events of the program running; false when the wait
    // was cut short (the program is closing).
    using WaitFunction = std::function<bool(int ms)>;

    static constexpr int TickMs = 50;
    // A wall clock that moves more than this against the real elapsed time
    // has been set (daylight-saving change, time correction).
    static constexpr double ClockJumpMs = 2000.0;
    // An event's status text stays at least this long.
    static constexpr double StatusHoldMs = 500.0;

    MonitorLoop(LinkSource link, MonitorView* view);

    // Port and speed used to (re)open the port.
    void SetPort(std::int32_t comport, std::int32_t baudrate);
    // The user picked another speed: the open port takes it at once.
    void ChangeSpeed(std::int32_t baudrate);
    // The user picked another port: it is opened (again) at once, at `baudrate`.
    void ChangePort(std::int32_t comport, std::int32_t baudrate);
    std::int32_t Comport() const { return m_comport; }
    std::int32_t Baudrate() const { return m_baudrate; }
    // Interleave temperature requests into a running measurement.
    void SetTemperatureRequests(bool on) { m_temperatureRequests = on; }
    // "Now" in days (default: the local time with milliseconds) and a
    // monotonic millisecond clock (default: the system's steady clock).
    void SetClock(std::function<double()> now);
    void SetMonotonicClock(std::function<double()> ms);

    // One pass of the loop.
    void Tick();

    // Start / Stop as the button does it: a running (or to be resumed)
    // measurement is stopped, else one is started when connected. In output
    // mode "Single" a blocking single measurement is made instead.
    void StartStop();
    // Blocking single measurement ("M" in output mode "Single").
    void SingleMeasurement();
    // "G" in the request modes.
    void SingleValue();
    // Writes one averaging parameter (301 or 304) with `value`: stops a running
    // measurement, writes, restarts. A rejected or unanswered write puts the
    // old value back on the link and says so; returns whether it was taken.
    bool WriteAverage(const std::string& code, std::int32_t value);
    // The red marker laser: "P" / "O", around a running measurement. It
    // cannot be switched on while the sensor reports a temperature fault:
    // false then, and nothing is sent. (Without a connection, or while an
    // answer is awaited, nothing is sent either.)
    bool SetLaser(bool on);

    // What the controls of a window may do now.
    struct Controls {
        bool Sensor = false;         // change the sensor's averaging and laser
        bool Start = false;          // Start, or Stop a measurement (also one waiting to go on)
        bool Port = false;           // change the port and its speed
        bool SingleRequest = false;  // ask for one value (output mode "On Request", measuring)
    };
    Controls ControlsNow() const;

    // The user's measurement: running, or waiting to be resumed after a lost link.
    bool Measuring() const { return m_measuring; }
    bool TemperaturePending() const { return m_temperaturePending; }
    // A command's answer is awaited (a write, a single measurement, a
    // transfer that holds the line): nothing else may be sent meanwhile.
    bool Busy() const;
    // The program is closing: every wait ends, nothing new starts.
    void SetClosing(bool closing);
    bool Closing() const { return m_closing; }
    void SetWaitFunction(WaitFunction wait) { m_wait = std::move(wait); }

    // New distances go to every listener, in the order they subscribed.
    int Subscribe(DistanceListener listener);
    // Every temperature reading goes to these listeners, after the view.
    int SubscribeTemperature(TemperatureListener listener);
    // Ends a subscription of either kind.
    void Unsubscribe(int id);
    void PublishDistance(const Measurement& m);
    std::uint64_t PublishedCount() const { return m_published; }
    // Called once per tick (the configuration dialog's window control).
    int AddTickListener(TickListener listener);
    void RemoveTickListener(int id);

    // Runs one statement; a failure abandons that statement only, and is told
    // to the view.
    void Step(const std::function<void()>& statement);

private:
    void CheckClockJump(clsKOV& link, double now);
    void Listen(clsKOV& link);
    void ShowLasting(clsKOV& link);
    void HandleEvent(clsKOV& link);
    void NoAnswer(clsKOV& link);
    void Start(clsKOV& link, bool fresh);
    void SetMeasuring(bool measuring);
    bool Wait(int ms);

    LinkSource m_link;
    MonitorView* m_view;
    MonitorView m_silent;
    std::function<double()> m_now;
    std::function<double()> m_monotonic;
    WaitFunction m_wait;

    std::int32_t m_comport = 1;
    std::int32_t m_baudrate = 9600;
    bool m_temperatureRequests = false;
    bool m_measuring = false;
    bool m_temperaturePending = false;
    bool m_closing = false;
    int m_busy = 0;
    bool m_singleActive = false;

    double m_lastTickTime = 0;    // days
    double m_lastMonotonic = -1;  // ms
    std::int64_t m_elapsed = 0;   // ms since the last half-second step
    std::uint64_t m_published = 0;
    double m_lastEventAt = 0;             // days: the last step that reported something
    const clsKOV* m_listening = nullptr;  // the link whose speed changes the loop follows
    std::string m_checksumTold;           // the checksum problem the view was told of

    template <typename Listener>
    struct Entry {
        int id;
        Listener call;
    };
    std::vector<Entry<DistanceListener>> m_listeners;
    std::vector<Entry<TemperatureListener>> m_temperatureListeners;
    std::vector<Entry<TickListener>> m_tickListeners;
    int m_nextId = 1;
};
