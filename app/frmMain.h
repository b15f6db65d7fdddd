#pragma once
// The main window: port and sensor controls, the value and temperature labels,
// the connection lamp, the chart and the menus. Its timer drives the
// measurement loop (MonitorLoop) every 50 ms; the window shows what the loop
// reports and feeds the value label, the value window and the chart from the
// loop's new distances.
#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>

#include "MonitorLoop.h"
#include "RecorderHost.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QWidget;
class clsKOV;
class clsConsole;
class frmTextWindow;
class XYChart;
class clsChartData;
class ChartPicture;
class frmRecorder;
class RecorderHost;
class frmChartSettings;
class ChartSettingsHost;
class ChartAutoScaleFeed;

class MqttPanel;

class frmMain : public QMainWindow, private MonitorView {
    Q_OBJECT
public:
    // Builds every control and runs the window's load sequence; the timer is
    // started at the end unless `startTimer` is false (tests drive the ticks).
    explicit frmMain(QWidget* parent = nullptr, bool startTimer = true);
    ~frmMain() override;

    // One pass of the measurement loop (normally every 50 ms from the timer).
    void TimerTick();

    // Shows a distance: value label, value window, chart, auto-scaling. The
    // window's listener of the loop's new distances; the recorder plays back
    // through the loop's PublishDistance.
    void ShowDistance(const Measurement& m);

    // The measurement loop the timer drives.
    MonitorLoop& Loop() { return *m_loop; }

    // Empties the chart and the auto-scale buffers for n points (0 = one chart window).
    void ResetChart(int n);

    // cmdSingleValue is enabled only while streaming in output mode "On Request".
    void UpdateSingleRequestButton();

    // Real (monotonic) milliseconds, used to tell a wall-clock jump from a
    // slow tick; replaceable for tests. An empty function restores the default.
    void SetMonotonicClock(std::function<double()> msClock);

    // How the blocking single measurement waits between its attempts: the
    // default runs the window's events for `ms` milliseconds (the timer keeps
    // ticking). Returns false when the wait was cut short by closing. Tests
    // replace it to advance a simulated clock. Empty restores the default.
    void SetWaitFunction(std::function<bool(int ms)> wait);

    // True once the window has been asked to close; every wait ends then.
    bool Closing() const { return m_closing; }
    // The settings could not be saved (read-only folder, full disk); the
    // user was told once.
    bool SettingsSaveFailed() const { return m_settingsWarned; }

    // The recorder window, while it exists.
    frmRecorder* Recorder() const;
    // The chart settings dialog, once opened (nullptr before).
    frmChartSettings* ChartSettings() const;
    // Brings an open chart settings dialog up to date with the chart and the
    // settings (after the popup menu or the recorder changed them); no
    // visible effect while it is not open.
    void ShowUpdatedChartSettings();
    // Millimetres per unit of the values on the chart's y axis (1 until the
    // first value names its unit).
    double DisplayUnitFactor() const;
    // For the recorder, the chart settings dialog and tests.
    XYChart* KOVChart() const { return m_chart.get(); }
    clsChartData* Series() const { return m_series.get(); }
    QTimer* Timer() const { return m_timer; }
    // Connection lamp colour as 0x00BBGGRR: red not connected, yellow
    // connected, green measuring.
    static constexpr std::uint32_t LampRed = 255;
    static constexpr std::uint32_t LampYellow = 65535;
    static constexpr std::uint32_t LampGreen = 65280;
    std::uint32_t LampColor() const { return m_lampColor; }
    // Text of a status bar panel.
    QString StatusText(StatusPanel panel) const;
    // Window minimum in pixels for this screen (10935 x 6630 twips).
    QSize MinimumPixelSize() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void cmbBaudrate_Click(int index);
    void cmbComPort_Click(int index);
    void cmbAverageDepth_Click(int index);
    void chkMovingAverage_Click();
    void chkRedLaser_Click();
    void cmdStart_Click();
    void cmdSingleValue_Click();
    void lblMeasValue_Click();
    void mnuPopUp_Opened();
    void mnuPopUpYscaleSettings_Click();
    void mnuPopupShowZero_Click();
    void mnuPopupFixedTime_Click();
    void mnuPopupHelp_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();
    void mnuOptionLanguageDEEN_Click();
    void mnuOptionConsole_Click();
    void mnuConfigurationKOV_Click();
    void mnuConfigurationDefaultSerial_Click();
    void mnuConfigurationDefaultProfibus_Click();
    void mnuRecorder_Click();

private:
    void BuildControls();
    void BuildMenus();
    void BuildChart();
    void FormLoad();
    void ApplyTexts();
    void SetStatus(StatusPanel panel, const QString& text);
    QLabel* Panel(StatusPanel panel) const;  // nullptr for no panel
    void SetLamp(int commStatus);
    void UpdateControls();
    // The chart's part of ShowDistance: the point, and the y range in the unit shown.
    void ChartDistance(const Measurement& m);
    void ShowFeedRange();
    // The fixed y range (kept in millimetres) onto the axis, in the unit shown.
    void ApplyFixedRange();
    // Waits `ms` milliseconds with the window alive (timer ticks go on);
    // returns false when the window was closed meanwhile.
    bool WaitWithEvents(int ms);
    // Runs `work`, which may wait; a close that came meanwhile unloads the
    // window once the outermost such work has returned.
    void RunWaiting(const std::function<void()>& work);
    // Into the console, while it is shown; a warning goes to the log as well.
    void ToConsole(const std::string& text, bool warning);
    void Unload();
    void SaveSettings();
    static QString LampStyle(std::uint32_t color);

    // The time-axis item of the chart's menu names what it switches to.
    static constexpr int kShowIntervalText = 1063;  // while the axis shows clock time
    static constexpr int kShowClockText = 1064;     // while it shows the interval

    // What the loop reports.
    void ShowStatus(int textId, const std::string& detail) override;
    void ShowTemperature(const std::string& text) override;
    void ShowConfiguration(const clsKOV& link) override;
    void ShowShutDown(bool visible) override;
    void ClearValue() override;
    void MeasuringChanged(bool measuring) override;
    void Starting(bool fresh) override;
    void ShowState(std::int32_t commStatus, bool busy) override;
    void HalfSecond(double now, std::int32_t commStatus) override;
    void Received(const std::string& bytes) override;
    void ClockSetBack() override;
    void StepFailed(const std::string& what) override;
    void SpeedChanged(std::int32_t bitsPerSecond) override;
    void ChecksumUnavailable(const std::string& text) override;

    // Controls (object names as the control names).
    QGroupBox* fraMeasurement = nullptr;
    QPushButton* cmdSingleValue = nullptr;
    QCheckBox* chkTempMeasurement = nullptr;
    QPushButton* cmdStart = nullptr;
    QLabel* lblMeasValue = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* lblTemperature = nullptr;
    QFrame* Shape = nullptr;
    QGroupBox* fraComport = nullptr;
    QComboBox* cmbComPort = nullptr;
    QComboBox* cmbBaudrate = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QGroupBox* fraKOV = nullptr;
    QComboBox* cmbAverageDepth = nullptr;
    QCheckBox* chkMovingAverage = nullptr;
    QCheckBox* chkRedLaser = nullptr;
    QLabel* lblShutDown = nullptr;
    QLabel* Label3 = nullptr;
    ChartPicture* m_graph = nullptr;  // picGraph
    QLabel* m_panel[3] = {nullptr, nullptr, nullptr};  // StatusPanel Events, Files, Clock
    QTimer* m_timer = nullptr;

    // Menus.
    QMenu* mnuFile = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuConfiguration = nullptr;
    QAction* mnuConfigurationKOV = nullptr;
    QMenu* mnuConfigurationDefault = nullptr;
    QAction* mnuConfigurationDefaultSerial = nullptr;
    QAction* mnuConfigurationDefaultProfibus = nullptr;
    QAction* mnuRecorder = nullptr;
    QMenu* mnuOptions = nullptr;
    QMenu* mnuOptionLanguage = nullptr;
    QAction* mnuOptionLanguageDEEN = nullptr;
    QAction* mnuOptionConsole = nullptr;
    QMenu* mnuPopUp = nullptr;
    QAction* mnuPopUpYscaleSettings = nullptr;
    QAction* mnuPopupShowZero = nullptr;
    QAction* mnuPopupFixedTime = nullptr;
    QAction* mnuPopupHelp = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpAbout = nullptr;

    // Chart, its series, and what follows the distances (points, unit, y range).
    std::unique_ptr<XYChart> m_chart;
    std::shared_ptr<clsChartData> m_series;
    std::unique_ptr<ChartAutoScaleFeed> m_feed;

    std::unique_ptr<clsConsole> m_console;

    class RecorderLink;  // the recorder's view of this window
    std::unique_ptr<RecorderHost> m_recorderHost;
    QPointer<frmRecorder> m_recorder;
    class ChartSettingsLink;  // the chart settings dialog's view of this window
    std::unique_ptr<ChartSettingsHost> m_chartSettingsHost;
    QPointer<frmChartSettings> m_chartSettings;

    std::unique_ptr<MonitorLoop> m_loop;
    std::unique_ptr<MqttPanel> m_mqtt;  // after the loop: it leaves the loop before the loop goes
    std::uint32_t m_lampColor = 255;
    std::function<bool(int)> m_wait;

    bool m_loaded = false;
    bool m_closing = false;        // close requested: waits end, no new work starts
    bool m_unloaded = false;
    bool m_settingsWarned = false;
    int m_waitDepth = 0;           // nested waits in progress
    class QEventLoop* m_waitLoop = nullptr;  // the wait running now, if any
};
