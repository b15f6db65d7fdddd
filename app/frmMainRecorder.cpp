// The main window's side of the recorder: the recorder window reaches the
// loop, the chart and the shared flags through this link.
#include <cmath>

#include "XYChart.h"
#include "frmMain.h"
#include "frmRecorder.h"
#include "modGlobals.h"

// ---------------------------------------------------------------------------
// Recorder
// ---------------------------------------------------------------------------

class frmMain::RecorderLink : public RecorderHost {
public:
    explicit RecorderLink(frmMain& window) : m_window(window) {}
    MonitorLoop& Loop() override { return *m_window.m_loop; }
    bool Measuring() const override { return modGlobals::Measuring; }
    int RecorderState() const override { return modGlobals::RecorderState; }
    void SetRecorderState(int state) override { modGlobals::RecorderState = state; }
    void SetRecorderWindowOpen(bool open) override { modGlobals::RecorderWindowOpen = open; }
    void SetStatus(int panel, const std::string& text) override {
        m_window.SetStatus(panel, QString::fromStdString(text));
    }
    void ResetChart(int n) override { m_window.ResetChart(n); }
    void SetAutoScale(bool on) override { modGlobals::AutoScale = on; }
    void SetYRange(double lowMm, double highMm) override {
        auto& record = modGlobals::AutoScaleRec;
        record.Minimum = lowMm;
        record.Maximum = highMm;
        const double factor = modGlobals::UnitFactorOf(m_window.m_lastUnit);
        m_window.m_chart->SetyMin(record.Axis, lowMm / factor);
        m_window.m_chart->SetyMax(record.Axis, highMm / factor);
    }
    void SetTimeInterval(int ms) override { m_window.m_chart->SetTimeInterval(ms); }
    void ShowUpTo(double last) override {
        m_window.m_chart->SetXmax(std::floor(last));
        m_window.m_chart->Show(last);
    }

private:
    frmMain& m_window;
};

void frmMain::mnuRecorder_Click() {
    if (m_closing || m_unloaded) return;
    if (!m_recorderHost) m_recorderHost = std::make_unique<RecorderLink>(*this);
    if (!m_recorder) m_recorder = new frmRecorder(*m_recorderHost, this);
    m_recorder->MeasuringChanged(modGlobals::Measuring);
    m_recorder->show();
    m_recorder->raise();
    m_recorder->activateWindow();
}

frmRecorder* frmMain::Recorder() const { return m_recorder.data(); }
