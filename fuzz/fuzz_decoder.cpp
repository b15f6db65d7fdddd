// Fuzz target: the reply decoder (modKOVComm::DecodeInBuffer) on a link with
// no port, fed the input as a byte stream in chunks, one decoding step per
// 50 ms monitor tick.
//
// Input layout:
//   byte 0  CommStatus (value % 3)
//   byte 1  awaited command (value % 9): "", "X", "C", "T", "S", "M", "m", "G", "301 4\r"
//   byte 2  OutputFormat (value % 4)
//   byte 3  DistanceUnit (value % 8; 7 is no unit)
//   byte 4  OutputMode (value % 3)
//   then records, each starting with a byte R (n = R & 63):
//     R >> 6 == 0  the next n bytes arrive in one tick
//     R >> 6 == 1  one tick without data, then n bytes in one tick
//     R >> 6 == 2  20 ticks without data (1 s), then n bytes in one tick
//     R >> 6 == 3  a second byte B follows: B & 0x80 set: the last chunk
//                  arrives again in each of (B & 0x7F) + 1 ticks; else the
//                  next (n << 7 | B) bytes arrive in one tick (a stalled tick)
//
// The checksum is the software CRC16 built into this program, and the pause
// after "S" does nothing, so no library is loaded and nothing sleeps.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "DistanceUnits.h"
#include "FuzzCheck.h"
#include "clsKOV.h"
#include "crc16.h"
#include "modAPI.h"
#include "modKOVComm.h"

namespace {

// The decoder never keeps more than this much unconsumed input.
constexpr std::size_t MaxInBuffer = 8192;
// Bounds on one input's work.
constexpr int MaxSteps = 20000;
constexpr std::size_t MaxFed = 1u << 20;

constexpr double StartDay = 45000.0;  // some day in 2023
constexpr double TickMs = 50.0;

const char* const Commands[] = {"", "X", "C", "T", "S", "M", "m", "G", "301 4\r"};

bool SoftwareChecksum(const unsigned char* data, unsigned count, std::int32_t preset, std::uint16_t* result) {
    FUZZ_CHECK(data != nullptr && result != nullptr, "checksum called without data or result");
    *result = static_cast<std::uint16_t>(crc16_byte_block(data, count, static_cast<std::uint32_t>(preset)));
    return true;
}

bool FrameChecksumOk(const char* frame) {
    return crc16_byte_block(frame, 6, 0xFFFFu) == 0;
}

bool Init() {
    // CRC-16/AUG-CCITT check value: the message, two zero bytes, preset 0xFFFF.
    const char check[] = "123456789\0";  // with the terminating NUL: two zero bytes
    FUZZ_CHECK(crc16_byte_block(check, 11, 0xFFFFu) == 0xE5CC, "software CRC16 gives the wrong check value");
    modKOVComm::SetChecksumFunction(SoftwareChecksum);
    modKOVComm::SetSleep([](int) {});
    return true;
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool AtEnd() const { return m_pos >= m_size; }
    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::string Take(std::size_t n) {
        if (n > m_size - m_pos) n = m_size - m_pos;
        std::string s(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return s;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Printable ASCII, CR and LF: what the sensor's text answers consist of.
bool IsText(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x20 && u <= 0x7E) || c == '\r' || c == '\n';
}

bool IsMarker(std::int32_t mm) { return mm == modKOVComm::NoEchoValue || mm == modKOVComm::TempErrorValue; }

class Run {
public:
    clsKOV link;
    int steps = 0;

    bool Exhausted() const { return steps >= MaxSteps || m_fed.size() >= MaxFed; }

    // One monitor tick: the bytes that arrived, then one decoding step.
    void Step(const std::string& chunk) {
        ++steps;
        link.CurrentTime = StartDay + steps * TickMs / modAPI::MsPerDay;
        link.NewInData = chunk;
        link.InBuffer += chunk;
        m_fed += chunk;
        m_lastChunk = chunk.size();
        for (char c : chunk)
            if (IsText(c)) m_fedText += c;
        const std::int32_t format = link.OutputFormat;
        const std::int32_t unit = link.DistanceUnit;
        modKOVComm::DecodeInBuffer(link);
        Check(format, unit);
    }

private:
    std::string m_fed;      // everything that arrived so far
    std::string m_fedText;  // the same without the bytes that cannot be part of a text answer
    std::size_t m_lastChunk = 0;

    // Where a value of this step can have come from: the bytes the buffer
    // could still hold before the step (at most MaxInBuffer, checked after
    // every step) and the chunk that just arrived. Searching only there also
    // keeps long inputs fast.
    std::size_t RecentStart(std::size_t length) const {
        const std::size_t window = MaxInBuffer + m_lastChunk + length;
        return m_fed.size() > window ? m_fed.size() - window : 0;
    }

    bool Fed(const std::string& s) const { return m_fed.find(s, RecentStart(s.size())) != std::string::npos; }

    // A checked frame carrying `value` among the recent bytes.
    bool FedCheckedFrame(const std::string& value) const {
        for (std::size_t p = m_fed.find(value, RecentStart(6)); p != std::string::npos; p = m_fed.find(value, p + 1))
            if (p + 6 <= m_fed.size() && FrameChecksumOk(m_fed.data() + p)) return true;
        return false;
    }

    void Check(std::int32_t format, std::int32_t unit) {
        const std::int32_t e = link.EventNr;
        FUZZ_CHECK(e == -1 || e == 0 || (e >= 2 && e <= 7), "EventNr outside -1, 0, 2..7");
        FUZZ_CHECK(link.CommStatus >= 0 && link.CommStatus <= 2, "CommStatus outside 0..2");
        FUZZ_CHECK(link.InBuffer.size() <= MaxInBuffer, "InBuffer grew beyond 8192 bytes");
        FUZZ_CHECK(std::isfinite(link.MeasValue), "MeasValue is not finite");

        if (e == 2) CheckDistance(format, unit);
        if (e == 3 && (format == 0 || format == 1)) {
            // ASCII formats: the temperature line is the sensor's own text
            // (stray bytes on the line left out).
            FUZZ_CHECK(m_fedText.find(link.sTemperature) != std::string::npos,
                       "temperature text that never arrived");
            const bool nok = link.sTemperature.find("NOK") != std::string::npos;
            FUZZ_CHECK(link.TempStatus == (nok ? 0 : 1), "TempStatus does not match the temperature text");
        }
        if (e == 4) {
            if (link.DeviceType == "Serial")
                FUZZ_CHECK(link.NodeAddress == -1, "serial device with a node address");
            if (link.Attenuator.find('E') == std::string::npos)
                FUZZ_CHECK(link.RainFilter == -1, "rain filter on a device without one");
        }
    }

    void CheckDistance(std::int32_t format, std::int32_t unit) {
        const std::int32_t mm = link.MeasValue_mm;
        double factor = 0;
        if (!DistanceUnits::Factor(unit, &factor)) {
            // No unit: only the sensor's temperature error can be reported.
            FUZZ_CHECK(mm == modKOVComm::TempErrorValue, "distance reported without a valid unit");
            return;
        }
        if (format == 2 || format == 3) {
            // Every binary value came as a frame, markers included; only the
            // temperature error may come as text ("TempErr!").
            if (mm == modKOVComm::TempErrorValue) return;
            const auto u = static_cast<std::uint32_t>(mm);
            const std::string value{static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                                    static_cast<char>((u >> 16) & 0xFF), static_cast<char>((u >> 24) & 0xFF)};
            FUZZ_CHECK(Fed(value), "binary distance whose frame never arrived");
            if (format == 3) FUZZ_CHECK(FedCheckedFrame(value), "checked distance without a valid frame in the input");
            // A distance is converted into the link's unit; a marker (7F in the
            // high byte, FF or F0 in the low byte) is passed on unconverted.
            const bool converted =
                std::fabs(link.MeasValue * factor - mm) <= 1e-9 * std::fabs(static_cast<double>(mm)) + 1e-6;
            const bool markerShape = (u >> 24) == 0x7F && ((u & 0xFF) == 0xFF || (u & 0xFF) == 0xF0);
            FUZZ_CHECK(converted || (markerShape && link.MeasValue == mm),
                       "MeasValue does not match MeasValue_mm in the link's unit");
        } else if (format == 0 || format == 1) {
            // The temperature error comes as its own text; the distance text
            // then still holds the previous line.
            if (mm == modKOVComm::TempErrorValue) return;
            const std::string& d = link.sDistance;
            if (d != "No Echo" && d != "TempError") FUZZ_CHECK(Fed(d), "distance text that never arrived");
            const bool saturated = mm == INT32_MAX || mm == INT32_MIN;
            if (!IsMarker(mm) && !saturated)
                FUZZ_CHECK(std::fabs(link.MeasValue * factor - mm) <= 0.5 + 1e-9 * std::fabs(static_cast<double>(mm)),
                           "MeasValue_mm is not MeasValue in mm, rounded");
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = Init();
    (void)ready;

    Input in(data, size);
    Run run;
    clsKOV& link = run.link;
    const std::int32_t status = in.Byte() % 3;
    const char* command = Commands[in.Byte() % (sizeof Commands / sizeof Commands[0])];
    link.OutputFormat = in.Byte() % 4;
    link.DistanceUnit = in.Byte() % 8;
    link.OutputMode = in.Byte() % 3;
    link.CurrentTime = StartDay;
    modKOVComm::SendCommand(link, command);  // no port: sets the awaited command and its deadline
    link.CommStatus = status;

    std::string last;
    while (!in.AtEnd() && !run.Exhausted()) {
        const std::uint8_t r = in.Byte();
        const std::size_t n = r & 0x3F;
        switch (r >> 6) {
            case 0:
                last = in.Take(n);
                run.Step(last);
                break;
            case 1:
                run.Step("");
                last = in.Take(n);
                run.Step(last);
                break;
            case 2:
                for (int i = 0; i < 20; ++i) run.Step("");
                last = in.Take(n);
                run.Step(last);
                break;
            default: {
                const std::uint8_t b = in.Byte();
                if (b & 0x80) {
                    for (int i = 0; i <= (b & 0x7F) && !run.Exhausted(); ++i) run.Step(last);
                } else {
                    last = in.Take(n << 7 | b);
                    run.Step(last);
                }
                break;
            }
        }
    }
    return 0;
}
