#pragma once
// The chart area of the main window (picGraph): shows the picture the chart
// bound to it with XYChart::InitViewPort hands it, and reports its changes of
// size to that chart, which rebuilds its layers then (so the owner must not
// call XYChart::Resize again).
#include <QImage>
#include <QWidget>

#include "ChartSurface.h"

class ChartPicture : public QWidget, public ChartSurface {
    Q_OBJECT

public:
    explicit ChartPicture(QWidget* parent = nullptr);
    ~ChartPicture() override;

    QSize SurfaceSize() const override;
    void SetSurfaceBackColor(const QColor& color) override;
    void ShowPicture(const QImage& picture) override;

signals:
    // A mouse button went down over the chart (the main window opens its
    // View menu on the right button).
    void MouseDown(Qt::MouseButton button, const QPoint& position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage m_picture;  // shared with the chart until it draws again
};
