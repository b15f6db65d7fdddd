#include "ChartAutoScaleFeed.h"

#include <cstdlib>

#include "clsChartData.h"

ChartAutoScaleFeed::ChartAutoScaleFeed(std::shared_ptr<clsChartData> series) : m_series(std::move(series)) {}

ChartAutoScaleFeed::~ChartAutoScaleFeed() = default;

void ChartAutoScaleFeed::SetUnit(std::int32_t unit, double mmPerUnit) {
    m_unit = unit;
    m_unitFactor = mmPerUnit;
}

void ChartAutoScaleFeed::Reset(int points) {
    if (points < 1) points = 1;
    m_history.Reset(points);
    if (m_series) m_series->InitChartData(points - 1);
    m_record.Minimum = 0;
    m_record.Maximum = 0;
}

bool ChartAutoScaleFeed::Add(double time, std::int32_t mm, double value, bool showZero) {
    if (mm == 0 && !showZero) return false;
    if (!(static_cast<double>(std::llabs(static_cast<long long>(mm))) < ChartLimitMm)) return false;
    m_history.Add(time, mm);
    m_record.LastValue = mm;
    if (m_series) m_series->AddChartPoint(time, value);
    return true;
}

void ChartAutoScaleFeed::AutoScale(double spanDays) {
    // The window's extremes are kept value by value: no walk over the history.
    modChartCommon::AutoScaleY(m_record, m_history, spanDays);
}

void ChartAutoScaleFeed::SetRange(double lowMm, double highMm) {
    m_record.Minimum = lowMm;
    m_record.Maximum = highMm;
}

double ChartAutoScaleFeed::Minimum() const { return modChartCommon::MillimetresToUnit(m_record.Minimum, m_unitFactor); }

double ChartAutoScaleFeed::Maximum() const { return modChartCommon::MillimetresToUnit(m_record.Maximum, m_unitFactor); }
