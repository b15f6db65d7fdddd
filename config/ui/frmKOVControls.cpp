// The configuration dialog's controls: built once, captioned in the
// program's language, their lists filled.
#include "frmKOV.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "modConfigFields.h"
#include "modConfigList.h"
#include "modFunctions.h"
#include "modHTMLHelp.h"
#include "modLanguage.h"

namespace Field = modConfigFields::Field;
using modLanguage::Text;

namespace {

// Texts of the controls (German ids).
constexpr int kDeviceEntry = 1265;
constexpr int kNegative = 1261;
constexpr int kPositive = 1262;
constexpr int kPrintDirect = 1323;

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

void frmKOV::ShowLogic() {
    lblS1Logic->setText(m_logicQ1 < 0 ? QString() : Text(m_logicQ1 != 0 ? kPositive : kNegative));
    lblS2Logic->setText(m_logicQ2 < 0 ? QString() : Text(m_logicQ2 != 0 ? kPositive : kNegative));
}
