// The main window's controls and menus: built once, named as the controls
// they stand for; their captions come from the text ids in their tags.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cmath>

#include "ChartPicture.h"
#include "frmMain.h"
#include "modAPI.h"
#include "modLanguage.h"

void frmMain::BuildControls() {
    auto* central = new QWidget(this);
    central->setObjectName("centralWidget");
    setCentralWidget(central);

    // Measurement frame across the top of the chart.
    fraMeasurement = new QGroupBox(central);
    fraMeasurement->setObjectName("fraMeasurement");
    modLanguage::SetTag(fraMeasurement, 1110);
    Label4 = new QLabel(fraMeasurement);
    Label4->setObjectName("Label4");
    modLanguage::SetTag(Label4, 1111);
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
    modLanguage::SetTag(Label5, 1112);
    lblTemperature = new QLabel(fraMeasurement);
    lblTemperature->setObjectName("lblTemperature");
    Shape = new QFrame(fraMeasurement);
    Shape->setObjectName("Shape");
    Shape->setFixedSize(18, 18);
    chkTempMeasurement = new QCheckBox(fraMeasurement);
    chkTempMeasurement->setObjectName("chkTempMeasurement");
    modLanguage::SetTag(chkTempMeasurement, 1113);
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
    modLanguage::SetTag(fraComport, 1101);
    Label1 = new QLabel(fraComport);
    Label1->setObjectName("Label1");
    modLanguage::SetTag(Label1, 1102);
    cmbComPort = new QComboBox(fraComport);
    cmbComPort->setObjectName("cmbComPort");
    Label2 = new QLabel(fraComport);
    Label2->setObjectName("Label2");
    modLanguage::SetTag(Label2, 1103);
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
    modLanguage::SetTag(fraKOV, 1105);
    Label3 = new QLabel(fraKOV);
    Label3->setObjectName("Label3");
    modLanguage::SetTag(Label3, 1106);
    cmbAverageDepth = new QComboBox(fraKOV);
    cmbAverageDepth->setObjectName("cmbAverageDepth");
    chkMovingAverage = new QCheckBox(fraKOV);
    chkMovingAverage->setObjectName("chkMovingAverage");
    modLanguage::SetTag(chkMovingAverage, 1107);
    chkRedLaser = new QCheckBox(fraKOV);
    chkRedLaser->setObjectName("chkRedLaser");
    modLanguage::SetTag(chkRedLaser, 1109);
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

    // Status bar (StatusPanel): events, files, the clock.
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
        modLanguage::SetTag(a, id);
        return a;
    };
    auto menu = [this](QWidget* parentMenu, const char* name, int id) {
        auto* m = new QMenu(parentMenu);
        m->setObjectName(name);
        modLanguage::SetTag(m, id);
        return m;
    };

    mnuFile = menu(bar, "mnuFile", 1000);
    mnuFileExit = item(mnuFile, "mnuFileExit", 1009);
    bar->addMenu(mnuFile);

    mnuConfiguration = menu(bar, "mnuConfiguration", 1030);
    mnuConfigurationKOV = item(mnuConfiguration, "mnuConfigurationKOV", 1031);
    mnuConfigurationDefault = menu(mnuConfiguration, "mnuConfigurationDefault", 1032);
    mnuConfiguration->addMenu(mnuConfigurationDefault);
    mnuConfigurationDefaultSerial = item(mnuConfigurationDefault, "mnuConfigurationDefaultSerial", 1033);
    mnuConfigurationDefaultProfibus = item(mnuConfigurationDefault, "mnuConfigurationDefaultProfibus", 1034);
    mnuConfigurationDefaultSerial->setCheckable(true);
    mnuConfigurationDefaultProfibus->setCheckable(true);
    bar->addMenu(mnuConfiguration);

    mnuRecorder = bar->addAction(QString());
    mnuRecorder->setObjectName("mnuRecorder");
    modLanguage::SetTag(mnuRecorder, 1039);

    mnuOptions = menu(bar, "mnuOptions", 1040);
    mnuOptionLanguage = menu(mnuOptions, "mnuOptionLanguage", 1042);
    mnuOptions->addMenu(mnuOptionLanguage);
    mnuOptionLanguageDEEN = item(mnuOptionLanguage, "mnuOptionLanguageDEEN", 1043);
    mnuOptionConsole = item(mnuOptions, "mnuOptionConsole", 1045);
    mnuOptionConsole->setCheckable(true);
    bar->addMenu(mnuOptions);

    mnuPopUp = menu(bar, "mnuPopUp", 1061);
    mnuPopUpYscaleSettings = item(mnuPopUp, "mnuPopUpYscaleSettings", 1065);
    mnuPopUp->addSeparator();
    mnuPopupShowZero = item(mnuPopUp, "mnuPopupShowZero", 1062);
    mnuPopupShowZero->setCheckable(true);
    mnuPopupFixedTime = item(mnuPopUp, "mnuPopupFixedTime", kShowIntervalText);
    mnuPopUp->addSeparator();
    mnuPopupHelp = item(mnuPopUp, "mnuPopupHelp", 1069);
    bar->addMenu(mnuPopUp);

    mnuHelp = menu(bar, "mnuHelp", 1050);
    mnuHelpContents = item(mnuHelp, "mnuHelpContents", 1051);
    mnuHelp->addSeparator();
    mnuHelpAbout = item(mnuHelp, "mnuHelpAbout", 1055);
    bar->addMenu(mnuHelp);

    connect(mnuFileExit, &QAction::triggered, this, &QWidget::close);
    connect(mnuConfigurationKOV, &QAction::triggered, this, &frmMain::mnuConfigurationKOV_Click);
    connect(mnuRecorder, &QAction::triggered, this, &frmMain::mnuRecorder_Click);
    connect(mnuConfigurationDefaultSerial, &QAction::triggered, this, &frmMain::mnuConfigurationDefaultSerial_Click);
    connect(mnuConfigurationDefaultProfibus, &QAction::triggered, this,
            &frmMain::mnuConfigurationDefaultProfibus_Click);
    connect(mnuOptionLanguageDEEN, &QAction::triggered, this, &frmMain::mnuOptionLanguageDEEN_Click);
    connect(mnuOptionConsole, &QAction::triggered, this, &frmMain::mnuOptionConsole_Click);
    connect(mnuPopUp, &QMenu::aboutToShow, this, &frmMain::mnuPopUp_Opened);
    connect(mnuPopUpYscaleSettings, &QAction::triggered, this, &frmMain::mnuPopUpYscaleSettings_Click);
    connect(mnuPopupShowZero, &QAction::triggered, this, &frmMain::mnuPopupShowZero_Click);
    connect(mnuPopupFixedTime, &QAction::triggered, this, &frmMain::mnuPopupFixedTime_Click);
    connect(mnuPopupHelp, &QAction::triggered, this, &frmMain::mnuPopupHelp_Click);
    connect(mnuHelpContents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

QSize frmMain::MinimumPixelSize() const {
    const double dpiX = logicalDpiX() > 0 ? logicalDpiX() : 96.0;
    const double dpiY = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    return QSize(modAPI::TwipsToPixels(10935, dpiX), modAPI::TwipsToPixels(6630, dpiY));
}

QString frmMain::LampStyle(std::uint32_t color) {
    const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    return QStringLiteral("QFrame#Shape { background-color: rgb(%1,%2,%3); border: 1px solid black; border-radius: 8px; }")
        .arg(r)
        .arg(g)
        .arg(b);
}
