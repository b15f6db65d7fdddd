// The scale of the time chart: margins, bands and grids laid out, the part
// that stays put while time passes drawn into the scale base, and the x scale
// that moves with the time axis.
#include "XYChart.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <utility>
#include <string>
#include <type_traits>

#include "modChartDates.h"

using namespace modChartCommon;

// --- Scale layer --------------------------------------------------------------

void XYChart::LayoutScale() {
    const bool timeAxis = m_isTimeScale != 0;

    // Text extents decide the margins.
    m_xTitleExtent = Measure(*m_xTitle, m_xTitle->Caption);
    m_xTickExtent = Measure(*m_xTick, timeAxis ? "##:##:##" : WidthFormat(m_xmin, m_xmax));
    for (auto& axis : m_yAxis) {
        const Extent title = Measure(*axis.Title, axis.Title->Caption);
        const Extent tick = Measure(*axis.Tick, "###.####");
        axis.TitleWidth = title.Width;
        axis.TitleHeight = title.Height;
        axis.TickWidth = tick.Width;
        axis.TickHeight = tick.Height;
    }

    const YAxis& y0 = m_yAxis[0];
    const HMargins h = HorizontalMargins(y0.Placement, y0.TitleWidth, y0.TickWidth, m_xTickExtent.Width);
    m_plotLeft = h.Left;
    m_plotRight = m_width - h.Right;
    const int plotWidth = m_plotRight - m_plotLeft;

    m_headerExtent = Measure(*m_header, m_header->Caption);
    const VMargins v = VerticalMargins(m_xPlacement, m_headerExtent.Height, m_xTitleExtent.Height,
                                       m_xTickExtent.Height);
    m_plotTop = v.Top;
    m_plotBottom = m_height - v.Bottom;

    // The visible bands share the height, each with its own y grid.
    m_bands = Bands(m_chartMask, m_plotTop, m_plotBottom);
    m_bandHeight = modChartCommon::BandHeight(m_plotTop, m_plotBottom, static_cast<int>(m_bands.size()));
    for (auto& axis : m_yAxis) axis.Top = axis.Bottom = 0;
    for (const Band& band : m_bands) {
        YAxis& axis = m_yAxis[band.Index];
        axis.Top = band.Top;
        axis.Bottom = band.Bottom;
        const int n = axis.TickHeight > 0 ? m_bandHeight / axis.TickHeight : 0;
        // The grid is aligned, the limits stay as they were set.
        axis.GridInfo = ComputeYGrid(axis.Min, axis.Max, axis.Reversed != 0, m_bandHeight, n);
    }

    m_xGridInfo = ComputeXGrid(timeAxis, m_timeInterval, m_xmax, m_plotLeft, plotWidth,
                               m_xTickExtent.Width);
    if (m_xGridInfo.Valid) m_xmin = m_xGridInfo.Xmin;
}

namespace {

// Appends the bytes of plain values to a key.
class KeyWriter {
public:
    std::string Text;
    template <typename T>
    KeyWriter& operator<<(const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        Text.append(reinterpret_cast<const char*>(&value), sizeof value);
        return *this;
    }
    KeyWriter& operator<<(const std::string& text) {
        *this << text.size();
        Text += text;
        return *this;
    }
    KeyWriter& operator<<(const clsLabel& label) {
        return *this << label.Caption << label.Font.Name << label.Font.Size << label.Font.Bold << label.ForeColor
                     << label.Orientation;
    }
};

}  // namespace

std::string XYChart::ScaleBaseKey() const {
    // Everything the part of the scale that does not move with the
    // time axis is drawn from.
    KeyWriter k;
    k << m_width << m_height << ScreenDpi() << m_gridColor << m_scaleColor << *m_header << m_plotLeft
      << m_plotRight << m_plotTop << m_plotBottom;
    for (const Band& band : m_bands) {
        const YAxis& axis = m_yAxis[band.Index];
        k << band.Index << band.Top << band.Bottom << *m_watermark[band.Index] << axis.Placement << axis.Grid
          << axis.Reversed << *axis.Tick << *axis.Title << axis.TickWidth << axis.TickHeight << axis.TitleWidth
          << axis.GridInfo.Valid << axis.GridInfo.Count;
        for (int position : axis.GridInfo.Positions) k << position;
        for (const std::string& label : axis.GridInfo.Labels) k << label;
    }
    return k.Text;
}

void XYChart::RedrawScale() {
    if (m_picture.isNull()) return;
    LayoutScale();

    // Background, header, watermarks and y scales stay the same while only
    // the time axis moves: they are drawn once into the base, which each
    // picture starts from.
    std::string key = ScaleBaseKey();
    if (key != m_scaleBaseKey || m_scaleBase.size() != m_picture.size()) {
        m_scaleBase = QImage(m_picture.size(), QImage::Format_RGB32);
        QPainter b(&m_scaleBase);
        b.setRenderHint(QPainter::Antialiasing, false);
        b.fillRect(m_scaleBase.rect(), Qt::white);
        DrawText(b, *m_header, m_header->Caption,
                 static_cast<int>(RoundEven((m_plotLeft + m_plotRight - m_headerExtent.Width) / 2.0)), 6);
        for (const Band& band : m_bands) {
            YAxis& axis = m_yAxis[band.Index];
            const clsLabel& mark = *m_watermark[band.Index];
            const Extent w = Measure(mark, mark.Caption);
            DrawText(b, mark, mark.Caption,
                     static_cast<int>(RoundEven((m_plotLeft + m_plotRight - w.Width) / 2.0)),
                     static_cast<int>(RoundEven((band.Top + band.Bottom - w.Height) / 2.0)));
            if (axis.Placement & PlaceLeft) DrawYScale(b, axis, PlaceLeft);
            if (axis.Placement & PlaceRight) DrawYScale(b, axis, PlaceRight);
        }
        // Frames last, over the grid lines at the edges (the x grid, drawn
        // later, leaves the frame rows alone).
        b.setPen(SolidPen(m_scaleColor, 1));
        b.setBrush(Qt::NoBrush);
        for (const Band& band : m_bands)
            b.drawRect(m_plotLeft, band.Top, m_plotRight - m_plotLeft, band.Bottom - band.Top);
        b.end();
        // Most rows inside the plot are of one colour (background, a y grid
        // line, a frame between bands): those are filled, not copied.
        const QRect inside = PlotInside();
        m_baseRowColor.assign(static_cast<std::size_t>(std::max(0, m_height)), MixedRow);
        if (!inside.isEmpty() && m_scaleBase.rect().contains(inside)) {
            for (int y = inside.top(); y <= inside.bottom(); ++y) {
                const auto* row = reinterpret_cast<const QRgb*>(m_scaleBase.constScanLine(y)) + inside.left();
                if (std::all_of(row, row + inside.width(), [&](QRgb c) { return c == row[0]; }))
                    m_baseRowColor[static_cast<std::size_t>(y)] = row[0];
            }
        }
        m_scaleBaseKey = std::move(key);
    }
    m_scaleOutdated = false;
}

void XYChart::DrawMovingScale(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, false);
    if (!m_bands.empty()) {
        if (m_xPlacement & PlaceAbove) DrawXScale(p, PlaceAbove, m_bands);
        if (m_xPlacement & PlaceBelow) DrawXScale(p, PlaceBelow, m_bands);
    }
}

void XYChart::DrawYScale(QPainter& p, YAxis& axis, int side) {
    const bool left = side == PlaceLeft;
    const int tickStart = left ? m_plotLeft : m_plotRight;
    const int tickEnd = left ? m_plotLeft - 6 : m_plotRight + 6;
    const int titleX = left ? m_plotLeft - 8 - axis.TickWidth - 4 - axis.TitleWidth
                            : m_plotRight + 8 + axis.TickWidth + 4;
    const YGrid& g = axis.GridInfo;
    int lastHeight = 0;
    if (g.Valid) {
        const QPen pen = SolidPen(m_scaleColor, 1);
        for (int i = 0; i <= g.Count; ++i) {
            const int position = axis.Reversed ? -g.Positions[i] : g.Positions[i];
            const int y = axis.Bottom - position;
            p.setPen(pen);
            p.drawLine(tickStart, y, tickEnd, y);
            const Extent e = Measure(*axis.Tick, g.Labels[i]);
            lastHeight = e.Height;
            const int x = left ? tickEnd - (e.Width + 2) : tickEnd + 2;
            DrawText(p, *axis.Tick, g.Labels[i], x,
                     y - static_cast<int>(RoundEven(axis.TickHeight / 2.0)));
        }
        if (axis.Grid) {
            p.setPen(SolidPen(m_gridColor, 1));
            for (int i = 1; i <= g.Count; ++i) {
                const int position = axis.Reversed ? -g.Positions[i] : g.Positions[i];
                const int y = axis.Bottom - position;
                p.drawLine(m_plotLeft, y, m_plotRight, y);
            }
        }
    }
    DrawText(p, *axis.Title, axis.Title->Caption, titleX,
             axis.Top + static_cast<int>(RoundEven(lastHeight / 2.0)));
}

void XYChart::DrawXScale(QPainter& p, int side, const std::vector<Band>& bands) {
    const bool above = side == PlaceAbove;
    const int tickHeight = m_xTickExtent.Height;
    const int edge = above ? bands.front().Top : bands.back().Bottom;
    const int tickEnd = above ? edge - 6 : edge + 6;
    const int labelY = above ? edge - 8 - tickHeight : edge + 8;
    const int titleY = above ? labelY - 4 - m_xTitleExtent.Height : edge + 8 + tickHeight;
    const bool timeAxis = m_isTimeScale != 0;

    if (m_timeInterval < 1000) {
        static const std::string invalid = "Invalid Range";
        const Extent e = Measure(*m_xTick, invalid);
        DrawText(p, *m_xTick, invalid,
                 static_cast<int>(RoundEven((m_plotLeft + m_plotRight - e.Width) / 2.0)), labelY);
    } else if (m_xGridInfo.Valid) {
        const modChartCommon::XGrid& g = m_xGridInfo;
        const QPen pen = SolidPen(m_scaleColor, 1);
        for (std::size_t i = 0; i < g.Positions.size(); ++i) {
            const int x = g.Positions[i];
            p.setPen(pen);
            p.drawLine(x, edge, x, tickEnd);
            if (m_timeInterval > 5000) {
                const std::string text =
                    timeAxis ? FormatClock(g.Values[i]) : FormatNumber(g.Values[i], "0");
                const Extent e = Measure(*m_xTick, text);
                DrawText(p, *m_xTick, text, static_cast<int>(RoundEven(x - e.Width / 2.0)), labelY);
                // A clock axis has no title: its row holds the date where the day changes.
                if (timeAxis && i < g.Dates.size() && !g.Dates[i].empty()) {
                    const Extent d = Measure(*m_xTick, g.Dates[i]);
                    const int dateY = above ? labelY - 4 - tickHeight : titleY;
                    DrawText(p, *m_xTick, g.Dates[i], static_cast<int>(RoundEven(x - d.Width / 2.0)), dateY);
                }
            }
        }
        // The x grid lines inside the plot are put in with the curves (Compose).
    }
    if (!timeAxis) {
        DrawText(p, *m_xTitle, m_xTitle->Caption,
                 static_cast<int>(RoundEven((m_plotLeft + m_plotRight - m_xTitleExtent.Width) / 2.0)),
                 titleY);
    }
}
