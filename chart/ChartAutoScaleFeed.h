#pragma once
// What the main chart does with every new distance: which distances go into
// the chart, the series point, the unit they are shown in, and the y range
// that follows them (auto-scaling over the values still in the chart window,
// kept in millimetres). Plain numbers: the window puts the range on its axis
// and draws.
#include <cstdint>
#include <memory>

#include "modChartCommon.h"

class clsChartData;

class ChartAutoScaleFeed {
public:
    // Distances of this magnitude or more (mm) are shown, but not charted.
    static constexpr double ChartLimitMm = 99999999.0;

    // `series`: the chart's series the points go to (none: only the range is kept).
    explicit ChartAutoScaleFeed(std::shared_ptr<clsChartData> series = nullptr);
    ~ChartAutoScaleFeed();

    // The unit of the distances (DistanceUnit), -1 before the first, and its
    // millimetres per unit (1 before the first).
    std::int32_t Unit() const { return m_unit; }
    double UnitFactor() const { return m_unitFactor; }
    bool UnitChanged(std::int32_t unit) const { return unit != m_unit; }
    void SetUnit(std::int32_t unit, double mmPerUnit);

    // Empties the history and the series for `points` points (at least 1);
    // the next distance opens a new range.
    void Reset(int points);

    // One distance: into the history and the series, unless it is not
    // charted (0 while zeros are not shown, a magnitude of ChartLimitMm or
    // more). False when it was not charted.
    bool Add(double time, std::int32_t mm, double value, bool showZero);
    // Adjusts the range to the newest charted distance, for a chart window
    // of `spanDays`.
    void AutoScale(double spanDays);

    // Sets the range (mm), as a playback does for its whole recording.
    void SetRange(double lowMm, double highMm);
    // The chart band whose y axis follows the range, and the range in the unit shown.
    int Axis() const { return m_record.Axis; }
    double Minimum() const;
    double Maximum() const;
    const modChartCommon::AutoScaleRecord& Record() const { return m_record; }

private:
    std::shared_ptr<clsChartData> m_series;
    modChartCommon::ScaleWindow m_history;
    modChartCommon::AutoScaleRecord m_record;
    std::int32_t m_unit = -1;
    double m_unitFactor = 1.0;
};
