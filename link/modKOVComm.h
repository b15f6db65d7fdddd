#pragma once
// The sensor's command protocol and the decoder of its replies.
//
// Sending: SendCommand transmits a text byte by byte and arms the answer
// deadline; StartContinuous / StopContinuous / WriteParameter build on it.
// Receiving: DecodeInBuffer runs once per monitor tick on the link's InBuffer,
// stores what it recognised in the link's fields, reports one event in
// EventNr, enforces the deadline and sends its own follow-up commands
// ("X", "C", "T", "S").
//
// Sending and the parameter writes live in modKOVComm.cpp, the decoder in
// ReplyDecoder.cpp (binary frames: FrameReader.cpp, the information block:
// InfoBlock.cpp); the distance units have a table of their own (DistanceUnits).
//
// EventNr: -1 no answer, 0 nothing new, 2 distance, 3 temperature,
// 4 information block read, 5 parameter accepted, 6 parameter rejected,
// 7 checksum error in a binary frame.
#include <cstdint>
#include <functional>
#include <string>

class clsKOV;

namespace modKOVComm {

// Results of a decoding step, in EventNr.
namespace Event {
constexpr std::int32_t NoAnswer = -1;       // the awaited answer did not come in time
constexpr std::int32_t Nothing = 0;
constexpr std::int32_t Distance = 2;        // a distance, or a distance marker
constexpr std::int32_t Temperature = 3;
constexpr std::int32_t Configuration = 4;   // the information block was read
constexpr std::int32_t Accepted = 5;        // a parameter write was answered "OK"
constexpr std::int32_t Rejected = 6;        // ... "ERR"
constexpr std::int32_t ChecksumError = 7;   // a damaged binary frame
}  // namespace Event

// Protocol states, in CommStatus.
namespace Comm {
constexpr std::int32_t NotConnected = 0;
constexpr std::int32_t Idle = 1;            // connected, no measurement running
constexpr std::int32_t Measuring = 2;       // continuous values (or single values with "G")
}  // namespace Comm

// Temperature states, in TempStatus.
namespace TempState {
constexpr std::int32_t Error = 0;  // the sensor reported "NOK": outside its working temperature
constexpr std::int32_t Good = 1;
}  // namespace TempState

// Output formats (parameter 101), in OutputFormat.
namespace OutputFormat {
enum Value : std::int32_t {
    Ascii = 0,      // a distance line each
    AsciiUnit = 1,  // ... with the unit behind the number
    Binary = 2,     // four-byte frames
    BinaryCrc = 3,  // six-byte frames with a checksum
};
constexpr bool IsBinary(std::int32_t format) { return format == Binary || format == BinaryCrc; }
}  // namespace OutputFormat

// Output modes (parameter 603), in OutputMode.
namespace OutputMode {
enum Value : std::int32_t {
    Continuous = 0,  // "M" starts a stream of values
    Single = 1,      // "M" or "G" is answered with one value
    OnRequest = 2,   // after "M" every "G" asks for one value
};
}  // namespace OutputMode

// Distance markers in MeasValue_mm.
constexpr std::int32_t NoEchoValue = 2147483647;       // 7FFFFFFF
constexpr std::int32_t TempErrorValue = 2147483632;    // 7FFFFFF0
// The shape of the sensor's markers: 7F in the high byte, FF or F0 in the low
// byte. The two above have it; a binary frame of that shape is passed on as it
// came (in MeasValue as well), whatever it stands for.
constexpr bool MarkerForm(std::int32_t mm) {
    const auto u = static_cast<std::uint32_t>(mm);
    return (u >> 24) == 0x7F && ((u & 0xFF) == 0xFF || (u & 0xFF) == 0xF0);
}

// ---- hooks ----------------------------------------------------------------

// One round of pending events: the program lets its event loop run (so the
// monitor tick reads the port and decodes); tests advance a simulated clock
// and run one decoding step. A pump returns within the milliseconds it is
// given, even when no event comes, so that a wait can always check its own
// limits. Without a pump, WriteParameter decodes by itself every 50 ms.
using EventPump = std::function<void(int maxWaitMs)>;
constexpr int PumpSliceMs = 50;

// The pause after "S" (and the wait of a pump-less WriteParameter).
using SleepFunction = std::function<void(int milliseconds)>;

// The frame checksum. Returns false when it cannot be computed; the decoding
// step then ends without a result.
using ChecksumFunction =
    std::function<bool(const unsigned char* data, unsigned count, std::int32_t preset, std::uint16_t* result)>;

// What the protocol takes from its surroundings. A default-constructed Hooks
// is the state at program start: no pump, not closing, the system's sleep and
// the CRC16 library (through Crc16Loader).
struct Hooks {
    EventPump pump;
    bool closing = false;       // the program is shutting down: waits end at once with -1
    SleepFunction sleep;        // empty: the system's sleep
    ChecksumFunction checksum;  // empty: the CRC16 library
};

const Hooks& GetHooks();
void SetHooks(Hooks hooks);

// Back to program start: Hooks{} and ConfigurationRead false. Tests call it
// before and after each case.
void ResetHooks();

// Single hooks, for the callers that change only one of them.
void SetEventPump(EventPump pump);
void SetClosing(bool closing);
bool Closing();
void SetSleep(SleepFunction sleep);
void SetChecksumFunction(ChecksumFunction checksum);

// ---- sending ------------------------------------------------------------

// Answer time-out in ms (without the extra 500 ms) for a command text at
// `speed` bit/s. "C" scales with the speed; a speed <= 0 (port gone) gives 1500.
int CommandTimeout(const std::string& command, int speed);

// Flush the input queue, send the text byte by byte (nothing is added),
// pause after "S", reset EventNr / InBuffer, set LastCommand and arm FailTime
// (the time-out, the port's reply allowance and 500 ms).
// While another sequence holds the line (LineHold) nothing happens and the
// result is false.
bool SendCommand(clsKOV& link, const std::string& command);

void StartContinuous(clsKOV& link);  // "M", CommStatus 2
void StopContinuous(clsKOV& link);   // "S", CommStatus 1

// Wire text of the parameter `code` from the link's fields; "" for an unknown code.
std::string ParameterValueText(const clsKOV& link, const std::string& code);

// Sends code, blank, value text, CR and waits for the answer by running the
// event pump. Returns with EventNr 5 (accepted), 6 (rejected, or a temperature
// or information block came instead) or -1 (no answer, port closed, program
// closing, or the text could not be sent completely).
// The write holds the line from before it is sent until its answer, or its
// deadline and the late-answer time after it (an answer that comes then is
// still its own); a command sent just before is answered first. When the
// sensor took a new speed (601), the port follows it before the next command.
void WriteParameter(clsKOV& link, const std::string& code);
// The same with `pump` in place of the hook; `cancelled` (when given) ends
// the wait at once with -1 when it returns true (a window closing, Ctrl+C).
using CancelCheck = std::function<bool()>;
void WriteParameter(clsKOV& link, const std::string& code, const EventPump& pump, const CancelCheck& cancelled = {});
// Sets the port to the speed of the link's Baudrate (601) after the sensor took it.
void FollowSensorSpeed(clsKOV& link);

// ---- decoding -------------------------------------------------------------

// Set once an information block from a sensor has been parsed.
extern bool ConfigurationRead;

void DecodeInBuffer(clsKOV& link);
void DecodeTemperatureReply(clsKOV& link);

// Cuts the newest complete temperature line ("23 C, OK", "-10 C, NOK") out of
// s; "" when there is none. s loses the lines it took.
std::string ExtractTemperature(std::string& s);
// TempState::Error when the text contains "NOK", else TempState::Good.
std::int32_t TemperatureStatus(const std::string& s);
// Takes every complete line out of s and returns the newest one that has the
// shape and the width of the sensor's distance lines (trimmed), or says "No
// Echo" or "TempError" (known by their content, whatever their width); ""
// when there is none. The width is learnt on the link.
std::string ExtractAsciiDistance(clsKOV& link, std::string& s);
// Little-endian signed 32-bit value of the first four bytes of a frame.
std::int32_t BinaryFrameValue(const unsigned char* frame);
// The block from "Type:" up to the "end" behind it; "" when incomplete.
std::string ExtractInfoBlock(const std::string& s);
void ParseInfoBlock(clsKOV& link, const std::string& block);
// Rest of the line after `key`, trimmed; "" when the key or the line end is missing.
std::string InfoValue(const std::string& block, const std::string& key);
// Byte at a 1-based position; 0 outside the text.
int ByteAt(int position, const std::string& s);

// Leading number of a text after blanks, point as decimal separator; 0 when none.
double LeadingNumber(const std::string& s);

}  // namespace modKOVComm
