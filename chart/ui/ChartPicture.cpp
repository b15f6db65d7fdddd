#include "ChartPicture.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QPainter>
#include <QPalette>

#include "XYChart.h"

ChartPicture::ChartPicture(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

ChartPicture::~ChartPicture() = default;

QSize ChartPicture::SurfaceSize() const { return size(); }

void ChartPicture::SetSurfaceBackColor(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, color);
    setPalette(pal);
}

void ChartPicture::RefreshSurface() { update(); }

void ChartPicture::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const XYChart* chart = BoundChart();
    const QImage* picture = chart ? &chart->Picture() : nullptr;
    const QRect area = event->rect();
    if (picture && !picture->isNull()) {
        p.drawImage(area.topLeft(), *picture, area);
        // Whatever the picture does not reach (between a resize and the
        // chart's rebuild) shows the background colour.
        const QRegion rest = QRegion(area) - QRegion(picture->rect());
        for (const QRect& r : rest) p.fillRect(r, palette().color(QPalette::Window));
    } else {
        p.fillRect(area, palette().color(QPalette::Window));
    }
}

void ChartPicture::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (XYChart* chart = BoundChart()) chart->Resize();
}

void ChartPicture::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(event->button(), event->position().toPoint());
    QWidget::mousePressEvent(event);
}
