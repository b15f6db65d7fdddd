#pragma once
// The recording file (*.rec): one line per measured distance,
//
//   07.12.2026 13:45:02,250; 1234 mm; 25 °C
//
// time stamp, distance in millimetres (or "No Echo" / "TempError") and the
// temperature text up to its first blank, separated by "; ", ended by CR LF,
// in the Windows code page (the degree sign is the byte B0). Recordings live
// in the folder "REC" below the program folder as SAVE0001.rec, SAVE0002.rec ...
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

struct Measurement;

namespace modRecFile {

constexpr const char* FolderName = "REC";
constexpr int MaxFileNumber = 32767;

// Whole milliseconds of a date value (days since 30.12.1899), rounded to
// the nearest, ties to even.
std::int64_t DateToMs(double days);

// "dd.mm.yyyy hh:mm:ss,mmm" of a date value. The value is rounded to whole
// milliseconds once and then split, so 23:59:59.9996 is written as the next
// day's 00:00:00,000.
std::string FormatTimeStamp(double days);

// The temperature part of a line: the text up to its first blank (the whole
// text when it has none), without control characters, so that whatever the
// link holds the record stays one line.
std::string TemperatureField(const std::string& temperatureText);

// One line without its line end, for a time, a distance in mm (or marker;
// 0 counts as no echo) and the sensor's temperature text.
std::string FormatLine(double time, std::int32_t distanceMm, const std::string& temperatureText);
// The same for a measurement: its time, millimetres and temperature text.
std::string FormatLine(const Measurement& m);

// "SAVE0001.rec" ... ("SAVE12345.rec" above 9999). The first free one is
// taken by clsRecordWriter::CreateNext.
std::string FileName(int number);
// The recordings folder below `programFolder`, created when missing; "" and
// `error` when it cannot be made.
std::string MakeFolder(const std::string& programFolder, std::string* error = nullptr);

// One line read back.
struct Line {
    double Time = 0;            // days
    std::int32_t Distance = 0;  // mm, or a marker value
};
// Reads one line (its CR, if any, removed before). False for a line that
// does not have the layout above: missing distance field, a time stamp of
// the wrong shape or out of range, text where a number is expected.
bool ParseLine(const std::string& text, Line& line);

// A line longer than this is not a record: loading stops there, and a file
// without line ends is never read into memory as a whole.
constexpr std::size_t MaxLineLength = 4096;

struct LoadResult {
    bool Ok = true;            // false: a line could not be read, loading stopped there
    long long Lines = 0;       // lines handed over
    long long ErrorLine = 0;   // 1-based number of the unreadable line
    double First = 0;          // time of the first and the last line handed over
    double Last = 0;
    bool Opened = true;        // false: the file could not be opened
    bool Cancelled = false;    // the progress callback asked to stop
};
// Called now and then during a load with how much of the file is read
// (0..100); false stops the load there (the lines so far stay handed over).
using Progress = std::function<bool(int percent)>;
// Time between two progress calls (ms).
constexpr double ProgressIntervalMs = 100.0;

// Reads `path` line by line and hands every line to `take` in file order,
// until the end or the first unreadable line. Empty lines are skipped.
LoadResult Load(const std::string& path, const std::function<void(const Line&)>& take,
                const Progress& progress = {});
// The same from a stream of `size` bytes (for the progress; 0 unknown).
LoadResult Load(std::istream& in, const std::function<void(const Line&)>& take, const Progress& progress = {},
                long long size = 0);

// Width of the chart window for a recording from `first` to `last` (days):
// the span in ms (rounded) when it is at most 14 days, else one day; 0 when
// it is not above 60 000 ms (the window stays as it is).
int PlaybackWindowMs(double first, double last);

// y range (mm) that shows every value between `minimum` and `maximum`, as
// the chart's auto-scaling would open it: at least 2 x 25 mm wide, with one
// scale step (a 25th of the span) of room on both sides.
void PlaybackRange(double minimum, double maximum, double& low, double& high);

}  // namespace modRecFile
