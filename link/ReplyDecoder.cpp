// The reply decoder: one step per monitor tick on the link's InBuffer, by
// connection state; the deadline of the awaited answer, the follow-up
// commands the decoder sends itself, and the temperature and ASCII distance
// texts. (Binary frames: FrameReader; the information block: InfoBlock.)
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "DistanceUnits.h"
#include "FrameReader.h"
#include "ProtocolParts.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modKOVComm.h"

namespace modKOVComm {
namespace {

// A distance far outside the 32-bit range (garbage on the line) saturates
// instead of overflowing.
std::int32_t SaturatedInt32(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (x <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(x);
}

std::string TemperatureText(int degrees, std::int32_t status) {
    return std::to_string(degrees) + " C" + (status == TempState::Good ? ",  OK" : ", NOK");
}

// ---- decoder limits ------------------------------------------------------

// Bytes nobody asked for that have the shape of the sensor's output are a
// stream of values (autostart, a replugged cable, a measurement the program
// lost track of); bytes of any other shape, however many, are line noise
// (StreamShape). After the "S" that stops such a stream, the line must have been quiet this
// long before the connection is built up again.
constexpr double QuietMs = 150;
// An answer to "T" that arrived but could not be read (line noise) is asked
// for again this often before the sensor counts as silent.
constexpr int KeepAliveRetries = 3;
// An information block with an unreadable value is asked for again this
// often while connecting.
constexpr int BlockRetries = 2;
// A binary temperature answer outside this range (degrees) is a stray byte.
constexpr int MinSensorDegrees = -60;
constexpr int MaxSensorDegrees = 100;
// InBuffer never holds more than this after a step.
constexpr std::size_t MaxInBuffer = 4096;
// Distance lines of another width in a row before the decoder takes that
// width as the sensor's new one (while measuring continuously).
constexpr int WidthChange = 8;

double Ms(double days) { return days * modAPI::MsPerDay; }
bool Overdue(const clsKOV& link) { return link.CurrentTime > link.FailTime; }

// A parameter write is awaited: code, blank, value text, CR.
bool AwaitsWrite(const clsKOV& link) { return !link.LastCommand.empty() && link.LastCommand.back() == '\r'; }

// The sensor's text answers consist of printable ASCII and CR LF. Stray
// bytes from the line are left out before the text is searched, so that a
// noise byte inside a banner or a temperature line does not hide it.
std::string TextOnly(const std::string& s) {
    std::string t;
    t.reserve(s.size());
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 0x20 && u <= 0x7E) || c == '\r' || c == '\n') t.push_back(c);
    }
    return t;
}

void SendTakeover(clsKOV& link, std::string& next) {
    next = "S";
    link.Decoder.TakeoverDue = true;
}

// The action when the awaited answer is overdue. Runs on an empty buffer,
// and on a buffer the step could do nothing with.
void Deadline(clsKOV& link, std::string& next) {
    const std::int32_t status = link.CommStatus;
    const std::string& last = link.LastCommand;
    if (status == Comm::NotConnected) {
        if (last.empty()) {
            next = "X";
        } else {
            link.EventNr = Event::NoAnswer;
            link.LastCommand.clear();
        }
        return;
    }
    if (status != Comm::Idle && status != Comm::Measuring) return;
    if (last == "m") {
        link.EventNr = Event::NoAnswer;
    } else if (last == "M") {
        if (status == Comm::Idle) {
            next = "S";
        } else if (link.OutputMode == OutputMode::Continuous) {
            // A sensor in continuous mode that has not begun to stream
            // within the time-out is not answering. (In the request modes
            // values come only on "G": keep waiting.)
            link.EventNr = Event::NoAnswer;
        }
    } else if (last == "O" || last == "P") {
        link.LastCommand.clear();
    } else if (last == "S") {
        if (status == Comm::Measuring) {
            next = "T";
        } else {
            link.LastCommand.clear();
            link.InBuffer.clear();
        }
    } else if (last == "T") {
        if (link.Decoder.AnswerBytes && link.Decoder.KeepAliveRetries < KeepAliveRetries) {
            // Something came back, but nothing readable: the sensor is
            // there, the line is noisy. Ask again.
            ++link.Decoder.KeepAliveRetries;
            next = "T";
        } else {
            link.Decoder.KeepAliveRetries = 0;
            link.EventNr = Event::NoAnswer;
            link.LastCommand.clear();
        }
    } else if (last.empty()) {
        next = "T";  // keep-alive
    } else if (last == "G") {
        // keeps waiting
    } else {
        link.EventNr = Event::NoAnswer;
    }
}

// A temperature text as the sensor sends it: the degrees (a minus sign and
// up to three digits, a blank in front of a single digit), " C," and the
// state, all printable.
bool TemperatureShape(const std::string& t) {
    const std::size_t p = t.find(" C,");
    if (p == std::string::npos || p == 0) return false;
    std::size_t i = 0;
    while (i < p && t[i] == ' ') ++i;
    if (i < p && t[i] == '-') ++i;
    const std::size_t digits = i;
    while (i < p && IsDigit(t[i])) ++i;
    if (i != p || i == digits || i - digits > 3) return false;
    for (std::size_t k = p + 3; k < t.size(); ++k) {
        const auto u = static_cast<unsigned char>(t[k]);
        if (u < 0x20 || u > 0x7E) return false;
    }
    return true;
}

// Takes a complete temperature text out of `s` into the link (event 3).
// False while the text is not complete yet, or not a temperature at all.
bool TakeTemperature(clsKOV& link, const std::string& s) {
    std::string rest = s;
    const std::string t = ExtractTemperature(rest);
    if (t.empty() || !TemperatureShape(t)) return false;
    link.sTemperature = t;
    link.TempStatus = TemperatureStatus(t);
    link.EventNr = Event::Temperature;
    link.Decoder.KeepAliveRetries = 0;
    return true;
}

void TemperatureFromBytes(clsKOV& link, const unsigned char* b) {
    link.TempStatus = b[1];
    link.sTemperature = TemperatureText(static_cast<signed char>(b[0]), link.TempStatus);
    link.EventNr = Event::Temperature;
    link.Decoder.KeepAliveRetries = 0;
}

// While a stream nobody asked for is being stopped: everything still
// arriving goes; once the line has been quiet, the connection is built up
// anew ("X" when not connected, "C" when connected). A sensor that goes on
// streaming is asked to stop again at the deadline.
void TakeoverStep(clsKOV& link, const std::string& s, std::string& next) {
    if (!s.empty()) {
        link.InBuffer.clear();
        if (Overdue(link)) SendTakeover(link, next);
        return;
    }
    const double now = link.CurrentTime;
    const double margin = 0.5;  // the clock counts in days: 150 ms may come out a hair short
    if (Ms(now - link.Decoder.LastInputAt) >= QuietMs - margin && Ms(now - link.Decoder.SentAt) >= QuietMs - margin)
        next = link.CommStatus == Comm::NotConnected ? "X" : "C";
}

void NotConnected(clsKOV& link, const std::string& raw, std::string& next) {
    const std::string s = TextOnly(raw);
    if (Contains(s, "Sensor ready") || Contains(s, "KOV ready")) {
        next = "C";
    } else if (Contains(s, "Type:")) {
        const std::string block = ExtractInfoBlock(s);
        if (!block.empty() && !BlockReadable(block) && link.Decoder.BlockRetries < BlockRetries) {
            // Line noise spoilt a value the decoding depends on: asked once more.
            ++link.Decoder.BlockRetries;
            next = "C";
        } else if (!block.empty()) {
            link.Decoder.BlockRetries = 0;
            link.EventNr = Event::Configuration;
            ParseInfoBlock(link, block);
            link.CommStatus = Comm::Idle;
            link.LastCommand.clear();
            link.InBuffer.clear();
        } else if (Overdue(link)) {
            link.EventNr = Event::NoAnswer;
            link.InBuffer.clear();
        }
    } else if (Contains(s, " C,")) {
        if (TakeTemperature(link, s)) {
            link.LastCommand.clear();
            link.InBuffer.clear();
        }
    } else if (StreamShape(link, raw)) {
        SendTakeover(link, next);
    } else if (Overdue(link)) {
        next = "X";
    }
}

void Idle(clsKOV& link, const std::string& raw, std::string& next) {
    // A binary answer to "T" is read from the raw bytes before any text
    // test: its two bytes may well spell "O" or "E".
    if (link.LastCommand == "T" && OutputFormat::IsBinary(link.OutputFormat)) {
        DecodeTemperatureReply(link);
    }
    if (link.LastCommand == "S") {
        // What still arrives after a stop is the tail of the stream. A sensor
        // still streaming at the stop's deadline is taken over; otherwise the
        // stop is simply over (its deadline, no information request).
        if (Overdue(link) && StreamShape(link, raw)) {
            SendTakeover(link, next);
        } else {
            link.InBuffer.clear();
        }
        return;
    }
    if (link.EventNr == Event::Nothing) {
        const std::string s = TextOnly(raw);
        if (Contains(s, "Type:")) {
            const std::string block = ExtractInfoBlock(s);
            if (!block.empty()) {
                ParseInfoBlock(link, block);
                link.EventNr = Event::Configuration;
                link.FailTime = 0;  // the keep-alive follows at once
            } else if (link.CurrentTime >= link.FailTime) {
                link.EventNr = Event::NoAnswer;
                link.InBuffer.clear();
            }
        } else if (Contains(s, "KOV ready")) {
            // The sensor restarted: nothing to decode in the banner, and leaving
            // it in the buffer would hide everything that follows.
            link.InBuffer.clear();
        } else if (Contains(s, " C,")) {
            TakeTemperature(link, s);
        } else if (AwaitsWrite(link) && Contains(s, "OK")) {
            link.EventNr = Event::Accepted;  // the sensor's acknowledgement, "OK" or "ERR"
        } else if (AwaitsWrite(link) && Contains(s, "ERR")) {
            link.EventNr = Event::Rejected;
        } else if (StreamShape(link, raw)) {
            SendTakeover(link, next);
        }
    }
    if (link.EventNr > Event::Nothing) {
        link.LastCommand.clear();
        link.InBuffer.clear();
    }
}

// The sensor's ready banner in the middle of its stream: it restarted, with
// its stored parameters. It is connected anew at once.
void SensorRestarted(clsKOV& link, std::string& next) {
    link.CommStatus = Comm::NotConnected;
    link.LastCommand.clear();
    link.InBuffer.clear();
    next = "X";
}

// Distance data of the four output formats. False when the sensor's ready
// banner was found among binary frames (it restarted).
bool DistanceData(clsKOV& link, const std::string& input) {
    if (link.LastCommand == "M") {
        link.FailTime = link.CurrentTime + 3000.0 / modAPI::MsPerDay;
        link.LastCommand = "m";  // continuous data has started
    }
    // A unit outside the table: nothing can be decoded, and the deadline
    // (re-armed only by a value) reports the sensor as not answering.
    double factor = 0;
    if (!DistanceUnits::Factor(link.DistanceUnit, &factor)) return true;
    std::string s = input;
    switch (link.OutputFormat) {
        case OutputFormat::Ascii:
        case OutputFormat::AsciiUnit: {
            const std::string d = ExtractAsciiDistance(link, s);
            link.InBuffer = s;
            if (!d.empty()) {
                // A tick that lands in the middle of a line keeps the last value.
                link.sDistance = d;
                link.MeasValue = LeadingNumber(d);
                link.MeasValue_mm = SaturatedInt32(RoundHalfEven(link.MeasValue * factor));
                link.EventNr = Event::Distance;
            } else if (link.CurrentTime >= link.FailTime) {
                link.EventNr = Event::NoAnswer;
                link.InBuffer.clear();
            }
            break;
        }
        case OutputFormat::Binary:
        case OutputFormat::BinaryCrc: return DistanceFrames(link, s, factor) != FramesRead::Restarted;
        default: break;
    }
    return true;
}

void Measuring(clsKOV& link, const std::string& s, std::string& next) {
    if (link.LastCommand == "T") {
        DecodeTemperatureReply(link);
        return;
    }
    if (link.LastCommand == "S") {
        // Output still arriving after a stop is thrown away. Once the stop's
        // deadline has passed the temperature is asked for, even when the
        // sensor is still sending.
        link.InBuffer.clear();
        if (Overdue(link)) Deadline(link, next);
        return;
    }
    // In the binary formats the frames come first: their bytes may spell
    // anything. The banner of a restart is looked for among the bytes that
    // were no frame.
    if (OutputFormat::IsBinary(link.OutputFormat)) {
        if (!DistanceData(link, s)) {
            SensorRestarted(link, next);
            return;
        }
        if (link.EventNr == Event::Distance) link.FailTime = link.CurrentTime + 3000.0 / modAPI::MsPerDay;
        return;
    }
    if (Contains(s, "KOV ready")) {
        SensorRestarted(link, next);
        return;
    }
    if (Contains(s, "C, ")) {
        TakeTemperature(link, s);
        return;
    }
    if (Contains(s, "TempErr!")) {
        link.MeasValue = TempErrorValue;
        link.MeasValue_mm = TempErrorValue;
        link.EventNr = Event::Distance;
        link.TempStatus = TempState::Error;
        link.InBuffer.clear();
        return;
    }
    DistanceData(link, s);
    if (link.EventNr == Event::Distance) link.FailTime = link.CurrentTime + 3000.0 / modAPI::MsPerDay;
}

}  // namespace

void DecodeInBuffer(clsKOV& link) {
    const std::string s = link.InBuffer;
    std::string next;
    link.EventNr = Event::Nothing;
    link.Decoder.ChecksumErrors = 0;
    if (!s.empty()) {
        link.Decoder.AnswerBytes = true;
        link.Decoder.LastInputAt = link.CurrentTime;
    }
    link.Decoder.TakeoverDue = false;
    if ((link.CommStatus == Comm::NotConnected || link.CommStatus == Comm::Idle) && link.LastCommand == "S" &&
        link.Decoder.TakingOver) {
        TakeoverStep(link, s, next);
    } else if (s.empty()) {
        if (Overdue(link)) Deadline(link, next);
    } else {
        switch (link.CommStatus) {
            case Comm::NotConnected: NotConnected(link, s, next); break;
            case Comm::Idle: Idle(link, s, next); break;
            case Comm::Measuring: Measuring(link, s, next); break;
            default: break;
        }
        // A step that found nothing to report in the buffer (a " C," without
        // a complete line, a lone byte of a frame, stray bytes) would see the
        // same text again on every tick and never reach the deadline: once
        // the deadline has passed, act on it as on an empty buffer and start
        // afresh.
        // (A checksum error is no answer either.)
        if ((link.EventNr == Event::Nothing || link.EventNr == Event::ChecksumError) && next.empty() && Overdue(link) &&
            link.CommStatus >= Comm::NotConnected && link.CommStatus <= Comm::Measuring) {
            link.EventNr = Event::Nothing;
            Deadline(link, next);
            link.InBuffer.clear();
        }
    }
    // Whatever happens, the buffer stays small: what a step could not use
    // in this much text is of no use later either.
    if (link.InBuffer.size() > MaxInBuffer) link.InBuffer.erase(0, link.InBuffer.size() - MaxInBuffer);
    // While the line is held, the follow-up is refused; the step that finds
    // the line free again sends it.
    if (!next.empty() && link.SendCommand(next)) link.Decoder.TakingOver = link.Decoder.TakeoverDue;
    TellWaitingWrite(link);
}

void DecodeTemperatureReply(clsKOV& link) {
    const std::string& s = link.InBuffer;
    switch (link.OutputFormat) {
        case OutputFormat::Ascii:
        case OutputFormat::AsciiUnit:
            if (Contains(s, " C,")) TakeTemperature(link, s);
            break;
        case OutputFormat::Binary: {
            // Degrees (signed) and the state, 0 or 1. Without a checksum only
            // a place that leaves no doubt is taken: the one pair of bytes
            // that can be a temperature at all, or among several the one
            // that reads as the last temperature did. Stray bytes around it
            // are passed over.
            const auto* b = reinterpret_cast<const unsigned char*>(s.data());
            const auto fits = [&](std::size_t at) {
                const int degrees = static_cast<signed char>(b[at]);
                return b[at + 1] <= 1 && degrees >= MinSensorDegrees && degrees <= MaxSensorDegrees;
            };
            const double last = LeadingNumber(link.sTemperature);
            std::size_t at = std::string::npos, like = std::string::npos;
            int candidates = 0, alike = 0;
            for (std::size_t i = 0; i + 2 <= s.size(); ++i) {
                if (!fits(i)) continue;
                ++candidates;
                at = i;
                if (!link.sTemperature.empty() && static_cast<signed char>(b[i]) == last) {
                    ++alike;
                    like = i;
                }
            }
            if (candidates > 1) at = alike == 1 ? like : std::string::npos;
            if (at != std::string::npos) {
                TemperatureFromBytes(link, b + at);
                link.InBuffer.clear();
            }
            break;
        }
        case OutputFormat::BinaryCrc: {
            // Degrees, state and checksum: the first four bytes that pass the
            // checksum are the answer; stray bytes in front of it are passed over.
            // Distance frames mean the sensor did not stop: no answer in there.
            if (s.size() < 4) break;
            for (std::size_t at = 0; at + 6 <= s.size(); ++at) {
                std::uint16_t crc = 1;
                if (!FrameChecksum(link, reinterpret_cast<const unsigned char*>(s.data() + at), 6, &crc)) return;
                if (crc == 0) {
                    link.EventNr = Event::ChecksumError;
                    link.InBuffer.erase(0, s.size() - 3);
                    return;
                }
            }
            for (std::size_t at = 0; at + 4 <= s.size(); ++at) {
                const auto* b = reinterpret_cast<const unsigned char*>(s.data() + at);
                std::uint16_t crc = 0;
                if (!FrameChecksum(link, b, 4, &crc)) return;  // library missing: the step ends here
                if (crc == 0) {
                    TemperatureFromBytes(link, b);
                    link.InBuffer.erase(0, at + 4);
                    return;
                }
            }
            link.EventNr = Event::ChecksumError;
            link.Decoder.ChecksumErrors = 1;
            link.InBuffer.erase(0, s.size() - 3);  // the last three may begin the answer
            break;
        }
        default: break;
    }
}

std::string ExtractTemperature(std::string& s) {
    std::string r;
    for (;;) {
        const std::size_t p = s.find(" C,", 2);  // two characters must stand in front
        if (p == std::string::npos) break;
        const std::size_t q = s.find(CrLf, p + 1);
        if (q == std::string::npos) break;
        std::size_t start = p - 2;
        // Keep a third digit and a minus sign directly in front of the two
        // characters ("-10 C, OK", "105 C, NOK").
        if (IsDigit(s[start])) {
            if (start > 0 && IsDigit(s[start - 1])) --start;
            if (start > 0 && s[start - 1] == '-') --start;
        }
        r = s.substr(start, q - start);
        s.erase(0, q + 2);
    }
    return r;
}

std::int32_t TemperatureStatus(const std::string& s) { return Contains(s, "NOK") ? TempState::Error : TempState::Good; }

std::string ExtractAsciiDistance(clsKOV& link, std::string& s) {
    clsKOV::DecoderMemory& m = link.Decoder;
    // In the request modes one line answers one request; while measuring
    // continuously the width of the lines is known once two agree.
    const bool singleValues = link.OutputMode != OutputMode::Continuous;
    std::string r;
    std::size_t start = 0;
    for (;;) {
        const std::size_t q = s.find(CrLf, start);
        if (q == std::string::npos) break;
        const std::string line = s.substr(start, q - start);
        start = q + 2;
        // "No Echo" and the temperature error are known by their content,
        // whatever their width (in ASCII+UNIT they are narrower than the values).
        if (const char* content = ContentLine(line)) {
            r = content;
            continue;
        }
        const std::string trimmed = Trim(line);
        std::string value;
        if (DistanceShape(line)) {
            value = LeadingNumber(trimmed) != 0 ? trimmed : line;
        } else {
            continue;  // damaged, or the tail of a line whose start was lost
        }
        // All lines of the sensor have the same width; a byte more or less
        // is a damaged line.
        const std::size_t w = line.size();
        bool take = false;
        if (w == m.LineWidth) {
            take = true;
            m.NewWidthCount = 0;
        } else {
            if (w == m.NewWidth) {
                ++m.NewWidthCount;
            } else {
                m.NewWidth = w;
                m.NewWidthCount = 1;
            }
            const int needed = m.LineWidth == 0 ? 2 : WidthChange;
            if (singleValues && m.LineWidth == 0) {
                take = true;
            } else if (m.NewWidthCount >= (singleValues ? 2 : needed)) {
                take = true;
            }
            if (take) {
                m.LineWidth = w;
                m.NewWidthCount = 0;
            }
        }
        if (take) r = value;
    }
    s.erase(0, start);
    return r;
}

std::int32_t BinaryFrameValue(const unsigned char* b) {
    const std::uint32_t u = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                            (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return static_cast<std::int32_t>(u);
}

int ByteAt(int position, const std::string& s) {
    if (position < 1 || static_cast<std::size_t>(position) > s.size()) return 0;
    return static_cast<unsigned char>(s[static_cast<std::size_t>(position) - 1]);
}

double LeadingNumber(const std::string& s) {
    std::size_t i = s.find_first_not_of(' ');
    if (i == std::string::npos) return 0;
    bool negative = false;
    if (s[i] == '+' || s[i] == '-') {
        negative = s[i] == '-';
        ++i;
    }
    // Digits with an optional point and exponent; no "inf", no "nan".
    const std::size_t start = i;
    if (!(i < s.size() && (IsDigit(s[i]) || (s[i] == '.' && i + 1 < s.size() && IsDigit(s[i + 1]))))) return 0;
    double value = 0;
    const auto result = std::from_chars(s.data() + start, s.data() + s.size(), value, std::chars_format::general);
    if (result.ec != std::errc()) return 0;
    return negative ? -value : value;
}

}  // namespace modKOVComm
