// Cost of XYChart::Show: the call every half second while measuring, and the
// full redraw after loading a long recording; and of the y auto-scaling of
// 30,000 values (a playback), kept value by value and, for comparison, by a
// walk over the history for every value.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdint>
#include <vector>

#include "XYChart.h"
#include "modChartAutoScale.h"

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kMs = kSecond / 1000.0;
constexpr double kStart = 45000.25;

class OffscreenSurface : public ChartSurface {
public:
    QSize Size{1150, 560};
    QSize SurfaceSize() const override { return Size; }
    void RefreshSurface() override {}
};

// A noisy distance around 1500 mm, the same sequence every run.
class Signal {
public:
    double Next() {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        const double noise = static_cast<double>(m_state >> 40) / double(1 << 24) - 0.5;
        m_phase += 0.01;
        return 1500 + 400 * std::sin(m_phase) + 40 * noise;
    }

private:
    std::uint64_t m_state = 12345;
    double m_phase = 0;
};

// Sizes the surface so that the plot is exactly plotWidth x plotHeight.
void FitPlot(XYChart& chart, OffscreenSurface& surface, int plotWidth, int plotHeight) {
    for (int i = 0; i < 3; ++i) {
        const int w = chart.PlotRight() - chart.PlotLeft();
        const int h = chart.PlotBottom() - chart.PlotTop();
        if (w == plotWidth && h == plotHeight) return;
        surface.Size += QSize(plotWidth - w, plotHeight - h);
        chart.Resize();
        chart.ShowScale();
    }
}

void SetUpChart(XYChart& chart, OffscreenSurface& surface, int intervalMs) {
    chart.Header()->Caption = "";
    chart.SetTimeInterval(intervalMs);
    chart.XScaleText()->Caption = "[ s ]";
    chart.yScaleText(0)->Caption = "[ mm ]";
    chart.SetChartMask(1);
    chart.SetIsTimeScale(1);
    chart.SetyMin(0, 1000);
    chart.SetyMax(0, 2000);
    chart.SetXmax(kStart);
    chart.InitViewPort(&surface);
    FitPlot(chart, surface, 1000, 500);
}

// Fills the series "KOV" with `points` values 50 ms apart (its whole ring)
// and draws them; returns the time of the last value.
double FillSeries(XYChart& chart, Signal& signal, int points) {
    auto series = chart.GetChart("KOV");
    series->ForeColor = 255;
    series->InitChartData(points - 1);
    double t = kStart;
    for (int i = 0; i < points; ++i) series->AddChartPoint(t += 50 * kMs, signal.Next());
    chart.Show(t);
    return t;
}

// The measuring rhythm: a ring of 1,200 points (60 s at 50 ms), one or two
// new points per call, so the curve scrolls by a pixel or two.
void BM_ShowMeasuring(benchmark::State& state) {
    OffscreenSurface surface;
    XYChart chart;
    SetUpChart(chart, surface, 60000);
    Signal signal;
    double t = FillSeries(chart, signal, 1200);
    auto series = chart.GetChart("KOV");
    int calls = 0;
    for (auto _ : state) {
        const int points = 1 + (calls++ & 1);
        for (int i = 0; i < points; ++i) series->AddChartPoint(t += 50 * kMs, signal.Next());
        chart.Show(t);
    }
    state.counters["plot_w"] = chart.PlotRight() - chart.PlotLeft();
    state.counters["plot_h"] = chart.PlotBottom() - chart.PlotTop();
}
BENCHMARK(BM_ShowMeasuring)->Unit(benchmark::kMicrosecond);

// The main window's half-second rhythm: 10 points per call on a plot of
// the given size (the main window's default size, 240 x 330, and a large
// window, 1000 x 500, where the axis moves by about 8 px per call). Shifts
// up to half the plot scroll, so only the new points are drawn.
void BM_ShowHalfSecond(benchmark::State& state) {
    OffscreenSurface surface;
    XYChart chart;
    SetUpChart(chart, surface, 60000);
    FitPlot(chart, surface, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Signal signal;
    double t = FillSeries(chart, signal, 1200);
    auto series = chart.GetChart("KOV");
    for (auto _ : state) {
        for (int i = 0; i < 10; ++i) series->AddChartPoint(t += 50 * kMs, signal.Next());
        chart.Show(t);
    }
    state.counters["plot_w"] = chart.PlotRight() - chart.PlotLeft();
    state.counters["plot_h"] = chart.PlotBottom() - chart.PlotTop();
}
BENCHMARK(BM_ShowHalfSecond)->Args({240, 330})->Args({1000, 500})->Unit(benchmark::kMicrosecond);

// The scale alone, shown for an edge moved by a pixel (what every
// Show that moves the edge pays besides the curves).
void BM_ScaleLayer(benchmark::State& state) {
    OffscreenSurface surface;
    XYChart chart;
    SetUpChart(chart, surface, 60000);
    double xmax = chart.Xmax();
    for (auto _ : state) {
        chart.SetXmax(xmax += 1.0 / chart.XScale());
        chart.ShowScale();
    }
}
BENCHMARK(BM_ScaleLayer)->Unit(benchmark::kMicrosecond);

// Playback: 30,000 points over the whole window, drawn from scratch.
void BM_FullRedraw30000(benchmark::State& state) {
    OffscreenSurface surface;
    XYChart chart;
    const int points = 30000;
    SetUpChart(chart, surface, points * 50);
    Signal signal;
    const double t = FillSeries(chart, signal, points);
    int calls = 0;
    for (auto _ : state) {
        chart.SetyMax(0, 2000 + (calls++ & 1));  // invalidates the curves
        chart.Show(t);
    }
}
BENCHMARK(BM_FullRedraw30000)->Unit(benchmark::kMillisecond);

// 30,000 values 50 ms apart through the scaling path of the main window: the
// history and the range, with the chart window over the whole recording (the
// worst case: every value stays in the window).
void BM_AutoScale30000Values(benchmark::State& state) {
    const bool walk = state.range(0) != 0;
    constexpr int kValues = 30000;
    const double window = kValues * 50 * kMs;
    Signal signal;
    std::vector<double> levels(kValues);
    for (double& v : levels) v = std::nearbyint(signal.Next());
    for (auto _ : state) {
        modChartCommon::ScaleWindow history(kValues);
        modChartCommon::AutoScaleRecord record;
        modChartCommon::ScaleHistory walked;
        walked.Distance = [&](int i) { return history.Distance(i); };
        walked.Time = [&](int i) { return history.Time(i); };
        double t = kStart;
        for (int i = 0; i < kValues; ++i) {
            history.Add(t += 50 * kMs, levels[static_cast<std::size_t>(i)]);
            record.LastValue = static_cast<std::int32_t>(levels[static_cast<std::size_t>(i)]);
            if (walk) {
                walked.Count = history.Count();
                modChartCommon::AutoScaleY(record, walked, window);
            } else {
                modChartCommon::AutoScaleY(record, history, window);
            }
        }
        benchmark::DoNotOptimize(record.Minimum);
    }
    state.SetLabel(walk ? "walk per value" : "window kept value by value");
    state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_AutoScale30000Values)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutoScale30000Values)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
