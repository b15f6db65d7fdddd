#include "frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <exception>

#include "ChartPicture.h"
#include "XYChart.h"
#include "clsChartData.h"
#include "clsConsole.h"
#include "clsFIFO.h"
#include "clsKOV.h"
#include "frmAbout.h"
#include "frmSplash.h"
#include "frmTextWindow.h"
#include "modAPI.h"
#include "modControls.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modHTMLHelp.h"
#include "modIni.h"
#include "modKOVComm.h"
#include "modLanguage.h"

namespace {

constexpr int kTimerInterval = 50;        // ms
constexpr int kChartInterval = 60000;     // ms, one chart window
constexpr double kMsPerDay = 86400000.0;
constexpr std::int32_t kNoEcho = 2147483647;
constexpr std::int32_t kTempError = 2147483632;
constexpr int kRates[6] = {1200, 2400, 4800, 9600, 19200, 38400};
// A wall clock that moves more than this against the real elapsed time has
// been set (daylight-saving change, time correction), not merely been slow.
constexpr double kClockJumpMs = 2000.0;

constexpr std::uint32_t kRed = 255;
constexpr std::uint32_t kYellow = 65535;
constexpr std::uint32_t kGreen = 65280;

QString Text(int id) { return QString::fromStdString(modFunctions::GetText(id)); }
void Tag(QObject* o, int id) { o->setProperty("Tag", QString::number(id)); }

// Runs one statement of the tick; a failure abandons only that statement.
template <typename F>
void Step(F&& f) {
    try {
        f();
    } catch (const std::exception&) {
    } catch (...) {
    }
}

int TwipsToPixels(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

// Number of decimals of the display pattern of a unit.
int UnitDecimals(int unit) {
    switch (unit) {
        case 0: return 0;
        case 1:
        case 2: return 3;
        case 3:
        case 4: return 4;
        default: return 8;
    }
}

QString LampStyle(std::uint32_t color) {
    const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    return QStringLiteral("QFrame#Shape { background-color: rgb(%1,%2,%3); border: 1px solid black; border-radius: 8px; }")
        .arg(r)
        .arg(g)
        .arg(b);
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and load
// ---------------------------------------------------------------------------

frmMain::frmMain(QWidget* parent, bool startTimer) : QMainWindow(parent) {
    setObjectName("frmMain");
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_distances = std::make_unique<clsFIFO>();
    m_times = std::make_unique<clsFIFO>();
    m_timer = new QTimer(this);
    m_timer->setObjectName("Timer");
    m_timer->setInterval(kTimerInterval);
    m_timer->setTimerType(Qt::CoarseTimer);
    connect(m_timer, &QTimer::timeout, this, &frmMain::TimerTick);
    SetMonotonicClock(nullptr);

    BuildControls();
    BuildMenus();
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
    if (msClock) {
        m_msClock = std::move(msClock);
    } else {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_msClock = [timer] { return static_cast<double>(timer->nsecsElapsed()) / 1e6; };
    }
    m_lastMonotonic = -1;
}

void frmMain::BuildControls() {
    auto* central = new QWidget(this);
    central->setObjectName("centralWidget");
    setCentralWidget(central);

    // Measurement frame across the top of the chart.
    fraMeasurement = new QGroupBox(central);
    fraMeasurement->setObjectName("fraMeasurement");
    Tag(fraMeasurement, 1110);
    Label4 = new QLabel(fraMeasurement);
    Label4->setObjectName("Label4");
    Tag(Label4, 1111);
    lblMeasValue = new QLabel(QStringLiteral("##### mm"), fraMeasurement);
    lblMeasValue->setObjectName("lblMeasValue");
    QFont valueFont = lblMeasValue->font();
    valueFont.setPointSize(18);
    valueFont.setBold(true);
    lblMeasValue->setFont(valueFont);
    lblMeasValue->setMinimumHeight(36);
    lblMeasValue->setCursor(Qt::PointingHandCursor);
    lblMeasValue->installEventFilter(this);
    Label5 = new QLabel(fraMeasurement);
    Label5->setObjectName("Label5");
    Tag(Label5, 1112);
    lblTemperature = new QLabel(fraMeasurement);
    lblTemperature->setObjectName("lblTemperature");
    Shape = new QFrame(fraMeasurement);
    Shape->setObjectName("Shape");
    Shape->setFixedSize(18, 18);
    chkTempMeasurement = new QCheckBox(fraMeasurement);
    chkTempMeasurement->setObjectName("chkTempMeasurement");
    Tag(chkTempMeasurement, 1113);
    cmdStart = new QPushButton(QStringLiteral("Start"), fraMeasurement);
    cmdStart->setObjectName("cmdStart");
    cmdSingleValue = new QPushButton(QStringLiteral("Single"), fraMeasurement);
    cmdSingleValue->setObjectName("cmdSingleValue");

    {
        QFont small = chkTempMeasurement->font();
        small.setPointSizeF(small.pointSizeF() * 0.9);
        chkTempMeasurement->setFont(small);
    }
    auto* mLayout = new QGridLayout(fraMeasurement);
    mLayout->addWidget(Label4, 0, 0, 1, 2);
    mLayout->addWidget(Shape, 0, 2, Qt::AlignRight);
    mLayout->addWidget(lblMeasValue, 1, 0, 1, 3);
    mLayout->addWidget(Label5, 2, 0);
    mLayout->addWidget(lblTemperature, 2, 1, 1, 2);
    mLayout->addWidget(chkTempMeasurement, 3, 0, 1, 3);
    mLayout->addWidget(cmdSingleValue, 4, 0);
    mLayout->addWidget(cmdStart, 4, 1, 1, 2);
    mLayout->setColumnStretch(1, 1);

    // The chart.
    m_graph = new ChartPicture(central);
    m_graph->setObjectName("picGraph");
    m_graph->setMinimumSize(100, 100);
    m_graph->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(m_graph, &ChartPicture::MouseDown, this, [this](Qt::MouseButton button, const QPoint&) {
        if (button == Qt::RightButton) mnuPopUp->popup(QCursor::pos());
    });

    // Port settings.
    fraComport = new QGroupBox(central);
    fraComport->setObjectName("fraComport");
    Tag(fraComport, 1101);
    Label1 = new QLabel(fraComport);
    Label1->setObjectName("Label1");
    Tag(Label1, 1102);
    cmbComPort = new QComboBox(fraComport);
    cmbComPort->setObjectName("cmbComPort");
    Label2 = new QLabel(fraComport);
    Label2->setObjectName("Label2");
    Tag(Label2, 1103);
    cmbBaudrate = new QComboBox(fraComport);
    cmbBaudrate->setObjectName("cmbBaudrate");
    auto* cLayout = new QGridLayout(fraComport);
    cLayout->addWidget(Label1, 0, 0);
    cLayout->addWidget(cmbComPort, 0, 1);
    cLayout->addWidget(Label2, 1, 0);
    cLayout->addWidget(cmbBaudrate, 1, 1);
    cLayout->setColumnStretch(1, 1);

    // Sensor options.
    fraKOV = new QGroupBox(central);
    fraKOV->setObjectName("fraKOV");
    Tag(fraKOV, 1105);
    Label3 = new QLabel(fraKOV);
    Label3->setObjectName("Label3");
    Tag(Label3, 1106);
    cmbAverageDepth = new QComboBox(fraKOV);
    cmbAverageDepth->setObjectName("cmbAverageDepth");
    chkMovingAverage = new QCheckBox(fraKOV);
    chkMovingAverage->setObjectName("chkMovingAverage");
    Tag(chkMovingAverage, 1107);
    chkRedLaser = new QCheckBox(fraKOV);
    chkRedLaser->setObjectName("chkRedLaser");
    Tag(chkRedLaser, 1109);
    lblShutDown = new QLabel(QStringLiteral("ShutDown"), fraKOV);
    lblShutDown->setObjectName("lblShutDown");
    lblShutDown->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    auto* kLayout = new QGridLayout(fraKOV);
    kLayout->addWidget(Label3, 0, 0);
    kLayout->addWidget(cmbAverageDepth, 0, 1);
    kLayout->addWidget(chkMovingAverage, 1, 0, 1, 2);
    // The shutdown marker sits beside the red-laser box: shown in a row of its
    // own it made the column taller than the window and squeezed the value
    // label over the temperature line.
    auto* laserRow = new QHBoxLayout;
    laserRow->addWidget(chkRedLaser);
    laserRow->addStretch(1);
    laserRow->addWidget(lblShutDown);
    kLayout->addLayout(laserRow, 2, 0, 1, 2);
    kLayout->setColumnStretch(1, 1);

    // The chart fills the window beside one column of the three frames.
    auto* right = new QVBoxLayout;
    right->addWidget(fraComport);
    right->addWidget(fraMeasurement);
    right->addWidget(fraKOV);
    right->addStretch(1);
    auto* main = new QHBoxLayout(central);
    main->addWidget(m_graph, 1);
    main->addLayout(right, 0);
    for (QGroupBox* frame : {fraComport, fraMeasurement, fraKOV}) frame->setFixedWidth(335);

    // Status bar: panel 1 events, panel 2 free, panel 3 the clock.
    QStatusBar* sbar = statusBar();
    sbar->setObjectName("sbar");
    sbar->setSizeGripEnabled(true);
    for (int i = 0; i < 3; ++i) {
        m_panel[i] = new QLabel(sbar);
        m_panel[i]->setObjectName(QStringLiteral("sbarPanel%1").arg(i + 1));
        m_panel[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    m_panel[2]->setMinimumWidth(80);
    m_panel[2]->setAlignment(Qt::AlignCenter);
    sbar->addWidget(m_panel[0], 1);
    sbar->addPermanentWidget(m_panel[1]);
    sbar->addPermanentWidget(m_panel[2]);

    connect(cmbBaudrate, qOverload<int>(&QComboBox::activated), this, &frmMain::cmbBaudrate_Click);
    connect(cmbComPort, qOverload<int>(&QComboBox::activated), this, &frmMain::cmbComPort_Click);
    connect(cmbAverageDepth, qOverload<int>(&QComboBox::activated), this, &frmMain::cmbAverageDepth_Click);
    connect(chkMovingAverage, &QCheckBox::clicked, this, &frmMain::chkMovingAverage_Click);
    connect(chkRedLaser, &QCheckBox::clicked, this, &frmMain::chkRedLaser_Click);
    connect(cmdStart, &QPushButton::clicked, this, &frmMain::cmdStart_Click);
    connect(cmdSingleValue, &QPushButton::clicked, this, &frmMain::cmdSingleValue_Click);
}

void frmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto item = [this](QMenu* menu, const char* name, int id) {
        auto* a = menu->addAction(QString());
        a->setObjectName(name);
        Tag(a, id);
        return a;
    };
    auto menu = [this](QWidget* parentMenu, const char* name, int id) {
        auto* m = new QMenu(parentMenu);
        m->setObjectName(name);
        Tag(m, id);
        return m;
    };

    mnuFile = menu(bar, "mnuFile", 1000);
    mnuFileExit = item(mnuFile, "mnuFileExit", 1009);
    bar->addMenu(mnuFile);

    mnuConfiguration = menu(bar, "mnuConfiguration", 1030);
    mnuConfigurationKOV = item(mnuConfiguration, "mnuConfigurationKOV", 1031);
    mnuConfigurationKOV->setEnabled(false);  // the configuration dialog is not part of this build yet
    mnuConfigurationDefault = menu(mnuConfiguration, "mnuConfigurationDefault", 1032);
    mnuConfiguration->addMenu(mnuConfigurationDefault);
    mnuConfigurationDefaultSerial = item(mnuConfigurationDefault, "mnuConfigurationDefaultSerial", 1033);
    mnuConfigurationDefaultProfibus = item(mnuConfigurationDefault, "mnuConfigurationDefaultProfibus", 1034);
    mnuConfigurationDefaultSerial->setCheckable(true);
    mnuConfigurationDefaultProfibus->setCheckable(true);
    bar->addMenu(mnuConfiguration);

    mnuRecorder = bar->addAction(QString());
    mnuRecorder->setObjectName("mnuRecorder");
    Tag(mnuRecorder, 1039);
    mnuRecorder->setEnabled(false);  // the recorder window is not part of this build yet

    mnuOptions = menu(bar, "mnuOptions", 1040);
    mnuOptionLanguage = menu(mnuOptions, "mnuOptionLanguage", 1042);
    mnuOptions->addMenu(mnuOptionLanguage);
    mnuOptionLanguageDEEN = item(mnuOptionLanguage, "mnuOptionLanguageDEEN", 1043);
    mnuOptionConsole = item(mnuOptions, "mnuOptionConsole", 1045);
    mnuOptionConsole->setCheckable(true);
    bar->addMenu(mnuOptions);

    mnuPopUp = menu(bar, "mnuPopUp", 1061);
    mnuPopUpYscaleSettings = item(mnuPopUp, "mnuPopUpYscaleSettings", 1065);
    mnuPopUpYscaleSettings->setEnabled(false);  // the chart settings dialog is not part of this build yet
    mnuPopUp->addSeparator();
    mnuPopupShowZero = item(mnuPopUp, "mnuPopupShowZero", 1062);
    mnuPopupShowZero->setCheckable(true);
    mnuPopupFixedTime = item(mnuPopUp, "mnuPopupFixedTime", 1063);
    mnuPopUp->addSeparator();
    mnuPopupHelp = item(mnuPopUp, "mnuPopupHelp", 1069);
    bar->addMenu(mnuPopUp);

    mnuHelp = menu(bar, "mnuHelp", 1050);
    mnuHelpContents = item(mnuHelp, "mnuHelpContents", 1051);
    mnuHelp->addSeparator();
    mnuHelpAbout = item(mnuHelp, "mnuHelpAbout", 1055);
    bar->addMenu(mnuHelp);

    connect(mnuFileExit, &QAction::triggered, this, &QWidget::close);
    connect(mnuConfigurationDefaultSerial, &QAction::triggered, this, &frmMain::mnuConfigurationDefaultSerial_Click);
    connect(mnuConfigurationDefaultProfibus, &QAction::triggered, this,
            &frmMain::mnuConfigurationDefaultProfibus_Click);
    connect(mnuOptionLanguageDEEN, &QAction::triggered, this, &frmMain::mnuOptionLanguageDEEN_Click);
    connect(mnuOptionConsole, &QAction::triggered, this, &frmMain::mnuOptionConsole_Click);
    connect(mnuPopUp, &QMenu::aboutToShow, this, &frmMain::mnuPopUp_Opened);
    connect(mnuPopupShowZero, &QAction::triggered, this, &frmMain::mnuPopupShowZero_Click);
    connect(mnuPopupFixedTime, &QAction::triggered, this, &frmMain::mnuPopupFixedTime_Click);
    connect(mnuPopupHelp, &QAction::triggered, this, &frmMain::mnuPopupHelp_Click);
    connect(mnuHelpContents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
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
    {
        int index = -1;
        for (int i = 0; i < 6; ++i)
            if (kRates[i] == modGlobals::Baudrate) index = i;
        cmbBaudrate->setCurrentIndex(index);
    }
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
    if (!modGlobals::AutoScale) {
        m_chart->SetyMax(0, modGlobals::yMax);
        m_chart->SetyMin(0, modGlobals::yMin);
    }
    m_series = m_chart->GetChart("KOV");
    m_series->Chart = 0;
    m_series->ForeColor = 255;

    modHTMLHelp::SetPopupHelpFile(this);
    m_lastTickTime = modAPI::NowWithMs();
    Step([&] { m_chart->Show(m_lastTickTime); });

    SetLamp(modGlobals::Device ? modGlobals::Device->CommStatus : 0);
    UpdateControls();
    UpdateSingleRequestButton();

    // Smallest window: 10935 x 6630 twips.
    // Never smaller than the controls need, whatever the font.
    setMinimumSize(MinimumPixelSize().expandedTo(minimumSizeHint()));
    resize(minimumSize().expandedTo(sizeHint()));
    m_loaded = true;
}

QSize frmMain::MinimumPixelSize() const {
    const double dpiX = logicalDpiX() > 0 ? logicalDpiX() : 96.0;
    const double dpiY = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    return QSize(TwipsToPixels(10935, dpiX), TwipsToPixels(6630, dpiY));
}

// ---------------------------------------------------------------------------
// The measurement loop
// ---------------------------------------------------------------------------

void frmMain::CheckClockJump(clsKOV& link, double now) {
    const double mono = m_msClock ? m_msClock() : -1;
    if (m_lastMonotonic >= 0 && mono >= 0) {
        const double wallMs = (now - m_lastTickTime) * kMsPerDay;
        const double realMs = mono - m_lastMonotonic;
        const double jumpMs = wallMs - realMs;
        if (std::fabs(jumpMs) > kClockJumpMs) {
            // The wall clock was set. Move every pending deadline and the tick
            // reference with it, so that time-outs, keep-alive, temperature
            // requests and the clock panel go on as if nothing happened.
            const double jump = jumpMs / kMsPerDay;
            link.FailTime += jump;
            link.ReadTempTime += jump;
            m_lastTickTime += jump;
            if (jump < 0) {
                // Points stamped before the jump would lie in the future of the
                // new time axis: start the curve afresh.
                if (modGlobals::RecorderState != 2) ResetChart(0);
            }
        }
    }
    m_lastMonotonic = mono;
}

void frmMain::TimerTick() {
    if (m_unloaded || !modGlobals::Device) return;
    std::shared_ptr<clsKOV> keep = modGlobals::Device;
    clsKOV& link = *keep;

    const double now = modAPI::NowWithMs();
    Step([&] { CheckClockJump(link, now); });
    link.CurrentTime = now;

    bool open = false;
    Step([&] { open = link.PortIsOpen(); });
    if (open) {
        Step([&] { link.ReadComportData(); });
        Step([&] { EchoToConsole(link); });
        Step([&] { link.EvaluateInBuffer(); });
        Step([&] { HandleEvent(link); });
    }
    Step([&] { open = link.PortIsOpen(); });
    if (!open && !m_closing) {
        Step([&] { link.OpenComPort(modGlobals::Comport, modGlobals::Baudrate); });
        if (link.CommStatus == 2) {
            cmdStart->setText(QStringLiteral("Start"));
            lblMeasValue->clear();
            link.CommStatus = 1;
        }
        if (link.PortIsOpen())
            SetStatus(1, QString());
        else
            SetStatus(1, Text(1136) + OpenFailureText(link));
        link.CommStatus = 0;
    }
    Step([&] { SetLamp(link.CommStatus); });
    Step([&] { UpdateControls(); });
    // (The configuration dialog's WindowControl runs here once that dialog exists.)

    Step([&] {
        const double delta = std::nearbyint((link.CurrentTime - m_lastTickTime) * kMsPerDay);
        if (delta > 0) m_elapsed += delta > 1e9 ? 1000000000 : static_cast<std::int32_t>(delta);
        if (m_elapsed >= 500) {
            if (link.CommStatus == 2) Step([&] { m_chart->Show(link.CurrentTime); });
            SetStatus(3, QString::fromStdString(modChartCommon::FormatClock(link.CurrentTime)));
            m_elapsed = 0;
        }
    });
    m_lastTickTime = link.CurrentTime;
    Step([&] { UpdateSingleRequestButton(); });
}

void frmMain::EchoToConsole(const clsKOV& link) {
    if (m_console && mnuOptionConsole->isChecked() && !link.NewInData.empty())
        m_console->WriteOut(link.NewInData);
}

void frmMain::HandleEvent(clsKOV& link) {
    switch (link.EventNr) {
        case -1:
            if (link.OutputMode == 1) break;
            if (link.TempStatus == 0 && modGlobals::Measuring) {
                SetStatus(1, QStringLiteral("TempError"));
                break;
            }
            SetStatus(1, Text(1134));
            if (link.CommStatus == 1) {
                lblTemperature->clear();
                link.CommStatus = 0;
            } else if (link.CommStatus == 2) {
                if (!modGlobals::Measuring) {
                    cmdStart->setText(QStringLiteral("Start"));
                    lblMeasValue->clear();
                }
                link.CommStatus = 1;
            }
            break;
        case 2:
            Step([&] { ShowDistance(link); });
            // (Recording hands the value to the recorder here once it exists.)
            SetStatus(1, Text(1132));
            // The marker is tested on the millimetre value: in the binary formats
            // MeasValue is already divided by the unit factor.
            lblShutDown->setVisible(link.MeasValue_mm == kTempError);
            if (!m_singleActive && chkTempMeasurement->isChecked() && link.CurrentTime >= link.ReadTempTime) {
                link.SendCommand("S");
                link.ReadTempTime = link.CurrentTime + link.ReadTempInterval / kMsPerDay;
                modGlobals::TempRequestPending = true;
            }
            break;
        case 3:
            lblTemperature->setText(QString::fromLatin1(link.sTemperature.c_str()));
            SetStatus(1, Text(1133));
            if (link.CommStatus == 2) {
                link.SendCommand("M");
            } else if (link.CommStatus == 1 && modGlobals::Measuring) {
                cmdStart_Click();
            }
            modGlobals::TempRequestPending = false;
            break;
        case 4:
            modControls::SetComboIndexSilent(cmbAverageDepth, link.AverageDepth);
            modControls::SetCheckSilent(chkMovingAverage, link.MovingAverage);
            modControls::SetCheckSilent(chkRedLaser, link.HWPointer != "off" ? 1 : 0);
            lblShutDown->setVisible(link.HWPointer.find("shutdown") != std::string::npos);
            SetStatus(1, Text(1131));
            break;
        case 7:
            SetStatus(1, Text(1135));
            break;
        default:
            if (link.CommStatus != 0) SetStatus(1, QString());
            break;
    }
}

QString frmMain::OpenFailureText(const clsKOV& link) const {
    const std::string& reason = link.LastOpenError();
    if (reason.empty()) return QString();
    return QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(reason.c_str()));
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
    const std::uint32_t color = commStatus == 2 ? kGreen : commStatus == 1 ? kYellow : kRed;
    if (color == m_lampColor && !Shape->styleSheet().isEmpty()) return;
    m_lampColor = color;
    Shape->setStyleSheet(LampStyle(color));
}

void frmMain::UpdateControls() {
    const bool connected = modGlobals::Device && modGlobals::Device->CommStatus != 0;
    for (QWidget* w : {static_cast<QWidget*>(cmbAverageDepth), static_cast<QWidget*>(chkMovingAverage),
                       static_cast<QWidget*>(chkRedLaser), static_cast<QWidget*>(cmdStart)})
        if (w->isEnabled() != connected) w->setEnabled(connected);
}

void frmMain::UpdateSingleRequestButton() {
    const clsKOV* link = modGlobals::Device.get();
    const bool enable = link && link->OutputMode == 2 && link->CommStatus == 2 && modGlobals::Measuring;
    if (cmdSingleValue->isEnabled() != enable) cmdSingleValue->setEnabled(enable);
}

// ---------------------------------------------------------------------------
// Distance display, chart and auto-scaling
// ---------------------------------------------------------------------------

void frmMain::ShowDistance(clsKOV& link) {
    if (m_unloaded) return;
    ++m_shownCount;
    const std::int32_t mm = link.MeasValue_mm;
    const int unit = link.DistanceUnit;
    const QString unitName = QString::fromStdString(modGlobals::UnitNameOf(unit));
    if (mm == kTempError) {
        lblMeasValue->setText(QStringLiteral("TempError"));
    } else if (mm == kNoEcho || mm == 0) {
        lblMeasValue->setText(QStringLiteral("No Echo"));
    } else {
        QString number = QString::number(link.MeasValue, 'f', UnitDecimals(unit));
        const QChar separator = QLatin1Char(modFunctions::DecimalSeparator());
        number.replace(QLatin1Char('.'), separator);
        if (link.OutputFormat == 0)
            lblMeasValue->setText(number + QStringLiteral(" [") + unitName + QLatin1Char(']'));
        else
            lblMeasValue->setText(number + QLatin1Char(' ') + unitName);
    }

    modGlobals::ValueWindowOpen = frmTextWindow::IsOpen();
    if (modGlobals::ValueWindowOpen && frmTextWindow::Instance()) {
        Step([&] {
            frmTextWindow* window = frmTextWindow::Instance();
            window->ValueText(lblMeasValue->text());
            window->ShowValue();
        });
    }

    Step([&] { m_chart->yScaleText(0)->Caption = "[ " + unitName.toStdString() + " ]"; });
    if (unit != m_lastUnit) {
        if (modGlobals::RecorderState != 2) ResetChart(0);
        // The fixed range is kept in millimetres; the axis shows the sensor's unit.
        if (!modGlobals::AutoScale) {
            const double factor = modGlobals::UnitFactorOf(unit);
            m_chart->SetyMin(0, modGlobals::yMin / factor);
            m_chart->SetyMax(0, modGlobals::yMax / factor);
        }
    }

    const bool zero = mm == 0;
    if (!(zero && !modGlobals::ShowZeroValues) && std::llabs(static_cast<long long>(mm)) < 99999999) {
        m_distances->Add(mm);
        m_times->Add(link.CurrentTime);
        modGlobals::AutoScaleRec.LastValue = mm;
        m_series->AddChartPoint(link.CurrentTime, link.MeasValue);
        if (modGlobals::AutoScale) {
            AutoScaleY(m_chart->TimeInterval() / kMsPerDay);
            const double factor = modGlobals::UnitFactorOf(unit);
            const int axis = modGlobals::AutoScaleRec.Axis;
            m_chart->SetyMin(axis, modGlobals::AutoScaleRec.Minimum / factor);
            m_chart->SetyMax(axis, modGlobals::AutoScaleRec.Maximum / factor);
        }
    }
    m_lastUnit = unit;
}

void frmMain::AutoScaleY(double timeSpanDays) {
    auto& rec = modGlobals::AutoScaleRec;
    const double n = rec.MinHalfSpan;
    const double v = rec.LastValue;
    if (rec.Maximum == 0) {
        rec.Minimum = v - n;
        rec.Maximum = v + n;
        return;
    }
    const double step = (rec.Maximum - rec.Minimum) / n;
    if (rec.Maximum - step < v) {
        rec.Maximum = v + step;
        return;
    }
    if (rec.Minimum + step > v) {
        rec.Minimum = v - step;
        return;
    }
    // Range of the values still visible in the chart window.
    double smallest = 0, largest = 0;
    bool haveSmall = false, haveLarge = false;
    const int count = m_distances->Count();
    if (count > 0) {
        const double newest = m_times->Value(0);
        for (int i = 0; i < count; ++i) {
            if (i > 0 && m_times->Value(i) < newest - timeSpanDays) break;
            const double d = m_distances->Value(i);
            if (d < 1000000 && (!haveSmall || d < smallest)) {
                smallest = d;
                haveSmall = true;
            }
            if (d > -1000000 && (!haveLarge || d > largest)) {
                largest = d;
                haveLarge = true;
            }
        }
    }
    if (rec.Maximum - rec.Minimum <= 2 * n) return;
    if (rec.Minimum + 3 * step < smallest) rec.Minimum = smallest - 2 * step;
    if (rec.Maximum - 3 * step > largest) rec.Maximum = largest + 2 * step;
    if (rec.Maximum - rec.Minimum < 2 * n) {
        const double centre = std::nearbyint((rec.Maximum + rec.Minimum) / 2);
        rec.Minimum = centre - n;
        rec.Maximum = centre + n;
    }
}

void frmMain::ResetChart(int n) {
    if (n <= 0) n = static_cast<int>(std::nearbyint(static_cast<double>(m_chart->TimeInterval()) / kTimerInterval));
    if (n < 1) n = 1;
    m_distances = std::make_unique<clsFIFO>();
    m_distances->Resize(n);
    m_distances->Reset();
    m_times = std::make_unique<clsFIFO>();
    m_times->Resize(n);
    m_times->Reset();
    m_series->InitChartData(n - 1);
    modGlobals::AutoScaleRec.Minimum = 0;
    modGlobals::AutoScaleRec.Maximum = 0;
}

// ---------------------------------------------------------------------------
// Start / Stop and single values
// ---------------------------------------------------------------------------

void frmMain::cmdStart_Click() {
    if (m_closing || !modGlobals::Device) return;
    std::shared_ptr<clsKOV> keep = modGlobals::Device;
    clsKOV& link = *keep;
    if (link.OutputMode == 1) {
        BlockingSingleMeasurement();
        return;
    }
    if (link.CommStatus == 1) {
        SetStatus(1, QString());
        m_chart->SetTimeInterval(kChartInterval);
        if (!modGlobals::Measuring) ResetChart(0);
        modKOVComm::StartContinuous(link);
        link.ReadTempTime = link.CurrentTime + link.ReadTempInterval / kMsPerDay;
        if (link.CommStatus == 2) cmdStart->setText(QStringLiteral("Stop"));
    } else if (link.CommStatus == 2) {
        modKOVComm::StopContinuous(link);
        if (link.CommStatus == 1) {
            cmdStart->setText(QStringLiteral("Start"));
            lblMeasValue->clear();
        }
    }
    modGlobals::Measuring = link.CommStatus == 2;
    // (The recorder's record button follows the measuring flag once the recorder exists.)
}

void frmMain::BlockingSingleMeasurement() {
    std::shared_ptr<clsKOV> keep = modGlobals::Device;
    clsKOV& link = *keep;
    if (!link.PortIsOpen() || m_singleActive) return;

    // In output mode "Single" the sensor answers "M" with one value. The decoder
    // reads distances only while it believes a measurement runs, so it is told
    // so for the duration of this request; afterwards the link is idle again
    // and the keep-alive resumes.
    const std::int32_t statusBefore = link.CommStatus;
    m_singleActive = true;
    ++m_waitDepth;
    const std::uint64_t shownBefore = m_shownCount;
    link.CommStatus = 2;
    link.SendCommand("M");
    for (int attempt = 0; attempt < 41 && !m_closing; ++attempt) {
        link.CurrentTime = modAPI::NowWithMs();
        Step([&] { link.ReadComportData(); });
        Step([&] { EchoToConsole(link); });
        Step([&] { link.EvaluateInBuffer(); });
        if (link.EventNr == 2) {
            Step([&] { ShowDistance(link); });
            SetStatus(1, Text(1132));
            break;
        }
        if (m_shownCount != shownBefore) break;  // a tick took the reply meanwhile
        if (!WaitWithEvents(100)) break;
        if (m_shownCount != shownBefore) break;
    }
    --m_waitDepth;
    m_singleActive = false;
    if (!m_unloaded && modGlobals::Device == keep && link.CommStatus == 2) {
        link.CommStatus = statusBefore == 0 ? 0 : 1;
        link.LastCommand.clear();
        link.InBuffer.clear();
        link.FailTime = link.CurrentTime;  // keep-alive "T" at the next tick
    }
    if (m_closing && m_waitDepth == 0 && !m_unloaded) Unload();
}

void frmMain::cmdSingleValue_Click() {
    if (m_closing || !modGlobals::Device) return;
    clsKOV& link = *modGlobals::Device;
    if (link.OutputMode == 1 || link.OutputMode == 2) link.SendCommand("G");
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

// ---------------------------------------------------------------------------
// Control handlers
// ---------------------------------------------------------------------------

void frmMain::cmbBaudrate_Click(int index) {
    if (index < 0 || index > 5 || !modGlobals::Device) return;
    modGlobals::Baudrate = kRates[index];
    clsKOV& link = *modGlobals::Device;
    if (link.CommBaudrate() != modGlobals::Baudrate) link.CommBaudrate(modGlobals::Baudrate);
}

void frmMain::cmbComPort_Click(int index) {
    if (index < 0 || !modGlobals::Device) return;
    modGlobals::Comport = index + 1;
    clsKOV& link = *modGlobals::Device;
    if (link.CommComPort() != modGlobals::Comport || !link.PortIsOpen()) {
        link.CloseComPort();
        link.OpenComPort(modGlobals::Comport, modGlobals::Baudrate);
    }
}

void frmMain::WriteAverageParameter(const char* code) {
    std::shared_ptr<clsKOV> keep = modGlobals::Device;
    clsKOV& link = *keep;
    const bool wasMeasuring = link.CommStatus == 2;
    if (wasMeasuring) modKOVComm::StopContinuous(link);
    ++m_waitDepth;
    modKOVComm::WriteParameter(link, code);
    --m_waitDepth;
    if (m_closing) {
        if (m_waitDepth == 0 && !m_unloaded) Unload();
        return;
    }
    if (wasMeasuring) modKOVComm::StartContinuous(link);
}

void frmMain::cmbAverageDepth_Click(int index) {
    if (m_closing || !modGlobals::Device) return;
    clsKOV& link = *modGlobals::Device;
    if (link.CommStatus == 0 || index == link.AverageDepth) return;
    link.AverageDepth = index;
    WriteAverageParameter("301");
}

void frmMain::chkMovingAverage_Click() {
    if (m_closing || !modGlobals::Device) return;
    clsKOV& link = *modGlobals::Device;
    const int value = chkMovingAverage->isChecked() ? 1 : 0;
    if (link.CommStatus == 0 || value == link.MovingAverage) return;
    link.MovingAverage = value;
    WriteAverageParameter("304");
}

void frmMain::chkRedLaser_Click() {
    if (m_closing || !modGlobals::Device) return;
    clsKOV& link = *modGlobals::Device;
    if (link.CommStatus == 0) return;
    const bool checked = chkRedLaser->isChecked();
    const char* command = nullptr;
    if (link.TempStatus != 1) {
        // The marker laser cannot be switched on while the sensor reports a
        // temperature fault; switching it off is always allowed.
        if (checked) {
            modControls::SetCheckSilent(chkRedLaser, 0);
            return;
        }
        command = "O";
    } else {
        command = checked ? "P" : "O";
    }
    const bool wasMeasuring = link.CommStatus == 2;
    if (wasMeasuring) modKOVComm::StopContinuous(link);
    link.SendCommand(command);
    if (wasMeasuring) modKOVComm::StartContinuous(link);
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

void frmMain::mnuPopUp_Opened() { mnuPopupShowZero->setChecked(modGlobals::ShowZeroValues); }

void frmMain::mnuPopupShowZero_Click() {
    modGlobals::ShowZeroValues = !modGlobals::ShowZeroValues;
    mnuPopupShowZero->setChecked(modGlobals::ShowZeroValues);
    // (The chart settings dialog refreshes here once it exists.)
}

void frmMain::mnuPopupFixedTime_Click() {
    const bool clock = m_chart->IsTimeScale() == 0;
    m_chart->SetIsTimeScale(clock ? 1 : 0);
    mnuPopupFixedTime->setText(Text(clock ? 1063 : 1064));
    if (!modGlobals::Measuring) Step([&] { m_chart->Show(m_chart->Xmax()); });
}

void frmMain::mnuPopupHelp_Click() { modHTMLHelp::ShowMainHelp(this); }
void frmMain::mnuHelpContents_Click() { modHTMLHelp::ShowContents(this); }

void frmMain::mnuHelpAbout_Click() {
    frmAbout::ShowAbout(this);
}

void frmMain::mnuOptionLanguageDEEN_Click() {
    modFunctions::SetLanguageOffset(modFunctions::LanguageOffset() == 0 ? 1000 : 0);
    ApplyTexts();
    modHTMLHelp::SetPopupHelpFile(this);
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

void frmMain::mnuConfigurationDefaultSerial_Click() {
    modGlobals::DefaultDevice = "Serial";
    mnuConfigurationDefaultSerial->setChecked(true);
    mnuConfigurationDefaultProfibus->setChecked(false);
}

void frmMain::mnuConfigurationDefaultProfibus_Click() {
    modGlobals::DefaultDevice = "Profibus";
    mnuConfigurationDefaultProfibus->setChecked(true);
    mnuConfigurationDefaultSerial->setChecked(false);
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
    if (!(m_chart->Xmin() > 0)) Step([&] { m_chart->Show(modAPI::NowWithMs()); });
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_chart && !m_unloaded && !(m_chart->Xmin() > 0)) Step([&] { m_chart->Show(modAPI::NowWithMs()); });
}

void frmMain::closeEvent(QCloseEvent* event) {
    // Before unloading: stop the loop and close the port. Any wait in progress
    // sees the closing flag and ends; the rest of the unload runs when the
    // outermost wait has returned.
    m_closing = true;
    if (modGlobals::Device) modKOVComm::SetClosing(true);
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
    if (m_console) {
        m_console->CloseConsole();
        m_console.reset();
    }
    frmTextWindow::Unload();
    m_distances.reset();
    m_times.reset();
    modHTMLHelp::CloseHelp();
    modIni::Release();
}
