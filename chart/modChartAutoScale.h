#pragma once
// The y auto-scaling of the distance chart: the range follows the newest
// value at once when it leaves the range, and shrinks towards the values
// still in the chart's time window.
#include <cstdint>
#include <functional>
#include <vector>

namespace modChartCommon {

// Working data of the y auto-scaling (all distances in millimetres).
struct AutoScaleRecord {
    std::int32_t MinHalfSpan = 25;  // n: half the smallest range shown
    std::int32_t Axis = 0;          // chart band whose y axis is adjusted
    double Minimum = 0;             // current range, mm
    double Maximum = 0;
    std::int32_t LastValue = 0;     // newest charted distance, mm
};

// The charted distances, newest first: count, distance (mm) and time (days)
// of entry i.
struct ScaleHistory {
    int Count = 0;
    std::function<double(int)> Distance;
    std::function<double(int)> Time;
};

// Smallest and largest distance of the charted values still in the chart
// window: the newest value and, going back, every value until the first one
// more than the window older than the newest. Distances of a million mm or
// more do not count for the smallest, those of minus a million or less not
// for the largest; where nothing counts the result is 0.
struct WindowExtremes {
    double Smallest = 0.0;
    double Largest = 0.0;
};
// By a walk over the history: O(values in the window) per call.
WindowExtremes ScanExtremes(const ScaleHistory& history, double timeSpanDays);

// The auto-scale history (time and distance of the last `capacity` charted
// values) with the extremes of its window kept up to date as values come:
// Add and Extremes cost O(1) amortised while the times run forwards and the
// window does not widen. A clock set back or a wider window costs one walk
// over the window (per call for as long as the set-back lies in the window).
// Gives the same results as ScanExtremes over the same values.
class ScaleWindow {
public:
    explicit ScaleWindow(int capacity = 32);
    // Forgets every value; keeps the newest `capacity` (at least 1) from now on.
    void Reset(int capacity);
    void Add(double timeDays, double distanceMm);
    int Count() const;
    int Capacity() const { return static_cast<int>(m_time.size()); }
    // Entry `age` places before the newest (0 = newest); 0 outside 0..Count-1.
    double Time(int age) const;
    double Distance(int age) const;
    WindowExtremes Extremes(double timeSpanDays);

private:
    // Monotonic queue of sequence numbers (a ring as large as the history).
    struct Queue {
        std::vector<long long> Items;
        int Head = 0;
        int Size = 0;
        void Clear() { Head = Size = 0; }
        long long Front() const { return Items[Head]; }
        long long Back() const { return Items[(Head + Size - 1) % Items.size()]; }
        void PopFront() { Head = (Head + 1) % static_cast<int>(Items.size()); --Size; }
        void PopBack() { --Size; }
        void PushBack(long long seq) { Items[(Head + Size++) % Items.size()] = seq; }
    };
    double TimeAt(long long seq) const { return m_time[static_cast<std::size_t>(seq % Capacity())]; }
    double DistanceAt(long long seq) const { return m_distance[static_cast<std::size_t>(seq % Capacity())]; }
    long long Oldest() const { return m_next > Capacity() ? m_next - Capacity() : 0; }
    void Push(long long seq);
    void DropBefore(long long seq);
    void Rebuild(double threshold);

    std::vector<double> m_time;
    std::vector<double> m_distance;
    long long m_next = 0;           // sequence number of the next value
    long long m_start = 0;          // oldest value of the window at the last Extremes
    long long m_setBack = -1;       // newest value whose time is before its predecessor's
    double m_threshold = 0.0;       // oldest time of the window at the last Extremes
    bool m_valid = false;           // m_start and m_threshold hold
    Queue m_low;                    // candidates for the smallest, values rising
    Queue m_high;                   // candidates for the largest, values falling
};

// Adjusts the record's range to its LastValue: the range grows at once when
// a value leaves it, and shrinks towards the values still inside the window
// (never below 2n). `extremes` is asked only when the range may shrink.
void AutoScaleY(AutoScaleRecord& record, const std::function<WindowExtremes()>& extremes);
// The same over a history walked for every value (O(window) per value).
void AutoScaleY(AutoScaleRecord& record, const ScaleHistory& history, double timeSpanDays);
// The same over a ScaleWindow that already holds the record's LastValue.
void AutoScaleY(AutoScaleRecord& record, ScaleWindow& window, double timeSpanDays);

}  // namespace modChartCommon
