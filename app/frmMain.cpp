#include "frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtGlobal>
#include <cmath>

#include "ChartPicture.h"
#include "XYChart.h"
#include "clsChartData.h"
#include "clsConsole.h"
#include "clsKOV.h"
#include "frmAbout.h"
#include "frmChartSettings.h"
#include "frmKOV.h"
#include "frmRecorder.h"
#include "frmSplash.h"
#include "frmTextWindow.h"
#include "modAPI.h"
#include "modChartCommon.h"
#include "modControls.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modHTMLHelp.h"
#include "modIni.h"
#include "modKOVComm.h"
#include "modLanguage.h"
#include "modMain.h"

namespace Comm = modKOVComm::Comm;
using modLanguage::Text;

namespace {

constexpr int kChartInterval = 60000;     // ms, one chart window

}  // namespace

// ---------------------------------------------------------------------------
// Construction and load
// ---------------------------------------------------------------------------

frmMain::frmMain(QWidget* parent, bool startTimer) : QMainWindow(parent) {
    setObjectName("frmMain");
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_scaleWindow = std::make_unique<modChartCommon::ScaleWindow>();
    m_loop = std::make_unique<MonitorLoop>([] { return modGlobals::Device; }, static_cast<MonitorView*>(this));
    m_loop->SetPort(modGlobals::Comport, modGlobals::Baudrate);
    m_loop->SetWaitFunction([this](int ms) { return WaitWithEvents(ms); });
    m_loop->Subscribe([this](clsKOV& link) { ShowDistance(link); });
    m_timer = new QTimer(this);
    m_timer->setObjectName("Timer");
    m_timer->setInterval(MonitorLoop::TickMs);
    m_timer->setTimerType(Qt::CoarseTimer);
    connect(m_timer, &QTimer::timeout, this, &frmMain::TimerTick);
    SetMonotonicClock(nullptr);

    BuildControls();
    BuildMenus();
    modControls::PlainTextLabels(this);
    FormLoad();
    if (startTimer) m_timer->start();
}

frmMain::~frmMain() {
    if (!m_unloaded) {
        m_timer->stop();
        Unload();
    }
}

void frmMain::SetMonotonicClock(std::function<double()> msClock) {
    if (!msClock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        msClock = [timer] { return static_cast<double>(timer->nsecsElapsed()) / 1e6; };
    }
    m_loop->SetMonotonicClock(std::move(msClock));
}

void frmMain::ApplyTexts() {
    // Captions of controls and menus come from their tags; the title is the
    // product name in both languages; the time-axis item always starts as 1063.
    modLanguage::ApplyLanguage(this);
    setWindowTitle(Text(900));
    mnuPopupFixedTime->setText(Text(1063));
}

void frmMain::FormLoad() {
    ApplyTexts();

    const bool serial = modGlobals::DefaultDevice == "Serial";
    mnuConfigurationDefaultSerial->setChecked(serial);
    mnuConfigurationDefaultProfibus->setChecked(!serial);
    mnuPopUp->menuAction()->setVisible(true);

    for (int n = 1; n <= 255; ++n) cmbComPort->addItem(frmSplash::PortEntryText(n));
    for (int id = 820; id <= 825; ++id) cmbBaudrate->addItem(Text(id));
    for (int id = 830; id <= 834; ++id) cmbAverageDepth->addItem(Text(id));
    {
        const int port = modGlobals::Comport;
        const int index = port >= 1 && port <= 255 ? port - 1 : 0;
        cmbComPort->setCurrentIndex(index);
        cmbComPort_Click(index);  // opens the port
    }
    cmbBaudrate->setCurrentIndex(modGlobals::BaudrateIndex(modGlobals::Baudrate));
    if (modGlobals::Device) modControls::SetComboIndexSilent(cmbAverageDepth, modGlobals::Device->AverageDepth);

    lblMeasValue->clear();
    lblTemperature->clear();
    lblShutDown->setVisible(false);

    // The chart: 60 s window, clock-time axis, one band, the red series "KOV".
    m_chart = std::make_unique<XYChart>();
    m_chart->Header()->Caption = "";
    m_chart->InitViewPort(m_graph);
    m_chart->SetTimeInterval(kChartInterval);
    m_chart->XScaleText()->Caption = "[ s ]";
    m_chart->yScaleText(0)->Caption = "[ mm ]";
    m_chart->SetChartMask(1);
    m_chart->SetIsTimeScale(1);
    if (!modGlobals::AutoScale) ApplyFixedRange();
    m_series = m_chart->GetChart("KOV");
    m_series->Chart = 0;
    m_series->ForeColor = 255;

    modHTMLHelp::SetPopupHelpFile(this);
    modHTMLHelp::SetHelpPage(this, "Main");
    m_loop->Step([&] { m_chart->Show(modAPI::NowWithMs()); });

    SetLamp(modGlobals::Device ? modGlobals::Device->CommStatus : Comm::NotConnected);
    UpdateControls();
    UpdateSingleRequestButton();

    // Smallest window: 10935 x 6630 twips.
    // Never smaller than the controls need, whatever the font.
    setMinimumSize(MinimumPixelSize().expandedTo(minimumSizeHint()));
    resize(minimumSize().expandedTo(sizeHint()));
    m_loaded = true;

    // Configuration files of the list that could not be read at start stay
    // listed for the next start; the user learns which and why once the
    // window is up.
    if (!modGlobals::ConfigLoadProblems.empty()) {
        const QString problems = QString::fromStdString(modGlobals::ConfigLoadProblems);
        QTimer::singleShot(0, this, [this, problems] {
            if (!m_closing) modControls::ShowWarning(this, windowTitle(), problems);
        });
    }
}

// ---------------------------------------------------------------------------
// The measurement loop and what it reports
// ---------------------------------------------------------------------------

void frmMain::TimerTick() {
    if (m_unloaded || m_closing) return;
    m_loop->SetTemperatureRequests(chkTempMeasurement->isChecked());
    m_loop->Tick();
    modGlobals::Measuring = m_loop->Measuring();
    modGlobals::TempRequestPending = m_loop->TemperaturePending();
    UpdateSingleRequestButton();
}

void frmMain::ShowStatus(int textId, const std::string& detail) {
    QString text = QString::fromStdString(detail);
    // Not allowed to open the port: which group it takes, and once how to join it.
    if (textId == MonitorText::PortNotOpen && modGlobals::Device)
        text += modMain::PortAccessHint(this, modGlobals::Device->DevicePath());
    SetStatus(1, textId > 0 ? Text(textId) + text : text);
}

void frmMain::ShowTemperature(const std::string& text) {
    lblTemperature->setText(QString::fromLatin1(text.c_str()));
}

void frmMain::ShowConfiguration(const clsKOV& link) {
    modControls::SetComboIndexSilent(cmbAverageDepth, link.AverageDepth);
    modControls::SetCheckSilent(chkMovingAverage, link.MovingAverage);
    modControls::SetCheckSilent(chkRedLaser, link.HWPointer != "off" ? 1 : 0);
}

void frmMain::ShowShutDown(bool visible) { lblShutDown->setVisible(visible); }

void frmMain::ClearValue() {
    // A value that is no longer live goes from the large value window too.
    lblMeasValue->clear();
    if (frmTextWindow* window = frmTextWindow::Instance(); window && frmTextWindow::IsOpen()) {
        m_loop->Step([&] {
            window->ValueText(QString());
            window->ShowValue();
        });
    }
}

void frmMain::MeasuringChanged(bool measuring) {
    // The caption tells what a press does: "Stop" while the user's
    // measurement runs or waits to go on after a lost link.
    cmdStart->setText(measuring ? QStringLiteral("Stop") : QStringLiteral("Start"));
    modGlobals::Measuring = measuring;
    if (m_recorder) m_recorder->MeasuringChanged(measuring);
}

void frmMain::Starting(bool fresh) {
    m_chart->SetTimeInterval(kChartInterval);
    if (fresh) ResetChart(0);
}

void frmMain::ShowState(std::int32_t commStatus, bool busy) {
    SetLamp(commStatus);
    UpdateControls();
    (void)busy;
}

void frmMain::HalfSecond(double now, std::int32_t commStatus) {
    if (commStatus == Comm::Measuring) m_loop->Step([&] { m_chart->Show(now); });
    SetStatus(3, QString::fromStdString(modChartCommon::FormatClock(now)));
}

void frmMain::Received(const std::string& bytes) {
    if (m_console && mnuOptionConsole->isChecked()) m_console->WriteOut(bytes);
}

void frmMain::ClockSetBack() {
    // Points stamped before the jump would lie in the future of the new
    // time axis: the curve starts afresh.
    if (modGlobals::RecorderState != 2) ResetChart(0);
}

void frmMain::StepFailed(const std::string& what) {
    const std::string line = "Monitor: a step of the loop failed and was skipped: " + what + "\r\n";
    qWarning("%s", line.c_str());
    if (m_console && mnuOptionConsole->isChecked()) m_console->WriteOut(line);
}

void frmMain::SpeedChanged(std::int32_t bitsPerSecond) {
    // The port follows the sensor to a new speed: the speed list shows it and
    // the settings keep it for the next start.
    const int index = modGlobals::BaudrateIndex(bitsPerSecond);
    if (index < 0 || bitsPerSecond == modGlobals::Baudrate) return;
    modGlobals::Baudrate = bitsPerSecond;
    modControls::SetComboIndexSilent(cmbBaudrate, index);
    if (m_loaded) SaveSettings();
}

void frmMain::ChecksumUnavailable(const std::string& text) {
    const std::string line = "Monitor: " + text + "\r\n";
    qWarning("%s", line.c_str());
    if (m_console && mnuOptionConsole->isChecked()) m_console->WriteOut(line);
}

void frmMain::SetStatus(int panel, const QString& text) {
    if (panel < 1 || panel > 3) return;
    QLabel* label = m_panel[panel - 1];
    if (label->text() != text) label->setText(text);
}

QString frmMain::StatusText(int panel) const {
    if (panel < 1 || panel > 3) return QString();
    return m_panel[panel - 1]->text();
}

void frmMain::SetLamp(int commStatus) {
    const std::uint32_t color =
        commStatus == Comm::Measuring ? LampGreen : commStatus == Comm::Idle ? LampYellow : LampRed;
    if (color == m_lampColor && !Shape->styleSheet().isEmpty()) return;
    m_lampColor = color;
    Shape->setStyleSheet(LampStyle(color));
}

void frmMain::UpdateControls() {
    // Sensor controls while connected; nothing that sends while an answer is
    // awaited. Start also while a measurement waits to go on (to stop it).
    const bool connected = modGlobals::Device && modGlobals::Device->CommStatus != Comm::NotConnected;
    const bool free = !m_loop->Busy();
    const auto enable = [](QWidget* w, bool on) {
        if (w->isEnabled() != on) w->setEnabled(on);
    };
    enable(cmbAverageDepth, connected && free);
    enable(chkMovingAverage, connected && free);
    enable(chkRedLaser, connected && free);
    enable(cmdStart, (connected || m_loop->Measuring()) && free);
    enable(cmbComPort, free);
    enable(cmbBaudrate, free);
}

void frmMain::UpdateSingleRequestButton() {
    const clsKOV* link = modGlobals::Device.get();
    const bool enable = link && link->OutputMode == 2 && link->CommStatus == Comm::Measuring &&
                        m_loop->Measuring() && !m_loop->Busy();
    if (cmdSingleValue->isEnabled() != enable) cmdSingleValue->setEnabled(enable);
}

// ---------------------------------------------------------------------------
// Distance display, chart and auto-scaling
// ---------------------------------------------------------------------------

void frmMain::ShowDistance(clsKOV& link) {
    if (m_unloaded) return;
    const std::int32_t mm = link.MeasValue_mm;
    const int unit = link.DistanceUnit;
    const QString unitName = QString::fromStdString(modGlobals::UnitNameOf(unit));
    if (mm == modKOVComm::TempErrorValue) {
        lblMeasValue->setText(QStringLiteral("TempError"));
    } else if (mm == modKOVComm::NoEchoValue || mm == 0) {
        lblMeasValue->setText(QStringLiteral("No Echo"));
    } else {
        QString number = QString::number(link.MeasValue, 'f', modKOVComm::UnitDecimals(unit));
        number.replace(QLatin1Char('.'), QLatin1Char(modFunctions::DecimalSeparator()));
        if (link.OutputFormat == 0)
            lblMeasValue->setText(number + QStringLiteral(" [") + unitName + QLatin1Char(']'));
        else
            lblMeasValue->setText(number + QLatin1Char(' ') + unitName);
    }

    if (frmTextWindow* window = frmTextWindow::Instance(); window && frmTextWindow::IsOpen()) {
        m_loop->Step([&] {
            window->ValueText(lblMeasValue->text());
            window->ShowValue();
        });
    }

    m_loop->Step([&] { m_chart->yScaleText(0)->Caption = "[ " + unitName.toStdString() + " ]"; });
    if (unit != m_lastUnit) {
        if (modGlobals::RecorderState != 2) ResetChart(0);
        m_lastUnit = unit;
        // The fixed range is kept in millimetres; the axis shows the sensor's unit.
        if (!modGlobals::AutoScale) ApplyFixedRange();
        ShowUpdatedChartSettings();
    }

    const bool zero = mm == 0;
    if (!(zero && !modGlobals::ShowZeroValues) && std::llabs(static_cast<long long>(mm)) < 99999999) {
        m_scaleWindow->Add(link.CurrentTime, mm);
        modGlobals::AutoScaleRec.LastValue = mm;
        m_series->AddChartPoint(link.CurrentTime, link.MeasValue);
        if (modGlobals::AutoScale) {
            AutoScaleY(m_chart->TimeInterval() / modAPI::MsPerDay);
            const double factor = modGlobals::UnitFactorOf(unit);
            const int axis = modGlobals::AutoScaleRec.Axis;
            m_chart->SetyMin(axis, modChartCommon::MillimetresToUnit(modGlobals::AutoScaleRec.Minimum, factor));
            m_chart->SetyMax(axis, modChartCommon::MillimetresToUnit(modGlobals::AutoScaleRec.Maximum, factor));
        }
    }
    m_lastUnit = unit;
}

void frmMain::AutoScaleY(double timeSpanDays) {
    // The window's extremes are kept value by value: no walk over the history.
    modChartCommon::AutoScaleY(modGlobals::AutoScaleRec, *m_scaleWindow, timeSpanDays);
}

double frmMain::DisplayUnitFactor() const { return modGlobals::UnitFactorOf(m_lastUnit); }

void frmMain::ApplyFixedRange() {
    const double factor = DisplayUnitFactor();
    m_chart->SetyMax(0, modChartCommon::MillimetresToUnit(modGlobals::yMax, factor));
    m_chart->SetyMin(0, modChartCommon::MillimetresToUnit(modGlobals::yMin, factor));
}

void frmMain::ResetChart(int n) {
    if (n <= 0) n = static_cast<int>(std::nearbyint(static_cast<double>(m_chart->TimeInterval()) / MonitorLoop::TickMs));
    if (n < 1) n = 1;
    m_scaleWindow->Reset(n);
    m_series->InitChartData(n - 1);
    modGlobals::AutoScaleRec.Minimum = 0;
    modGlobals::AutoScaleRec.Maximum = 0;
}

// ---------------------------------------------------------------------------
// Start / Stop, single values and the control handlers
// ---------------------------------------------------------------------------

void frmMain::cmdStart_Click() {
    if (m_closing || !modGlobals::Device) return;
    ++m_waitDepth;  // a single measurement waits
    m_loop->StartStop();
    --m_waitDepth;
    modGlobals::Measuring = m_loop->Measuring();
    UpdateControls();
    if (m_recorder) m_recorder->MeasuringChanged(modGlobals::Measuring);
    if (m_closing && m_waitDepth == 0 && !m_unloaded) Unload();
}

void frmMain::cmdSingleValue_Click() {
    if (!m_closing) m_loop->SingleValue();
}

void frmMain::SetWaitFunction(std::function<bool(int)> wait) { m_wait = std::move(wait); }

bool frmMain::WaitWithEvents(int ms) {
    if (m_closing) return false;
    if (m_wait) return m_wait(ms) && !m_closing;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    m_waitLoop = &loop;
    loop.exec();
    m_waitLoop = nullptr;
    return !m_closing;
}

void frmMain::cmbBaudrate_Click(int index) {
    if (index < 0 || index >= static_cast<int>(modGlobals::Baudrates.size()) || !modGlobals::Device) return;
    modGlobals::Baudrate = modGlobals::Baudrates[static_cast<std::size_t>(index)];
    m_loop->SetPort(modGlobals::Comport, modGlobals::Baudrate);
    clsKOV& link = *modGlobals::Device;
    if (link.CommBaudrate() != modGlobals::Baudrate) link.CommBaudrate(modGlobals::Baudrate);
    SaveSettings();
}

void frmMain::cmbComPort_Click(int index) {
    if (index < 0 || !modGlobals::Device) return;
    modGlobals::Comport = index + 1;
    m_loop->SetPort(modGlobals::Comport, modGlobals::Baudrate);
    clsKOV& link = *modGlobals::Device;
    if (link.CommComPort() != modGlobals::Comport || !link.PortIsOpen()) {
        link.CloseComPort();
        link.OpenComPort(modGlobals::Comport, modGlobals::Baudrate);
    }
    if (m_loaded) SaveSettings();
}

void frmMain::cmbAverageDepth_Click(int index) {
    if (m_closing || !modGlobals::Device) return;
    ++m_waitDepth;
    const bool taken = m_loop->WriteAverage("301", index);
    --m_waitDepth;
    // A write the sensor did not take leaves the list at the sensor's value.
    if (!taken) modControls::SetComboIndexSilent(cmbAverageDepth, modGlobals::Device->AverageDepth);
    if (m_closing && m_waitDepth == 0 && !m_unloaded) Unload();
}

void frmMain::chkMovingAverage_Click() {
    if (m_closing || !modGlobals::Device) return;
    ++m_waitDepth;
    const bool taken = m_loop->WriteAverage("304", chkMovingAverage->isChecked() ? 1 : 0);
    --m_waitDepth;
    if (!taken) modControls::SetCheckSilent(chkMovingAverage, modGlobals::Device->MovingAverage);
    if (m_closing && m_waitDepth == 0 && !m_unloaded) Unload();
}

void frmMain::chkRedLaser_Click() {
    if (m_closing || !modGlobals::Device) return;
    clsKOV& link = *modGlobals::Device;
    if (link.CommStatus == Comm::NotConnected) return;
    const bool checked = chkRedLaser->isChecked();
    // The marker laser cannot be switched on while the sensor reports a
    // temperature fault; switching it off is always allowed.
    if (link.TempStatus != 1 && checked) {
        modControls::SetCheckSilent(chkRedLaser, 0);
        return;
    }
    m_loop->SetLaser(checked);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblMeasValue && event->type() == QEvent::MouseButtonRelease) {
        lblMeasValue_Click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::lblMeasValue_Click() {
    if (m_closing) return;
    frmTextWindow::Open(this);
}

void frmMain::mnuPopUp_Opened() {
    mnuPopupShowZero->setChecked(modGlobals::ShowZeroValues);
    // The axis item names what it switches to, also after the language
    // changed or the chart settings switched the axis.
    mnuPopupFixedTime->setText(Text(m_chart->IsTimeScale() != 0 ? 1063 : 1064));
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
    mnuPopupFixedTime->setText(Text(clock ? 1063 : 1064));
    // Redrawn in place (while measuring the next half second does it).
    if (!modGlobals::Measuring) m_loop->Step([&] { m_chart->Redraw(); });
    ShowUpdatedChartSettings();
}

void frmMain::mnuPopupHelp_Click() { modHTMLHelp::ShowMainHelp(this); }
void frmMain::mnuHelpContents_Click() { modHTMLHelp::ShowContents(this); }

void frmMain::mnuHelpAbout_Click() {
    frmAbout::ShowAbout(this);
}

void frmMain::mnuOptionLanguageDEEN_Click() {
    modFunctions::SetLanguageOffset(modFunctions::LanguageOffset() == 0 ? 1000 : 0);
    ApplyTexts();
    if (m_chartSettings) modLanguage::ApplyLanguage(m_chartSettings);
    modHTMLHelp::SetPopupHelpFile(this);
    SaveSettings();
}

void frmMain::mnuOptionConsole_Click() {
    if (mnuOptionConsole->isChecked()) {
        m_console = std::make_unique<clsConsole>();
        m_console->WindowTitle("ORA-2/ORB-2 Monitor");
        m_console->LoadConsole();
    } else if (m_console) {
        m_console->CloseConsole();
        m_console.reset();
    }
}

void frmMain::mnuConfigurationKOV_Click() {
    if (m_closing || modGlobals::ConfigDialogOpen || !modGlobals::Device) return;
    // The dialog's transfers run on the loop's ticks; the window unloads
    // only once the dialog has returned.
    ++m_waitDepth;
    modGlobals::ConfigDialogOpen = true;
    frmKOV::ShowDialog(this, *m_loop, modGlobals::ConfigList, modGlobals::UnloadedConfigFiles, modGlobals::Settings,
                       modGlobals::DefaultDevice);
    modGlobals::ConfigDialogOpen = false;
    --m_waitDepth;
    if (m_closing && m_waitDepth == 0 && !m_unloaded) Unload();
}

void frmMain::mnuConfigurationDefaultSerial_Click() {
    modGlobals::DefaultDevice = "Serial";
    mnuConfigurationDefaultSerial->setChecked(true);
    mnuConfigurationDefaultProfibus->setChecked(false);
    SaveSettings();
}

void frmMain::mnuConfigurationDefaultProfibus_Click() {
    modGlobals::DefaultDevice = "Profibus";
    mnuConfigurationDefaultProfibus->setChecked(true);
    mnuConfigurationDefaultSerial->setChecked(false);
    SaveSettings();
}

// ---------------------------------------------------------------------------
// Resize and shutdown
// ---------------------------------------------------------------------------

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

void frmMain::closeEvent(QCloseEvent* event) {
    // Before unloading: stop the loop and close the port. Any wait in progress
    // sees the closing flag and ends; the rest of the unload runs when the
    // outermost wait has returned.
    // A recording ends (its file closed) before anything else goes.
    if (m_recorder) m_recorder->close();
    m_closing = true;
    m_loop->SetClosing(true);
    m_timer->stop();
    if (m_waitLoop) m_waitLoop->quit();
    if (modGlobals::Device && modGlobals::Device->PortIsOpen()) modGlobals::Device->CloseComPort();
    if (m_waitDepth == 0 && !m_unloaded) Unload();
    event->accept();
}

void frmMain::Unload() {
    if (m_unloaded) return;
    m_unloaded = true;
    m_timer->stop();
    delete m_recorder;
    if (m_console) {
        m_console->CloseConsole();
        m_console.reset();
    }
    frmTextWindow::Unload();
    delete m_chartSettings;
    modHTMLHelp::CloseHelp();
    SaveSettings();
    modIni::Release();
}

void frmMain::SaveSettings() {
    // Saved as the user changes them, so that nothing is lost to a crash;
    // a folder that cannot take them is reported once, in the free panel.
    if (modIni::SaveSettings() || m_settingsWarned) return;
    m_settingsWarned = true;
    SetStatus(2, Text(MonitorText::SettingsNotSaved));
    qWarning("%s: %s", Text(MonitorText::SettingsNotSaved).toLocal8Bit().constData(), modGlobals::SettingsFile.c_str());
}
