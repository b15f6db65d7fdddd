// The main window's chart: the distances it draws and the y range that
// follows them (ChartAutoScaleFeed), its popup menu, and the view settings
// dialog's link to the chart and the settings.
#include <QAction>
#include <QMenu>
#include <QResizeEvent>
#include <QShowEvent>
#include <cmath>

#include "ChartAutoScaleFeed.h"
#include "ChartPicture.h"
#include "DistanceUnits.h"
#include "XYChart.h"
#include "clsChartData.h"
#include "frmChartSettings.h"
#include "frmMain.h"
#include "modAPI.h"
#include "modGlobals.h"
#include "modLanguage.h"

using modLanguage::Text;

namespace {
constexpr int kChartInterval = 60000;  // ms, one chart window
}  // namespace

void frmMain::BuildChart() {
    // The chart: 60 s window, clock-time axis, one band, the red series "KOV".
    m_chart = std::make_unique<XYChart>();
    m_chart->Header()->Caption = "";
    m_chart->InitViewPort(m_graph);
    m_chart->SetTimeInterval(kChartInterval);
    m_chart->XScaleText()->Caption = "[ s ]";
    m_chart->yScaleText(0)->Caption = "[ mm ]";
    m_chart->SetChartMask(1);
    m_chart->SetIsTimeScale(1);
    m_series = m_chart->GetChart("KOV");
    m_series->Chart = 0;
    m_series->ForeColor = 255;
    m_feed = std::make_unique<ChartAutoScaleFeed>(m_series);
    if (!modGlobals::AutoScale) ApplyFixedRange();
}

void frmMain::Starting(bool fresh) {
    m_chart->SetTimeInterval(kChartInterval);
    if (fresh) ResetChart(0);
}

void frmMain::ClockSetBack() {
    // Points stamped before the jump would lie in the future of the new
    // time axis: the curve starts afresh.
    if (modGlobals::RecorderState != RecorderMode::PlayingBack) ResetChart(0);
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (isMinimized() || !m_chart || m_unloaded) return;
    // The minimum size is enforced through setMinimumSize, and the chart area
    // rebuilds its layers itself. A chart that had no room for its time axis
    // so far (the window was not laid out yet) is drawn now.
    if (!(m_chart->Xmin() > 0)) m_loop->Step([&] { m_chart->Show(modAPI::NowWithMs()); });
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_chart && !m_unloaded && !(m_chart->Xmin() > 0)) m_loop->Step([&] { m_chart->Show(modAPI::NowWithMs()); });
}

void frmMain::ChartDistance(const Measurement& m) {
    m_loop->Step([&] { m_chart->yScaleText(0)->Caption = std::string("[ ") + DistanceUnits::Name(m.Unit) + " ]"; });
    if (m_feed->UnitChanged(m.Unit)) {
        if (modGlobals::RecorderState != RecorderMode::PlayingBack) ResetChart(0);
        m_feed->SetUnit(m.Unit, DistanceUnits::FactorOf(m.Unit));
        // The fixed range is kept in millimetres; the axis shows the sensor's unit.
        if (!modGlobals::AutoScale) ApplyFixedRange();
        ShowUpdatedChartSettings();
    }
    if (m_feed->Add(m.Time, m.Mm, m.Value, modGlobals::ShowZeroValues) && modGlobals::AutoScale) {
        m_feed->AutoScale(m_chart->TimeInterval() / modAPI::MsPerDay);
        ShowFeedRange();
    }
}

void frmMain::ShowFeedRange() {
    m_chart->SetyMin(m_feed->Axis(), m_feed->Minimum());
    m_chart->SetyMax(m_feed->Axis(), m_feed->Maximum());
}

double frmMain::DisplayUnitFactor() const { return m_feed ? m_feed->UnitFactor() : 1.0; }

void frmMain::ApplyFixedRange() {
    const double factor = DisplayUnitFactor();
    m_chart->SetyMax(0, modChartCommon::MillimetresToUnit(modGlobals::yMax, factor));
    m_chart->SetyMin(0, modChartCommon::MillimetresToUnit(modGlobals::yMin, factor));
}

void frmMain::ResetChart(int n) {
    if (n <= 0)
        n = static_cast<int>(std::nearbyint(static_cast<double>(m_chart->TimeInterval()) / MonitorLoop::TickMs));
    m_feed->Reset(n);
}

void frmMain::mnuPopUp_Opened() {
    mnuPopupShowZero->setChecked(modGlobals::ShowZeroValues);
    // The axis item names what it switches to, also after the language
    // changed or the chart settings switched the axis.
    mnuPopupFixedTime->setText(Text(m_chart->IsTimeScale() != 0 ? kShowIntervalText : kShowClockText));
}

// The chart settings dialog's view of this window: the chart, its series, the
// settings in modGlobals and their saving.
class frmMain::ChartSettingsLink : public ChartSettingsHost {
public:
    explicit ChartSettingsLink(frmMain& window) : m_window(window) {}
    XYChart& Chart() override { return *m_window.m_chart; }
    clsChartData& Series() override { return *m_window.m_series; }
    double UnitFactor() const override { return m_window.DisplayUnitFactor(); }
    bool AutoScale() const override { return modGlobals::AutoScale; }
    void SetAutoScale(bool on) override { modGlobals::AutoScale = on; }
    double yMin() const override { return modGlobals::yMin; }
    double yMax() const override { return modGlobals::yMax; }
    void SetRange(double yMinMm, double yMaxMm) override {
        modGlobals::yMin = yMinMm;
        modGlobals::yMax = yMaxMm;
    }
    bool ShowZeroValues() const override { return modGlobals::ShowZeroValues; }
    void SetShowZeroValues(bool on) override { modGlobals::ShowZeroValues = on; }
    void SaveSettings() override { m_window.SaveSettings(); }

private:
    frmMain& m_window;
};

void frmMain::mnuPopUpYscaleSettings_Click() {
    if (m_closing || m_unloaded) return;
    if (!m_chartSettingsHost) m_chartSettingsHost = std::make_unique<ChartSettingsLink>(*this);
    if (!m_chartSettings) m_chartSettings = new frmChartSettings(*m_chartSettingsHost, this);
    m_chartSettings->show();
    m_chartSettings->raise();
    m_chartSettings->activateWindow();
}

frmChartSettings* frmMain::ChartSettings() const { return m_chartSettings.data(); }

void frmMain::ShowUpdatedChartSettings() {
    if (m_chartSettings && m_chartSettings->isVisible()) m_chartSettings->ShowUpdatedSettings();
}

void frmMain::mnuPopupShowZero_Click() {
    modGlobals::ShowZeroValues = !modGlobals::ShowZeroValues;
    mnuPopupShowZero->setChecked(modGlobals::ShowZeroValues);
    ShowUpdatedChartSettings();
}

void frmMain::mnuPopupFixedTime_Click() {
    const bool clock = m_chart->IsTimeScale() == 0;
    m_chart->SetIsTimeScale(clock ? 1 : 0);
    mnuPopupFixedTime->setText(Text(clock ? kShowIntervalText : kShowClockText));
    // Redrawn in place (while measuring the next half second does it).
    if (!m_loop->Measuring()) m_loop->Step([&] { m_chart->Redraw(); });
    ShowUpdatedChartSettings();
}
