#include "XYChart.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPen>
#include <QScreen>
#include <QStaticText>
#include <algorithm>
#include <cmath>
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

// Largest shift of the time axis that is scrolled, as a share of the plot
// width; a larger one redraws the curves. With a 60 s window on a plot some
// 1000 px wide, the half-second rhythm moves the axis by about 8 px: those
// steps scroll (what comes in from the right is cleared), so only the new
// points are drawn.
constexpr int MaxScrollShare = 2;  // half the plot

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

QPen XYChart::SolidPen(std::int32_t color, int width) {
    return QPen(ToQColor(color), std::max(1, width), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
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

void XYChart::Redraw() {
    MarkAll();
    Show(m_xmax);
}

void XYChart::ShowScale() {
    if (m_scaleOutdated) RedrawScale();
    Compose(false);
    Present();
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
