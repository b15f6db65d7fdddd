#include "frmKOV.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ConfigStoreUi.h"
#include "MonitorLoop.h"
#include "clsConfigStore.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modConfigFields.h"
#include "modConfigList.h"
#include "modControls.h"
#include "modFunctions.h"
#include "modHTMLHelp.h"
#include "modKOVComm.h"
#include "modLanguage.h"

namespace Comm = modKOVComm::Comm;
namespace Event = modKOVComm::Event;
namespace Field = modConfigFields::Field;
using modLanguage::Text;

namespace {

// Texts of the dialog (German ids).
constexpr int kTitle = 1200;
constexpr int kDeviceEntry = 1265;
constexpr int kNegative = 1261;
constexpr int kPositive = 1262;
constexpr int kPrintDirect = 1323;

// The longest wait for an interleaved temperature request before the first
// download: the stop's deadline (2 s) and the temperature's (1.5 s) with room
// to spare. A sensor that went silent meanwhile is not waited for longer.
constexpr double kStartWaitMs = 5000;
// How often the dialog looks whether the program is closing.
constexpr int kWatchMs = 100;

QColor ColorOf(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

void SetTextColor(QWidget* widget, QPalette::ColorRole role, std::uint32_t bgr) {
    QPalette palette = widget->palette();
    palette.setColor(role, ColorOf(bgr));
    widget->setPalette(palette);
}

QString Latin1(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<int>(text.size())); }

frmKOV::QuestionFunction& Question() {
    static frmKOV::QuestionFunction ask;
    return ask;
}

// Owner-less helpers for building the controls.
template <typename T>
T* Named(QWidget* parent, const char* name, int tag = 0) {
    auto* w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    if (tag > 0) modLanguage::SetTag(w, tag);
    return w;
}

QLabel* Fixed(QWidget* parent, const QString& text) { return new QLabel(text, parent); }

}  // namespace

// ---------------------------------------------------------------------------
// Opening and closing
// ---------------------------------------------------------------------------

int frmKOV::ShowDialog(QWidget* parent, MonitorLoop& loop, ConfigList& list, std::vector<std::string>& unloaded,
                       clsIni& settings, const std::string& defaultDevice) {
    frmKOV dialog(parent, loop, list, defaultDevice);
    dialog.AttachStore(unloaded, settings, modAPI::ProgramFolder());
    // The first download runs once the dialog is on the screen.
    QTimer::singleShot(0, &dialog, &frmKOV::StartUp);
    return dialog.exec();
}

int frmKOV::ShowDialog(QWidget* parent, MonitorLoop& loop, ConfigList& list, const std::string& defaultDevice) {
    frmKOV dialog(parent, loop, list, defaultDevice);
    // The first download runs once the dialog is on the screen.
    QTimer::singleShot(0, &dialog, &frmKOV::StartUp);
    return dialog.exec();
}

frmKOV::frmKOV(QWidget* parent, MonitorLoop& loop, ConfigList& list, std::string defaultDevice)
    : QDialog(parent),
      m_loop(loop),
      m_list(list),
      m_defaultDevice(std::move(defaultDevice)),
      m_folder(modAPI::ProgramFolder()) {
    setObjectName("frmKOV");
    modLanguage::SetTag(this, kTitle);
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    for (const ConfigEntry& entry : m_list) {
        if (entry.first == "Device" && entry.second) m_device = entry.second;
    }
    if (!m_device && !m_list.empty()) m_device = m_list.front().second;
    m_transfer = std::make_unique<clsConfigTransfer>(m_device ? m_device : std::make_shared<clsKOV>(),
                                                     static_cast<TransferHost&>(*this));

    BuildControls();
    modControls::PlainTextLabels(this);

    // Load: texts, lists, the configuration list, popup help.
    ApplyTexts();
    FillLists();
    FillConfigList();
    modHTMLHelp::SetPopupHelpFile(this);
    modHTMLHelp::SetHelpPage(this, QStringLiteral("KOVSettings"));

    m_tickListener = m_loop.AddTickListener([this](clsKOV& link) { WindowControl(link); });
    m_watchdog = new QTimer(this);
    m_watchdog->setInterval(kWatchMs);
    connect(m_watchdog, &QTimer::timeout, this, &frmKOV::WatchClosing);
    m_watchdog->start();
}

frmKOV::~frmKOV() {
    if (m_tickListener) m_loop.RemoveTickListener(m_tickListener);
    m_tickListener = 0;
}

void frmKOV::AttachStore(std::vector<std::string>& unloaded, clsIni& settings, const std::string& folder) {
    m_folder = folder;
    m_store = std::make_unique<clsConfigStore>(m_list, unloaded, settings, folder);
    cmdSave->setEnabled(true);
    cmdLoad->setEnabled(true);
    UpdateDeleteButton();
}

bool frmKOV::ProgramClosing() const { return m_loop.Closing() || modKOVComm::Closing(); }

void frmKOV::WatchClosing() {
    if (!ProgramClosing()) return;
    if (m_question) m_question->done(QMessageBox::Abort);
    RequestClose();
}

void frmKOV::RequestClose() {
    if (Busy()) {
        // Inside a transfer: it sees the request, ends its wait, and the
        // dialog closes when it has returned.
        m_closeRequested = true;
        return;
    }
    done(QDialog::Rejected);
}

void frmKOV::FinishPendingClose() {
    if (!m_closeRequested && !ProgramClosing()) return;
    if (Busy()) return;
    m_closeRequested = false;
    done(QDialog::Rejected);
}

void frmKOV::reject() { RequestClose(); }

void frmKOV::done(int result) {
    if (m_tickListener) m_loop.RemoveTickListener(m_tickListener);
    m_tickListener = 0;
    if (m_watchdog) m_watchdog->stop();
    QDialog::done(result);
}

void frmKOV::cmdClose_Click() { RequestClose(); }

void frmKOV::cmdHelp_Click() { modHTMLHelp::ShowSettingsHelp(this); }

bool frmKOV::Busy() const { return m_startingUp || m_transfer->TransferBusy(); }

bool frmKOV::CancelRequested() { return m_closeRequested || ProgramClosing(); }

// ---------------------------------------------------------------------------
// Controls
// ---------------------------------------------------------------------------

void frmKOV::BuildControls() {
    // Selection of the configuration, its source and the sensor's identity.
    fraConfig = Named<QGroupBox>(this, "fraConfig", 1201);
    Label4 = Named<QLabel>(fraConfig, "Label4", 1202);
    cmbConfig = Named<QComboBox>(fraConfig, "cmbConfig");
    Label5 = Named<QLabel>(fraConfig, "Label5", 1203);
    lblSource = Named<QLabel>(fraConfig, "lblSource");
    lblSource->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdLoad = Named<QPushButton>(fraConfig, "cmdLoad", 1204);
    cmdSave = Named<QPushButton>(fraConfig, "cmdSave", 1205);
    cmdDelete = Named<QPushButton>(fraConfig, "cmdDelete", 1206);
    // Without the store (AttachStore) the list cannot be changed.
    for (QPushButton* b : {cmdLoad, cmdSave, cmdDelete}) b->setEnabled(false);
    lblSerialNo = Named<QLabel>(fraConfig, "lblSerialNo");
    lblSWVersion = Named<QLabel>(fraConfig, "lblSWVersion");
    lblSWBuild = Named<QLabel>(fraConfig, "lblSWBuild");
    lblDeviceType = Named<QLabel>(fraConfig, "lblDeviceType");
    lblSWDate = Named<QLabel>(fraConfig, "lblSWDate");
    {
        auto* grid = new QGridLayout(fraConfig);
        grid->addWidget(Label4, 0, 0);
        grid->addWidget(cmbConfig, 0, 1, 1, 3);
        auto* store = new QHBoxLayout;
        store->addWidget(cmdLoad);
        store->addWidget(cmdSave);
        store->addWidget(cmdDelete);
        store->addStretch(1);
        grid->addLayout(store, 0, 4, 1, 6);
        grid->addWidget(Label5, 1, 0);
        grid->addWidget(lblSource, 1, 1, 1, 9);
        grid->addWidget(Fixed(fraConfig, QStringLiteral("Serial-No:")), 2, 0);
        grid->addWidget(lblSerialNo, 2, 1);
        grid->addWidget(Fixed(fraConfig, QStringLiteral("Version:")), 2, 2);
        grid->addWidget(lblSWVersion, 2, 3);
        grid->addWidget(Fixed(fraConfig, QStringLiteral("Build:")), 2, 4);
        grid->addWidget(lblSWBuild, 2, 5);
        grid->addWidget(Fixed(fraConfig, QStringLiteral("Type:")), 2, 6);
        grid->addWidget(lblDeviceType, 2, 7);
        grid->addWidget(Fixed(fraConfig, QStringLiteral("Date:")), 2, 8);
        grid->addWidget(lblSWDate, 2, 9);
        grid->setColumnStretch(3, 1);
        grid->setColumnStretch(9, 1);
    }

    for (int i = 0; i < modConfigFields::FieldCount; ++i) {
        const QString name = QStringLiteral("txtParameter_%1").arg(i);
        auto* field = new QLineEdit(this);
        field->setObjectName(name);
        field->setProperty("Index", i);
        field->setMaxLength(16);
        field->installEventFilter(this);
        m_txtParameter[static_cast<std::size_t>(i)] = field;
        auto* caption = new QLabel(this);
        caption->setObjectName(QStringLiteral("lblParameter_%1").arg(i));
        lblParameter[static_cast<std::size_t>(i)] = caption;
    }
    const int fieldTags[15] = {1231, 1232, 1233, 1234, 1252, 1253, 1256, 1257,
                               1242, 1243, 1218, 1302, 1303, 1304, 1305};
    for (int i = 0; i < 15; ++i) modLanguage::SetTag(lblParameter[static_cast<std::size_t>(i)], fieldTags[i]);
    const char* units[9] = {"[ mm ]", "[ \u00b0C ]", "[ hPa ]", "[mm]", "[mm]", "[mm]", "[mm]", "[mm]", "[mm]"};
    for (int i = 0; i < 9; ++i) {
        auto* unit = new QLabel(QString::fromUtf8(units[i]), this);
        unit->setObjectName(QStringLiteral("lblUnit_%1").arg(i));
        lblUnit[static_cast<std::size_t>(i)] = unit;
    }
    auto fieldRow = [this](QGridLayout* grid, int row, int index, int unit) {
        QWidget* parent = grid->parentWidget();
        lblParameter[static_cast<std::size_t>(index)]->setParent(parent);
        m_txtParameter[static_cast<std::size_t>(index)]->setParent(parent);
        grid->addWidget(lblParameter[static_cast<std::size_t>(index)], row, 0);
        grid->addWidget(m_txtParameter[static_cast<std::size_t>(index)], row, 1);
        if (unit >= 0) {
            lblUnit[static_cast<std::size_t>(unit)]->setParent(parent);
            grid->addWidget(lblUnit[static_cast<std::size_t>(unit)], row, 2);
        }
    };

    // Interface: speed, output, unit, Profibus address.
    fraData[0] = Named<QGroupBox>(this, "fraData_0");
    cmbBaudrate = Named<QComboBox>(fraData[0], "cmbBaudrate");
    cmbOutputMode = Named<QComboBox>(fraData[0], "cmbOutputMode");
    cmbOutputFormat = Named<QComboBox>(fraData[0], "cmbOutputFormat");
    cmbDistanceUnit = Named<QComboBox>(fraData[0], "cmbDistanceUnit");
    {
        auto* grid = new QGridLayout(fraData[0]);
        grid->addWidget(Named<QLabel>(fraData[0], "lblBaudrate", 1211), 0, 0);
        grid->addWidget(cmbBaudrate, 0, 1, 1, 2);
        grid->addWidget(Named<QLabel>(fraData[0], "lblOutputMode", 1212), 1, 0);
        grid->addWidget(cmbOutputMode, 1, 1, 1, 2);
        grid->addWidget(Named<QLabel>(fraData[0], "lblOutputFormat", 1213), 2, 0);
        grid->addWidget(cmbOutputFormat, 2, 1, 1, 2);
        grid->addWidget(Named<QLabel>(fraData[0], "lblDistanceUnit", 1214), 3, 0);
        grid->addWidget(cmbDistanceUnit, 3, 1, 1, 2);
        fieldRow(grid, 4, Field::NodeAddress, -1);
        grid->setRowStretch(5, 1);
    }

    // Measurement: averaging, checks, offset, scale, air, rain filter.
    fraData[1] = Named<QGroupBox>(this, "fraData_1");
    cmbAverageDepth = Named<QComboBox>(fraData[1], "cmbAverageDepth");
    cmbTimeOut = Named<QComboBox>(fraData[1], "cmbTimeOut");
    chkMovingAverage = Named<QCheckBox>(fraData[1], "chkMovingAverage", 1223);
    chkAutostart = Named<QCheckBox>(fraData[1], "chkAutostart", 1224);
    chkEchoCheck = Named<QCheckBox>(fraData[1], "chkEchoCheck", 1225);
    chkBlanking = Named<QCheckBox>(fraData[1], "chkBlanking", 1226);
    {
        auto* outer = new QVBoxLayout(fraData[1]);
        auto* grid = new QGridLayout;
        outer->addLayout(grid);
        grid->addWidget(Named<QLabel>(fraData[1], "lblAverageDepth", 1221), 0, 0);
        grid->addWidget(cmbAverageDepth, 0, 1, 1, 2);
        grid->addWidget(Named<QLabel>(fraData[1], "lblTimeOut", 1222), 1, 0);
        grid->addWidget(cmbTimeOut, 1, 1, 1, 2);
        grid->addWidget(chkMovingAverage, 2, 0, 1, 3);
        grid->addWidget(chkAutostart, 3, 0, 1, 3);
        grid->addWidget(chkEchoCheck, 4, 0, 1, 3);
        grid->addWidget(chkBlanking, 5, 0, 1, 3);
        // (the grid's parent widget is the frame once the layout is installed)
        auto row = [&](int r, int index, int unit) {
            grid->addWidget(lblParameter[static_cast<std::size_t>(index)], r, 0);
            grid->addWidget(m_txtParameter[static_cast<std::size_t>(index)], r, 1);
            if (unit >= 0) grid->addWidget(lblUnit[static_cast<std::size_t>(unit)], r, 2);
        };
        row(6, Field::Offset, 0);
        row(7, Field::ScaleFactor, -1);
        row(8, Field::Temperature, 1);
        row(9, Field::AirPressure, 2);

        fraRainFilter = Named<QWidget>(fraData[1], "fraRainFilter");
        cmbRainFilter = Named<QComboBox>(fraRainFilter, "cmbRainFilter");
        auto* rain = new QGridLayout(fraRainFilter);
        rain->setContentsMargins(0, 0, 0, 0);
        rain->addWidget(Named<QLabel>(fraRainFilter, "lblRainFilter", 1301), 0, 0);
        rain->addWidget(cmbRainFilter, 0, 1);
        for (int i = Field::DistanceWindow; i <= Field::MeasValid; ++i) {
            rain->addWidget(lblParameter[static_cast<std::size_t>(i)], i - Field::DistanceWindow + 1, 0);
            rain->addWidget(m_txtParameter[static_cast<std::size_t>(i)], i - Field::DistanceWindow + 1, 1);
        }
        outer->addWidget(fraRainFilter);
        outer->addStretch(1);
    }

    // Outputs: analog output and the switching outputs Q1 and Q2.
    fraData[2] = Named<QGroupBox>(this, "fraData_2");
    chkAnalogOutput = Named<QCheckBox>(fraData[2], "chkAnalogOutput", 1241);
    cmbS2Logic = Named<QComboBox>(fraData[2], "cmbS2Logic");
    lblS2LogicList = Named<QLabel>(fraData[2], "lblS2LogicList", 1244);
    lblS1LogicCaption = Named<QLabel>(fraData[2], "lblS1LogicCaption", 1251);
    lblS1Logic = Named<QLabel>(fraData[2], "lblS1Logic");
    lblS2LogicCaption = Named<QLabel>(fraData[2], "lblS2LogicCaption", 1255);
    lblS2Logic = Named<QLabel>(fraData[2], "lblS2Logic");
    {
        auto* grid = new QGridLayout(fraData[2]);
        grid->addWidget(chkAnalogOutput, 0, 0, 1, 3);
        fieldRow(grid, 1, Field::AnalogMin, 7);
        fieldRow(grid, 2, Field::AnalogMax, 8);
        grid->addWidget(lblS2LogicList, 3, 0);
        grid->addWidget(cmbS2Logic, 3, 1, 1, 2);
        grid->addWidget(lblS1LogicCaption, 4, 0);
        grid->addWidget(lblS1Logic, 4, 1, 1, 2);
        fieldRow(grid, 5, Field::S1On, 3);
        fieldRow(grid, 6, Field::S1Off, 4);
        grid->addWidget(lblS2LogicCaption, 7, 0);
        grid->addWidget(lblS2Logic, 7, 1, 1, 2);
        fieldRow(grid, 8, Field::S2On, 5);
        fieldRow(grid, 9, Field::S2Off, 6);
        grid->setRowStretch(10, 1);
    }

    // Status and buttons.
    lblStatus = Named<QLabel>(this, "lblStatus");
    lblStatus->setAutoFillBackground(false);
    cmdDownload = Named<QPushButton>(this, "cmdDownload", 1209);
    cmdUpload = Named<QPushButton>(this, "cmdUpload", 1208);
    cmdSaveSettings = Named<QPushButton>(this, "cmdSaveSettings", 1210);
    cmdSetDefaults = Named<QPushButton>(this, "cmdSetDefaults", 1207);
    cmdPrint = Named<QPushButton>(this, "cmdPrint", 1099);
    cmdPrintDirect = Named<QPushButton>(this, "cmdPrintDirect", kPrintDirect);
    cmdHelp = Named<QPushButton>(this, "cmdHelp", 1094);
    cmdClose = Named<QPushButton>(this, "cmdClose", 1098);
    for (QPushButton* b : {cmdDownload, cmdUpload, cmdSaveSettings, cmdSetDefaults, cmdLoad, cmdSave, cmdDelete,
                           cmdPrint, cmdPrintDirect, cmdHelp, cmdClose}) {
        // Enter in a field checks the field; it never starts a transfer.
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    SetTransferButtons(false);

    auto* data = new QHBoxLayout;
    data->addWidget(fraData[0], 0, Qt::AlignTop);
    data->addWidget(fraData[1], 0, Qt::AlignTop);
    data->addWidget(fraData[2], 0, Qt::AlignTop);

    auto* status = new QHBoxLayout;
    status->addWidget(Fixed(this, QStringLiteral("Status:")));
    status->addWidget(lblStatus, 1);

    auto* transfers = new QHBoxLayout;
    transfers->addWidget(cmdDownload);
    transfers->addWidget(cmdUpload);
    transfers->addWidget(cmdSaveSettings);
    transfers->addWidget(cmdSetDefaults);
    transfers->addStretch(1);
    transfers->addWidget(cmdPrint);
    transfers->addWidget(cmdPrintDirect);
    transfers->addWidget(cmdHelp);
    transfers->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraConfig);
    layout->addLayout(data);
    layout->addStretch(1);
    layout->addLayout(status);
    layout->addLayout(transfers);

    connect(cmbConfig, qOverload<int>(&QComboBox::currentIndexChanged), this, &frmKOV::cmbConfig_Click);
    connect(cmbRainFilter, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { cmbRainFilter_Click(); });
    connect(chkAnalogOutput, &QCheckBox::toggled, this, [this] { chkAnalogOutput_Click(); });
    connect(cmdDownload, &QPushButton::clicked, this, &frmKOV::cmdDownload_Click);
    connect(cmdUpload, &QPushButton::clicked, this, &frmKOV::cmdUpload_Click);
    connect(cmdSaveSettings, &QPushButton::clicked, this, &frmKOV::cmdSaveSettings_Click);
    connect(cmdSetDefaults, &QPushButton::clicked, this, &frmKOV::cmdSetDefaults_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmKOV::cmdHelp_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmKOV::cmdSave_Click);
    connect(cmdLoad, &QPushButton::clicked, this, &frmKOV::cmdLoad_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmKOV::cmdDelete_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &frmKOV::cmdPrint_Click);
    connect(cmdPrintDirect, &QPushButton::clicked, this, &frmKOV::cmdPrintDirect_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmKOV::cmdClose_Click);
}

QLineEdit* frmKOV::txtParameter(int index) const {
    return index >= 0 && index < modConfigFields::FieldCount ? m_txtParameter[static_cast<std::size_t>(index)]
                                                             : nullptr;
}

void frmKOV::ApplyTexts() {
    modLanguage::ApplyLanguage(this);
    m_appliedOffset = modFunctions::LanguageOffset();
    if (cmbS2Logic->count() == 2) {
        cmbS2Logic->setItemText(0, Text(kNegative));
        cmbS2Logic->setItemText(1, Text(kPositive));
    }
    const std::vector<std::string> items = modConfigList::ItemTexts(m_list);
    for (std::size_t i = 0; i < items.size() && static_cast<int>(i) < cmbConfig->count(); ++i) {
        const bool device = m_list[i].second && m_list[i].second == m_device;
        cmbConfig->setItemText(static_cast<int>(i), device ? Text(kDeviceEntry) : QString::fromStdString(items[i]));
    }
    ShowLogic();
    lblStatus->setText(m_statusId ? Text(m_statusId) : QString());
    modHTMLHelp::SetPopupHelpFile(this);
}

void frmKOV::FillLists() {
    auto fill = [](QComboBox* list, const QStringList& items) {
        const int selected = list->currentIndex();
        const QSignalBlocker block(list);
        list->clear();
        list->addItems(items);
        list->setCurrentIndex(selected < list->count() ? selected : -1);
    };
    auto ids = [](int first, int last) {
        QStringList items;
        for (int id = first; id <= last; ++id) items << Text(id);
        return items;
    };
    fill(cmbBaudrate, ids(820, 825));
    fill(cmbDistanceUnit, ids(810, 816));
    fill(cmbOutputFormat, ids(800, 803));
    fill(cmbOutputMode, {QStringLiteral("Continuous"), QStringLiteral("Single"), QStringLiteral("On Request")});
    fill(cmbAverageDepth, ids(830, 834));
    fill(cmbTimeOut, ids(840, 844));
    // "PIXEL" too: a sensor in that mode shows it instead of no selection.
    fill(cmbRainFilter, ids(850, 852));
    fill(cmbS2Logic, {Text(kNegative), Text(kPositive)});
}

void frmKOV::FillConfigList() {
    const QSignalBlocker block(cmbConfig);
    cmbConfig->clear();
    const std::vector<std::string> items = modConfigList::ItemTexts(m_list);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const bool device = !m_list[i].second || m_list[i].second == m_device;
        cmbConfig->addItem(device ? Text(kDeviceEntry) : QString::fromStdString(items[i]));
    }
    cmbConfig->setCurrentIndex(-1);
}

// ---------------------------------------------------------------------------
// Showing a configuration
// ---------------------------------------------------------------------------

void frmKOV::cmbConfig_Click(int index) {
    m_current = index >= 0 && static_cast<std::size_t>(index) < m_list.size()
                    ? m_list[static_cast<std::size_t>(index)].second
                    : nullptr;
    if (index == 0 && m_current && !modKOVComm::ConfigurationRead) {
        // No configuration block from the sensor yet: show the kind of device
        // the user has chosen as the default.
        if (m_defaultDevice == "Serial") {
            m_current->DeviceType = "Serial";
            m_current->NodeAddress = -1;
        } else {
            m_current->DeviceType = "Profibus";
            m_current->NodeAddress = 0;
        }
    }
    ShowConfig(m_current.get());
}

void frmKOV::ShowLogic() {
    lblS1Logic->setText(m_logicQ1 < 0 ? QString() : Text(m_logicQ1 != 0 ? kPositive : kNegative));
    lblS2Logic->setText(m_logicQ2 < 0 ? QString() : Text(m_logicQ2 != 0 ? kPositive : kNegative));
}

void frmKOV::SetFieldColor(int index, std::uint32_t color) {
    QLineEdit* field = txtParameter(index);
    if (!field) return;
    field->setProperty("TextColor", static_cast<uint>(color));
    SetTextColor(field, QPalette::Text, color);
}

std::uint32_t frmKOV::FieldColor(int index) const {
    const QLineEdit* field = txtParameter(index);
    return field ? field->property("TextColor").toUInt() : 0;
}

void frmKOV::SetRainFilterShown(bool shown) {
    // With a rain filter the measurement frame reaches down as far as the
    // outputs frame; without one it ends above the rain filter list.
    fraRainFilter->setVisible(shown);
    fraData[1]->setMinimumHeight(0);
    fraData[2]->setMinimumHeight(0);
    if (shown) {
        const int height = std::max(fraData[1]->sizeHint().height(), fraData[2]->sizeHint().height());
        fraData[1]->setMinimumHeight(height);
        fraData[2]->setMinimumHeight(height);
    }
}

void frmKOV::ShowConfig(const clsKOV* c) {
    if (!c) {
        ClearConfig();
        return;
    }
    // (A field refused by the last apply stays red: it tells the user that
    // the value shown now is not the one typed.)
    const bool serial = c->NodeAddress < 0;

    // Description and file name are UTF-8; the identity is the sensor's bytes.
    lblSource->setText(QString::fromStdString(modConfigList::SourceText(*c)));
    lblSerialNo->setText(Latin1(c->SerialNo));
    lblSWVersion->setText(Latin1(c->SWVersion));
    lblSWBuild->setText(Latin1(c->SWBuild));
    lblSWDate->setText(Latin1(c->SWDate));
    lblDeviceType->setText(Latin1(c->DeviceType));
    modControls::SetComboIndexSilent(cmbBaudrate, c->Baudrate);
    modControls::SetComboIndexSilent(cmbDistanceUnit, c->DistanceUnit);
    modControls::SetComboIndexSilent(cmbOutputFormat, c->OutputFormat);
    modControls::SetComboIndexSilent(cmbOutputMode, c->OutputMode);

    QLineEdit* address = txtParameter(Field::NodeAddress);
    if (serial) {
        address->setText(QStringLiteral("n/a"));
        address->setEnabled(false);
        cmbOutputMode->setEnabled(true);
    } else {
        address->setText(QString::fromStdString(modConfigFields::ValueText(Field::NodeAddress, c->NodeAddress)));
        address->setEnabled(true);
        cmbOutputMode->setEnabled(false);
    }

    modControls::SetCheckSilent(chkAutostart, c->AutostartMode);
    modControls::SetCheckSilent(chkMovingAverage, c->MovingAverage);
    modControls::SetCheckSilent(chkEchoCheck, c->EchoCheck);
    modControls::SetCheckSilent(chkBlanking, c->Blanking);
    modControls::SetComboIndexSilent(cmbAverageDepth, c->AverageDepth);
    modControls::SetComboIndexSilent(cmbTimeOut, c->TimeOut);

    modControls::SetComboIndexSilent(cmbRainFilter, c->RainFilter);
    cmbRainFilter->setEnabled(c->RainFilter >= 0);
    const std::int32_t rain[4] = {c->DistanceWindow, c->EchoThreshold, c->DistanceLimit, c->MeasValid};
    for (int i = 0; i < 4; ++i) {
        txtParameter(Field::DistanceWindow + i)
            ->setText(c->RainFilter != -1
                          ? QString::fromStdString(modConfigFields::ValueText(Field::DistanceWindow + i, rain[i]))
                          : QString());
    }
    SetRainFilterShown(c->RainFilter != -1);
    cmbRainFilter_Click();

    const std::int32_t general[4] = {c->Offset, c->ScaleFactor, c->Temperature, c->AirPressure};
    for (int i = 0; i < 4; ++i)
        txtParameter(i)->setText(QString::fromStdString(modConfigFields::ValueText(i, general[i])));

    if (serial) {
        modControls::SetCheckSilent(chkAnalogOutput, c->AnalogOutput);
        const std::int32_t outputs[6] = {c->S1OnThreshold,  c->S1OffThreshold, c->S2OnThreshold,
                                         c->S2OffThreshold, c->AnalogMin,      c->AnalogMax};
        for (int i = 0; i < 6; ++i)
            txtParameter(Field::S1On + i)
                ->setText(QString::fromStdString(modConfigFields::ValueText(Field::S1On + i, outputs[i])));
        modControls::SetComboIndexSilent(cmbS2Logic, c->S2Logic);
        m_logicQ1 = c->S1Logic;
        m_logicQ2 = c->S2Logic;
    } else {
        modControls::SetCheckSilent(chkAnalogOutput, 0);
        for (int i = Field::S1On; i <= Field::AnalogMax; ++i) txtParameter(i)->clear();
        modControls::SetComboIndexSilent(cmbS2Logic, -1);
        m_logicQ1 = -1;
        m_logicQ2 = -1;
    }
    ShowLogic();

    // The outputs exist on the serial device only.
    chkAnalogOutput->setEnabled(serial);
    for (int i = Field::S1On; i <= Field::AnalogMax; ++i) {
        txtParameter(i)->setEnabled(serial);
        lblParameter[static_cast<std::size_t>(i)]->setEnabled(serial);
    }
    for (int u = 3; u <= 8; ++u) lblUnit[static_cast<std::size_t>(u)]->setEnabled(serial);
    for (QWidget* w : {static_cast<QWidget*>(cmbS2Logic), static_cast<QWidget*>(lblS2LogicList),
                       static_cast<QWidget*>(lblS1LogicCaption), static_cast<QWidget*>(lblS1Logic),
                       static_cast<QWidget*>(lblS2LogicCaption), static_cast<QWidget*>(lblS2Logic)})
        w->setEnabled(serial);
    if (serial) chkAnalogOutput_Click();
    UpdateDeleteButton();
}

void frmKOV::ClearConfig() {
    for (QLabel* label : {lblSource, lblSerialNo, lblSWVersion, lblSWBuild, lblSWDate, lblDeviceType}) label->clear();
    for (QComboBox* list : {cmbBaudrate, cmbDistanceUnit, cmbOutputFormat, cmbOutputMode, cmbAverageDepth, cmbTimeOut,
                            cmbRainFilter, cmbS2Logic})
        modControls::SetComboIndexSilent(list, -1);
    for (QCheckBox* box : {chkAutostart, chkMovingAverage, chkEchoCheck, chkBlanking, chkAnalogOutput})
        modControls::SetCheckSilent(box, 0);
    for (QLineEdit* field : m_txtParameter) field->clear();
    m_logicQ1 = -1;
    m_logicQ2 = -1;
    ShowLogic();
    cmbRainFilter->setEnabled(false);
    UpdateDeleteButton();
}

void frmKOV::chkAnalogOutput_Click() {
    // With the analog output active, Q2's thresholds are not used.
    const bool analog = chkAnalogOutput->isChecked();
    txtParameter(Field::AnalogMin)->setEnabled(analog);
    txtParameter(Field::AnalogMax)->setEnabled(analog);
    cmbS2Logic->setEnabled(analog);
    txtParameter(Field::S2On)->setEnabled(!analog);
    txtParameter(Field::S2Off)->setEnabled(!analog);
}

void frmKOV::cmbRainFilter_Click() {
    // The rain filter values are shown, not edited.
    for (int i = Field::DistanceWindow; i <= Field::MeasValid; ++i) txtParameter(i)->setEnabled(false);
}

// ---------------------------------------------------------------------------
// Input filter, leave-field check, apply
// ---------------------------------------------------------------------------

bool frmKOV::eventFilter(QObject* watched, QEvent* event) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (!field) return QDialog::eventFilter(watched, event);
    const int index = field->property("Index").toInt();
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            txtParameter_LostFocus(index);  // Enter checks the field at once
            return true;
        }
        // Shortcuts (copy, paste, undo) and keys without a character
        // (arrows, Delete, Tab, Escape) keep their usual meaning; a pasted
        // text goes through the leave-field check like a typed one.
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
        const QString text = key->text();
        if (text.isEmpty()) return false;
        const ushort code = text.at(0).unicode();
        if (code == modConfigFields::Backspace) return false;
        if (code < 0x20 || code == 0x7F) return false;
        const char typed = code < 0x80 ? static_cast<char>(code) : 0;
        const char put = typed ? modConfigFields::FilterKey(typed, modFunctions::DecimalSeparator()) : 0;
        if (put == 0) return true;       // discarded
        if (put == typed) return false;  // passes as typed
        field->insert(QString(QChar(put)));
        return true;
    }
    if (event->type() == QEvent::FocusOut) {
        // Leaving the field; not when the whole window loses the focus or a
        // context menu opens.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) txtParameter_LostFocus(index);
    }
    return QDialog::eventFilter(watched, event);
}

void frmKOV::txtParameter_LostFocus(int index) {
    QLineEdit* field = txtParameter(index);
    if (!field || !field->isEnabled()) return;
    const QString text = QString::fromStdString(modConfigFields::LeaveFieldText(index, field->text().toStdString()));
    if (text != field->text()) field->setText(text);
}

void frmKOV::ApplyControls(clsKOV& c) {
    modConfigFields::ControlValues v;
    auto list = [](QComboBox* box) { return modConfigFields::ListValue{box->currentIndex(), box->isEnabled()}; };
    auto check = [](QCheckBox* box) { return modConfigFields::CheckValue{box->isChecked() ? 1 : 0, box->isEnabled()}; };
    v.Baudrate = list(cmbBaudrate);
    v.OutputMode = list(cmbOutputMode);
    v.OutputFormat = list(cmbOutputFormat);
    v.DistanceUnit = list(cmbDistanceUnit);
    v.AverageDepth = list(cmbAverageDepth);
    v.TimeOut = list(cmbTimeOut);
    v.RainFilter = list(cmbRainFilter);
    v.S2Logic = list(cmbS2Logic);
    v.Autostart = check(chkAutostart);
    v.MovingAverage = check(chkMovingAverage);
    v.EchoCheck = check(chkEchoCheck);
    v.Blanking = check(chkBlanking);
    v.AnalogOutput = check(chkAnalogOutput);
    for (int i = 0; i < modConfigFields::FieldCount; ++i) {
        const QLineEdit* field = txtParameter(i);
        v.Fields[static_cast<std::size_t>(i)] = {field->text().toStdString(), field->isEnabled()};
    }
    const auto states = modConfigFields::ApplyControls(v, c, m_transfer->Old);
    for (int i = 0; i < modConfigFields::FieldCount; ++i) {
        const bool refused = states[static_cast<std::size_t>(i)] == modConfigFields::FieldState::Refused;
        SetFieldColor(i, refused ? StatusRed : StatusBlack);
    }
}

// ---------------------------------------------------------------------------
// Transfers
// ---------------------------------------------------------------------------

void frmKOV::SetTransferButtons(bool enabled) {
    for (QPushButton* b : {cmdDownload, cmdUpload, cmdSaveSettings, cmdSetDefaults}) b->setEnabled(enabled);
}

void frmKOV::RunTransfer(const std::function<void()>& transfer) {
    if (Busy() || !m_device || ProgramClosing()) return;
    // At once, not only at the next tick: a second click must find them off.
    SetTransferButtons(false);
    cmdClose->setEnabled(false);
    transfer();
    WindowControl(*m_device);
    FinishPendingClose();
}

void frmKOV::cmdDownload_Click() {
    RunTransfer([this] { m_transfer->TransferConfig(clsConfigTransfer::Mode::Download); });
}

void frmKOV::cmdUpload_Click() {
    RunTransfer([this] {
        ApplyControls(*m_device);
        m_transfer->TransferConfig(clsConfigTransfer::Mode::Upload);
    });
}

void frmKOV::cmdSaveSettings_Click() {
    RunTransfer([this] { m_transfer->TransferConfig(clsConfigTransfer::Mode::StorePermanent); });
}

void frmKOV::cmdSetDefaults_Click() {
    RunTransfer([this] { m_transfer->SetFactoryDefaults(); });
}

void frmKOV::StartUp() {
    if (m_startedUp || !m_device) return;
    m_startedUp = true;
    clsKOV& link = *m_device;
    if (link.CommStatus != Comm::NotConnected) {
        // A measurement interrupted for a temperature reading is waited for:
        // its answer must not be taken for the configuration block.
        m_startingUp = true;
        SetTransferButtons(false);
        cmdClose->setEnabled(false);
        const double until = modAPI::NowWithMs() + kStartWaitMs / modAPI::MsPerDay;
        while (m_loop.TemperaturePending() && !CancelRequested() && link.PortIsOpen() && modAPI::NowWithMs() < until)
            m_transfer->Pump(modKOVComm::PumpSliceMs);
        m_startingUp = false;
        if (CancelRequested()) {
            FinishPendingClose();
            return;
        }
        if (link.CommStatus != Comm::NotConnected && link.PortIsOpen() && !m_loop.TemperaturePending()) {
            cmdDownload_Click();
            return;
        }
    }
    modControls::SetComboIndexSilent(cmbConfig, 0);
    cmbConfig_Click(0);
    WindowControl(link);
}

void frmKOV::WindowControl(clsKOV& link) {
    m_transfer->NoteTick(link);
    // The captions follow the program's language.
    if (modFunctions::LanguageOffset() != m_appliedOffset) ApplyTexts();
    const bool busy = Busy();
    if (!link.PortIsOpen() || link.CommStatus == Comm::NotConnected) {
        const int text = link.PortIsOpen() ? MonitorText::NoConnection : MonitorText::PortNotOpen;
        if (m_statusId != text) ShowStatus(text);
        SetTransferButtons(false);
        // Close stays usable unless a transfer runs: a transfer that lost
        // the link must not leave the dialog without a way out.
        cmdClose->setEnabled(!busy);
        m_linkWasUp = false;
        return;
    }
    if (!m_linkWasUp) ShowStatus(0);
    const bool free = !m_loop.TemperaturePending() && !busy;
    cmdClose->setEnabled(free);
    SetTransferButtons(free);
    m_linkWasUp = true;
}

// ---------------------------------------------------------------------------
// The transfer's host
// ---------------------------------------------------------------------------

void frmKOV::ShowStatus(int textId) {
    m_statusId = textId;
    lblStatus->setText(textId ? Text(textId) : QString());
}

void frmKOV::SetStatusColor(std::uint32_t color) {
    m_statusColor = color;
    SetTextColor(lblStatus, QPalette::WindowText, color);
}

QString frmKOV::StatusText() const { return lblStatus->text(); }

void frmKOV::SetQuestionFunction(QuestionFunction ask) { Question() = std::move(ask); }

TransferAnswer frmKOV::AskAbortRetryIgnore(const std::string& code, std::int32_t eventNr) {
    const QString title = Text(eventNr == Event::Rejected ? TransferText::InvalidCode : TransferText::NoResponse);
    const QString text = Text(TransferText::ParameterError) + QString::fromStdString(code);
    if (Question()) {
        const QuestionFunction ask = Question();  // it may replace itself
        return ask(this, title, text);
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.setEscapeButton(QMessageBox::Abort);
    m_question = &box;
    const int answer = box.exec();
    m_question = nullptr;
    if (answer == QMessageBox::Retry) return TransferAnswer::Retry;
    if (answer == QMessageBox::Ignore) return TransferAnswer::Ignore;
    return TransferAnswer::Abort;
}

void frmKOV::ConfigurationRead() {
    modControls::SetComboIndexSilent(cmbConfig, 0);
    cmbConfig_Click(0);
}

void frmKOV::ConfigurationMissing() {
    modControls::SetComboIndexSilent(cmbConfig, -1);
    ShowConfig(m_current.get());
}

// ---------------------------------------------------------------------------
// Configuration files: Save, Import, Delete
// ---------------------------------------------------------------------------

void frmKOV::UpdateDeleteButton() {
    // Only a file entry can leave the list; the device stays.
    const clsKOV* shown = m_current.get();
    cmdDelete->setEnabled(m_store && shown && m_current != m_device &&
                          modConfigList::IndexOf(m_list, shown) > 0 && modConfigList::IsFileEntry(*shown));
}

void frmKOV::ApplyOutcome(const StoreOutcome& outcome) {
    using Kind = StoreOutcome::Kind;
    {
        const QSignalBlocker block(cmbConfig);
        if (outcome.What == Kind::Updated && outcome.Item >= 0 && outcome.Item < cmbConfig->count()) {
            const bool device = outcome.Item < static_cast<int>(m_list.size()) &&
                                m_list[static_cast<std::size_t>(outcome.Item)].second == m_device;
            if (!device) cmbConfig->setItemText(outcome.Item, QString::fromStdString(outcome.Text));
        } else if (outcome.What == Kind::Added) {
            cmbConfig->addItem(QString::fromStdString(outcome.Text));
        } else if (outcome.What == Kind::Removed && outcome.Item >= 0) {
            cmbConfig->removeItem(outcome.Item);
        }
    }
    if (outcome.Select >= 0) {
        modControls::SetComboIndexSilent(cmbConfig, outcome.Select);
        cmbConfig_Click(outcome.Select);
        return;
    }
    if (outcome.What == Kind::Updated && outcome.Item == cmbConfig->currentIndex())
        lblSource->setText(QString::fromStdString(outcome.Source));
    UpdateDeleteButton();
}

void frmKOV::cmdSave_Click() {
    if (!m_store || !m_current || Busy()) return;
    CheckFocusedField();
    QtConfigStoreHost qtHost(this);
    ConfigStoreHost& host = m_storeHost ? *m_storeHost : qtHost;
    ApplyOutcome(m_store->Save(m_current, [this](clsKOV& c) { ApplyControls(c); }, host));
}

void frmKOV::cmdLoad_Click() {
    if (!m_store || Busy()) return;
    QtConfigStoreHost qtHost(this);
    ApplyOutcome(m_store->Import(m_storeHost ? *m_storeHost : qtHost));
}

void frmKOV::cmdDelete_Click() {
    if (!m_store || !m_current || Busy()) return;
    QtConfigStoreHost qtHost(this);
    ApplyOutcome(m_store->Delete(m_current, m_storeHost ? *m_storeHost : qtHost));
}

// ---------------------------------------------------------------------------
// The settings report
// ---------------------------------------------------------------------------

void frmKOV::CheckFocusedField() {
    // A click moves the focus and so checks the field being typed in; a
    // shortcut key does not, so the check runs here as well.
    auto* field = qobject_cast<QLineEdit*>(focusWidget());
    if (!field) return;
    const int index = field->property("Index").toInt();
    if (txtParameter(index) == field) txtParameter_LostFocus(index);
}

modReport::ReportValues frmKOV::ReportValues() const {
    modReport::ReportValues v;
    if (m_device) modReport::TakeIdentity(*m_device, v);
    auto text = [](const QComboBox* list) { return list->currentText().toStdString(); };
    auto check = [](const QCheckBox* box) { return box->isChecked() ? 1 : 0; };
    v.OutputFormat = text(cmbOutputFormat);
    v.DistanceUnit = text(cmbDistanceUnit);
    v.Baudrate = text(cmbBaudrate);
    v.OutputMode = text(cmbOutputMode);
    v.AverageDepth = text(cmbAverageDepth);
    v.TimeOut = text(cmbTimeOut);
    v.RainFilterMode = text(cmbRainFilter);
    v.Autostart = check(chkAutostart);
    v.MovingAverage = check(chkMovingAverage);
    v.EchoCheck = check(chkEchoCheck);
    v.Blanking = check(chkBlanking);
    v.AnalogOutput = check(chkAnalogOutput);
    for (int i = 0; i < modConfigFields::FieldCount; ++i)
        v.Fields[static_cast<std::size_t>(i)] = txtParameter(i)->text().toStdString();
    v.S1Logic = lblS1Logic->text().toStdString();
    v.S2Logic = lblS2Logic->text().toStdString();
    return v;
}

void frmKOV::cmdPrint_Click() {
    CheckFocusedField();
    QtProcessStarter qtStarter;
    ConfigStoreUi::OpenReport(this, m_folder, modReport::ReportLines(ReportValues()),
                              m_starter ? *m_starter : qtStarter);
}

void frmKOV::cmdPrintDirect_Click() {
    CheckFocusedField();
    ConfigStoreUi::PrintReport(this, modReport::ReportLines(ReportValues()));
}
