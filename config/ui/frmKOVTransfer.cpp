// The configuration dialog's transfers: the buttons that start them, the
// download on opening, the state of the buttons at every tick, and the
// dialog's part as the transfer's host.
#include "frmKOV.h"

#include <QMessageBox>
#include <QPushButton>

#include "MonitorLoop.h"
#include "clsKOV.h"
#include "modAPI.h"
#include "modControls.h"
#include "modFunctions.h"
#include "modKOVComm.h"
#include "modLanguage.h"

namespace Comm = modKOVComm::Comm;
namespace Event = modKOVComm::Event;
using modLanguage::Text;

namespace {

// The longest wait for an interleaved temperature request before the first
// download: the stop's deadline (2 s) and the temperature's (1.5 s) with room
// to spare. A sensor that went silent meanwhile is not waited for longer.
constexpr double kStartWaitMs = 5000;

frmKOV::QuestionFunction& Question() {
    static frmKOV::QuestionFunction ask;
    return ask;
}

}  // namespace

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
