#include "frmKOV.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
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
// Status line
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
