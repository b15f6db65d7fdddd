#include "FrameReader.h"

#include <cstdlib>

#include "ProtocolParts.h"
#include "clsKOV.h"
#include "modKOVComm.h"

namespace modKOVComm {
namespace {

// Frames in a row that must pass before the decoder trusts a frame position
// it had to search for. The checksum makes two enough. Without it, the
// first frame at a new position may carry a stray byte as its low byte, so
// it is never taken; the next two must agree with each other and with the
// values before the disturbance, or, when the target moved meanwhile, the
// next five with each other.
constexpr std::size_t HuntFramesChecked = 2;
constexpr std::size_t HuntFramesPlain = 3;
constexpr std::size_t HuntFramesNewLevel = 6;
// Distances agree when they differ by at most this plus half the reference.
constexpr std::int64_t AgreeMm = 64;
// Frames of one shape in a row that make a stream (the "S" that stops a
// stream nobody asked for), and distance lines of one width.
constexpr std::size_t StreamLines = 2;

enum class Frame { Good, Bad, NoLibrary };

const unsigned char* At(const std::string& s, std::size_t at) {
    return reinterpret_cast<const unsigned char*>(s.data() + at);
}

// The frame pattern of "BINARY": a distance (high byte 00), a marker (7F in
// the high byte, FF or F0 in the low byte) or a negative distance. Strict:
// a distance whose low byte is 00 does not count, for that is where windows
// across two frames pass (the high byte 00 of one frame in front of the
// next one).
bool PlainFrame(const unsigned char* b, bool strict) {
    const bool marker = b[3] == 0x7F && (b[0] == 0xFF || b[0] == 0xF0);
    const bool negative = b[3] == 0xFF && b[2] > 0xE1;
    const bool distance = b[3] == 0x00 && (!strict || b[0] != 0x00);
    return distance || marker || negative;
}

// The values the sensor sends in place of a distance; they agree with anything.
bool Marker(std::int32_t v) { return v == NoEchoValue || v == TempErrorValue; }

struct Reading {
    bool any = false;  // a frame was taken
    std::int32_t mm = 0;
    int errors = 0;
    bool skipped = false;
    std::size_t pos = 0;
    std::string unframed;
};

// "BINARY+CRC": read in step; a damaged frame followed by a good one is
// skipped in step, otherwise the position is searched anew.
bool CheckedFrames(clsKOV& link, const std::string& s, Reading& r) {
    clsKOV::DecoderMemory& m = link.Decoder;
    constexpr std::size_t size = 6;
    const auto test = [&](std::size_t at) {
        std::uint16_t crc = 0xFFFF;
        if (!FrameChecksum(link, At(s, at), 6, &crc)) return Frame::NoLibrary;
        return crc == 0 ? Frame::Good : Frame::Bad;
    };
    for (;;) {
        const std::size_t left = s.size() - r.pos;
        if (m.FrameLocked) {
            if (left < size) break;
            const Frame f = test(r.pos);
            if (f == Frame::NoLibrary) return false;
            if (f == Frame::Good) {
                r.any = true;
                r.mm = BinaryFrameValue(At(s, r.pos));
                ++m.FramesTaken;
                r.pos += size;
                continue;
            }
            if (left < 2 * size) break;  // the next frame decides
            const Frame after = test(r.pos + size);
            if (after == Frame::NoLibrary) return false;
            if (after == Frame::Good) {
                ++r.errors;
                r.unframed.append(s, r.pos, size);
                r.pos += size;
                continue;
            }
            m.FrameLocked = false;
        }
        if (left < size * HuntFramesChecked) break;
        bool inStep = true;
        for (std::size_t k = 0; k < HuntFramesChecked && inStep; ++k) {
            const Frame f = test(r.pos + k * size);
            if (f == Frame::NoLibrary) return false;
            inStep = f == Frame::Good;
        }
        if (inStep) {
            m.FrameLocked = true;
            continue;
        }
        r.skipped = true;
        r.unframed.push_back(s[r.pos]);
        ++r.pos;
    }
    return true;
}

enum class Position { InStep, NotInStep, NeedMore };

// Whether the frames from `pos` on are in step with the sensor's. The first
// only has to have the frame pattern (it may hold a stray byte). The ones
// after it agree with each other, and either the first of them agrees with
// the values before and one of them passes the strict pattern, or (nothing
// to agree with, or the target moved meanwhile) all of them pass it: a
// window one byte early has the 00 of the frame before as its low byte, and
// a stray byte in one such window does not make them all pass. Markers
// agree with anything.
Position TryPosition(const std::string& s, std::size_t pos, bool haveReference, std::int32_t reference) {
    std::size_t strict = 0;
    bool haveFirst = false, firstAgrees = false;
    std::int32_t previous = 0;
    bool havePrevious = false;
    for (std::size_t k = 0;; ++k) {
        const std::size_t at = pos + 4 * k;
        if (at + 4 > s.size()) return Position::NeedMore;
        const unsigned char* b = At(s, at);
        if (!PlainFrame(b, false)) return Position::NotInStep;
        if (k == 0) continue;
        const bool isStrict = PlainFrame(b, true);
        strict += isStrict ? 1 : 0;
        const std::int32_t v = BinaryFrameValue(b);
        if (!Marker(v)) {
            if (havePrevious && !Agree(v, previous)) return Position::NotInStep;
            if (!haveFirst) {
                haveFirst = true;
                firstAgrees = haveReference && Agree(v, reference);
            }
            previous = v;
            havePrevious = true;
        }
        const bool allStrict = strict == k;
        if (!allStrict && !firstAgrees) return Position::NotInStep;
        const std::size_t frames = k + 1;
        if (frames >= HuntFramesPlain && (firstAgrees || !haveReference) && strict > 0) return Position::InStep;
        if (frames >= HuntFramesNewLevel) return Position::InStep;  // all strict, agreeing among themselves
    }
}

// "BINARY": once in step, every frame is read at its place (a low byte of
// 00 included) as long as it agrees with the value before it. A frame that
// does not is a window across a stray byte, or the target jumped: the
// values are held back ("line noise") until a position is confirmed by the
// frames after it.
void PlainFrames(clsKOV& link, const std::string& s, Reading& r) {
    clsKOV::DecoderMemory& m = link.Decoder;
    // In the request modes one frame answers one request; there is nothing
    // to compare it with.
    const bool singleValues = link.OutputMode != OutputMode::Continuous;
    for (;;) {
        if (m.FrameLocked) {
            if (s.size() - r.pos < 4) break;
            const unsigned char* b = At(s, r.pos);
            if (PlainFrame(b, false)) {
                const std::int32_t v = BinaryFrameValue(b);
                if (singleValues || Marker(v) || !m.HaveReference || Agree(v, m.Reference)) {
                    r.any = true;
                    r.mm = v;
                    ++m.FramesTaken;
                    if (!Marker(v)) {
                        m.Reference = v;
                        m.HaveReference = true;
                    }
                    r.pos += 4;
                    continue;
                }
            }
            m.FrameLocked = false;
            if (!singleValues) m.LineNoise = true;
        }
        Position p = TryPosition(s, r.pos, m.HaveReference, m.Reference);
        if (p == Position::NeedMore) {
            // Undecided here; one of the next three places may be in step already.
            std::size_t ahead = 1;
            while (ahead < 4 && TryPosition(s, r.pos + ahead, m.HaveReference, m.Reference) != Position::InStep) ++ahead;
            if (ahead == 4) break;
            r.skipped = true;
            r.unframed.append(s, r.pos, ahead);
            r.pos += ahead;
            p = Position::InStep;
        }
        if (p == Position::InStep) {
            // The first frame here may hold the stray byte: it is passed
            // over; the ones after it are read in step from the first of them.
            r.unframed.append(s, r.pos, 4);
            r.pos += 4;
            const std::int32_t first = BinaryFrameValue(At(s, r.pos));
            if (!Marker(first)) {
                m.Reference = first;
                m.HaveReference = true;
            }
            m.FrameLocked = true;
            m.LineNoise = false;
            continue;
        }
        r.skipped = true;
        r.unframed.push_back(s[r.pos]);
        ++r.pos;
    }
}

// Distance lines, at least two in a row, the values of one width ("No
// Echo" and the temperature error have widths of their own).
bool LineStream(const std::string& s) {
    std::size_t width = 0, count = 0;
    std::size_t start = s.find("\r\n");
    while (start != std::string::npos) {
        const std::size_t q = s.find("\r\n", start + 2);
        if (q == std::string::npos) break;
        const std::string line = s.substr(start + 2, q - start - 2);
        start = q;
        if (ContentLine(line) != nullptr) {
            if (++count >= StreamLines) return true;
            continue;
        }
        if (line.size() < 4 || !DistanceShape(line)) {
            count = 0;
            width = 0;
            continue;
        }
        if (width != 0 && line.size() != width) count = 0;
        width = line.size();
        if (++count >= StreamLines) return true;
    }
    return false;
}

// Frames that pass the checksum, two in a row. (Without the checksum
// library there are none; that is only worth a word for a sensor that sends
// BINARY+CRC, so the look leaves the link's note of it alone.)
bool CheckedStream(clsKOV& link, const std::string& s) {
    const bool missingBefore = link.Decoder.ChecksumMissing;
    bool found = false, computed = true;
    for (std::size_t at = 0; !found && computed && at + 6 * HuntFramesChecked <= s.size(); ++at) {
        bool good = true;
        for (std::size_t k = 0; k < HuntFramesChecked && good && computed; ++k) {
            std::uint16_t crc = 1;
            computed = FrameChecksum(link, At(s, at + 6 * k), 6, &crc);
            good = crc == 0;
        }
        found = computed && good;
    }
    link.Decoder.ChecksumMissing = missingBefore;
    return found;
}

}  // namespace

bool Agree(std::int32_t a, std::int32_t reference) {
    const std::int64_t d = std::llabs(static_cast<std::int64_t>(a) - reference);
    return d <= AgreeMm + std::llabs(static_cast<std::int64_t>(reference)) / 2;
}

FramesRead DistanceFrames(clsKOV& link, const std::string& s, double factor) {
    clsKOV::DecoderMemory& m = link.Decoder;
    Reading r;
    r.unframed = m.Unframed;
    if (link.OutputFormat == OutputFormat::BinaryCrc) {
        if (!CheckedFrames(link, s, r)) return FramesRead::NoChecksum;
        if (r.skipped) ++r.errors;
    } else {
        PlainFrames(link, s, r);
    }
    m.ChecksumErrors = r.errors;
    if (r.any) {
        link.MeasValue_mm = r.mm;
        link.MeasValue = MarkerForm(r.mm) ? r.mm : r.mm / factor;
        link.EventNr = Event::Distance;
    } else if (r.errors > 0) {
        link.EventNr = Event::ChecksumError;
    }
    link.InBuffer = s.substr(r.pos);
    // The sensor restarted in the middle of its stream: its banner is
    // among the bytes that were no frame, or still waits in the buffer.
    if (Contains(r.unframed + link.InBuffer, "KOV ready")) {
        m.Unframed.clear();
        return FramesRead::Restarted;
    }
    m.Unframed = r.unframed.size() > 16 ? r.unframed.substr(r.unframed.size() - 16) : r.unframed;
    return FramesRead::Done;
}

const char* ContentLine(const std::string& line) {
    const std::size_t a = line.find_first_not_of(' ');
    if (a == std::string::npos) return nullptr;
    const std::size_t b = line.find_last_not_of(' ');
    const std::string t = line.substr(a, b - a + 1);
    if (t == "No Echo") return "No Echo";
    if (t.rfind("TempErr", 0) == 0 && t.size() <= 8) return "TempError";
    return nullptr;
}

bool DistanceShape(const std::string& line) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n && line[i] == ' ') ++i;
    if (i < n && (line[i] == '+' || line[i] == '-')) ++i;
    const std::size_t digits = i;
    while (i < n && digit(line[i])) ++i;
    if (i == digits) return false;
    if (i < n && line[i] == '.') {
        const std::size_t frac = ++i;
        while (i < n && digit(line[i])) ++i;
        if (i == frac) return false;
    }
    std::size_t blanks = i;
    while (i < n && line[i] == ' ') ++i;
    if (i < n && i > blanks) {
        const std::size_t unit = i;
        while (i < n && ((line[i] >= 'a' && line[i] <= 'z') || (line[i] >= 'A' && line[i] <= 'Z'))) ++i;
        if (i - unit > 3) return false;
        while (i < n && line[i] == ' ') ++i;
    }
    return i == n;
}

bool StreamShape(clsKOV& link, const std::string& raw) {
    if (LineStream(raw)) return true;
    // Binary frames in step: as after a stray byte, with nothing to agree with before.
    for (std::size_t at = 0; at + 4 * HuntFramesPlain <= raw.size(); ++at)
        if (TryPosition(raw, at, false, 0) == Position::InStep) return true;
    return CheckedStream(link, raw);
}

}  // namespace modKOVComm
