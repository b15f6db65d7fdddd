#include "ChartPicture.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QPainter>
#include <QPalette>

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

void ChartPicture::ShowPicture(const QImage& picture) {
    m_picture = picture;
    update();
}

void ChartPicture::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect area = event->rect();
    if (!m_picture.isNull()) {
        p.drawImage(area.topLeft(), m_picture, area);
        // Whatever the picture does not reach (between a resize and the
        // chart's rebuild) shows the background colour.
        const QRegion rest = QRegion(area) - QRegion(m_picture.rect());
        for (const QRect& r : rest) p.fillRect(r, palette().color(QPalette::Window));
    } else {
        p.fillRect(area, palette().color(QPalette::Window));
    }
}

void ChartPicture::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ReportResize();
}

void ChartPicture::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(event->button(), event->position().toPoint());
    QWidget::mousePressEvent(event);
}
