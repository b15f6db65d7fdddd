// The curves of the time chart: the ring of columns they are drawn into, its
// scrolling, the drawing of new points, and the picture put together from
// the scale base and the ring.
#include "XYChart.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

using namespace modChartCommon;

namespace {

// A gap of this many ms or more between two points breaks the curve (a hair
// below 3 s, so that a gap of exactly 3 s counts despite rounding of the times).
constexpr double GapMs = 3000.0 - 1e-3;
// Columns the curves keep beyond the plot's right edge: what a broad pen or a
// dot draws out there scrolls into view later, as a full redraw would draw it.
constexpr int RingMargin = 32;

}  // namespace

// --- Chart layer ----------------------------------------------------------------

QRect XYChart::PlotInside() const {
    return QRect(m_plotLeft + 1, m_plotTop + 1, m_plotRight - m_plotLeft - 1, m_plotBottom - m_plotTop - 1);
}

void XYChart::ClearChartLayer() {
    m_ringPlot = PlotInside();
    m_ringOrigin = 0;
    if (m_ringPlot.isEmpty() || m_height <= 0) {
        m_chartLayer = QImage();
        return;
    }
    const QSize size(m_ringPlot.width() + RingMargin, m_height);
    if (m_chartLayer.size() != size) m_chartLayer = QImage(size, QImage::Format_ARGB32_Premultiplied);
    m_chartLayer.fill(Qt::transparent);
}

void XYChart::ScrollChartLayer(int shift) {
    if (m_chartLayer.isNull() || shift <= 0) return;
    const int w = m_chartLayer.width();
    if (shift >= w) {
        ClearChartLayer();
        return;
    }
    m_ringOrigin = (m_ringOrigin + shift) % w;
    // The columns that come in at the ring's right end held what went out at
    // the left: they are cleared.
    const int first = (m_ringOrigin - shift + w) % w;
    const int straight = std::min(shift, w - first);
    const int top = std::clamp(m_ringPlot.top(), 0, m_chartLayer.height());
    const int bottom = std::clamp(m_ringPlot.bottom() + 1, 0, m_chartLayer.height());
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_chartLayer.scanLine(y));
        std::fill(row + first, row + first + straight, QRgb(0));
        std::fill(row, row + (shift - straight), QRgb(0));
    }
}

void XYChart::DrawRing(QPainter& p, const QImage& ring, const QRect& inside, int origin) {
    // Ring columns from the origin on fill the inside from its left edge,
    // the ones from column 0 on follow them up to the right edge.
    const int w = inside.width();
    const int first = std::min(w, ring.width() - origin);
    p.drawImage(inside.topLeft(), ring, QRect(origin, inside.top(), first, inside.height()));
    if (first < w)
        p.drawImage(QPoint(inside.left() + first, inside.top()), ring, QRect(0, inside.top(), w - first, inside.height()));
}

QImage XYChart::Curves() const {
    QImage curves(std::max(0, m_width), std::max(0, m_height), QImage::Format_ARGB32_Premultiplied);
    curves.fill(Qt::transparent);
    if (m_chartLayer.isNull() || curves.isNull()) return curves;
    QPainter p(&curves);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    DrawRing(p, m_chartLayer, m_ringPlot, m_ringOrigin);
    return curves;
}

void XYChart::DrawSeries() {
    if (m_chartLayer.isNull()) return;
    const double sx = m_xGridInfo.Scale;
    QPainter p(&m_chartLayer);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Points are placed in picture columns and drawn into the ring in its two
    // pieces, each clipped to its own columns.
    const int ringWidth = m_chartLayer.width();
    const int toRing = m_ringOrigin - m_ringPlot.left();
    const std::array<std::pair<int, QRect>, 2> pieces{
        {{toRing, QRect(m_ringOrigin, 0, ringWidth - m_ringOrigin, m_chartLayer.height())},
         {toRing - ringWidth, QRect(0, 0, m_ringOrigin, m_chartLayer.height())}}};
    const auto inPieces = [&](const auto& draw) {
        for (const auto& [dx, clip] : pieces) {
            if (clip.isEmpty()) continue;
            p.resetTransform();
            p.setClipRect(clip);
            p.translate(dx, 0);
            draw();
        }
    };
    for (const auto& series : m_series) {
        clsChartData& s = *series;
        const int b = s.Chart;
        if (!ValidIndex(b)) continue;  // no such band: nothing to draw into
        const YAxis& axis = m_yAxis[b];
        const double pixelsPerUnit = axis.GridInfo.Valid ? axis.GridInfo.Scale : 0.0;
        const double sy = axis.Reversed ? -pixelsPerUnit : pixelsPerUnit;
        const double base = axis.Reversed ? axis.Max : axis.Min;
        const int y0 = axis.Bottom;
        if (!s.Visible || !BandVisible(b)) continue;

        const int stop = s.StopIndex();
        const int w = s.WritePointer();
        int r = s.ReadPointer();
        const int n = s.UnreadCount();
        if (n <= 1 || stop < 1) continue;

        if (static_cast<int>(m_points.size()) < n) m_points.resize(n);
        m_segments.clear();
        double prev = s.X(r);
        int length = 0, count = 0;
        const auto closeSegment = [&]() {
            if (length >= 2) {
                m_segments.push_back(length);
            } else if (length == 1) {
                --count;  // a lone point before a gap is left out
            }
            length = 0;
        };
        for (int i = 0; i < n; ++i) {
            const double x = s.X(r);
            if ((x - prev) * MsPerDay >= GapMs) closeSegment();
            m_points[count] = QPoint(m_plotRight + RoundPixel((x - m_xmax) * sx),
                                     y0 + RoundPixel((base - s.Y(r)) * sy));
            ++count;
            ++length;
            prev = x;
            r = (r + 1) % stop;
        }
        if (length >= 2) m_segments.push_back(length);
        // The last point stays unread: the next drawing starts from it.
        s.SetReadPointer(w == 0 ? stop - 1 : w - 1);

        if (s.Appearance == 1) {
            inPieces([&] {
                int first = 0;
                for (int points : m_segments) {
                    DrawPolyline(p, first, points, s.ForeColor, s.DrawWidth);
                    first += points;
                }
            });
        } else if (s.Appearance == 0) {
            inPieces([&] { DrawDots(p, count, s.ForeColor, s.DrawWidth); });
        }
    }
}

namespace {

// Pen offsets of a line `width` pixels wide, centred as the raster engine
// centres a pen of that width: {0}, {-1, 0}, {-1, 0, 1} ...
std::pair<int, int> PenSpan(int width) {
    const int w = std::max(1, width);
    return {-(w / 2), -(w / 2) + w - 1};
}

}  // namespace

void XYChart::DrawPolyline(QPainter& p, int first, int count, std::int32_t color, int width) {
    // Many points of a long recording fall into the same pixel column. Within
    // one column the line covers just the span between the lowest and the
    // highest point, so the first, lowest, highest and last point of each
    // column draw the same pixels as all of them.
    m_drawPoints.clear();
    const QPoint* pts = m_points.data() + first;
    int i = 0;
    while (i < count) {
        const int x = pts[i].x();
        int j = i, low = i, high = i;
        while (j < count && pts[j].x() == x) {
            if (pts[j].y() < pts[low].y()) low = j;
            if (pts[j].y() > pts[high].y()) high = j;
            ++j;
        }
        const int a = std::min(low, high), b = std::max(low, high);
        for (int k : {i, a, b, j - 1})
            if (m_drawPoints.empty() || m_drawPoints.back() != pts[k]) m_drawPoints.push_back(pts[k]);
        i = j;
    }
    if (m_drawPoints.size() == 1) m_drawPoints.push_back(m_drawPoints.front());
    const int n = static_cast<int>(m_drawPoints.size());

    if (width > 4) {
        // Broad pens are rare; the stroker handles them, in short pieces
        // (round joins and round caps cover the same pixels at the cuts).
        p.setPen(SolidPen(color, width));
        for (int k = 0; k < n - 1; k += 63) p.drawPolyline(m_drawPoints.data() + k, std::min(64, n - k));
        return;
    }
    // Thin lines: the one-pixel line drawn once per pixel of a square pen tip.
    // Each piece is drawn as a line of its own, and every point as a pixel:
    // a polyline leaves out pixels at some turns (the tip of a spike among
    // them), and which ones depends on where the polyline starts, so a curve
    // drawn on bit by bit would differ from the same curve drawn at once.
    QPen pen(ToQColor(color), 1);
    pen.setCosmetic(true);
    p.setPen(pen);
    const auto [from, to] = PenSpan(width);
    m_shifted.resize(n);
    m_lines.resize(n - 1);
    for (int dx = from; dx <= to; ++dx)
        for (int dy = from; dy <= to; ++dy) {
            const QPoint offset(dx, dy);
            for (int k = 0; k < n; ++k) m_shifted[k] = m_drawPoints[k] + offset;
            for (int k = 0; k + 1 < n; ++k) m_lines[k] = QLine(m_shifted[k], m_shifted[k + 1]);
            p.drawLines(m_lines.data(), n - 1);
            p.drawPoints(m_shifted.data(), n);
        }
}

void XYChart::DrawDots(QPainter& p, int count, std::int32_t color, int width) {
    // Width 1: the pixel itself; wider: a short diagonal stroke from the
    // point to one pixel down right, with a square pen tip of that width.
    const auto [from, to] = PenSpan(width);
    const int reach = width <= 1 ? 0 : 1;
    m_shifted.clear();
    QPoint last(std::numeric_limits<int>::min(), 0);
    for (int k = 0; k < count; ++k) {
        const QPoint pt = m_points[k];
        if (pt == last) continue;
        last = pt;
        for (int step = 0; step <= reach; ++step)
            for (int dy = from; dy <= to; ++dy)
                for (int dx = from; dx <= to; ++dx) m_shifted.push_back(pt + QPoint(step + dx, step + dy));
    }
    QPen pen(ToQColor(color), 1);
    pen.setCosmetic(true);
    p.setPen(pen);
    p.drawPoints(m_shifted.data(), static_cast<int>(m_shifted.size()));
}

void XYChart::Compose(bool withCurves) {
    if (m_picture.isNull()) return;
    // The surface may still hold the last picture: draw into the other of
    // two (the surface lets go of it when it takes the new one), and only
    // when both are held into a fresh image. Every pixel is drawn anew.
    if (!m_picture.isDetached()) {
        std::swap(m_picture, m_sparePicture);
        if (!m_picture.isDetached() || m_picture.size() != m_sparePicture.size() ||
            m_picture.format() != m_sparePicture.format())
            m_picture = QImage(m_sparePicture.size(), m_sparePicture.format());
    }
    if (m_scaleBase.size() != m_picture.size() || m_scaleBase.format() != m_picture.format() ||
        m_baseRowColor.size() != static_cast<std::size_t>(m_picture.height())) {
        m_picture.fill(Qt::white);  // no scale yet
        return;
    }
    // Every pixel is written once: the fixed part of the scale outside the
    // plot is copied, the inside of the plot is put together row by row from
    // the scale, the x grid and the curves, and the moving x scale is drawn.
    // The picture is large and this runs twice a second, so it is kept to
    // one pass over memory.
    const QRect inside = PlotInside();
    const bool curves = withCurves && !m_chartLayer.isNull() && m_ringPlot == inside;
    const bool hasInside = !inside.isEmpty() && m_picture.rect().contains(inside);
    const int pictureWidth = m_picture.width();
    const std::size_t rowBytes = static_cast<std::size_t>(pictureWidth) * sizeof(QRgb);
    // Rows straight from the images' memory (scanLine checks for sharing on every call).
    uchar* const pictureBits = m_picture.bits();
    const uchar* const baseBits = m_scaleBase.constBits();
    const uchar* const ringBits = curves ? m_chartLayer.constBits() : nullptr;
    const XGridRows grid = XGridColumns(inside);
    const QRgb gridColor = ToQColor(m_gridColor).rgb();
    for (int y = 0; y < m_picture.height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(pictureBits + m_picture.bytesPerLine() * y);
        const auto* base = reinterpret_cast<const QRgb*>(baseBits + m_scaleBase.bytesPerLine() * y);
        if (!hasInside || y < inside.top() || y > inside.bottom()) {
            std::memcpy(out, base, rowBytes);
            continue;
        }
        const int left = inside.left(), width = inside.width(), right = left + width;
        std::memcpy(out, base, static_cast<std::size_t>(left) * sizeof(QRgb));
        std::memcpy(out + right, base + right, static_cast<std::size_t>(pictureWidth - right) * sizeof(QRgb));
        const QRgb fill = m_baseRowColor[static_cast<std::size_t>(y)];
        const QRgb* under = fill == MixedRow ? base + left : nullptr;
        const auto* ring =
            curves ? reinterpret_cast<const QRgb*>(ringBits + m_chartLayer.bytesPerLine() * y) : nullptr;
        if (!ring) {
            if (under) std::memcpy(out + left, under, static_cast<std::size_t>(width) * sizeof(QRgb));
            else std::fill(out + left, out + right, fill);
        } else {
            // The ring's columns from the origin on, then from column 0.
            const int first = std::min(width, m_chartLayer.width() - m_ringOrigin);
            OverlayRow(out + left, ring + m_ringOrigin, under, fill, first);
            OverlayRow(out + left + first, ring, under ? under + first : nullptr, fill, width - first);
        }
        // The x grid under the curves.
        if (grid.Rows[static_cast<std::size_t>(y)])
            for (const auto& [x, column] : grid.Columns)
                if (!ring || !ring[column]) out[x] = gridColor;
    }
    QPainter p(&m_picture);
    DrawMovingScale(p);
}

void XYChart::OverlayRow(QRgb* out, const QRgb* curve, const QRgb* under, QRgb fill, int count) {
    // Curves are drawn opaque and without antialiasing: a pixel of theirs
    // is either empty (0) or covers what lies under it. Written without
    // branches, so that the compiler can take several pixels at a time.
    if (under) {
        for (int i = 0; i < count; ++i) {
            const QRgb c = curve[i];
            out[i] = c | (under[i] & (QRgb(0) - QRgb(c == 0)));
        }
    } else {
        for (int i = 0; i < count; ++i) {
            const QRgb c = curve[i];
            out[i] = c | (fill & (QRgb(0) - QRgb(c == 0)));
        }
    }
}

XYChart::XGridRows XYChart::XGridColumns(const QRect& inside) const {
    XGridRows grid;
    grid.Rows.assign(static_cast<std::size_t>(std::max(0, m_height)), 0);
    if (!m_xGrid || !m_xGridInfo.Valid || m_timeInterval < 1000 || inside.isEmpty()) return grid;
    // One pixel wide, between the frames of each band (a line at the plot's
    // edges would only repeat the frame).
    const int ringWidth = std::max(1, m_chartLayer.width());
    for (int x : m_xGridInfo.Positions)
        if (x >= inside.left() && x <= inside.right())
            grid.Columns.emplace_back(x, (x - inside.left() + m_ringOrigin) % ringWidth);
    for (const Band& band : m_bands)
        for (int y = std::max(band.Top + 1, inside.top()); y <= std::min(band.Bottom - 1, inside.bottom()); ++y)
            grid.Rows[static_cast<std::size_t>(y)] = 1;
    return grid;
}
