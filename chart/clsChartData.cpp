#include "clsChartData.h"

#include <new>
#include <stdexcept>

clsChartData::clsChartData() : m_points(1) {}

double clsChartData::X(int index) const {
    return index >= 0 && index < static_cast<int>(m_points.size()) ? m_points[index].X : 0.0;
}

double clsChartData::Y(int index) const {
    return index >= 0 && index < static_cast<int>(m_points.size()) ? m_points[index].Y : 0.0;
}

void clsChartData::AddChartPoint(double X, double Y) {
    if (m_capacity < 1) return;
    m_points[m_writePointer] = ChartPoint{X, Y};
    m_writePointer = (m_writePointer + 1) % m_capacity;
}

void clsChartData::ResetReadPointer() {
    if (m_capacity < 1) return;
    const bool wrapped = m_points[m_writePointer].X != 0.0;
    if (m_readPointer < m_writePointer) {
        m_readPointer = wrapped ? (m_writePointer + 1) % m_capacity : 0;
    } else if (m_readPointer > m_writePointer) {
        m_readPointer = (m_writePointer + 1) % m_capacity;
    } else if (wrapped) {
        // Equal cursors on a filled ring: a whole ring's worth of points came
        // in since the last drawing. A redraw must show them, not nothing.
        m_readPointer = (m_writePointer + 1) % m_capacity;
    }
}

bool clsChartData::InitChartData(int MaxIndex) {
    if (MaxIndex < 0 || MaxIndex >= MaxSlots) return false;
    try {
        std::vector<ChartPoint> points(static_cast<std::size_t>(MaxIndex) + 1);
        m_points.swap(points);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    m_capacity = MaxIndex + 1;
    ++m_generation;
    m_readPointer = 0;
    m_writePointer = 0;
    return true;
}

void clsChartData::SetReadPointer(int value) {
    if (value >= 0 && value < m_capacity) m_readPointer = value;
}

void clsChartData::SetWritePointer(int value) {
    if (value >= 0 && value < m_capacity) m_writePointer = value;
}

int clsChartData::UnreadCount() const {
    int n = m_writePointer - m_readPointer;
    if (n < 0) n += m_capacity;
    return n;
}
