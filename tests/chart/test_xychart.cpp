// The chart drawn off screen and checked pixel by pixel.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <memory>
#include <string>

#include "ChartPicture.h"
#include "XYChart.h"
#include "modAPI.h"

using modChartCommon::RoundPixel;

namespace {

constexpr double kT0 = 45000.5;  // noon
constexpr double kSecond = 1.0 / 86400.0;
constexpr std::int32_t kRed = 0x0000FF;
constexpr std::int32_t kGreen = 0x00FF00;
constexpr std::int32_t kBlue = 0xFF0000;

std::int32_t Bgr(QRgb c) { return qRed(c) | qGreen(c) << 8 | qBlue(c) << 16; }

class TestSurface : public ChartSurface {
public:
    QSize Size{1000, 560};
    int Refreshes = 0;
    QSize SurfaceSize() const override { return Size; }
    void RefreshSurface() override { ++Refreshes; }
    void Resize(QSize size) {
        Size = size;
        ReportResize();
    }
};

class ChartDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        // The chart starts a minute back, so the first Show moves its edge.
        modAPI::SetClock([] { return kT0 - 60 * kSecond; });
        chart = std::make_unique<XYChart>();
        chart->Header()->Caption = "";
        chart->SetScaleColor(kBlue);
        chart->SetGridColor(kGreen);
        chart->SetTimeInterval(60000);
        chart->SetIsTimeScale(1);
        chart->SetyMin(0, 0);
        chart->SetyMax(0, 100);
        chart->InitViewPort(&surface);
        series = chart->GetChart("KOV");
        series->ForeColor = kRed;
        series->InitChartData(1199);
    }
    void TearDown() override {
        chart.reset();
        modAPI::SetClock({});
    }

    // Points every `step` seconds from `from` to `to` (seconds after kT0).
    void AddRun(double from, double to, double step, double value) {
        for (double s = from; s <= to + 1e-9; s += step) series->AddChartPoint(kT0 + s * kSecond, value);
    }
    int XOf(double seconds) const {
        return chart->PlotRight() + RoundPixel((kT0 + seconds * kSecond - chart->Xmax()) * chart->XScale());
    }
    int YOf(double value, int band = 0) const {
        const auto& g = chart->YGridInfo(band);
        return chart->BandBottom(band) - RoundPixel((value - g.Min) * g.Scale);
    }
    std::int32_t At(int x, int y) const { return Bgr(chart->Picture().pixel(x, y)); }
    // Pixels of a colour in a rectangle of the picture (inclusive bounds).
    int Count(std::int32_t color, int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = std::max(0, y0); y <= std::min(y1, chart->Picture().height() - 1); ++y)
            for (int x = std::max(0, x0); x <= std::min(x1, chart->Picture().width() - 1); ++x)
                n += At(x, y) == color;
        return n;
    }
    bool RedNear(int x, int y, int r = 1) const { return Count(kRed, x - r, y - r, x + r, y + r) > 0; }

    TestSurface surface;
    std::unique_ptr<XYChart> chart;
    std::shared_ptr<clsChartData> series;
};

TEST_F(ChartDrawing, FrameInScaleColourGridInGridColour) {
    AddRun(-20, 0, 0.5, 50);
    chart->Show(kT0);
    const int top = chart->BandTop(0), bottom = chart->BandBottom(0);
    const int left = chart->PlotLeft(), right = chart->PlotRight();
    ASSERT_GT(right - left, 500);
    ASSERT_GT(bottom - top, 300);
    for (int i = 0; i <= 2; ++i) {
        const int x = left + 3 + i * (right - left - 6) / 2, y = top + i * (bottom - top) / 2;
        EXPECT_EQ(At(left, y), kBlue) << y;
        EXPECT_EQ(At(right, y), kBlue) << y;
        EXPECT_EQ(At(x, top), kBlue) << x;
        EXPECT_EQ(At(x, bottom), kBlue) << x;
    }
    EXPECT_EQ(At(left - 3, bottom - chart->YGridInfo(0).Positions[1]), kBlue);  // a y tick

    // Vertical grid lines (left half, clear of the curve) one pixel wide, and
    // horizontal ones, each checked between two lines of the other kind.
    const auto& xg = chart->XGridInfo();
    const auto& yg = chart->YGridInfo(0);
    ASSERT_GE(xg.Positions.size(), 4u);
    ASSERT_GE(yg.Count, 4);
    const int yBetween = bottom - (yg.Positions[1] + yg.Positions[2]) / 2;
    int vertical = 0;
    for (int x : xg.Positions) {
        if (x <= left || x >= XOf(-21)) continue;
        EXPECT_EQ(At(x, yBetween), kGreen) << x;
        EXPECT_NE(At(x + 2, yBetween), kGreen) << x;
        ++vertical;
    }
    EXPECT_GE(vertical, 2);
    const int xBetween = (xg.Positions[1] + xg.Positions[2]) / 2;
    for (int i = 1; i < yg.Count; ++i) EXPECT_EQ(At(xBetween, bottom - yg.Positions[i]), kGreen) << i;
}

TEST_F(ChartDrawing, CurveLiesWhereItsPointsAre) {
    series->DrawWidth = 1;
    AddRun(-30, -15, 0.5, 25);
    AddRun(-14.5, 0, 0.5, 75);
    chart->Show(kT0);
    const int y25 = YOf(25), y75 = YOf(75);
    for (double s : {-30.0, -22.0, -15.5}) EXPECT_TRUE(RedNear(XOf(s), y25, 0)) << s;
    for (double s : {-14.0, -7.0, -0.5}) EXPECT_TRUE(RedNear(XOf(s), y75, 0)) << s;
    // Every red pixel is on the two runs or on the step between them.
    const int total = Count(kRed, 0, 0, 999, 559);
    const int onRuns = Count(kRed, XOf(-30), y25, XOf(-15), y25) +
                       Count(kRed, XOf(-14.5), y75, XOf(0), y75) +
                       Count(kRed, XOf(-15), y75 + 1, XOf(-14.5), y25 - 1);
    EXPECT_GT(total, 100);
    EXPECT_EQ(total, onRuns);
}

TEST_F(ChartDrawing, DensePointsFillTheirColumns) {
    // Points 10 ms apart, many to a pixel column, swinging between 20 and 80:
    // every column they pass must show the whole swing.
    series->DrawWidth = 1;
    for (int i = 0; i <= 200; ++i) series->AddChartPoint(kT0 + (i * 0.01 - 2) * kSecond, i % 2 ? 80 : 20);
    chart->Show(kT0);
    const int y80 = YOf(80), y20 = YOf(20);
    for (int x = XOf(-2) + 1; x < XOf(0); ++x) {
        EXPECT_EQ(Count(kRed, x, y80, x, y20), y20 - y80 + 1) << x;
        // (the raster engine may end a steep line one pixel long)
        EXPECT_EQ(Count(kRed, x, y80 - 5, x, y80 - 2) + Count(kRed, x, y20 + 2, x, y20 + 5), 0) << x;
    }
}

TEST_F(ChartDrawing, GapOfThreeSecondsBreaksTheCurve) {
    AddRun(-25, -20, 0.5, 20);
    AddRun(-17, -12, 0.5, 80);  // exactly 3 s later
    series->AddChartPoint(kT0 - 8.5 * kSecond, 30);  // alone between two gaps: left out
    AddRun(-4.5, 0, 0.5, 50);
    chart->Show(kT0);
    EXPECT_TRUE(RedNear(XOf(-22), YOf(20)));
    EXPECT_TRUE(RedNear(XOf(-14), YOf(80)));
    EXPECT_TRUE(RedNear(XOf(-2), YOf(50)));
    EXPECT_EQ(Count(kRed, XOf(-20) + 3, chart->PlotTop(), XOf(-17) - 3, chart->PlotBottom()), 0);
    EXPECT_EQ(Count(kRed, XOf(-12) + 3, chart->PlotTop(), XOf(-4.5) - 3, chart->PlotBottom()), 0);
}

TEST_F(ChartDrawing, ScrollMovesCurvesLeftByTheShift) {
    AddRun(-40, 0, 0.5, 30);
    AddRun(0.5, 0.5, 1, 70);  // a step at the end, so columns differ
    chart->Show(kT0 + 0.5 * kSecond);
    // A pixel and a half on, then the main window's half-second step on a
    // plot this wide (about 8 px): both scroll rather than redraw everything.
    for (const double pixels : {1.5, 8.5}) {
        const QImage before = chart->Curves();
        const double xmax = chart->Xmax();
        const double sx = chart->XScale();
        chart->Show(chart->Xmax() + pixels / sx);
        ASSERT_FALSE(chart->ChartOutdated()) << pixels;
        const QImage after = chart->Curves();
        const int shift = RoundPixel((chart->Xmax() - xmax) * sx);
        EXPECT_EQ(shift, static_cast<int>(pixels) + 2);
        int curve = 0;
        for (int y = chart->PlotTop(); y < chart->PlotBottom(); ++y)
            for (int x = chart->PlotLeft() + 1; x < chart->PlotRight() - 10; ++x) {
                ASSERT_EQ(after.pixel(x, y), before.pixel(x + shift, y)) << x << "," << y;
                curve += qAlpha(after.pixel(x, y)) != 0;
            }
        EXPECT_GT(curve, 100);
    }

    // New points join the curve drawn before.
    series->AddChartPoint(kT0 + 1.0 * kSecond, 70);
    series->AddChartPoint(kT0 + 1.5 * kSecond, 70);
    chart->Show(kT0 + 1.5 * kSecond);
    for (int x = XOf(0.5); x <= XOf(1.5); ++x) EXPECT_TRUE(RedNear(x, YOf(70))) << x;
}

// Scrolling many times (the stored columns wrap round several times), with
// lines and dots, two pen widths and gaps: what shows is what a full redraw
// at the same edge draws, and the picture shows it inside the frame. A point
// that lies within a hair of half a pixel may round to the next column on one
// of the two ways; nothing else may differ.
TEST_F(ChartDrawing, LongScrollingShowsWhatAFullRedrawShows) {
    const auto curveAt = [](const QImage& image, int x, int y) {
        return x >= 0 && x < image.width() && qAlpha(image.pixel(x, y)) != 0;
    };
    for (const int appearance : {1, 0})
        for (const int width : {1, 3}) {
            series->Appearance = appearance;
            series->DrawWidth = width;
            series->InitChartData(1199);
            double t = kT0;
            std::uint32_t state = 7;
            int compared = 0;
            for (int call = 1; call <= 400; ++call) {
                for (int i = 0; i < 10; ++i) {
                    t += 0.05 * kSecond;
                    if (call % 97 == 0) t += 3.5 * kSecond;  // a gap now and then
                    state = state * 1664525u + 1013904223u;
                    series->AddChartPoint(t, 50 + 40 * std::sin(call * 0.05) + (state >> 28));
                }
                chart->Show(t);
                ASSERT_FALSE(chart->ChartOutdated());
                if (call % 90 != 0) continue;
                const QImage scrolled = chart->Curves();
                const QImage picture = chart->Picture().copy();
                chart->Redraw();
                const QImage redrawn = chart->Curves();
                int differ = 0, misplaced = 0, curve = 0;
                for (int y = 0; y < redrawn.height(); ++y)
                    for (int x = 0; x < redrawn.width(); ++x) {
                        const bool a = curveAt(scrolled, x, y), b = curveAt(redrawn, x, y);
                        if (a != b) {
                            ++differ;
                            const QImage& other = a ? redrawn : scrolled;
                            misplaced += !curveAt(other, x - 1, y) && !curveAt(other, x + 1, y);
                        }
                        if (!a) continue;
                        ++curve;
                        ASSERT_EQ(Bgr(picture.pixel(x, y)), kRed) << x << "," << y;
                    }
                const std::string what = "call " + std::to_string(call) + ", appearance " +
                                         std::to_string(appearance) + ", width " + std::to_string(width);
                EXPECT_GT(curve, 300) << what;
                EXPECT_EQ(misplaced, 0) << what;
                EXPECT_LE(differ, 2 * width * width) << what;
                ++compared;
            }
            EXPECT_EQ(compared, 4);
        }
}

TEST_F(ChartDrawing, OneUnreadPointDrawsNothing) {
    for (int i : {0, 1}) {  // lines, then dots
        series->Appearance = 1 - i;
        series->InitChartData(1199);
        const double t = 10.0 * i;
        series->AddChartPoint(kT0 + (t - 1) * kSecond, 50);
        chart->Show(kT0 + t * kSecond);
        EXPECT_EQ(series->ReadPointer(), 0);
        EXPECT_EQ(Count(kRed, 0, 0, 999, 559), 0) << i;
        series->AddChartPoint(kT0 + t * kSecond, 50);
        chart->Show(kT0 + (t + 0.5) * kSecond);
        EXPECT_TRUE(RedNear(XOf(t), YOf(50))) << i;
    }
}

TEST_F(ChartDrawing, ChartMaskChangeRedrawsEverything) {
    AddRun(-20, 0, 0.5, 90);
    chart->Show(kT0);
    const int x = XOf(-10), yOld = YOf(90);
    ASSERT_TRUE(RedNear(x, yOld));

    chart->SetChartMask(3);  // a second band below: band 0 shrinks
    chart->Show(kT0);
    const int yNew = YOf(90);
    EXPECT_TRUE(RedNear(XOf(-10), yNew));
    EXPECT_FALSE(RedNear(x, yOld, 2));
    EXPECT_EQ(At(chart->PlotLeft(), (chart->BandTop(1) + chart->BandBottom(1)) / 2), kBlue);

    // The same series moved to band 1 follows at the next full redraw.
    series->Chart = 1;
    chart->SetyMax(1, 200);
    chart->Show(kT0);
    EXPECT_TRUE(RedNear(XOf(-10), YOf(90, 1)));
    EXPECT_FALSE(RedNear(XOf(-10), yNew, 2));
}

// What lies over what, with two bands and a watermark: the x grid crosses
// the watermark but not the frames between the bands, and the curve covers
// the grid; after scrolling too.
TEST_F(ChartDrawing, LayersWithTwoBandsAndAWatermark) {
    chart->SetChartMask(3);
    chart->Watermark(0)->Caption = "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW";
    chart->Watermark(0)->ForeColor = 0x00FFFF;  // yellow
    chart->SetyMin(1, 0);
    chart->SetyMax(1, 100);
    constexpr std::int32_t kYellow = 0x00FFFF;
    for (const double step : {0.0, 0.5}) {
        AddRun(-40 + step, step, 0.5, 50);
        chart->Show(kT0 + step * kSecond);
        const auto& xg = chart->XGridInfo();
        ASSERT_GE(xg.Positions.size(), 3u);
        const int top0 = chart->BandTop(0), bottom0 = chart->BandBottom(0);
        const int top1 = chart->BandTop(1);
        int gridOverMark = 0, markSeen = 0;
        for (int x : xg.Positions) {
            if (x <= chart->PlotLeft() || x >= chart->PlotRight()) continue;
            EXPECT_EQ(At(x, bottom0), kBlue) << x;  // the frames between the bands
            EXPECT_EQ(At(x, top1), kBlue) << x;
            EXPECT_EQ(At(x, top0 + 1), kGreen) << x;
            for (int y = top0 + 1; y < bottom0; ++y) {
                if (y == YOf(50) && x > XOf(-39) && x < XOf(-1)) {
                    EXPECT_EQ(At(x, y), kRed) << x << "," << y;
                }
                if (std::abs(y - YOf(50)) <= 1) continue;
                EXPECT_NE(At(x, y), kYellow) << x << "," << y;
                gridOverMark += At(x - 1, y) == kYellow || At(x + 1, y) == kYellow;
            }
        }
        for (int y = top0; y < bottom0; ++y)
            for (int x = chart->PlotLeft(); x < chart->PlotRight(); ++x) markSeen += At(x, y) == kYellow;
        EXPECT_GT(markSeen, 100) << step;
        EXPECT_GT(gridOverMark, 0) << step;
    }
}

TEST_F(ChartDrawing, ClearedOrOverrunSeriesIsDrawnAfresh) {
    AddRun(-20, 0, 0.5, 30);
    chart->Show(kT0);
    ASSERT_TRUE(RedNear(XOf(-10), YOf(30)));
    series->InitChartData(1199);  // e.g. the unit changed
    AddRun(0.1, 0.3, 0.1, 70);
    chart->Show(kT0 + 0.3 * kSecond);  // a shift of a few pixels only
    ASSERT_LE(RoundPixel((chart->Xmax() - kT0) * chart->XScale()), 8);
    EXPECT_FALSE(RedNear(XOf(-10), YOf(30), 2));
    EXPECT_TRUE(RedNear(XOf(0.2), YOf(70)));
    chart->RemoveChart("KOV");
    chart->Show(kT0 + kSecond);
    EXPECT_EQ(Count(kRed, 0, 0, 999, 559), 0);

    series = chart->GetChart("KOV");  // 20 points through a ring of 10
    series->ForeColor = kRed;
    series->InitChartData(9);
    AddRun(-8.5, 1, 0.5, 40);
    chart->Show(kT0 + kSecond);
    EXPECT_TRUE(RedNear(XOf(-1), YOf(40)));
    EXPECT_FALSE(RedNear(XOf(-5), YOf(40), 2));  // overwritten
}

TEST_F(ChartDrawing, DotsInsteadOfLines) {
    series->Appearance = 0;
    series->DrawWidth = 1;
    AddRun(-10, 0, 1, 50);
    chart->Show(kT0);
    EXPECT_EQ(At(XOf(-5), YOf(50)), kRed);
    EXPECT_EQ(Count(kRed, XOf(-5) + 1, 0, XOf(-4) - 1, 559), 0);

    series->Appearance = 2;  // anything else draws nothing
    chart->SetyMax(0, 101);  // forces a full redraw
    chart->Show(kT0);
    EXPECT_EQ(Count(kRed, 0, 0, 999, 559), 0);
}

TEST_F(ChartDrawing, EdgeMovesOnlyByWholePixelsAndFollowsAClockSetBack) {
    AddRun(-40, 0, 0.5, 60);
    chart->Show(kT0);
    const double xmax = chart->Xmax();
    const int refreshes = surface.Refreshes;
    chart->Show(kT0);  // same time: the edge is already ahead; redrawn in place
    chart->Show(xmax + 0.5 / chart->XScale());  // under a pixel past the edge: nothing
    EXPECT_EQ(chart->Xmax(), xmax);
    EXPECT_EQ(surface.Refreshes, refreshes + 1);

    chart->Show(kT0 - 10 * kSecond);  // the clock was set back: redrawn, not frozen
    EXPECT_LT(chart->Xmax(), xmax - 9 * kSecond);
    EXPECT_TRUE(RedNear(XOf(-20), YOf(60)));
    // Nothing left where it was, and the newer points stay off the scale right of the frame.
    EXPECT_EQ(Count(kRed, 0, 0, XOf(-40) - 2, 559) + Count(kRed, chart->PlotRight(), 0, 999, 559), 0);
    const double back = chart->Xmax();
    chart->Show(kT0 - 9 * kSecond);
    EXPECT_GT(chart->Xmax(), back);
}

TEST_F(ChartDrawing, InvalidRangeUnderOneSecond) {
    const int bottom = chart->BandBottom(0);
    chart->Show(kT0);
    EXPECT_GT(Count(kBlue, chart->PlotLeft() + 1, bottom + 2, chart->PlotRight() - 1, bottom + 5), 0);
    chart->SetTimeInterval(900);
    chart->Show(kT0);
    // No ticks under the band, but a text in its middle.
    EXPECT_EQ(Count(kBlue, chart->PlotLeft() + 1, bottom + 2, chart->PlotRight() - 1, bottom + 5), 0);
    const int mid = (chart->PlotLeft() + chart->PlotRight()) / 2;
    int ink = 0;
    for (int y = bottom + 8; y < bottom + 30; ++y)
        for (int x = mid - 60; x < mid + 60; ++x) ink += At(x, y) != 0xFFFFFF;
    EXPECT_GT(ink, 20);
}

TEST_F(ChartDrawing, ReversedAxisGrowsDownwards) {
    chart->SetyReversed(0, 1);
    AddRun(-10, 0, 0.5, 90);
    chart->Show(kT0);
    const auto& g = chart->YGridInfo(0);
    const int y = chart->BandBottom(0) - RoundPixel((100 - 90) * g.Scale);
    EXPECT_TRUE(RedNear(XOf(-5), y));
    EXPECT_GT(y, (chart->BandTop(0) + chart->BandBottom(0)) / 2);
}

TEST_F(ChartDrawing, LayoutFollowsSizeAndScreenResolution) {
    AddRun(-20, 0, 0.5, 50);
    chart->SetScreenDpi(96);
    chart->Show(kT0);
    const int left96 = chart->PlotLeft(), bottom96 = chart->PlotBottom();
    chart->SetScreenDpi(192);  // larger fonts: wider margins
    chart->Show(kT0);
    EXPECT_GT(chart->PlotLeft(), left96 + 20);
    EXPECT_LT(chart->PlotBottom(), bottom96 - 10);

    surface.Size = QSize(0, 0);  // shrunk to nothing: no crash
    chart->Resize();
    chart->Show(kT0);
    surface.Size = QSize(700, 400);
    chart->Resize();
    EXPECT_EQ(chart->Picture().size(), QSize(700, 400));
    EXPECT_TRUE(RedNear(XOf(-10), YOf(50)));
}

TEST_F(ChartDrawing, OddSettingsDoNotBreakTheChart) {
    AddRun(-10, 0, 0.5, 50);
    series->Chart = 7;  // no such band
    chart->Show(kT0);
    EXPECT_EQ(Count(kRed, 0, 0, 999, 559), 0);
    series->Chart = 0;
    chart->SetChartMask(0);
    chart->Show(kT0 + kSecond);
    chart->SetChartMask(1);
    chart->SetyMax(0, 0);  // empty range: frame, no grid
    chart->SetTimeInterval(0);
    chart->Show(kT0 + 2 * kSecond);
    chart->SetTimeInterval(60000);
    chart->SetyMax(0, 100);
    chart->Show(kT0 + 3 * kSecond);
    EXPECT_TRUE(RedNear(XOf(-5), YOf(50)));
    chart->Show(NAN);
    chart->Show(1e300);
    EXPECT_TRUE(std::isfinite(chart->Xmax()));
}

// A fixed range across zero keeps its limits through resizes and redraws: the
// grid is aligned to 0, the band still reaches down to yMin.
TEST_F(ChartDrawing, RangeAcrossZeroKeepsItsLimits) {
    chart->SetyMin(0, -12);
    chart->SetyMax(0, 17);
    series->DrawWidth = 1;
    AddRun(-20, 0, 0.5, -11);  // between -12 and the lowest grid line
    chart->Show(kT0);
    surface.Resize(QSize(900, 200));  // a low band: grid steps of 5
    chart->Show(kT0 + kSecond);
    chart->Redraw();
    EXPECT_EQ(chart->yMin(0), -12.0);
    EXPECT_EQ(chart->yMax(0), 17.0);
    const auto& g = chart->YGridInfo(0);
    EXPECT_EQ(g.Min, -12.0);
    ASSERT_EQ(g.Step, 5.0);
    EXPECT_EQ(g.GridStart, -10.0);
    // The curve lies inside the band, just above its bottom.
    const int y = YOf(-11);
    EXPECT_LT(y, chart->BandBottom(0));
    EXPECT_TRUE(RedNear(XOf(-10), y));
    // 0 is a grid line: 12/29 of the band up.
    const int zero = chart->BandBottom(0) - RoundPixel(12 * g.Scale);
    EXPECT_EQ(At((chart->PlotLeft() + XOf(-21)) / 2, zero), kGreen);
    // The auto-scaling main window sets the same limits again with every
    // value: that marks nothing, and the curve scrolls instead of being redrawn.
    chart->SetyMin(0, -12);
    chart->SetyMax(0, 17);
    EXPECT_FALSE(chart->ScaleOutdated());
    EXPECT_FALSE(chart->ChartOutdated());
}

// Show(Xmax) draws in place; toggling the axis or applying settings twenty
// times leaves the edge where it was.
TEST_F(ChartDrawing, ShowAtTheEdgeDoesNotCreep) {
    AddRun(-20, 0, 0.5, 50);
    chart->Show(kT0);
    const double xmax = chart->Xmax();
    for (int i = 0; i < 20; ++i) {
        chart->SetIsTimeScale(i % 2);
        chart->Show(chart->Xmax());
        chart->Redraw();
    }
    chart->Resize();
    EXPECT_EQ(chart->Xmax(), xmax);
    EXPECT_TRUE(RedNear(XOf(0), YOf(50)));
    // The newest point stays 1 to 2 pixels left of the edge.
    const double lead = (chart->Xmax() - kT0) * chart->XScale();
    EXPECT_GT(lead, 1.0);
    EXPECT_LE(lead, 2.0);
}

// The first Show after the window changed measures its shift in the pixels
// of the new window: a day's playback, then a minute again.
TEST_F(ChartDrawing, FirstShowAfterAWindowChangeUsesTheNewScale) {
    chart->SetTimeInterval(86400000);
    AddRun(-20, 0, 0.5, 50);
    chart->Show(kT0);
    chart->SetTimeInterval(60000);
    const double now = kT0 + kSecond;
    chart->Show(now);
    const double lead = (chart->Xmax() - now) * chart->XScale();
    EXPECT_GT(lead, 1.0);
    EXPECT_LE(lead, 2.0);
    EXPECT_LT((chart->Xmax() - now) * 86400, 0.5);  // not minutes ahead
}

// A clock axis over several days writes the date under the lines where the
// day changes, in the row an interval axis uses for its title.
TEST_F(ChartDrawing, ClockAxisOverDaysShowsDates) {
    chart->SetTimeInterval(3 * 86400000);
    chart->Show(kT0 + 0.25);
    const auto& g = chart->XGridInfo();
    ASSERT_EQ(g.Dates.size(), g.Positions.size());
    const int bottom = chart->BandBottom(0);
    const auto inkBelowLabels = [&](int x) {
        int ink = 0;
        for (int y = bottom + 22; y < chart->Picture().height(); ++y)
            for (int dx = -12; dx <= 12; ++dx) ink += At(x + dx, y) != 0xFFFFFF;
        return ink;
    };
    int dated = 0, plain = 0;
    for (std::size_t i = 0; i < g.Positions.size(); ++i) {
        const int x = g.Positions[i];
        if (x - 30 < 0 || x + 30 >= chart->Picture().width()) continue;
        if (!g.Dates[i].empty()) {
            EXPECT_GT(inkBelowLabels(x), 10) << g.Dates[i];
            ++dated;
        } else {
            EXPECT_EQ(inkBelowLabels(x), 0) << i;
            ++plain;
        }
    }
    EXPECT_GE(dated, 2);
    EXPECT_GE(plain, 2);
    // Within one day: no dates at all.
    chart->SetTimeInterval(60000);
    chart->Show(kT0 + 0.25 + kSecond);
    for (const auto& d : chart->XGridInfo().Dates) EXPECT_EQ(d, "");
}

// Colours and the look of the points changed while nothing is measured are
// drawn by Redraw, over the whole curve.
TEST_F(ChartDrawing, RedrawShowsChangesMadeWhileIdle) {
    series->DrawWidth = 1;
    AddRun(-20, 0, 0.5, 50);
    chart->Show(kT0);
    ASSERT_TRUE(RedNear(XOf(-15), YOf(50), 0));
    constexpr std::int32_t kYellow = 0x00FFFF;
    series->ForeColor = kYellow;
    chart->SetScaleColor(kRed);
    chart->Show(kT0);  // nothing new to show: nothing changes
    EXPECT_TRUE(RedNear(XOf(-15), YOf(50), 0));
    chart->Redraw();
    EXPECT_EQ(At(XOf(-15), YOf(50)), kYellow);
    EXPECT_EQ(At(chart->PlotLeft(), (chart->BandTop(0) + chart->BandBottom(0)) / 2), kRed);
    // Dots from now on, for the old points too.
    series->Appearance = 0;
    chart->Redraw();
    EXPECT_EQ(At(XOf(-15), YOf(50)), kYellow);
    EXPECT_NE(At(XOf(-15) + 3, YOf(50)), kYellow);
}

TEST_F(ChartDrawing, AssigningTheCurrentValueMarksNothing) {
    chart->SetXGrid(1);
    chart->SetyGrid(0, 1);
    chart->SetyPlacement(0, 4);
    chart->SetXPlacement(2);
    chart->Show(kT0);
    ASSERT_FALSE(chart->ScaleOutdated());
    chart->SetChartMask(chart->ChartMask());
    chart->SetXmax(chart->Xmax());
    chart->SetIsTimeScale(chart->IsTimeScale());
    chart->SetTimeInterval(chart->TimeInterval());
    chart->SetXGrid(chart->XGrid());
    chart->SetXPlacement(chart->XPlacement());
    for (int band = 0; band < 4; ++band) {
        chart->SetyMin(band, chart->yMin(band));
        chart->SetyMax(band, chart->yMax(band));
        chart->SetyGrid(band, chart->yGrid(band));
        chart->SetyReversed(band, chart->yReversed(band));
        chart->SetyPlacement(band, chart->yPlacement(band));
    }
    EXPECT_FALSE(chart->ScaleOutdated());
    EXPECT_FALSE(chart->ChartOutdated());
    chart->SetyMax(0, 101);
    EXPECT_TRUE(chart->ScaleOutdated());
    EXPECT_TRUE(chart->ChartOutdated());
}

// Dots of pen width 2: a short diagonal stroke down to the right from each point.
TEST_F(ChartDrawing, WideDotsAreDiagonalStrokes) {
    series->Appearance = 0;
    series->DrawWidth = 2;
    AddRun(-10, 0, 1, 50);
    chart->Show(kT0);
    for (double s : {-8.0, -5.0, -2.0}) {
        const int x = XOf(s), y = YOf(50);
        for (const auto& [dx, dy] : {std::pair{0, 0}, {1, 1}, {-1, -1}, {0, 1}, {1, 0}})
            EXPECT_EQ(At(x + dx, y + dy), kRed) << s << " " << dx << "," << dy;
        EXPECT_NE(At(x + 1, y - 1), kRed) << s;
        EXPECT_NE(At(x - 1, y + 1), kRed) << s;
        EXPECT_NE(At(x + 2, y + 2), kRed) << s;
        EXPECT_EQ(Count(kRed, x - 3, y - 3, x + 3, y + 3), 7) << s;
    }
}

// The header is centred over the plot, six pixels from the top, and pushes
// the plot down.
TEST_F(ChartDrawing, HeaderSitsCentredAtTheTop) {
    chart->Show(kT0);
    const int topWithout = chart->PlotTop();
    chart->Header()->Caption = "MMMMMMMM";
    chart->Header()->ForeColor = kRed;
    chart->Redraw();
    EXPECT_GT(chart->PlotTop(), topWithout + 10);
    int left = 9999, right = -1, top = 9999;
    for (int y = 0; y < chart->PlotTop(); ++y)
        for (int x = 0; x < chart->Picture().width(); ++x)
            if (At(x, y) == kRed) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
            }
    ASSERT_GE(right, 0);
    EXPECT_GE(top, 6);
    EXPECT_LE(top, 16);
    EXPECT_NEAR((left + right) / 2.0, (chart->PlotLeft() + chart->PlotRight()) / 2.0, 3);
}

// At a window of 5 s or less the x axis has ticks but no labels.
TEST_F(ChartDrawing, NoTimeLabelsUpToFiveSeconds) {
    const auto labelInk = [&] {
        const int bottom = chart->BandBottom(0);
        int ink = 0;
        for (int y = bottom + 8; y < bottom + 22; ++y)
            for (int x = chart->PlotLeft(); x <= chart->PlotRight(); ++x) ink += At(x, y) != 0xFFFFFF;
        return ink;
    };
    const auto tickInk = [&] {
        const int bottom = chart->BandBottom(0);
        return Count(kBlue, chart->PlotLeft() + 1, bottom + 2, chart->PlotRight() - 1, bottom + 5);
    };
    for (int t : {5000, 6000}) {
        chart->SetTimeInterval(t);
        chart->Show(kT0 + t);
        EXPECT_GT(tickInk(), 0) << t;
        if (t <= 5000) EXPECT_EQ(labelInk(), 0) << t;
        else EXPECT_GT(labelInk(), 20) << t;
    }
}

// The part of the scale that does not move with the time axis is kept between
// frames; a change of its texts still shows at the next frame that moves
// (the main window renames the y unit this way).
TEST_F(ChartDrawing, KeptScalePartFollowsItsTexts) {
    chart->yScaleText(0)->Caption = "[ mm ]";
    chart->Show(kT0);
    const auto titleInk = [&] {
        int ink = 0;
        for (int y = chart->BandTop(0); y < chart->BandTop(0) + 30; ++y)
            for (int x = 0; x < chart->PlotLeft() - 30; ++x) ink += At(x, y) != 0xFFFFFF;
        return ink;
    };
    const int mm = titleInk();
    ASSERT_GT(mm, 10);
    chart->yScaleText(0)->Caption = "[ mmmmmmmm ]";
    chart->Show(kT0 + kSecond);
    EXPECT_GT(titleInk(), mm + 10);
    chart->yScaleText(0)->Caption = "";
    chart->Show(kT0 + 2 * kSecond);
    EXPECT_EQ(titleInk(), 0);
    chart->yTickLabel(0)->ForeColor = kRed;  // nothing else changes
    chart->Show(kT0 + 3 * kSecond);
    int reddish = 0;  // the labels' ink (smoothed text)
    for (int y = chart->PlotTop(); y < chart->PlotBottom(); ++y)
        for (int x = 0; x < chart->PlotLeft() - 8; ++x) {
            const QRgb c = chart->Picture().pixel(x, y);
            reddish += qRed(c) > 180 && qGreen(c) < 120 && qBlue(c) < 120;
        }
    EXPECT_GT(reddish, 20);
}

TEST(ChartLifetime, SurfaceAndChartMayEndInEitherOrder) {
    auto chart = std::make_unique<XYChart>();
    {
        TestSurface surface;
        chart->InitViewPort(&surface);
        EXPECT_EQ(chart->Picture().size(), surface.Size);
    }
    chart->Show(modAPI::NowWithMs());  // the surface is gone: nothing happens
    chart->Resize();

    // Another chart takes the surface over: the first one no longer reaches it.
    TestSurface surface;
    chart->InitViewPort(&surface);
    auto other = std::make_unique<XYChart>();
    other->InitViewPort(&surface);
    const int refreshes = surface.Refreshes;
    chart->Show(chart->Xmax() + 10 * kSecond);
    EXPECT_EQ(surface.Refreshes, refreshes);
    surface.Resize(QSize(300, 200));
    EXPECT_EQ(other->Picture().size(), QSize(300, 200));
    EXPECT_EQ(chart->Picture().size(), QSize(1000, 560));

    // The chart ends first: later changes of size reach nobody.
    other.reset();
    surface.Resize(QSize(400, 300));
    chart.reset();
}

TEST(ChartPictureWidget, PaintsThePictureAndFollowsItsSize) {
    ChartPicture picture;
    picture.resize(640, 360);
    picture.show();
    XYChart chart;
    chart.SetTimeInterval(60000);
    chart.SetyMax(0, 100);
    chart.InitViewPort(&picture);
    auto s = chart.GetChart("KOV");
    s->ForeColor = kRed;
    s->InitChartData(99);
    const double now = chart.Xmax();
    for (int i = 20; i >= 0; --i) s->AddChartPoint(now - i * 0.5 * kSecond, 50);
    chart.Show(now);
    const QImage shown = picture.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(640, 360));
    EXPECT_EQ(shown, chart.Picture());

    picture.resize(500, 300);  // the widget rebuilds the chart for its new size
    EXPECT_EQ(chart.Picture().size(), QSize(500, 300));
    EXPECT_EQ(picture.grab().toImage().convertToFormat(QImage::Format_RGB32), chart.Picture());
}

// A widget whose chart has ended shows its background, also after a resize.
TEST(ChartPictureWidget, ShowsTheBackgroundWithoutAChart) {
    ChartPicture picture;
    picture.resize(320, 200);
    picture.show();
    {
        XYChart chart;
        chart.SetBackColor(kGreen);
        chart.InitViewPort(&picture);
    }
    picture.resize(300, 180);
    const QImage shown = picture.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(300, 180));
    for (int y = 0; y < shown.height(); y += 7)
        for (int x = 0; x < shown.width(); x += 7) ASSERT_EQ(Bgr(shown.pixel(x, y)), kGreen) << x << "," << y;
}

}  // namespace
