#include "frmChartSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "XYChart.h"
#include "clsChartData.h"
#include "modChartUnits.h"
#include "modControls.h"
#include "modFunctions.h"
#include "modLanguage.h"

using modLanguage::Text;

namespace {

constexpr int kMaxBox = 0;  // txtParameter(0): yMax
constexpr int kMinBox = 1;  // txtParameter(1): yMin
constexpr double kDefaultMaxMm = 5000;
constexpr double kDefaultMinMm = 0;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A number as the boxes show it: as many decimals as it has, the locale's separator.
QString BoxText(double value) { return Q(modFunctions::NumberText(value)); }

}  // namespace

frmChartSettings::frmChartSettings(ChartSettingsHost& host, QWidget* parent) : QDialog(parent, Qt::Tool), m_host(host) {
    setObjectName(QStringLiteral("frmChartSettings"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    modLanguage::SetTag(this, 1350);

    auto* layout = new QVBoxLayout(this);
    const auto named = [](QWidget* w, const char* name, int tag) {
        w->setObjectName(QLatin1String(name));
        if (tag > 0) modLanguage::SetTag(w, tag);
    };

    Frame2 = new QGroupBox(this);
    named(Frame2, "Frame2", 1351);
    auto* xLayout = new QVBoxLayout(Frame2);
    optxAxisInterval = new QRadioButton(Frame2);
    named(optxAxisInterval, "optxAxisInterval", 1352);
    optxAxisTime = new QRadioButton(Frame2);
    named(optxAxisTime, "optxAxisTime", 1353);
    xLayout->addWidget(optxAxisInterval);
    xLayout->addWidget(optxAxisTime);
    layout->addWidget(Frame2);

    Frame1 = new QGroupBox(this);
    named(Frame1, "Frame1", 1361);
    auto* yLayout = new QGridLayout(Frame1);
    optYScaleAuto = new QRadioButton(Frame1);
    named(optYScaleAuto, "optYScaleAuto", 1365);
    optYScaleManual = new QRadioButton(Frame1);
    named(optYScaleManual, "optYScaleManual", 1364);
    Label1 = new QLabel(Frame1);
    named(Label1, "Label1", 1363);
    Label2 = new QLabel(Frame1);
    named(Label2, "Label2", 1362);
    for (int i = 0; i < 2; ++i) {
        auto* box = new QLineEdit(Frame1);
        box->setObjectName(QStringLiteral("txtParameter_%1").arg(i));
        box->setAlignment(Qt::AlignRight);
        box->installEventFilter(this);
        m_txtParameter[static_cast<std::size_t>(i)] = box;
    }
    yLayout->addWidget(optYScaleAuto, 0, 0, 1, 2);
    yLayout->addWidget(optYScaleManual, 1, 0, 1, 2);
    yLayout->addWidget(Label1, 2, 0);
    yLayout->addWidget(m_txtParameter[kMaxBox], 2, 1);
    yLayout->addWidget(Label2, 3, 0);
    yLayout->addWidget(m_txtParameter[kMinBox], 3, 1);
    layout->addWidget(Frame1);

    chkConnectPoints = new QCheckBox(this);
    named(chkConnectPoints, "chkConnectPoints", 1366);
    chkNullWerte = new QCheckBox(this);
    named(chkNullWerte, "chkNullWerte", 1062);
    layout->addWidget(chkConnectPoints);
    layout->addWidget(chkNullWerte);

    auto* buttons = new QHBoxLayout;
    cmdOK = new QPushButton(this);
    named(cmdOK, "cmdOK", 1095);
    cmdCancel = new QPushButton(this);
    named(cmdCancel, "cmdCancel", 1096);
    cmdApply = new QPushButton(this);
    named(cmdApply, "cmdApply", 1097);
    // Enter in a box checks that box; it does not press a button.
    for (QPushButton* b : {cmdOK, cmdCancel, cmdApply}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &frmChartSettings::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmChartSettings::cmdCancel_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmChartSettings::cmdApply_Click);

    modLanguage::ApplyLanguage(this);
    modControls::PlainTextLabels(this);
    ShowUpdatedSettings();
}

QLineEdit* frmChartSettings::txtParameter(int index) const {
    return index == kMaxBox || index == kMinBox ? m_txtParameter[static_cast<std::size_t>(index)] : nullptr;
}

void frmChartSettings::showEvent(QShowEvent* event) {
    // Whatever changed while the dialog was closed shows when it opens.
    ShowUpdatedSettings();
    QDialog::showEvent(event);
}

void frmChartSettings::ShowUpdatedSettings() {
    XYChart& chart = m_host.Chart();
    (chart.IsTimeScale() != 0 ? optxAxisTime : optxAxisInterval)->setChecked(true);
    (m_host.AutoScale() ? optYScaleAuto : optYScaleManual)->setChecked(true);
    const double factor = m_host.UnitFactor();
    m_txtParameter[kMaxBox]->setText(BoxText(modChartCommon::MillimetresToUnit(m_host.yMax(), factor)));
    m_txtParameter[kMinBox]->setText(BoxText(modChartCommon::MillimetresToUnit(m_host.yMin(), factor)));
    SetBoxColour(kMaxBox, true);
    SetBoxColour(kMinBox, true);
    chkConnectPoints->setChecked(m_host.Series().Appearance == 1);
    chkNullWerte->setChecked(m_host.ShowZeroValues());
}

QChar frmChartSettings::FilterKey(QChar typed) {
    const char separator = modFunctions::DecimalSeparator();
    if (typed == QLatin1Char('\b') || typed == QLatin1Char('-') || typed == QLatin1Char('\r') ||
        typed == QLatin1Char('\n'))
        return typed;
    if (typed >= QLatin1Char('0') && typed <= QLatin1Char('9')) return typed;
    if (typed == QLatin1Char(',') || typed == QLatin1Char('.')) return QLatin1Char(separator);
    return QChar();
}

double frmChartSettings::EmptyValue(int index) const {
    return modChartCommon::MillimetresToUnit(index == kMaxBox ? kDefaultMaxMm : kDefaultMinMm, m_host.UnitFactor());
}

void frmChartSettings::ValidateBox(int index) {
    QLineEdit* box = txtParameter(index);
    if (!box) return;
    const std::string text = modFunctions::Trim(box->text().toStdString());
    double value = 0;
    if (text.empty()) {
        value = EmptyValue(index);
    } else if (!modFunctions::ParseNumber(text, value) || !std::isfinite(value)) {
        return;  // not a number: left as typed (Apply refuses it)
    }
    value = std::clamp(value, -BoxLimit, BoxLimit);
    const QString shown = BoxText(value);
    if (box->text() != shown) box->setText(shown);
}

bool frmChartSettings::eventFilter(QObject* watched, QEvent* event) {
    const auto it = std::find(m_txtParameter.begin(), m_txtParameter.end(), watched);
    if (it == m_txtParameter.end()) return QDialog::eventFilter(watched, event);
    const int index = static_cast<int>(it - m_txtParameter.begin());
    if (event->type() == QEvent::FocusOut) {
        ValidateBox(index);
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            ValidateBox(index);  // the focus stays in the box
            return true;
        }
        // Keys without text (arrows, Delete, Tab, shortcuts) work as usual;
        // typed characters go through the filter.
        const QString typed = key->text();
        if (typed.size() != 1 || !typed[0].isPrint() || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            return false;
        const QChar c = FilterKey(typed[0]);
        if (c.isNull()) return true;
        if (c != typed[0]) {
            static_cast<QLineEdit*>(watched)->insert(QString(c));
            return true;
        }
    }
    return false;
}

void frmChartSettings::SetBoxColour(int index, bool good) {
    QLineEdit* box = txtParameter(index);
    const QString style = good ? QString() : QStringLiteral("QLineEdit { color: rgb(255,0,0); }");
    if (box->styleSheet() != style) box->setStyleSheet(style);
}

bool frmChartSettings::cmdApply_Click() {
    // Disabling the pressed button moves the focus away; it goes back after.
    QPointer<QWidget> focus = QApplication::focusWidget();
    for (QPushButton* b : {cmdApply, cmdCancel, cmdOK}) b->setEnabled(false);
    XYChart& chart = m_host.Chart();
    const double factor = m_host.UnitFactor();

    const modChartCommon::FixedRange range = modChartCommon::ApplyFixedRange(
        m_txtParameter[kMaxBox]->text().toStdString(), m_txtParameter[kMinBox]->text().toStdString(), m_host.yMin(),
        m_host.yMax(), factor);
    SetBoxColour(kMaxBox, range.MaxTaken);
    SetBoxColour(kMinBox, range.MinTaken);
    if (range.Parted) m_txtParameter[kMaxBox]->setText(BoxText(range.Max));
    m_host.SetRange(range.MinMm, range.MaxMm);

    chart.SetIsTimeScale(optxAxisTime->isChecked() ? 1 : 0);
    m_host.SetAutoScale(!optYScaleManual->isChecked());
    if (!m_host.AutoScale()) {
        chart.SetyMax(0, modChartCommon::MillimetresToUnit(range.MaxMm, factor));
        chart.SetyMin(0, modChartCommon::MillimetresToUnit(range.MinMm, factor));
    }
    // The look of the points first, so that the redraw shows the whole curve in it.
    m_host.Series().Appearance = chkConnectPoints->isChecked() ? 1 : 0;
    chart.Redraw();
    m_host.SetShowZeroValues(chkNullWerte->isChecked());
    m_host.SaveSettings();

    for (QPushButton* b : {cmdApply, cmdCancel, cmdOK}) b->setEnabled(true);
    if (focus && isAncestorOf(focus)) focus->setFocus();
    if (range.Reversed) {
        modControls::ShowWarning(this, Text(1350),
                                 Text(1362) + QStringLiteral(" > ") + Text(1363) + QStringLiteral(": ") +
                                     m_txtParameter[kMinBox]->text() + QStringLiteral(" > ") +
                                     m_txtParameter[kMaxBox]->text());
    }
    return range.MaxTaken && range.MinTaken;
}

void frmChartSettings::cmdOK_Click() {
    // A refused limit stays in view (red) instead of closing the dialog over it.
    if (cmdApply_Click()) close();
}

void frmChartSettings::cmdCancel_Click() { close(); }
