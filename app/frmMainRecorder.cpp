// The main window's side of the recorder: the recorder window reaches the
// loop, the chart and the shared flags through this link.
#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <cmath>

#include "ChartAutoScaleFeed.h"
#include "XYChart.h"
#include "frmMain.h"
#include "frmRecorder.h"
#include "modFunctions.h"
#include "modGlobals.h"

// ---------------------------------------------------------------------------
// Recorder
// ---------------------------------------------------------------------------

class frmMain::RecorderLink : public RecorderHost {
public:
    explicit RecorderLink(frmMain& window) : m_window(window) {}
    MonitorLoop& Loop() override { return *m_window.m_loop; }
    bool Measuring() const override { return m_window.m_loop->Measuring(); }
    RecorderMode RecorderState() const override { return modGlobals::RecorderState; }
    void SetRecorderState(RecorderMode state) override {
        modGlobals::RecorderState = state;
        if (state != RecorderMode::PlayingBack) EndLoad();
    }
    void SetRecorderWindowOpen(bool open) override { modGlobals::RecorderWindowOpen = open; }
    void SetStatus(StatusPanel panel, const std::string& text) override {
        m_window.SetStatus(panel, QString::fromStdString(text));
    }
    void ResetChart(int n) override { m_window.ResetChart(n); }
    void SetAutoScale(bool on) override {
        modGlobals::AutoScale = on;
        m_window.ShowUpdatedChartSettings();
    }
    void SetYRange(double lowMm, double highMm) override {
        m_window.m_feed->SetRange(lowMm, highMm);
        m_window.ShowFeedRange();
    }
    void SetTimeInterval(int ms) override { m_window.m_chart->SetTimeInterval(ms); }
    void ShowUpTo(double last) override {
        m_window.m_chart->SetXmax(std::floor(last));
        m_window.m_chart->Show(last);
    }
    bool LoadProgress(int percent) override {
        if (m_window.m_closing) return false;
        if (!m_loading) {
            // The tick would mix live values into the recording being loaded.
            m_loading = true;
            m_timerWasRunning = m_window.m_timer->isActive();
            m_window.m_timer->stop();
        }
        m_window.SetStatus(StatusPanel::Files, QString::fromStdString(modFunctions::GetText(1391)) + QLatin1Char(' ') +
                                                   QString::number(percent) + QStringLiteral(" %"));
        // Paint, but keep clicks and keys (and closing) for after the load;
        // a close that comes anyway leaves the window's unload until then.
        ++m_window.m_waitDepth;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        --m_window.m_waitDepth;
        return !m_window.m_closing;
    }

private:
    void EndLoad() {
        if (!m_loading) return;
        m_loading = false;
        if (m_window.m_closing) {
            // The window was closed during the load: its unload runs now that
            // the load has ended and the recorder's handler has returned.
            QPointer<frmMain> window(&m_window);
            QTimer::singleShot(0, &m_window, [window] {
                if (window && window->m_closing && window->m_waitDepth == 0 && !window->m_unloaded) window->Unload();
            });
        } else if (m_timerWasRunning) {
            m_window.m_timer->start();
        }
    }

    frmMain& m_window;
    bool m_loading = false;
    bool m_timerWasRunning = false;
};

void frmMain::mnuRecorder_Click() {
    if (m_closing || m_unloaded) return;
    if (!m_recorderHost) m_recorderHost = std::make_unique<RecorderLink>(*this);
    if (!m_recorder) m_recorder = new frmRecorder(*m_recorderHost, this);
    m_recorder->MeasuringChanged(m_loop->Measuring());
    m_recorder->show();
    m_recorder->raise();
    m_recorder->activateWindow();
}

frmRecorder* frmMain::Recorder() const { return m_recorder.data(); }
