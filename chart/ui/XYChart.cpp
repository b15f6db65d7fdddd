#include "XYChart.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPen>
#include <QScreen>
#include <QStaticText>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <unordered_map>
#include <utility>

#include "modAPI.h"

using namespace modChartCommon;

namespace {

std::shared_ptr<clsLabel> MakeLabel(const std::string& caption, const std::string& face,
                                    double size, bool bold, std::int32_t color) {
    auto label = std::make_shared<clsLabel>();
    label->Caption = caption;
    label->Font.Name = face;
    label->Font.Size = size;
    label->Font.Bold = bold;
    label->ForeColor = color;
    return label;
}

std::shared_ptr<clsLabel> OrEmpty(std::shared_ptr<clsLabel> label) {
    return label ? std::move(label) : std::make_shared<clsLabel>();
}

const YGrid& NoYGrid() {
    static const YGrid none;
    return none;
}

// A gap of this many ms or more between two points breaks the curve (a hair
// below 3 s, so that a gap of exactly 3 s counts despite rounding of the times).
constexpr double GapMs = 3000.0 - 1e-3;
// Largest shift of the time axis that is scrolled, as a share of the plot
// width; a larger one redraws the curves. With a 60 s window on a plot some
// 1000 px wide, the half-second rhythm moves the axis by about 8 px: those
// steps scroll (what comes in from the right is cleared), so only the new
// points are drawn.
constexpr int MaxScrollShare = 2;  // half the plot
// Columns the curves keep beyond the plot's right edge: what a broad pen or a
// dot draws out there scrolls into view later, as a full redraw would draw it.
constexpr int RingMargin = 32;

QPen SolidPen(std::int32_t color, int width) {
    return QPen(XYChart::ToQColor(color), std::max(1, width), Qt::SolidLine, Qt::RoundCap,
                Qt::RoundJoin);
}

}  // namespace

// ---------------------------------------------------------------------------

struct XYChart::FontEntry {
    std::string Name;
    double Size;
    bool Bold;
    double Dpi;
    QFont Font;
    QFontMetrics Metrics;
    // Texts laid out once: the time axis draws the same few labels, frame
    // after frame, and laying out text is most of what drawing the scale costs.
    std::unordered_map<std::string, int> Widths;
    std::unordered_map<std::string, QStaticText> Texts;
    static constexpr std::size_t MaxTexts = 256;  // then the cache starts afresh
};

XYChart::XYChart()
    : m_header(MakeLabel("Header", "Arial", 14, true, 0)),
      m_xmax(modAPI::NowWithMs()),
      m_xTick(MakeLabel("", "Arial", 8, false, 0)),
      m_xTitle(MakeLabel("[ x-unit ]", "Arial", 10, true, 0)) {
    for (auto& w : m_watermark) w = MakeLabel("", "", 24, true, 0xE0E0E0);
    for (auto& axis : m_yAxis) {
        axis.Tick = MakeLabel("", "Arial", 8, false, m_scaleColor);
        axis.Title = MakeLabel("[ y-unit ]", "Arial", 10, true, m_scaleColor);
    }
}

XYChart::~XYChart() { Detach(); }

void XYChart::Detach() {
    if (ChartSurface* surface = Surface()) {
        surface->ShowPicture(QImage());
        surface->Unsubscribe();
    }
    m_surface = nullptr;
    m_subscription.reset();
}

QColor XYChart::ToQColor(std::int32_t color) {
    const auto c = static_cast<std::uint32_t>(color);
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// --- Properties -------------------------------------------------------------

void XYChart::SetHeader(std::shared_ptr<clsLabel> label) { m_header = OrEmpty(std::move(label)); }

std::shared_ptr<clsLabel> XYChart::Watermark(int ChartIndex) const {
    return ValidIndex(ChartIndex) ? m_watermark[ChartIndex] : nullptr;
}

void XYChart::SetWatermark(int ChartIndex, std::shared_ptr<clsLabel> label) {
    if (ValidIndex(ChartIndex)) m_watermark[ChartIndex] = OrEmpty(std::move(label));
}

void XYChart::SetBackColor(std::int32_t color) {
    m_backColor = color;
    if (ChartSurface* surface = Surface()) surface->SetSurfaceBackColor(ToQColor(color));
}

void XYChart::SetChartMask(int mask) {
    if (mask == m_chartMask) return;
    m_chartMask = mask;
    MarkAll();
}

bool XYChart::BandVisible(int ChartIndex) const {
    return ValidIndex(ChartIndex) && (m_chartMask & (1 << ChartIndex));
}

void XYChart::SetXmax(double value) {
    if (value == m_xmax) return;
    m_xmax = value;
    m_scaleOutdated = true;
}

void XYChart::SetIsTimeScale(int value) {
    if (value == m_isTimeScale) return;
    m_isTimeScale = value;
    MarkAll();
}

void XYChart::SetTimeInterval(int ms) {
    if (ms == m_timeInterval) return;
    m_timeInterval = ms;
    MarkAll();
}

void XYChart::SetXScaleText(std::shared_ptr<clsLabel> label) { m_xTitle = OrEmpty(std::move(label)); }

void XYChart::SetXGrid(int value) {
    if (value == m_xGrid) return;
    m_xGrid = value;
    m_scaleOutdated = true;
}

void XYChart::SetXPlacement(int flags) {
    if (flags == m_xPlacement) return;
    m_xPlacement = flags;
    MarkAll();
}

double XYChart::yMin(int ChartIndex) const {
    return ValidIndex(ChartIndex) ? m_yAxis[ChartIndex].Min : 0.0;
}

void XYChart::SetyMin(int ChartIndex, double value) {
    if (!ValidIndex(ChartIndex) || m_yAxis[ChartIndex].Min == value) return;
    m_yAxis[ChartIndex].Min = value;
    MarkAll();
}

double XYChart::yMax(int ChartIndex) const {
    return ValidIndex(ChartIndex) ? m_yAxis[ChartIndex].Max : 0.0;
}

void XYChart::SetyMax(int ChartIndex, double value) {
    if (!ValidIndex(ChartIndex) || m_yAxis[ChartIndex].Max == value) return;
    m_yAxis[ChartIndex].Max = value;
    MarkAll();
}

std::shared_ptr<clsLabel> XYChart::yScaleText(int ChartIndex) const {
    return ValidIndex(ChartIndex) ? m_yAxis[ChartIndex].Title : nullptr;
}

void XYChart::SetyScaleText(int ChartIndex, std::shared_ptr<clsLabel> label) {
    if (ValidIndex(ChartIndex)) m_yAxis[ChartIndex].Title = OrEmpty(std::move(label));
}

std::shared_ptr<clsLabel> XYChart::yTickLabel(int ChartIndex) const {
    return ValidIndex(ChartIndex) ? m_yAxis[ChartIndex].Tick : nullptr;
}

int XYChart::yGrid(int ChartIndex) const {
    return ValidIndex(ChartIndex) ? m_yAxis[ChartIndex].Grid : 0;
}

void XYChart::SetyGrid(int ChartIndex, int value) {
    if (!ValidIndex(ChartIndex) || m_yAxis[ChartIndex].Grid == value) return;
    m_yAxis[ChartIndex].Grid = value;
    m_scaleOutdated = true;
}

int XYChart::yReversed(int ChartIndex) const {
    return ValidIndex(ChartIndex) ? m_yAxis[ChartIndex].Reversed : 0;
}

void XYChart::SetyReversed(int ChartIndex, int value) {
    if (!ValidIndex(ChartIndex) || m_yAxis[ChartIndex].Reversed == value) return;
    m_yAxis[ChartIndex].Reversed = value;
    MarkAll();
}

int XYChart::yPlacement(int ChartIndex) const {
    return ValidIndex(ChartIndex) ? m_yAxis[ChartIndex].Placement : 0;
}

void XYChart::SetyPlacement(int ChartIndex, int flags) {
    if (!ValidIndex(ChartIndex) || m_yAxis[ChartIndex].Placement == flags) return;
    m_yAxis[ChartIndex].Placement = flags;
    MarkAll();
}

int XYChart::BandTop(int ChartIndex) const {
    return BandVisible(ChartIndex) ? m_yAxis[ChartIndex].Top : 0;
}

int XYChart::BandBottom(int ChartIndex) const {
    return BandVisible(ChartIndex) ? m_yAxis[ChartIndex].Bottom : 0;
}

const YGrid& XYChart::YGridInfo(int ChartIndex) const {
    return ValidIndex(ChartIndex) ? m_yAxis[ChartIndex].GridInfo : NoYGrid();
}

void XYChart::SetScreenDpi(double dpi) {
    m_dpi = dpi > 0 ? dpi : 0.0;
    MarkAll();
}

double XYChart::ScreenDpi() const {
    if (m_dpi > 0) return m_dpi;
    if (qGuiApp) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const double dpi = screen->logicalDotsPerInchY();
            if (dpi > 0) return dpi;
        }
    }
    return 96.0;
}

// --- Series -----------------------------------------------------------------

std::shared_ptr<clsChartData> XYChart::GetChart(const std::string& key) {
    for (const auto& s : m_series)
        if (s->Key == key) return s;
    auto series = std::make_shared<clsChartData>();
    series->Key = key;
    m_series.push_back(series);
    m_seenGeneration.push_back(series->Generation());
    return series;
}

void XYChart::RemoveChart(const std::string& key) {
    const auto it = std::find_if(m_series.begin(), m_series.end(),
                                 [&](const auto& s) { return s->Key == key; });
    if (it == m_series.end()) return;
    m_seenGeneration.erase(m_seenGeneration.begin() + (it - m_series.begin()));
    m_series.erase(it);
    m_chartOutdated = true;
    m_scaleOutdated = true;
}

bool XYChart::SeriesRestarted() const {
    for (std::size_t i = 0; i < m_series.size(); ++i)
        if (m_series[i]->Generation() != m_seenGeneration[i]) return true;
    return false;
}

// --- Surface and layers -----------------------------------------------------

void XYChart::InitViewPort(ChartSurface* ViewPort) {
    if (Surface() != ViewPort) {
        Detach();
        if (ViewPort) {
            // A chart shown there before loses its subscription, and with it the surface.
            m_subscription = ViewPort->Subscribe([this] { Resize(); });
            m_surface = ViewPort;
        }
    }
    ChartSurface* surface = Surface();
    if (!surface) return;
    surface->SetSurfaceBackColor(ToQColor(m_backColor));
    m_chartOutdated = true;
    Resize();
    ShowScale();
}

void XYChart::Resize() {
    ChartSurface* surface = Surface();
    if (!surface) return;
    const QSize size = surface->SurfaceSize();
    m_width = std::max(0, size.width());
    m_height = std::max(0, size.height());
    // The ring of curves is laid out anew for the new plot at the next Show.
    m_chartLayer = QImage();
    m_ringPlot = QRect();
    m_ringOrigin = 0;
    if (m_width > 0 && m_height > 0) {
        m_picture = QImage(m_width, m_height, QImage::Format_RGB32);
        m_picture.fill(ToQColor(m_backColor));
    } else {
        m_picture = m_sparePicture = QImage();
    }
    MarkAll();
    if (m_xmin > 0 && !m_picture.isNull()) {
        m_xmin = 0;
        Show(m_xmax);
    } else {
        Present();  // the new (blank) picture until the chart is drawn
    }
}

XYChart::FontEntry& XYChart::FontOf(const clsLabel& label) {
    const double dpi = ScreenDpi();
    for (const auto& f : m_fonts)
        if (f->Size == label.Font.Size && f->Bold == label.Font.Bold && f->Dpi == dpi &&
            f->Name == label.Font.Name)
            return *f;
    // Em height in pixels at the screen's vertical resolution.
    const double points =
        std::isfinite(label.Font.Size) ? std::clamp(label.Font.Size, 1.0, 1000.0) : 8.0;
    const int pixels = std::max(1, static_cast<int>(RoundEven(points * dpi / 72.0)));
    QFont font;
    if (!label.Font.Name.empty())
        font.setFamily(QString::fromStdString(label.Font.Name.substr(0, 32)));
    font.setPixelSize(pixels);
    font.setWeight(label.Font.Bold ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    if (m_fonts.size() >= 32) m_fonts.erase(m_fonts.begin());
    m_fonts.push_back(std::unique_ptr<FontEntry>(new FontEntry{
        label.Font.Name, label.Font.Size, label.Font.Bold, dpi, font, QFontMetrics(font), {}, {}}));
    return *m_fonts.back();
}

XYChart::Extent XYChart::Measure(const clsLabel& label, const std::string& text) {
    if (text.empty()) return {};
    FontEntry& f = FontOf(label);
    auto it = f.Widths.find(text);
    if (it == f.Widths.end()) {
        if (f.Widths.size() >= FontEntry::MaxTexts) f.Widths.clear();
        it = f.Widths.emplace(text, f.Metrics.horizontalAdvance(QString::fromStdString(text))).first;
    }
    return {it->second, f.Metrics.height()};
}

void XYChart::DrawText(QPainter& p, const clsLabel& label, const std::string& text, int x, int y) {
    if (text.empty()) return;
    FontEntry& f = FontOf(label);
    p.setFont(f.Font);
    p.setPen(ToQColor(label.ForeColor));
    auto it = f.Texts.find(text);
    if (it == f.Texts.end()) {
        if (f.Texts.size() >= FontEntry::MaxTexts) f.Texts.clear();
        QStaticText laidOut(QString::fromStdString(text));
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
        laidOut.prepare(QTransform(), f.Font);
        it = f.Texts.emplace(text, std::move(laidOut)).first;
    }
    // (x, y) is the top left corner of the text cell.
    if (label.Orientation % 360 == 0) {
        p.drawStaticText(x, y, it->second);
    } else {
        p.save();
        p.translate(x, y);
        p.rotate(-label.Orientation);
        p.drawStaticText(0, 0, it->second);
        p.restore();
    }
}

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

void XYChart::Redraw() {
    MarkAll();
    Show(m_xmax);
}

void XYChart::ShowScale() {
    if (m_scaleOutdated) RedrawScale();
    Compose(false);
    Present();
}

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

void XYChart::Present() {
    if (ChartSurface* surface = Surface()) surface->ShowPicture(m_picture);
}

// --- Show -------------------------------------------------------------------------

void XYChart::Show(double X) {
    if (!Surface() || m_picture.isNull() || !std::isfinite(X)) return;
    // After a change of window, size or fonts the shift is measured in the
    // pixels of the new layout, not of the old one.
    if (m_scaleOutdated) LayoutScale();
    const double sx = m_xGridInfo.Scale;
    if (sx > 0 && std::isfinite(sx)) {
        // Show(Xmax) draws in place: the edge is where it belongs already.
        const bool inPlace = X == m_xmax;
        double shift = inPlace ? 0.0 : std::floor((X - m_xmax) * sx);
        if (!std::isfinite(shift)) return;
        if (shift == 0 && !m_scaleOutdated) return;
        if (!inPlace) shift += 2;  // the right edge runs two pixels ahead of the newest time
        m_xmax += shift / sx;
        // A jump of more than a few pixels, or backwards (the clock was set
        // back), cannot be scrolled, nor can a series that started afresh:
        // everything is drawn anew.
        const int maxScroll = std::max(5, (m_plotRight - m_plotLeft) / MaxScrollShare);
        if (shift > maxScroll || shift < 0 || SeriesRestarted()) m_chartOutdated = true;
        m_scaleOutdated = true;
        RedrawScale();
        // A plot that changed its place or size, or a shift as wide as the
        // plot, starts the ring afresh.
        if (PlotInside() != m_ringPlot || shift >= m_ringPlot.width()) m_chartOutdated = true;
        if (!m_chartOutdated) ScrollChartLayer(static_cast<int>(shift));
    } else {
        // No usable time axis so far (no plot width, or no window): put the
        // edge at X and draw everything once the axis exists.
        m_xmax = X;
        MarkAll();
        RedrawScale();
    }
    if (!(m_xGridInfo.Scale > 0)) {
        ClearChartLayer();
        m_chartOutdated = true;
        Compose(false);
        Present();
        return;
    }
    if (m_chartOutdated) {
        ClearChartLayer();
        for (std::size_t i = 0; i < m_series.size(); ++i) {
            m_series[i]->ResetReadPointer();
            m_seenGeneration[i] = m_series[i]->Generation();
        }
    }
    DrawSeries();
    Compose(true);
    m_chartOutdated = false;
    Present();
}
