#include "frmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "ChartAutoScaleFeed.h"
#include "XYChart.h"
#include "clsConsole.h"
#include "clsKOV.h"
#include "frmChartSettings.h"
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
#include "MqttPanel.h"

namespace Comm = modKOVComm::Comm;
using modLanguage::Text;

namespace {


}  // namespace

// ---------------------------------------------------------------------------
// Construction and load
// ---------------------------------------------------------------------------

frmMain::frmMain(QWidget* parent, bool startTimer) : QMainWindow(parent) {
    setObjectName("frmMain");
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_loop = std::make_unique<MonitorLoop>([] { return modGlobals::Device; }, static_cast<MonitorView*>(this));
    m_loop->SetPort(modGlobals::Comport, modGlobals::Baudrate);
    m_loop->SetWaitFunction([this](int ms) { return WaitWithEvents(ms); });
    m_loop->Subscribe([this](const Measurement& m) { ShowDistance(m); });
    m_timer = new QTimer(this);
    m_timer->setObjectName("Timer");
    m_timer->setInterval(MonitorLoop::TickMs);
    m_timer->setTimerType(Qt::CoarseTimer);
    connect(m_timer, &QTimer::timeout, this, &frmMain::TimerTick);
    SetMonotonicClock(nullptr);

    BuildControls();
    BuildMenus();
    m_mqtt = std::make_unique<MqttPanel>(this, mnuOptions, *m_loop, modGlobals::Settings);
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
    // product name in both languages; the time-axis item always starts as on a clock-time axis.
    modLanguage::ApplyLanguage(this);
    setWindowTitle(Text(900));
    mnuPopupFixedTime->setText(Text(kShowIntervalText));
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

    BuildChart();

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
    UpdateSingleRequestButton();
}

void frmMain::ShowStatus(int textId, const std::string& detail) {
    QString text = QString::fromStdString(detail);
    // Not allowed to open the port: which group it takes, and once how to join it.
    if (textId == MonitorText::PortNotOpen && modGlobals::Device)
        text += modMain::PortAccessHint(this, modGlobals::Device->DevicePath());
    SetStatus(StatusPanel::Events, textId > 0 ? Text(textId) + text : text);
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
    if (m_recorder) m_recorder->MeasuringChanged(measuring);
}

void frmMain::ShowState(std::int32_t commStatus, bool) {
    SetLamp(commStatus);
    UpdateControls();
}

void frmMain::HalfSecond(double now, std::int32_t commStatus) {
    if (commStatus == Comm::Measuring) m_loop->Step([&] { m_chart->Show(now); });
    SetStatus(StatusPanel::Clock, QString::fromStdString(modChartCommon::FormatClock(now)));
}

void frmMain::Received(const std::string& bytes) { ToConsole(bytes, false); }

void frmMain::StepFailed(const std::string& what) {
    ToConsole("Monitor: a step of the loop failed and was skipped: " + what + "\r\n", true);
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

void frmMain::ChecksumUnavailable(const std::string& text) { ToConsole("Monitor: " + text + "\r\n", true); }

void frmMain::ToConsole(const std::string& text, bool warning) {
    if (warning) qWarning("%s", text.c_str());
    if (m_console && mnuOptionConsole->isChecked()) m_console->WriteOut(text);
}

QLabel* frmMain::Panel(StatusPanel panel) const {
    const int index = static_cast<int>(panel) - static_cast<int>(StatusPanel::Events);
    return index >= 0 && index < 3 ? m_panel[index] : nullptr;
}

void frmMain::SetStatus(StatusPanel panel, const QString& text) {
    QLabel* label = Panel(panel);
    if (label && label->text() != text) label->setText(text);
}

QString frmMain::StatusText(StatusPanel panel) const {
    const QLabel* label = Panel(panel);
    return label ? label->text() : QString();
}

void frmMain::SetLamp(int commStatus) {
    const std::uint32_t color =
        commStatus == Comm::Measuring ? LampGreen : commStatus == Comm::Idle ? LampYellow : LampRed;
    if (color == m_lampColor && !Shape->styleSheet().isEmpty()) return;
    m_lampColor = color;
    Shape->setStyleSheet(LampStyle(color));
}

void frmMain::UpdateControls() {
    const MonitorLoop::Controls may = m_loop->ControlsNow();
    const auto enable = [](QWidget* w, bool on) {
        if (w->isEnabled() != on) w->setEnabled(on);
    };
    enable(cmbAverageDepth, may.Sensor);
    enable(chkMovingAverage, may.Sensor);
    enable(chkRedLaser, may.Sensor);
    enable(cmdStart, may.Start);
    enable(cmbComPort, may.Port);
    enable(cmbBaudrate, may.Port);
}

void frmMain::UpdateSingleRequestButton() {
    const bool on = m_loop->ControlsNow().SingleRequest;
    if (cmdSingleValue->isEnabled() != on) cmdSingleValue->setEnabled(on);
}

void frmMain::ShowDistance(const Measurement& m) {
    if (m_unloaded) return;
    lblMeasValue->setText(QString::fromStdString(DistanceText(m, modFunctions::DecimalSeparator())));
    if (frmTextWindow* window = frmTextWindow::Instance(); window && frmTextWindow::IsOpen()) {
        m_loop->Step([&] {
            window->ValueText(lblMeasValue->text());
            window->ShowValue();
        });
    }
    ChartDistance(m);
}

// ---------------------------------------------------------------------------
// Start / Stop, single values and the control handlers
// ---------------------------------------------------------------------------

void frmMain::RunWaiting(const std::function<void()>& work) {
    ++m_waitDepth;
    work();
    --m_waitDepth;
    if (m_closing && m_waitDepth == 0 && !m_unloaded) Unload();
}

void frmMain::cmdStart_Click() {
    if (m_closing || !modGlobals::Device) return;
    RunWaiting([&] {  // a single measurement waits
        m_loop->StartStop();
        UpdateControls();
        if (m_recorder) m_recorder->MeasuringChanged(m_loop->Measuring());
    });
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
    m_loop->ChangeSpeed(modGlobals::Baudrate);
    SaveSettings();
}

void frmMain::cmbComPort_Click(int index) {
    if (index < 0 || !modGlobals::Device) return;
    modGlobals::Comport = index + 1;
    m_loop->ChangePort(modGlobals::Comport, modGlobals::Baudrate);
    if (m_loaded) SaveSettings();
}

// A write the sensor did not take leaves the control at the sensor's value.
void frmMain::cmbAverageDepth_Click(int index) {
    if (m_closing || !modGlobals::Device) return;
    RunWaiting([&] {
        if (!m_loop->WriteAverage("301", index))
            modControls::SetComboIndexSilent(cmbAverageDepth, modGlobals::Device->AverageDepth);
    });
}

void frmMain::chkMovingAverage_Click() {
    if (m_closing || !modGlobals::Device) return;
    RunWaiting([&] {
        if (!m_loop->WriteAverage("304", chkMovingAverage->isChecked() ? 1 : 0))
            modControls::SetCheckSilent(chkMovingAverage, modGlobals::Device->MovingAverage);
    });
}

void frmMain::chkRedLaser_Click() {
    if (m_closing) return;
    // Not while the sensor reports a temperature fault: the box clears again.
    if (!m_loop->SetLaser(chkRedLaser->isChecked())) modControls::SetCheckSilent(chkRedLaser, 0);
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

// ---------------------------------------------------------------------------
// Shutdown
// ---------------------------------------------------------------------------

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
    SetStatus(StatusPanel::Files, Text(MonitorText::SettingsNotSaved));
    qWarning("%s: %s", Text(MonitorText::SettingsNotSaved).toLocal8Bit().constData(), modGlobals::SettingsFile.c_str());
}
