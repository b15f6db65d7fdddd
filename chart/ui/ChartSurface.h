#pragma once
// The place a chart shows its picture: the main window's picGraph, or an
// off-screen stand-in in tests. The chart draws into its own images and tells
// the surface when to repaint; the surface reports its size.
#include <QColor>
#include <QSize>

class XYChart;

class ChartSurface {
public:
    ChartSurface() = default;
    ChartSurface(const ChartSurface&) = delete;
    ChartSurface& operator=(const ChartSurface&) = delete;
    virtual ~ChartSurface();

    // Size in pixels the chart's layers are built for.
    virtual QSize SurfaceSize() const = 0;
    // Background colour for whatever the picture does not cover.
    virtual void SetSurfaceBackColor(const QColor& color) { (void)color; }
    // The chart's Picture() has changed.
    virtual void RefreshSurface() = 0;

    // The chart bound to this surface by InitViewPort, if any.
    XYChart* BoundChart() const { return m_chart; }

private:
    friend class XYChart;
    XYChart* m_chart = nullptr;
};
