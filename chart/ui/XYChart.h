#pragma once
// The time chart: up to four horizontal bands stacked one above the other,
// with a shared time axis (x) and one value axis (y) per band, and the data
// series drawn into them.
//
// Drawing keeps two off-screen layers: the scale base (background, header,
// watermarks, y scales, band frames: all that stays put while time passes),
// and the chart layer (the curves, for the inside of the plot). Each picture
// shown is put together from them in one pass, with the x grid and the x
// scale drawn for the current edge. Between two calls of Show the curves
// scroll left (the chart layer is a ring of columns, so scrolling moves no
// pixels), and only new points are drawn.
//
// Sources: XYChart.cpp (properties, series, surface, texts, Show),
// XYChartScale.cpp (the scale layer), XYChartCurves.cpp (the chart layer and
// the picture put together from both).
//
// Colours are 0x00BBGGRR values. Times are date values in days since
// 30 December 1899 (the fraction is the time of day). Pixel coordinates have
// their origin top left, y growing downwards. Texts need a QGuiApplication.
// The chart and its surface may be destroyed in either order.
//
// Typical use (the main window):
//   KOVChart.InitViewPort(picGraph);            // picGraph: a ChartPicture
//   KOVChart.SetTimeInterval(60000);
//   KOVChart.XScaleText()->Caption = "[ s ]";
//   auto series = KOVChart.GetChart("KOV");
//   series->InitChartData(1199);
//   series->AddChartPoint(now, value);          // for every value
//   KOVChart.Show(now);                         // every 500 ms
#include <QImage>
#include <QLine>
#include <QPoint>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ChartSurface.h"
#include "clsChartData.h"
#include "clsLabel.h"
#include "modChartLayout.h"
#include "modChartNumbers.h"

class QFont;
class QPainter;
class QPen;

class XYChart {
public:
    XYChart();
    ~XYChart();
    XYChart(const XYChart&) = delete;
    XYChart& operator=(const XYChart&) = delete;

    // --- Properties -------------------------------------------------------
    // ChartIndex is a band 0..3; outside that a read gives 0 / no object and
    // a write does nothing. Labels are shared objects: changing a field of a
    // returned label takes effect at the next scale redraw.

    std::shared_ptr<clsLabel> Header() const { return m_header; }
    void SetHeader(std::shared_ptr<clsLabel> label);
    std::shared_ptr<clsLabel> Watermark(int ChartIndex) const;
    void SetWatermark(int ChartIndex, std::shared_ptr<clsLabel> label);

    std::int32_t BackColor() const { return m_backColor; }
    void SetBackColor(std::int32_t color);
    std::int32_t GridColor() const { return m_gridColor; }
    void SetGridColor(std::int32_t color) { m_gridColor = color; }
    std::int32_t ScaleColor() const { return m_scaleColor; }
    void SetScaleColor(std::int32_t color) { m_scaleColor = color; }

    // Visible bands, bit i = band i (1 = band 0 only).
    int ChartMask() const { return m_chartMask; }
    void SetChartMask(int mask);
    bool BandVisible(int ChartIndex) const;
    int VisibleBands() const { return modChartCommon::VisibleCount(m_chartMask); }

    // Time of the right edge; Xmin (the left edge) follows from it and
    // TimeInterval at every scale redraw.
    double Xmax() const { return m_xmax; }
    void SetXmax(double value);
    double Xmin() const { return m_xmin; }

    // Non-zero: the x axis shows clock time "hh:mm:ss"; zero: seconds before
    // the right edge, with the x title.
    int IsTimeScale() const { return m_isTimeScale; }
    void SetIsTimeScale(int value);

    // Width of the time window in ms.
    int TimeInterval() const { return m_timeInterval; }
    void SetTimeInterval(int ms);

    std::shared_ptr<clsLabel> XScaleText() const { return m_xTitle; }
    void SetXScaleText(std::shared_ptr<clsLabel> label);
    std::shared_ptr<clsLabel> XTickLabel() const { return m_xTick; }

    int XGrid() const { return m_xGrid; }
    void SetXGrid(int value);
    // Placement of the x labels: 1 above the bands, 2 below (default), 3 both.
    int XPlacement() const { return m_xPlacement; }
    void SetXPlacement(int flags);

    double yMin(int ChartIndex) const;
    void SetyMin(int ChartIndex, double value);
    double yMax(int ChartIndex) const;
    void SetyMax(int ChartIndex, double value);
    std::shared_ptr<clsLabel> yScaleText(int ChartIndex) const;
    void SetyScaleText(int ChartIndex, std::shared_ptr<clsLabel> label);
    std::shared_ptr<clsLabel> yTickLabel(int ChartIndex) const;
    int yGrid(int ChartIndex) const;
    void SetyGrid(int ChartIndex, int value);
    // Values grow downwards when set (the program leaves it off).
    int yReversed(int ChartIndex) const;
    void SetyReversed(int ChartIndex, int value);
    // Placement of the y labels: 4 left of the bands (default), 8 right, 12 both.
    int yPlacement(int ChartIndex) const;
    void SetyPlacement(int ChartIndex, int flags);

    // --- Operations --------------------------------------------------------

    // Binds the surface (replacing an earlier one), builds the layers and
    // shows the scale. Must precede the first Show.
    void InitViewPort(ChartSurface* ViewPort);
    // Rebuilds the layers for the surface's current size and, if the chart
    // has been drawn before, draws it again.
    void Resize();
    // The series with this key; created (and added) when there is none.
    std::shared_ptr<clsChartData> GetChart(const std::string& key);
    // Removes the first series with this key, if any; its curve goes at the
    // next Show.
    void RemoveChart(const std::string& key);
    // Series in drawing order.
    const std::vector<std::shared_ptr<clsChartData>>& Series() const { return m_series; }
    // Redraws the scale when outdated and shows it without the curves.
    void ShowScale();
    // Moves the time axis so that X is at the right edge (two pixels in
    // hand), redraws the scale, draws the new points and shows the picture.
    // A series cleared with InitChartData since the last Show is drawn
    // afresh (its old curve does not linger).
    // Show(Xmax) draws at the current edge without moving it.
    void Show(double X);
    // Draws scale and curves anew at the current edge: for changes the chart
    // cannot notice itself (colours, label fonts and captions, a series'
    // Appearance, DrawWidth or ForeColor).
    void Redraw();

    // --- Read-outs for the surface, the benchmarks and the tests ------------

    const QImage& Picture() const { return m_picture; }
    // The curves as they lie on the picture (transparent elsewhere).
    QImage Curves() const;
    int PlotLeft() const { return m_plotLeft; }
    int PlotRight() const { return m_plotRight; }
    int PlotTop() const { return m_plotTop; }
    int PlotBottom() const { return m_plotBottom; }
    int BandHeight() const { return m_bandHeight; }
    int BandTop(int ChartIndex) const;
    int BandBottom(int ChartIndex) const;
    // Pixels per day of the x axis (0 before the first scale redraw).
    double XScale() const { return m_xGridInfo.Scale; }
    const modChartCommon::XGrid& XGridInfo() const { return m_xGridInfo; }
    const modChartCommon::YGrid& YGridInfo(int ChartIndex) const;
    bool ScaleOutdated() const { return m_scaleOutdated; }
    bool ChartOutdated() const { return m_chartOutdated; }

    // Screen resolution for the fonts, dots per inch; 0 (default) takes the
    // primary screen's logical resolution.
    void SetScreenDpi(double dpi);
    double ScreenDpi() const;

    // 0x00BBGGRR to a Qt colour.
    static QColor ToQColor(std::int32_t color);

private:
    struct YAxis {
        double Min = 0.0;
        double Max = 5000.0;
        int Grid = 1;
        int Reversed = 0;
        int Placement = modChartCommon::PlaceLeft;
        std::shared_ptr<clsLabel> Tick;
        std::shared_ptr<clsLabel> Title;
        modChartCommon::YGrid GridInfo;
        int TickWidth = 0, TickHeight = 0;
        int TitleWidth = 0, TitleHeight = 0;
        int Top = 0, Bottom = 0;
    };
    struct Extent {
        int Width = 0;
        int Height = 0;
    };

    // A solid pen with round caps and joins, at least one pixel wide.
    static QPen SolidPen(std::int32_t color, int width);
    static bool ValidIndex(int i) { return i >= 0 && i < modChartCommon::MaxBands; }
    // The surface while this chart is its subscriber, else nullptr.
    ChartSurface* Surface() const { return m_subscription.expired() ? nullptr : m_surface; }
    // Leaves the surface (it shows its background then).
    void Detach();
    void MarkAll() { m_scaleOutdated = m_chartOutdated = true; }
    struct FontEntry;
    FontEntry& FontOf(const clsLabel& label);
    Extent Measure(const clsLabel& label, const std::string& text);
    void DrawText(QPainter& p, const clsLabel& label, const std::string& text, int x, int y);
    // Margins, plot rectangle, bands and grids for the current settings, without drawing.
    void LayoutScale();
    // Lays out the scale and brings the part of it that does not move with
    // the time axis up to date.
    void RedrawScale();
    // The x scale outside the plot (ticks, labels, dates), which moves with the time axis.
    void DrawMovingScale(QPainter& p);
    // One row inside the plot: the curves over what lies under them (a row of
    // the scale, or, when `under` is null, the colour `fill`).
    static void OverlayRow(QRgb* out, const QRgb* curve, const QRgb* under, QRgb fill, int count);
    // Where the x grid lines lie inside the plot: their picture and ring
    // columns, and the rows they cross.
    struct XGridRows {
        std::vector<std::pair<int, int>> Columns;
        std::vector<char> Rows;
    };
    XGridRows XGridColumns(const QRect& inside) const;
    std::string ScaleBaseKey() const;
    void DrawYScale(QPainter& p, YAxis& axis, int side);
    void DrawXScale(QPainter& p, int side, const std::vector<modChartCommon::Band>& bands);
    // The rectangle inside the plot frame, where curves show.
    QRect PlotInside() const;
    // A fresh, empty ring of columns for the current plot.
    void ClearChartLayer();
    void ScrollChartLayer(int shift);
    // Draws the ring's columns in picture order onto the inside of the plot.
    static void DrawRing(QPainter& p, const QImage& ring, const QRect& inside, int origin);
    void DrawSeries();
    void DrawPolyline(QPainter& p, int first, int count, std::int32_t color, int width);
    void DrawDots(QPainter& p, int count, std::int32_t color, int width);
    void Compose(bool withCurves);
    bool SeriesRestarted() const;
    void Present();

    std::vector<std::shared_ptr<clsChartData>> m_series;
    // Generation of each series when the chart layer last took it in.
    std::vector<unsigned> m_seenGeneration;

    std::int32_t m_backColor = 0xFFFFFF;
    std::int32_t m_gridColor = 0x808080;
    std::int32_t m_scaleColor = 0;
    std::shared_ptr<clsLabel> m_header;
    std::array<std::shared_ptr<clsLabel>, modChartCommon::MaxBands> m_watermark;

    // x axis
    double m_xmin = 0.0;
    double m_xmax = 0.0;
    int m_timeInterval = 60000;
    int m_xGrid = 1;
    int m_isTimeScale = 0;
    int m_xPlacement = modChartCommon::PlaceBelow;
    std::shared_ptr<clsLabel> m_xTick;
    std::shared_ptr<clsLabel> m_xTitle;
    modChartCommon::XGrid m_xGridInfo;
    Extent m_xTickExtent, m_xTitleExtent, m_headerExtent;
    std::vector<modChartCommon::Band> m_bands;  // visible bands of the last layout

    std::array<YAxis, modChartCommon::MaxBands> m_yAxis;
    int m_chartMask = 1;

    ChartSurface* m_surface = nullptr;
    std::weak_ptr<const void> m_subscription;  // to the surface's size changes
    int m_width = 0, m_height = 0;
    // The curves on a transparent background, for the inside of the plot.
    // Its columns are a ring: column m_ringOrigin shows at the plot's left
    // inside edge, the columns before it (wrapping round) at the right. The
    // time axis scrolls by moving the origin; only the columns coming in are
    // cleared. Rows are the picture's.
    QImage m_chartLayer;
    int m_ringOrigin = 0;
    QRect m_ringPlot;      // the inside of the plot the ring was laid out for
    QImage m_picture;      // what the surface shows
    QImage m_sparePicture; // the one shown before (drawn into next)
    // The scale without what moves with the time axis (white background,
    // header, watermarks, y scales), and what it was drawn from.
    QImage m_scaleBase;
    std::string m_scaleBaseKey;
    // For each row inside the plot, its one colour in the base, or MixedRow.
    static constexpr QRgb MixedRow = 0;  // base pixels are opaque, never 0
    std::vector<QRgb> m_baseRowColor;

    int m_plotLeft = 0, m_plotRight = 0, m_plotTop = 0, m_plotBottom = 0;
    int m_bandHeight = 0;
    bool m_scaleOutdated = true;
    bool m_chartOutdated = true;

    double m_dpi = 0.0;
    // Font cache: one entry per distinct (face, size, bold) in use.
    std::vector<std::unique_ptr<FontEntry>> m_fonts;

    // Work arrays of Show, reused from call to call.
    std::vector<QPoint> m_points;
    std::vector<int> m_segments;
    std::vector<QPoint> m_drawPoints;
    std::vector<QPoint> m_shifted;
    std::vector<QLine> m_lines;
};
