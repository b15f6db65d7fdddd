#pragma once
// The place a chart shows its picture: the main window's picGraph, or an
// off-screen stand-in in tests. The chart draws into its own images and hands
// the surface the picture to show; the surface reports its size, and tells
// its subscriber (the chart shown on it) when that size changes. The surface
// knows nothing of the chart.
#include <QColor>
#include <QImage>
#include <QSize>
#include <functional>
#include <memory>

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
    // `picture` is what to show from now on; a null image shows the
    // background. The default only calls RefreshSurface.
    virtual void ShowPicture(const QImage& picture);
    // The picture has changed (for surfaces that keep no picture of their own).
    virtual void RefreshSurface() {}

    // One subscriber at a time is told of every change of size; a new one
    // replaces the old. The token returned expires when the subscription ends:
    // with the surface, on Unsubscribe, or when another subscribes.
    using ResizeHandler = std::function<void()>;
    std::weak_ptr<const void> Subscribe(ResizeHandler onResize);
    void Unsubscribe();

protected:
    // For the surface itself: its size has changed.
    void ReportResize();

private:
    std::shared_ptr<ResizeHandler> m_subscription;
};
