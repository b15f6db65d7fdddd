#include "modChartAutoScale.h"

#include <algorithm>
#include <cmath>

namespace modChartCommon {

WindowExtremes ScanExtremes(const ScaleHistory& history, double timeSpanDays) {
    WindowExtremes x;
    if (history.Count <= 0) return x;
    bool haveSmall = false, haveLarge = false;
    const double threshold = history.Time(0) - timeSpanDays;
    for (int i = 0; i < history.Count; ++i) {
        if (i > 0 && history.Time(i) < threshold) break;
        const double d = history.Distance(i);
        if (d < 1000000 && (!haveSmall || d < x.Smallest)) {
            x.Smallest = d;
            haveSmall = true;
        }
        if (d > -1000000 && (!haveLarge || d > x.Largest)) {
            x.Largest = d;
            haveLarge = true;
        }
    }
    return x;
}

// ---- ScaleWindow ---------------------------------------------------------------

ScaleWindow::ScaleWindow(int capacity) { Reset(capacity); }

void ScaleWindow::Reset(int capacity) {
    const std::size_t size = static_cast<std::size_t>(std::max(1, capacity));
    m_time.assign(size, 0.0);
    m_distance.assign(size, 0.0);
    m_low.Items.assign(size, 0);
    m_high.Items.assign(size, 0);
    m_low.Clear();
    m_high.Clear();
    m_next = 0;
    m_start = 0;
    m_setBack = -1;
    m_threshold = 0.0;
    m_valid = false;
}

int ScaleWindow::Count() const { return static_cast<int>(std::min<long long>(m_next, Capacity())); }

double ScaleWindow::Time(int age) const {
    return age >= 0 && age < Count() ? TimeAt(m_next - 1 - age) : 0.0;
}

double ScaleWindow::Distance(int age) const {
    return age >= 0 && age < Count() ? DistanceAt(m_next - 1 - age) : 0.0;
}

void ScaleWindow::Push(long long seq) {
    const double d = DistanceAt(seq);
    if (d < 1000000) {
        while (m_low.Size > 0 && DistanceAt(m_low.Back()) >= d) m_low.PopBack();
        m_low.PushBack(seq);
    }
    if (d > -1000000) {
        while (m_high.Size > 0 && DistanceAt(m_high.Back()) <= d) m_high.PopBack();
        m_high.PushBack(seq);
    }
}

void ScaleWindow::DropBefore(long long seq) {
    while (m_low.Size > 0 && m_low.Front() < seq) m_low.PopFront();
    while (m_high.Size > 0 && m_high.Front() < seq) m_high.PopFront();
}

void ScaleWindow::Add(double timeDays, double distanceMm) {
    const long long seq = m_next;
    const bool setBack = seq > Oldest() && timeDays < TimeAt(seq - 1);
    // The slot of the oldest value is reused: it leaves the queues first.
    DropBefore(seq + 1 - Capacity());
    m_time[static_cast<std::size_t>(seq % Capacity())] = timeDays;
    m_distance[static_cast<std::size_t>(seq % Capacity())] = distanceMm;
    ++m_next;
    if (setBack) m_setBack = seq;
    Push(seq);
}

void ScaleWindow::Rebuild(double threshold) {
    // The window by its definition: back from the newest value until the
    // first one older than the threshold.
    const long long newest = m_next - 1;
    long long start = newest;
    while (start > Oldest() && !(TimeAt(start - 1) < threshold)) --start;
    m_low.Clear();
    m_high.Clear();
    for (long long seq = start; seq <= newest; ++seq) Push(seq);
    m_start = start;
}

WindowExtremes ScaleWindow::Extremes(double timeSpanDays) {
    WindowExtremes x;
    if (m_next == 0) return x;
    const long long newest = m_next - 1;
    const double threshold = TimeAt(newest) - timeSpanDays;
    m_start = std::max(m_start, Oldest());
    // While the times run forwards and the window does not widen, the window
    // only loses values at its old end; otherwise it is found afresh.
    if (!m_valid || !(threshold >= m_threshold) || m_setBack > m_start) {
        Rebuild(threshold);
    } else {
        while (m_start < newest && TimeAt(m_start) < threshold) ++m_start;
        DropBefore(m_start);
    }
    m_threshold = threshold;
    m_valid = true;
    if (m_low.Size > 0) x.Smallest = DistanceAt(m_low.Front());
    if (m_high.Size > 0) x.Largest = DistanceAt(m_high.Front());
    return x;
}

// ---- auto-scaling ----------------------------------------------------------------

void AutoScaleY(AutoScaleRecord& rec, const std::function<WindowExtremes()>& extremes) {
    const double n = rec.MinHalfSpan;
    const double v = rec.LastValue;
    if (rec.Maximum == 0) {  // first value
        rec.Minimum = v - n;
        rec.Maximum = v + n;
        return;
    }
    const double step = (rec.Maximum - rec.Minimum) / n;
    if (rec.Maximum - step < v) {
        rec.Maximum = v + step;
        return;
    }
    if (rec.Minimum + step > v) {
        rec.Minimum = v - step;
        return;
    }
    if (rec.Maximum - rec.Minimum <= 2 * n) return;
    // Range of the values still visible in the chart window.
    const WindowExtremes x = extremes ? extremes() : WindowExtremes{};
    if (rec.Minimum + 3 * step < x.Smallest) rec.Minimum = x.Smallest - 2 * step;
    if (rec.Maximum - 3 * step > x.Largest) rec.Maximum = x.Largest + 2 * step;
    if (rec.Maximum - rec.Minimum < 2 * n) {
        const double centre = std::nearbyint((rec.Maximum + rec.Minimum) / 2);
        rec.Minimum = centre - n;
        rec.Maximum = centre + n;
    }
}

void AutoScaleY(AutoScaleRecord& rec, const ScaleHistory& history, double timeSpanDays) {
    AutoScaleY(rec, [&] { return ScanExtremes(history, timeSpanDays); });
}

void AutoScaleY(AutoScaleRecord& rec, ScaleWindow& window, double timeSpanDays) {
    AutoScaleY(rec, [&] { return window.Extremes(timeSpanDays); });
}

}  // namespace modChartCommon
