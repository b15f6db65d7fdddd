#pragma once
// One data series of the chart: a fixed-capacity ring of (time, value) points
// plus the attributes the chart draws it with.
//
// The ring holds exactly one visible time window. When it is full every new
// point overwrites the oldest one. A slot whose X is exactly 0.0 has never been
// written (real times are never 0). Two cursors serve the chart's drawing:
// WritePointer is the slot the next point goes to, ReadPointer the first point
// the chart has not drawn yet.
#include <cstdint>
#include <string>
#include <vector>

struct ChartPoint {
    double X = 0.0;  // time in days since 30 December 1899 (fraction = time of day)
    double Y = 0.0;  // value in the display unit of the series
};

class clsChartData {
public:
    clsChartData();

    // Plain attributes; assigning them has no side effects.
    std::string Key;               // key in the chart's collection
    std::string Name;              // free name, not drawn
    std::int32_t Chart = 0;        // band 0..3 the series is drawn in
    std::int32_t Layer = 0;        // not used for drawing
    std::int32_t Appearance = 1;   // 0 dots, 1 connected lines, anything else: nothing
    std::int32_t DrawStyle = 0;    // not used for drawing (the pen is always solid)
    std::int32_t DrawWidth = 2;    // pen width in pixels
    std::int32_t ForeColor = 0;    // colour 0x00BBGGRR
    bool Visible = true;

    // Bounds of the slot indices: StartIndex is always 0, StopIndex the
    // capacity (one past the highest index; 0 before the first InitChartData).
    int StartIndex() const { return 0; }
    int StopIndex() const { return m_capacity; }

    // Raw slot access. An index outside the ring reads as a never-written
    // slot (0.0) instead of running off the array.
    double X(int index) const;
    double Y(int index) const;

    // Stores the point at WritePointer and advances it. Before the first
    // InitChartData there is no ring: the point is ignored.
    void AddChartPoint(double X, double Y);

    // Moves the drawing cursor back so that the next drawing covers every
    // kept point (the oldest slot, next to be overwritten, excepted once the
    // ring has wrapped).
    void ResetReadPointer();

    // Discards all points and makes a ring of MaxIndex + 1 zeroed slots.
    // A negative MaxIndex, one of MaxSlots or more, or one the memory cannot
    // hold leaves the series as it was and returns false.
    static constexpr int MaxSlots = 1 << 25;
    bool InitChartData(int MaxIndex);

    // Cursors, for the chart's drawing only. Setting a value outside the
    // ring is refused (the cursor keeps its value).
    int ReadPointer() const { return m_readPointer; }
    void SetReadPointer(int value);
    int WritePointer() const { return m_writePointer; }
    void SetWritePointer(int value);

    // Points between ReadPointer and WritePointer (wrapping).
    int UnreadCount() const;

    // Goes up with every successful InitChartData, so that the chart can
    // tell that the series started afresh and its old curve must go.
    unsigned Generation() const { return m_generation; }

private:
    std::vector<ChartPoint> m_points;
    int m_capacity = 0;
    int m_readPointer = 0;
    int m_writePointer = 0;
    unsigned m_generation = 0;
};
