#pragma once
// The simulated ORA-2 / ORB-2 sensor: the sensor's side of the serial
// protocol, driven by a clock that the caller passes in.
//
// Bytes from the program go in through Receive(); what the sensor sends comes
// out of Transmit(), paced at the line speed: a byte takes ten bit times
// (8N1), answers leave after a short processing time, and continuous values
// are produced at the measuring rate of the averaging depth, but never faster
// than the line can carry them.
//
// Commands: "X" ready banner, "C" information block, "M" continuous values (one value in output mode
// "Single", none in "On Request"),
// "S" stop, "T" temperature, "G" one value, "P" / "O" laser pointer on / off,
// "code value CR" parameter write ("OK" / "ERR"), "999 CR" store,
// "000 CR" factory defaults. While it sends continuous values the sensor
// obeys "S" only; everything else is heard (see Commands()) but ignored.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace Sim {

struct Options {
    // Device variant.
    bool profibus = false;    // fieldbus device: "Type: Profibus", node address 610, no analog / switching outputs
    bool rainFilter = false;  // attenuator with "E": rain filter codes 351-355
    bool autostart = false;   // stored 305 = 1: banner, then continuous values from power-on

    // Faults.
    bool silent = false;             // receives everything, answers nothing
    double noEchoRate = 0;           // share of values lost as "No Echo" (in short runs)
    bool tempError = false;          // temperature out of range: "TempErr!" values, "NOK" temperatures
    double restartAfterMs = 0;       // restarts (ready banner) after this long in continuous mode; 0 never
    double garbageRate = 0;          // chance per value of a burst of random bytes in front of it
    double crcErrorRate = 0;         // chance per checked frame of a damaged checksum
    std::set<std::string> rejectedCodes;  // parameter codes always answered "ERR"
    double replyDelayMs = 0;         // extra delay before every answer and the first value
    double noiseRate = 0;            // line noise: chance per byte sent of a random byte in front of it,
                                     // and about noiseRate * 50 stray bytes a second on a quiet line
    double damageRate = 0;           // chance per byte sent of arriving as another byte
    double noiseBytesPerSecond = 0;  // stray bytes arriving at random moments, whether the sensor sends or
    int noiseBurst = 1;              // not, in bursts of 1..noiseBurst bytes

    int temperatureC = 23;           // sensor temperature
    unsigned seed = 1;               // noise, faults
    int lineSpeed = 9600;            // bit/s until the port sets another
    // The sensor's own speed (bit/s, one of 1200 .. 38400). 0: it talks at
    // whatever speed the port is set to, until a speed write (601) is taken.
    // Once it has a speed of its own, bytes at another speed are lost on the
    // way in and arrive as garbage on the way out, as on a real line; after
    // the "OK" to 601 it switches to the new speed.
    int sensorSpeed = 0;
};

// One value the sensor sent, as it went out.
struct SentValue {
    double timeMs = 0;           // model time at which it was measured
    std::int32_t mm = 0;         // distance in mm, or 2147483647 (no echo) / 2147483632 (temperature error)
    int format = 0;              // output format 0..3 it was sent in
    int unit = 0;                // distance unit 0..6
    std::string text;            // the line without CR LF (ASCII formats), else ""
    bool damaged = false;        // checksum deliberately corrupted
};

// One command as the sensor understood it.
struct ReceivedCommand {
    double timeMs = 0;
    std::string text;            // "X", "T", ... or a parameter line without its CR
};

class SensorModel {
public:
    // Milliseconds on any scale; the model only uses differences.
    using Clock = std::function<double()>;

    SensorModel(Options options, Clock clock);

    // The program's bytes, taken at the clock's current time.
    void Receive(const unsigned char* data, size_t length);
    void Receive(const std::string& text) {
        Receive(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }
    // Everything the sensor has completely sent up to the clock's current time.
    std::string Transmit();

    // Line speed in bit/s (a pseudo-terminal or the in-process port tell the model).
    void SetLineSpeed(int bitsPerSecond);
    int LineSpeed() const { return m_LineSpeed; }
    // The speed the sensor talks at now (0: the port's, whatever it is).
    int SensorSpeed();

    // Power cycle: the unsaved parameters are lost, measuring stops (unless the
    // stored set says autostart) and the ready banner follows after the boot time.
    void PowerCycle();

    // A simulated adapter that can be pulled (in-process port only). The
    // sensor has its own power: it goes on measuring while the plug is out.
    void SetUnplugged(bool unplugged) { m_Unplugged = unplugged; }
    bool Unplugged() const { return m_Unplugged; }

    // Faults and device variant can be changed while running; a variant change
    // takes effect with the next factory reset or power cycle of the model.
    Options& Faults() { return m_Options; }
    const Options& CurrentOptions() const { return m_Options; }

    bool Measuring() const { return m_Measuring; }
    bool Pointer() const { return m_Pointer; }
    int Param(int code) const;            // working value (list index for list parameters)
    int StoredParam(int code) const;
    void SetParam(int code, int value);   // tests: set a working value directly
    void StoreParam(int code, int value); // tests, the tool: a working value that is stored as well

    // The information block and the ASCII temperature line as the sensor would send them.
    std::string InfoBlock() const;
    std::string TemperatureLine() const;

    // What went over the line, newest last (bounded). The values are the ones
    // the sensor meant to send; line noise and damage are not in them.
    const std::deque<SentValue>& History() const { return m_History; }
    const std::deque<ReceivedCommand>& Commands() const { return m_Commands; }
    // Called with every command as it is received, also while the sensor is
    // silent or busy streaming (the tool's command log). Empty: none.
    using CommandListener = std::function<void(const ReceivedCommand&)>;
    void SetCommandListener(CommandListener listener) { m_CommandListener = std::move(listener); }
    // Called with every value as it goes out (the tool's value log). Empty: none.
    using ValueListener = std::function<void(const SentValue&)>;
    void SetValueListener(ValueListener listener) { m_ValueListener = std::move(listener); }
    void ClearHistory() {
        m_History.clear();
        m_Commands.clear();
    }
    // Bytes waiting to be sent (queued answers and values).
    size_t PendingBytes() const;

    // Millimetres per unit and the short unit texts, indexed by DistanceUnit.
    static double UnitFactor(int unit);
    static const char* UnitText(int unit);
    // CRC-16/AUG-CCITT of the frame data, as the sensor appends it (high byte first).
    static std::uint16_t FrameChecksum(const unsigned char* data, size_t length);
    // Checks a parameter write; on success *index is the value to store.
    bool CheckWrite(const std::string& code, const std::string& value, int* index) const;

    // The values the sensor sends instead of a distance. The simulator keeps
    // its own copy rather than the link's, so that the tests set two
    // independent sides against each other.
    static constexpr std::int32_t NoEchoMarker = 2147483647;
    static constexpr std::int32_t TempErrorMarker = 2147483632;
    static constexpr size_t HistoryLimit = 20000;

private:
    double Now();
    void Advance(double now);
    void Emit(double now);
    void Enqueue(std::string bytes, double readyAt);
    std::string OnTheLine(const std::string& bytes);
    void StrayBytes(double until);
    double StrayGapMs();
    void NoiseBursts(double until);
    double BurstGapMs();
    void FollowSpeedWrite(double now);
    bool WrongSpeed() const { return m_Speed > 0 && m_Speed != m_LineSpeed; }
    char RandomByte() { return static_cast<char>(m_Random() & 0xFF); }
    void DropPending();
    void Command(char letter, double now);
    void ParameterLine(const std::string& line, double now);
    std::string ValueBytes(double atMs);
    std::string TemperatureBytes();
    double TrueDistance(double atMs);
    double MeasuringPeriodMs() const;
    double ByteMs() const { return 10000.0 / m_LineSpeed; }
    double AnswerAt(double now) const { return now + kProcessingMs + m_Options.replyDelayMs; }
    void FactoryDefaults(std::map<int, int>* set) const;
    void StartMeasuring(double now);
    void RecordCommand(double now, std::string text);
    void Restart(double at);

    struct Chunk {
        std::string bytes;
        double readyAt = 0;
        size_t sent = 0;
        int speed = 0;  // the sensor's speed when it sent them (0: the port's)
    };

    static constexpr double kProcessingMs = 5;
    static constexpr double kBootMs = 300;

    Options m_Options;
    Clock m_Clock;
    double m_Start = 0;
    double m_LastNow = 0;
    int m_LineSpeed = 9600;
    bool m_Unplugged = false;

    std::map<int, int> m_Working;
    std::map<int, int> m_Stored;
    bool m_Pointer = false;
    bool m_Measuring = false;
    double m_MeasureStart = 0;
    double m_NextValueAt = 0;
    int m_NoEchoLeft = 0;

    std::string m_Line;       // parameter line being received
    bool m_SkipToCR = false;  // an overlong line is dropped up to its CR

    std::deque<Chunk> m_Queue;
    double m_TxFreeAt = 0;    // when the last byte on the wire is complete
    double m_QueueEndAt = 0;  // when the last queued byte will be complete
    std::string m_Out;        // bytes already on the wire, not yet collected
    double m_StrayRate = 0;   // noise rate the next stray byte was drawn for
    double m_NextStrayAt = 0; // when the next stray byte arrives (infinite without noise)
    double m_BurstRate = 0;   // noise bytes a second the next burst was drawn for
    double m_NextBurstAt = 0; // when the next burst of noise arrives (infinite without)
    int m_Speed = 0;          // the sensor's speed, 0 while it follows the port
    int m_StoredSpeed = 0;    // ... after a restart
    int m_NextSpeed = 0;      // a speed write was taken: this speed from m_SpeedSwitchAt on
    double m_SpeedSwitchAt = 0;

    std::mt19937 m_Random;
    std::deque<SentValue> m_History;
    std::deque<ReceivedCommand> m_Commands;
    CommandListener m_CommandListener;
    ValueListener m_ValueListener;
};

// One line of the command log: a JSON object with the time in whole
// milliseconds of the model's clock and the command text as received
// (a parameter line without its CR), e.g.
//     {"time_ms":1532,"command":"111 MM"}
// Bytes outside printable ASCII are written as \u00XX escapes.
std::string CommandLogLine(const ReceivedCommand& command);

// One line of the value log: time and millimetres (or marker) of a value
// as it went out, e.g. {"time_ms":2051,"mm":6596}.
std::string ValueLogLine(const SentValue& value);

}  // namespace Sim
