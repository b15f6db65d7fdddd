#include "SensorModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace Sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Which devices know a parameter.
enum Scope { kAll, kSerialOnly, kFieldbusOnly, kRainFilter };

struct ParamDef {
    int code;
    int factory;
    std::vector<const char*> list;  // wire texts of a list parameter, by index
    int min, max;                    // numeric range (numeric parameters)
    Scope scope;
};

const std::vector<ParamDef>& Params() {
    static const std::vector<ParamDef> defs = {
        {101, 1, {"ASCII", "ASCII+UNIT", "BINARY", "BINARY+CRC"}, 0, 0, kAll},
        {111, 1, {"MM", "M", "IN", "FT", "YD", "MI", "NM"}, 0, 0, kAll},
        {301, 4, {"1", "16", "64", "256", "1024"}, 0, 0, kAll},
        {302, 1, {"0", "25", "50", "100", "200"}, 0, 0, kAll},
        {304, 0, {}, 0, 1, kAll},
        {305, 0, {}, 0, 1, kAll},
        {306, 1, {}, 0, 1, kAll},
        {311, 0, {}, 0, 1, kAll},
        {351, 0, {"OFF", "DISTECHO", "PIXEL"}, 0, 0, kRainFilter},
        {352, 20000, {}, 1, 20000, kRainFilter},
        {353, 512, {}, 0, 1023, kRainFilter},
        {354, 1000, {}, 1, 2000, kRainFilter},
        {355, 1, {}, 1, 10, kRainFilter},
        {401, 1000, {}, -1000000, 1000000, kSerialOnly},
        {402, 9000, {}, -1000000, 1000000, kSerialOnly},
        {403, 0, {}, 0, 1, kSerialOnly},
        {501, 10000, {}, -1000000, 1000000, kSerialOnly},
        {502, 9900, {}, -1000000, 1000000, kSerialOnly},
        {503, 1, {}, 0, 1, kSerialOnly},
        {504, 1000, {}, -1000000, 1000000, kSerialOnly},
        {505, 900, {}, -1000000, 1000000, kSerialOnly},
        {506, 1, {}, 0, 1, kSerialOnly},
        {601, 3, {"1200", "2400", "4800", "9600", "19200", "38400"}, 0, 0, kAll},
        {603, 0, {"C", "S", "R"}, 0, 0, kSerialOnly},
        {610, 0, {}, 0, 125, kFieldbusOnly},
        {701, 0, {}, -32768, 32767, kAll},
        {702, 1000, {}, -32768, 32767, kAll},
        {801, 200, {}, -100, 500, kAll},
        {802, 1013, {}, 800, 1200, kAll},
    };
    return defs;
}

const ParamDef* FindParam(int code) {
    for (const auto& d : Params()) {
        if (d.code == code) return &d;
    }
    return nullptr;
}

// Strict decimal integer: optional minus, digits only, no blanks.
bool ParseInteger(const std::string& text, long long* value) {
    if (text.empty() || text.size() > 12) return false;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = text[0] == '-' ? -v : v;
    return true;
}

void PutLittleEndian(std::string* out, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

void AppendChecksum(std::string* frame, bool damage) {
    std::uint16_t crc = SensorModel::FrameChecksum(reinterpret_cast<const unsigned char*>(frame->data()), frame->size());
    if (damage) crc ^= 0x5A5A;
    frame->push_back(static_cast<char>(crc >> 8));
    frame->push_back(static_cast<char>(crc & 0xFF));
}

// The sensor's speeds, by the index of parameter 601.
constexpr int kSpeeds[6] = {1200, 2400, 4800, 9600, 19200, 38400};

int SpeedIndex(int bitsPerSecond) {
    for (int i = 0; i < 6; ++i)
        if (kSpeeds[i] == bitsPerSecond) return i;
    return -1;
}

constexpr int kUnitDecimals[7] = {1, 4, 2, 3, 4, 7, 7};
constexpr double kPeriodByDepth[5] = {2, 5, 10, 40, 100};  // ms per value for averaging 1 .. 1024
constexpr int kDepth[5] = {1, 16, 64, 256, 1024};

}  // namespace

SensorModel::SensorModel(Options options, Clock clock)
    : m_Options(std::move(options)), m_Clock(std::move(clock)), m_Random(m_Options.seed) {
    m_Start = m_Clock ? m_Clock() : 0;
    m_LastNow = m_Start;
    m_TxFreeAt = m_QueueEndAt = m_Start;
    SetLineSpeed(m_Options.lineSpeed);
    m_NextStrayAt = std::numeric_limits<double>::infinity();
    m_NextBurstAt = std::numeric_limits<double>::infinity();
    FactoryDefaults(&m_Working);
    if (m_Options.autostart) m_Working[305] = 1;
    if (const int index = SpeedIndex(m_Options.sensorSpeed); index >= 0) {
        m_Working[601] = index;
        m_Speed = m_StoredSpeed = m_Options.sensorSpeed;
    }
    m_Stored = m_Working;
    // A sensor set to autostart is switched on together with the model.
    if (m_Options.autostart) Restart(m_Start);
}

double SensorModel::Now() {
    // The model never runs backwards, whatever the clock does (a changed
    // system time, a test that rewinds).
    const double now = m_Clock ? m_Clock() : m_LastNow;
    if (now > m_LastNow) m_LastNow = now;
    return m_LastNow;
}

void SensorModel::SetLineSpeed(int bitsPerSecond) {
    if (bitsPerSecond > 0) m_LineSpeed = bitsPerSecond;
}

int SensorModel::SensorSpeed() {
    FollowSpeedWrite(Now());
    return m_Speed;
}

void SensorModel::FollowSpeedWrite(double now) {
    // The new speed holds once the "OK" to the speed write is on the wire.
    if (m_NextSpeed > 0 && now >= m_SpeedSwitchAt) {
        m_Speed = m_NextSpeed;
        m_NextSpeed = 0;
    }
}

double SensorModel::UnitFactor(int unit) {
    static const double factors[7] = {1, 1000, 25.4, 304.8, 914.4, 1609344, 1852000};
    return unit >= 0 && unit < 7 ? factors[unit] : 1000;
}

const char* SensorModel::UnitText(int unit) {
    static const char* const texts[7] = {"mm", "m", "in", "ft", "yd", "mi", "nm"};
    return unit >= 0 && unit < 7 ? texts[unit] : "m";
}

std::uint16_t SensorModel::FrameChecksum(const unsigned char* data, size_t length) {
    // CRC-16/AUG-CCITT: polynomial 0x1021, MSB first, register preset 0x1D0F.
    std::uint16_t crc = 0x1D0F;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<std::uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

void SensorModel::FactoryDefaults(std::map<int, int>* set) const {
    set->clear();
    for (const auto& d : Params()) (*set)[d.code] = d.factory;
    if (m_Options.profibus) (*set)[610] = 3;
}

int SensorModel::Param(int code) const {
    const auto it = m_Working.find(code);
    return it == m_Working.end() ? 0 : it->second;
}

int SensorModel::StoredParam(int code) const {
    const auto it = m_Stored.find(code);
    return it == m_Stored.end() ? 0 : it->second;
}

void SensorModel::SetParam(int code, int value) {
    if (FindParam(code)) m_Working[code] = value;
}

void SensorModel::StoreParam(int code, int value) {
    if (FindParam(code)) m_Working[code] = m_Stored[code] = value;
}

size_t SensorModel::PendingBytes() const {
    size_t n = 0;
    for (const auto& c : m_Queue) n += c.bytes.size() - c.sent;
    return n;
}

// ---- transmitter -------------------------------------------------------------

void SensorModel::Enqueue(std::string bytes, double readyAt) {
    if (m_Options.silent || bytes.empty()) return;
    bytes = OnTheLine(bytes);
    m_QueueEndAt = std::max(m_QueueEndAt, readyAt) + bytes.size() * ByteMs();
    m_Queue.push_back(Chunk{std::move(bytes), readyAt, 0, m_Speed});
}

std::string SensorModel::OnTheLine(const std::string& bytes) {
    // What the noisy line makes of the bytes: random bytes slip in between
    // them, and some arrive as another byte. Inserted bytes take their
    // character time on the wire like any other.
    const double insert = m_Options.noiseRate;
    const double damage = m_Options.damageRate;
    if (insert <= 0 && damage <= 0) return bytes;
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4 + 1);
    for (char c : bytes) {
        if (insert > 0 && chance(m_Random) < insert) out.push_back(RandomByte());
        // Another byte, never the same one: XOR with 1..255.
        if (damage > 0 && chance(m_Random) < damage) c = static_cast<char>(c ^ (1 + m_Random() % 255));
        out.push_back(c);
    }
    return out;
}

double SensorModel::StrayGapMs() {
    // About rate * 50 stray bytes a second, at random moments.
    const double perMs = std::clamp(m_StrayRate, 1e-9, 1.0) * 50 / 1000.0;
    return std::exponential_distribution<double>(perMs)(m_Random);
}

double SensorModel::BurstGapMs() {
    // noiseBytesPerSecond in bursts of 1..noiseBurst bytes, (1 + noiseBurst) / 2 on average.
    const double perBurst = (1.0 + std::clamp(m_Options.noiseBurst, 1, 64)) / 2.0;
    const double perMs = std::max(m_BurstRate, 1e-9) / perBurst / 1000.0;
    return std::exponential_distribution<double>(perMs)(m_Random);
}

void SensorModel::NoiseBursts(double until) {
    // Bursts of noise at random moments, on a quiet line and between the
    // sensor's own bytes alike.
    while (m_NextBurstAt <= until) {
        if (until - m_NextBurstAt > 2000) {  // nobody collected: only the last two seconds count
            m_NextBurstAt = until - 2000 + BurstGapMs();
            continue;
        }
        const int n = 1 + static_cast<int>(m_Random() % static_cast<unsigned>(std::clamp(m_Options.noiseBurst, 1, 64)));
        for (int i = 0; i < n; ++i) m_Out.push_back(RandomByte());
        m_NextBurstAt += BurstGapMs();
    }
}

void SensorModel::StrayBytes(double until) {
    // Stray bytes at random moments; only those that fall where the line is
    // quiet arrive (the sensor's own bytes have their share in OnTheLine).
    while (m_NextStrayAt <= until) {
        // Nobody collected for a long time: only the last two seconds count.
        if (until - m_NextStrayAt > 2000) {
            m_NextStrayAt = until - 2000 + StrayGapMs();
            continue;
        }
        if (m_NextStrayAt >= m_TxFreeAt) m_Out.push_back(RandomByte());
        m_NextStrayAt += StrayGapMs();
    }
}

void SensorModel::DropPending() {
    m_Queue.clear();
    m_QueueEndAt = m_TxFreeAt;
}

void SensorModel::Emit(double now) {
    if (m_Options.noiseRate != m_StrayRate) {
        // Noise switched on, off or changed: the stray bytes follow from here.
        m_StrayRate = m_Options.noiseRate;
        m_NextStrayAt = m_StrayRate > 0 ? now + StrayGapMs() : std::numeric_limits<double>::infinity();
    }
    if (m_Options.noiseBytesPerSecond != m_BurstRate) {
        m_BurstRate = m_Options.noiseBytesPerSecond;
        m_NextBurstAt = m_BurstRate > 0 ? now + BurstGapMs() : std::numeric_limits<double>::infinity();
    }
    FollowSpeedWrite(now);
    const double byteMs = ByteMs();
    while (!m_Queue.empty()) {
        Chunk& c = m_Queue.front();
        const double start = std::max(c.readyAt, m_TxFreeAt);
        StrayBytes(std::min(start, now));
        NoiseBursts(std::min(start, now));
        if (start > now) break;
        const size_t fit = static_cast<size_t>(std::floor((now - start) / byteMs + 1e-9));
        const size_t n = std::min(c.bytes.size() - c.sent, fit);
        // Sent at a speed the port is not set to, every byte arrives as garbage.
        const bool garbled = c.speed > 0 && c.speed != m_LineSpeed;
        for (size_t k = 0; k < n; ++k) {
            NoiseBursts(start + k * byteMs);
            m_Out.push_back(garbled ? RandomByte() : c.bytes[c.sent + k]);
        }
        c.sent += n;
        m_TxFreeAt = start + n * byteMs;
        if (c.sent < c.bytes.size()) break;
        m_Queue.pop_front();
    }
    if (m_Queue.empty()) {
        StrayBytes(now);
        NoiseBursts(now);
        m_QueueEndAt = std::max(m_QueueEndAt, m_TxFreeAt);
    }
    // Nobody collected for a long time: a real line would have lost it too.
    constexpr size_t kOutLimit = 1 << 16;
    if (m_Out.size() > kOutLimit) m_Out.erase(0, m_Out.size() - kOutLimit);
}

std::string SensorModel::Transmit() {
    const double now = Now();
    Advance(now);
    Emit(now);
    std::string out;
    out.swap(m_Out);
    return out;
}

// ---- measuring -----------------------------------------------------------------

double SensorModel::MeasuringPeriodMs() const {
    const int depth = std::clamp(Param(301), 0, 4);
    return kPeriodByDepth[depth];
}

double SensorModel::TrueDistance(double atMs) {
    // A target that drifts slowly back and forth, with a faster sway on top
    // and measuring noise that shrinks with the averaging depth.
    const double t = (atMs - m_Start) / 1000.0;
    const double base = 6000 + 2500 * std::sin(2 * kPi * t / 90.0) + 400 * std::sin(2 * kPi * t / 13.0 + 1.0);
    const int depth = kDepth[std::clamp(Param(301), 0, 4)];
    std::normal_distribution<double> noise(0.0, 0.5 + 12.0 / std::sqrt(static_cast<double>(depth)));
    const double measured = (base + noise(m_Random)) * Param(702) / 1000.0 + Param(701);
    return std::round(measured);
}

std::string SensorModel::ValueBytes(double atMs) {
    SentValue v;
    v.timeMs = atMs;
    v.format = std::clamp(Param(101), 0, 3);
    v.unit = std::clamp(Param(111), 0, 6);

    std::uniform_real_distribution<double> chance(0.0, 1.0);
    if (m_Options.tempError) {
        v.mm = TempErrorMarker;
    } else {
        if (m_NoEchoLeft == 0 && m_Options.noEchoRate > 0 && chance(m_Random) < m_Options.noEchoRate / 4.0) {
            m_NoEchoLeft = 1 + static_cast<int>(m_Random() % 7);  // a spot of 1..7 values, 4 on average
        }
        if (m_NoEchoLeft > 0) {
            --m_NoEchoLeft;
            v.mm = NoEchoMarker;
        } else {
            v.mm = static_cast<std::int32_t>(std::clamp(TrueDistance(atMs), -1900000.0, 2000000000.0));
        }
    }

    std::string bytes;
    if (m_Options.garbageRate > 0 && chance(m_Random) < m_Options.garbageRate) {
        const int n = 1 + static_cast<int>(m_Random() % 8);
        for (int i = 0; i < n; ++i) bytes.push_back(static_cast<char>(m_Random() & 0xFF));
    }

    if (v.format <= 1) {
        char line[64];
        if (v.mm == TempErrorMarker) {
            std::snprintf(line, sizeof line, "%12s", "TempErr!");
        } else if (v.mm == NoEchoMarker) {
            std::snprintf(line, sizeof line, "%12s", "No Echo");
        } else {
            const double inUnit = v.mm / UnitFactor(v.unit);
            if (v.format == 0) {
                std::snprintf(line, sizeof line, "%12.*f", kUnitDecimals[v.unit], inUnit);
            } else {
                std::snprintf(line, sizeof line, "%12.*f %s", kUnitDecimals[v.unit], inUnit, UnitText(v.unit));
            }
        }
        v.text = line;
        bytes += v.text;
        bytes += "\r\n";
    } else {
        std::string frame;
        PutLittleEndian(&frame, v.mm);
        if (v.format == 3) {
            v.damaged = m_Options.crcErrorRate > 0 && chance(m_Random) < m_Options.crcErrorRate;
            AppendChecksum(&frame, v.damaged);
        }
        bytes += frame;
    }
    if (!m_Options.silent) {
        if (m_ValueListener) m_ValueListener(v);
        m_History.push_back(std::move(v));
        if (m_History.size() > HistoryLimit) m_History.pop_front();
    }
    return bytes;
}

void SensorModel::StartMeasuring(double now) {
    if (!m_Measuring) m_MeasureStart = now;
    m_Measuring = true;
    m_NextValueAt = std::max(AnswerAt(now) + MeasuringPeriodMs(), m_QueueEndAt);
}

void SensorModel::Advance(double now) {
    while (m_Measuring) {
        const double restartAt = m_Options.restartAfterMs > 0 ? m_MeasureStart + m_Options.restartAfterMs
                                                              : std::numeric_limits<double>::infinity();
        if (restartAt <= now && restartAt <= m_NextValueAt) {
            Restart(restartAt);
            continue;
        }
        if (m_NextValueAt > now) break;
        // Values nobody could have received are skipped rather than produced in bulk.
        if (now - m_NextValueAt > 2000) m_NextValueAt = now - 2000;
        const double at = m_NextValueAt;
        Enqueue(ValueBytes(at), at);
        // Never faster than the measuring rate, and never faster than the line.
        m_NextValueAt = std::max(at + MeasuringPeriodMs(), m_QueueEndAt);
    }
}

void SensorModel::PowerCycle() {
    const double now = Now();
    Advance(now);
    Restart(now);
}

void SensorModel::Restart(double at) {
    Emit(at);
    DropPending();
    m_Measuring = false;
    m_Pointer = false;
    m_Working = m_Stored;
    m_Speed = m_StoredSpeed;
    m_NextSpeed = 0;
    m_Line.clear();
    m_SkipToCR = false;
    const double bootDone = at + kBootMs;
    Enqueue("\r\nKOV ready\r\n", bootDone);
    if (Param(305) == 1) StartMeasuring(bootDone);
}

// ---- answers --------------------------------------------------------------------

std::string SensorModel::TemperatureLine() const {
    char line[48];
    std::snprintf(line, sizeof line, "Temp. %3d C, %s", m_Options.temperatureC, m_Options.tempError ? "NOK" : "OK");
    return line;
}

std::string SensorModel::TemperatureBytes() {
    const int format = std::clamp(Param(101), 0, 3);
    if (format <= 1) return TemperatureLine() + "\r\n";
    std::string frame;
    frame.push_back(static_cast<char>(static_cast<signed char>(std::clamp(m_Options.temperatureC, -128, 127))));
    frame.push_back(static_cast<char>(m_Options.tempError ? 0 : 1));
    if (format == 3) {
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        AppendChecksum(&frame, m_Options.crcErrorRate > 0 && chance(m_Random) < m_Options.crcErrorRate);
    }
    return frame;
}

std::string SensorModel::InfoBlock() const {
    // Kept short on purpose: the program allows 500 character times (plus
    // half a second) for the whole block.
    std::string b;
    auto line = [&b](const std::string& key, const std::string& value) { b += key + " " + value + "\r\n"; };
    line("Type:", m_Options.profibus ? "Profibus" : "Serial");
    line("Serial-No:", m_Options.profibus ? "40217" : "30514");
    line("Attenuator:", m_Options.rainFilter ? "2E" : "2");
    line("Version:", "3.12");
    line("Build:", "0415");
    line("Date:", "2019-11-04");
    line("Pointer:", m_Pointer ? "on" : "off");
    char temp[32];
    std::snprintf(temp, sizeof temp, "%d C, %s", m_Options.temperatureC, m_Options.tempError ? "NOK" : "OK");
    line("Temperature:", temp);
    for (const auto& d : Params()) {
        if (d.scope == kRainFilter && !m_Options.rainFilter) continue;
        line(std::to_string(d.code) + ":", std::to_string(Param(d.code)));
    }
    b += "end\r\n";
    return b;
}

bool SensorModel::CheckWrite(const std::string& code, const std::string& value, int* index) const {
    if (m_Options.rejectedCodes.count(code)) return false;
    if (code.size() != 3) return false;
    long long number = 0;
    if (!ParseInteger(code, &number)) return false;
    const ParamDef* d = FindParam(static_cast<int>(number));
    if (!d) return false;
    switch (d->scope) {
    case kSerialOnly:
        if (m_Options.profibus) return false;
        break;
    case kFieldbusOnly:
        if (!m_Options.profibus) return false;
        break;
    case kRainFilter:
        if (!m_Options.rainFilter) return false;
        break;
    case kAll:
        break;
    }
    if (!d->list.empty()) {
        for (size_t i = 0; i < d->list.size(); ++i) {
            if (value == d->list[i]) {
                *index = static_cast<int>(i);
                return true;
            }
        }
        return false;
    }
    long long v = 0;
    if (!ParseInteger(value, &v) || v < d->min || v > d->max) return false;
    *index = static_cast<int>(v);
    return true;
}

void SensorModel::ParameterLine(const std::string& line, double now) {
    RecordCommand(now, line);
    if (m_Measuring) return;  // streaming: only "S" is obeyed
    const auto blank = line.find(' ');
    bool ok = false;
    bool speedWrite = false;
    int newSpeed = 0;
    if (blank != std::string::npos) {
        const std::string code = line.substr(0, blank);
        const std::string value = line.substr(blank + 1);
        if ((code == "999" || code == "000") && value.empty() && !m_Options.rejectedCodes.count(code)) {
            if (code == "999") {
                m_Stored = m_Working;
            } else {
                // Everything but the speed: the sensor stays where it can be reached.
                const int speed = m_Working[601];
                FactoryDefaults(&m_Working);
                m_Working[601] = speed;
                m_Stored = m_Working;
            }
            m_StoredSpeed = m_NextSpeed > 0 ? m_NextSpeed : m_Speed;
            ok = true;
        } else {
            int index = 0;
            ok = CheckWrite(code, value, &index);
            if (ok) m_Working[std::atoi(code.c_str())] = index;
            speedWrite = ok && code == "601";
            if (speedWrite) newSpeed = kSpeeds[std::clamp(index, 0, 5)];
        }
    }
    Enqueue(ok ? "OK\r\n" : "ERR\r\n", AnswerAt(now));
    if (speedWrite) {
        // The answer still goes at the old speed; then the new one holds.
        m_NextSpeed = newSpeed;
        m_SpeedSwitchAt = std::max(m_QueueEndAt, AnswerAt(now));
    }
}

void SensorModel::RecordCommand(double now, std::string text) {
    m_Commands.push_back(ReceivedCommand{now, std::move(text)});
    if (m_Commands.size() > HistoryLimit) m_Commands.pop_front();
    if (m_CommandListener) m_CommandListener(m_Commands.back());
}

void SensorModel::Command(char letter, double now) {
    RecordCommand(now, std::string(1, letter));
    // A sensor sending continuous values obeys "S" and nothing else.
    if (m_Measuring && letter != 'S') return;
    switch (letter) {
    case 'X':
        m_Measuring = false;
        DropPending();
        Enqueue("\r\nKOV ready\r\n", AnswerAt(now));
        break;
    case 'C':
        Enqueue(InfoBlock(), AnswerAt(now));
        break;
    case 'M':
        if (Param(603) == 1) {
            // Output mode "Single": one value for each "M".
            const double at = AnswerAt(now) + MeasuringPeriodMs();
            Enqueue(ValueBytes(at), at);
        } else if (Param(603) == 0) {
            StartMeasuring(now);
        }
        // Output mode "On Request": values only on "G".
        break;
    case 'S':
        // Stops at once: nothing that is not on the wire yet goes out.
        m_Measuring = false;
        DropPending();
        break;
    case 'T':
        Enqueue(TemperatureBytes(), AnswerAt(now));
        break;
    case 'G': {
        const double at = AnswerAt(now) + MeasuringPeriodMs();
        Enqueue(ValueBytes(at), at);
        break;
    }
    case 'P':
        m_Pointer = true;
        break;
    case 'O':
        m_Pointer = false;
        break;
    default:
        break;
    }
}

void SensorModel::Receive(const unsigned char* data, size_t length) {
    const double now = Now();
    Advance(now);
    Emit(now);
    if (WrongSpeed()) {
        // At another speed than its own the sensor sees only framing errors.
        m_Line.clear();
        return;
    }
    for (size_t i = 0; i < length; ++i) {
        const char c = static_cast<char>(data[i]);
        if (m_SkipToCR) {
            if (c == '\r') m_SkipToCR = false;
            continue;
        }
        if (m_Line.empty()) {
            // A parameter line starts with a digit; the single-letter commands
            // act at once; anything else between commands (LF, blanks, noise) is ignored.
            if (c >= '0' && c <= '9') {
                m_Line.push_back(c);
            } else if (c == 'X' || c == 'C' || c == 'M' || c == 'S' || c == 'T' || c == 'G' || c == 'P' ||
                       c == 'O') {
                Command(c, now);
            }
            continue;
        }
        if (c == '\r') {
            const std::string line = m_Line;
            m_Line.clear();
            ParameterLine(line, now);
            continue;
        }
        if (c == '\n') continue;
        m_Line.push_back(c);
        if (m_Line.size() > 40) {
            // No parameter line is that long: reject it and skip to its end.
            m_Line.clear();
            m_SkipToCR = true;
            if (!m_Measuring) Enqueue("ERR\r\n", AnswerAt(now));
        }
    }
}

std::string CommandLogLine(const ReceivedCommand& command) {
    std::string text;
    for (char ch : command.text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            text += escape;
        }
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.0f", std::nearbyint(command.timeMs));
    return std::string("{\"time_ms\":") + time + ",\"command\":\"" + text + "\"}";
}

std::string ValueLogLine(const SentValue& value) {
    char line[80];
    std::snprintf(line, sizeof line, "{\"time_ms\":%.0f,\"mm\":%ld}", std::nearbyint(value.timeMs),
                  static_cast<long>(value.mm));
    return line;
}

}  // namespace Sim
