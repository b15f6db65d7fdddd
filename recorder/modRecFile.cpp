#include "modRecFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <limits>
#include <sys/stat.h>

#include "Measurement.h"
#include "modAPI.h"
#include "modCalendar.h"
#include "modFunctions.h"
#include "modKOVComm.h"

namespace modRecFile {
namespace {

// Whole milliseconds of a day, for the time stamps' integer arithmetic.
constexpr auto MsPerDay = static_cast<std::int64_t>(modAPI::MsPerDay);

// A record line's fields may be padded with blanks and tabs, nothing else.
constexpr const char* FieldBlanks = " \t";

// Digits only, 1..maxDigits of them.
bool ReadDigits(const std::string& s, size_t maxDigits, int& value) {
    if (s.empty() || s.size() > maxDigits) return false;
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// Splits at `sep` into exactly `count` parts of digits.
bool ReadParts(const std::string& s, char sep, int count, size_t maxDigits, int* out) {
    size_t pos = 0;
    for (int i = 0; i < count; ++i) {
        const size_t end = i + 1 < count ? s.find(sep, pos) : s.size();
        if (end == std::string::npos) return false;
        if (!ReadDigits(s.substr(pos, end - pos), maxDigits, out[i])) return false;
        pos = end + 1;
    }
    return true;
}

// A signed whole number that fits 32 bits, the whole text.
bool ReadInt32(const std::string& s, std::int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    if (i == s.size() || s.size() - i > 10) return false;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    if (negative) v = -v;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

}  // namespace

std::int64_t DateToMs(double days) { return modCalendar::WholeMilliseconds(days); }

std::string FormatTimeStamp(double days) {
    const modCalendar::Moment t = modCalendar::MomentOf(days);
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d,%03d", t.Day.Day, t.Day.Month, t.Day.Year, t.Hour,
                  t.Minute, t.Second, t.Millisecond);
    return text;
}

std::string TemperatureField(const std::string& temperatureText) {
    std::string field;
    for (char c : temperatureText) {
        if (c == ' ') break;
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F) field += c;
    }
    return field;
}

std::string FormatLine(double time, std::int32_t distanceMm, const std::string& temperatureText) {
    std::string line = FormatTimeStamp(time) + "; ";
    switch (StateOfDistance(distanceMm)) {
        case MeasurementState::TempError: line += "TempError"; break;
        case MeasurementState::NoEcho: line += "No Echo"; break;
        // Any other marker is written as the number it is, and read back so.
        case MeasurementState::Marker:
        case MeasurementState::Ok: line += std::to_string(distanceMm) + " mm"; break;
    }
    line += "; " + TemperatureField(temperatureText) + " \xB0" "C";
    return line;
}

std::string FormatLine(const Measurement& m) { return FormatLine(m.Time, m.Mm, m.Temperature); }

std::string FileName(int number) {
    char text[32];
    std::snprintf(text, sizeof text, "SAVE%04d.rec", number);
    return text;
}

namespace {
// Paths are UTF-8; std::filesystem hands them to Windows as UTF-16.
std::filesystem::path NativePath(const std::string& path) { return std::filesystem::u8path(path); }
std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder + name;
    return folder + "/" + name;
}
}  // namespace

std::string MakeFolder(const std::string& programFolder, std::string* error) {
    const std::string folder = Join(programFolder, FolderName);
    std::error_code failure;
    const auto path = NativePath(folder);
    if (std::filesystem::exists(path, failure)) {
        if (std::filesystem::is_directory(path, failure)) return folder;
        if (error) *error = std::strerror(ENOTDIR);
        return {};
    }
    std::filesystem::create_directory(path, failure);
    if (failure && !std::filesystem::is_directory(path)) {
        if (error) *error = failure.message();
        return {};
    }
    return folder;
}

bool ParseLine(const std::string& text, Line& line) {
    // Fields at ";": time stamp, distance, temperature (not read).
    const size_t semi = text.find(';');
    if (semi == std::string::npos) return false;
    const std::string stamp = modFunctions::Trim(text.substr(0, semi), FieldBlanks);
    const size_t semi2 = text.find(';', semi + 1);
    const std::string distance = text.substr(semi + 1, semi2 == std::string::npos ? std::string::npos : semi2 - semi - 1);

    const size_t p = stamp.find(' ');
    if (p == std::string::npos) return false;
    const size_t q = stamp.find(',', p);
    if (q == std::string::npos) return false;
    int date[3], clock[3], ms = 0;
    if (!ReadParts(stamp.substr(0, p), '.', 3, 4, date)) return false;
    if (!ReadParts(modFunctions::Trim(stamp.substr(p + 1, q - p - 1), FieldBlanks), ':', 3, 2, clock)) return false;
    if (!ReadDigits(stamp.substr(q + 1), 3, ms)) return false;
    const int day = date[0], month = date[1], year = date[2];
    if (year < 100 || month < 1 || month > 12 || day < 1 || day > modCalendar::DaysInMonth(year, month)) return false;
    if (clock[0] > 23 || clock[1] > 59 || clock[2] > 59) return false;
    line.Time = modAPI::DayCount(year, month, day, 0, 0, 0, 0) +
                static_cast<double>((clock[0] * 3600 + clock[1] * 60 + clock[2]) * 1000 + ms) /
                    static_cast<double>(MsPerDay);

    if (distance.find("No Echo") != std::string::npos) {
        line.Distance = modKOVComm::NoEchoValue;
    } else if (distance.find("TempError") != std::string::npos) {
        line.Distance = modKOVComm::TempErrorValue;
    } else {
        const std::string value = modFunctions::Trim(distance, FieldBlanks);
        if (!ReadInt32(value.substr(0, value.find(' ')), line.Distance)) return false;
    }
    return true;
}

namespace {

// Lines of a stream, each at most MaxLineLength bytes long (without its
// end); read in blocks, so a long file costs no more memory than a block.
class LineReader {
public:
    explicit LineReader(std::istream& in) : m_in(in), m_block(std::size_t{1} << 16, '\0') {}
    // False at the end of the stream. `tooLong`: the line did not fit (the
    // rest of the stream is not read).
    bool Next(std::string& line, bool& tooLong) {
        line.clear();
        tooLong = false;
        for (;;) {
            if (m_pos == m_end && !Fill()) return !line.empty();
            const char* begin = m_block.data() + m_pos;
            const void* nl = std::memchr(begin, '\n', m_end - m_pos);
            const size_t take = nl ? static_cast<const char*>(nl) - begin : m_end - m_pos;
            if (line.size() + take > MaxLineLength) {
                tooLong = true;
                return true;
            }
            line.append(begin, take);
            m_pos += take;
            if (nl) {
                ++m_pos;
                return true;
            }
        }
    }
    long long Consumed() const { return m_done - static_cast<long long>(m_end - m_pos); }
    bool Failed() const { return m_in.bad(); }

private:
    bool Fill() {
        if (!m_in) return false;
        m_in.read(m_block.data(), static_cast<std::streamsize>(m_block.size()));
        m_end = static_cast<size_t>(m_in.gcount());
        m_pos = 0;
        m_done += static_cast<long long>(m_end);
        return m_end > 0;
    }
    std::istream& m_in;
    std::string m_block;
    size_t m_pos = 0;
    size_t m_end = 0;
    long long m_done = 0;
};

double SteadyMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

LoadResult Load(std::istream& in, const std::function<void(const Line&)>& take, const Progress& progress,
                long long size) {
    LoadResult result;
    LineReader reader(in);
    std::string text;
    bool tooLong = false;
    long long number = 0;
    double lastReport = progress ? SteadyMs() : 0;
    while (reader.Next(text, tooLong)) {
        ++number;
        if (tooLong) {
            result.Ok = false;
            result.ErrorLine = number;
            return result;
        }
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.find_first_not_of(" \t") == std::string::npos) continue;
        Line line;
        if (!ParseLine(text, line)) {
            result.Ok = false;
            result.ErrorLine = number;
            return result;
        }
        if (result.Lines == 0) result.First = line.Time;
        result.Last = line.Time;
        ++result.Lines;
        take(line);
        if (progress && (result.Lines & 1023) == 0) {
            const double now = SteadyMs();
            if (now - lastReport >= ProgressIntervalMs) {
                lastReport = now;
                const long long done = reader.Consumed();
                const int percent = size > 0 ? static_cast<int>(std::min<long long>(100, done * 100 / size)) : 0;
                if (!progress(percent)) {
                    result.Cancelled = true;
                    return result;
                }
            }
        }
    }
    if (reader.Failed()) {
        result.Ok = false;
        result.ErrorLine = number + 1;
    }
    return result;
}

LoadResult Load(const std::string& path, const std::function<void(const Line&)>& take, const Progress& progress) {
    std::ifstream in(NativePath(path), std::ios::binary);
    if (!in) {
        LoadResult result;
        result.Ok = false;
        result.Opened = false;
        return result;
    }
    long long size = 0;
    std::error_code error;
    const auto bytes = std::filesystem::file_size(NativePath(path), error);
    if (!error) size = static_cast<long long>(bytes);
    return Load(in, take, progress, size);
}

int PlaybackWindowMs(double first, double last) {
    const double span = last - first;
    if (!(span >= 0) || !std::isfinite(span)) return 0;
    const double window = span <= 14.0 ? std::nearbyint(span * static_cast<double>(MsPerDay))
                                       : static_cast<double>(MsPerDay);
    return window > 60000.0 ? static_cast<int>(window) : 0;
}

void PlaybackRange(double minimum, double maximum, double& low, double& high) {
    constexpr double n = 25;
    if (maximum < minimum) std::swap(minimum, maximum);
    if (maximum - minimum < 2 * n) {
        const double centre = std::nearbyint((maximum + minimum) / 2);
        low = centre - n;
        high = centre + n;
        return;
    }
    const double step = (maximum - minimum) / n;
    low = minimum - step;
    high = maximum + step;
}

}  // namespace modRecFile
