#pragma once
// The configuration dialog: shows one parameter set of the configuration
// list (the sensor itself, or a stored configuration), lets the user edit it
// in lists, check boxes and fifteen checked fields, and moves it to and from
// the sensor (download, upload, store permanently, factory defaults).
//
// The dialog never reads the port: the measurement loop's tick does, and
// calls WindowControl once per tick while the dialog is open. The transfer
// sequences themselves live in clsConfigTransfer; the dialog is its host
// (status line, the Abort / Retry / Ignore question, showing what was read).
//
// Save, Import and Delete keep the configuration list and its index in
// KOV.ini through clsConfigStore; Print writes the settings report and opens
// it in the text editor, or prints it from the program.
//
// Sources: frmKOV.cpp (opening and closing, showing and checking a
// configuration, status line, files, report), frmKOVControls.cpp (building
// the controls, captions, lists), frmKOVTransfer.cpp (transfers and the
// transfer's host).
#include <QDialog>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "clsConfigTransfer.h"
#include "modReport.h"

class MonitorLoop;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QTimer;
class QWidget;
class ConfigStoreHost;
class clsConfigStore;
struct StoreOutcome;
class clsIni;
class clsKOV;

class frmKOV : public QDialog, private TransferHost {
    Q_OBJECT
public:
    // The configuration list: key and parameter set, the device first.
    using ConfigEntry = std::pair<std::string, std::shared_ptr<clsKOV>>;
    using ConfigList = std::vector<ConfigEntry>;

    // Opens the dialog modally over `parent` and returns when it is closed.
    // `loop` is the measurement loop that reads the sensor; `list` the
    // configuration list (entry 1 the device link "Device"); `defaultDevice`
    // ("Serial" or "Profibus") is the kind shown for a sensor whose
    // configuration has not been read yet. The dialog downloads the sensor's
    // configuration as soon as it is shown, when a sensor is connected.
    // `unloaded` (the index names that did not load at start) and `settings`
    // (KOV.ini) are kept up to date by Save, Import and Delete; the file
    // dialogs and the report use the program's folder.
    static int ShowDialog(QWidget* parent, MonitorLoop& loop, ConfigList& list, std::vector<std::string>& unloaded,
                          clsIni& settings, const std::string& defaultDevice);
    // The same without the file store: Save, Import and Delete stay disabled.
    static int ShowDialog(QWidget* parent, MonitorLoop& loop, ConfigList& list, const std::string& defaultDevice);

    frmKOV(QWidget* parent, MonitorLoop& loop, ConfigList& list, std::string defaultDevice);
    ~frmKOV() override;

    // Enables Save, Import and Delete on the list, with `folder` as the file
    // dialogs' and the report's folder.
    void AttachStore(std::vector<std::string>& unloaded, clsIni& settings, const std::string& folder);

    // The transfer on opening: waits (events running) for an interleaved
    // temperature request to finish, then downloads; without a connection it
    // shows the device entry. ShowDialog runs it once the dialog is shown.
    void StartUp();

    // Called by the measurement loop once per tick while the dialog is open:
    // the status for a closed port or a lost connection, and the enabled
    // state of the transfer buttons and of Close. Never waits.
    void WindowControl(clsKOV& link);

    // Shows parameter set `c` (nullptr: ClearConfig).
    void ShowConfig(const clsKOV* c);
    // Empties every control.
    void ClearConfig();
    // Checks the controls and copies them into `c`; refused fields turn red.
    void ApplyControls(clsKOV& c);
    // Fills the lists (keeps their selection).
    void FillLists();
    // Captions in the current language.
    void ApplyTexts();

    // The Abort / Retry / Ignore question; tests replace it. Empty restores the box.
    using QuestionFunction = std::function<TransferAnswer(QWidget* parent, const QString& title, const QString& text)>;
    static void SetQuestionFunction(QuestionFunction ask);
    // The store's input box, file dialogs and messages, and the starter of
    // the text editor; tests replace them. nullptr: the Qt ones.
    void SetStoreHost(ConfigStoreHost* host) { m_storeHost = host; }
    void SetProcessStarter(modReport::ProcessStarter* starter) { m_starter = starter; }
    // What the report shows: the device's identity and the controls as they stand.
    modReport::ReportValues ReportValues() const;

    // For the tests and the configuration file store.
    QLineEdit* txtParameter(int index) const;
    clsConfigTransfer& Transfer() { return *m_transfer; }
    std::shared_ptr<clsKOV> CurrentConfig() const { return m_current; }
    std::shared_ptr<clsKOV> Device() const { return m_device; }
    QString StatusText() const;
    std::uint32_t StatusColor() const { return m_statusColor; }
    // 0 black, 255 red (0x00BBGGRR) of field `index`.
    std::uint32_t FieldColor(int index) const;
    // A transfer, or the wait before the first one, is running.
    bool Busy() const;

    // Escape, the window's close box and Close: while a transfer runs, the
    // transfer is told to end and the dialog closes once it has.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    // Control handlers.
    void cmbConfig_Click(int index);
    void cmdDownload_Click();
    void cmdUpload_Click();
    void cmdSaveSettings_Click();
    void cmdSetDefaults_Click();
    void cmdHelp_Click();
    void cmdSave_Click();
    void cmdLoad_Click();
    void cmdDelete_Click();
    void cmdPrint_Click();
    void cmdPrintDirect_Click();
    void cmdClose_Click();
    void chkAnalogOutput_Click();
    void cmbRainFilter_Click();
    void txtParameter_LostFocus(int index);

    // TransferHost
    void ShowStatus(int textId) override;
    void SetStatusColor(std::uint32_t color) override;
    TransferAnswer AskAbortRetryIgnore(const std::string& code, std::int32_t eventNr) override;
    void ConfigurationRead() override;
    void ConfigurationMissing() override;
    bool CancelRequested() override;

    void BuildControls();
    void FillConfigList();
    void RunTransfer(const std::function<void()>& transfer);
    void SetTransferButtons(bool enabled);
    void SetRainFilterShown(bool shown);
    void ApplyOutcome(const StoreOutcome& outcome);
    void UpdateDeleteButton();
    void CheckFocusedField();
    void SetFieldColor(int index, std::uint32_t color);
    void ShowLogic();
    void WatchClosing();
    void RequestClose();
    void FinishPendingClose();
    bool ProgramClosing() const;

    MonitorLoop& m_loop;
    ConfigList& m_list;
    std::string m_defaultDevice;
    std::shared_ptr<clsKOV> m_device;
    std::shared_ptr<clsKOV> m_current;  // CurrentConfig
    std::unique_ptr<clsConfigTransfer> m_transfer;
    std::unique_ptr<clsConfigStore> m_store;
    std::string m_folder;  // program folder: file dialogs and the report
    ConfigStoreHost* m_storeHost = nullptr;
    modReport::ProcessStarter* m_starter = nullptr;
    int m_tickListener = 0;
    QTimer* m_watchdog = nullptr;
    QPointer<QMessageBox> m_question;

    bool m_linkWasUp = false;  // LinkWasUp
    bool m_startedUp = false;
    bool m_startingUp = false;      // waiting for the temperature request before the first download
    bool m_closeRequested = false;  // closed while busy: closes when the transfer has ended
    int m_statusId = 0;
    std::uint32_t m_statusColor = 0;
    int m_appliedOffset = -1;  // language offset the captions are in
    int m_logicQ1 = -1;        // logic shown in lblS1Logic / lblS2Logic, -1 none
    int m_logicQ2 = -1;

    // Controls.
    QGroupBox* fraConfig = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* cmbConfig = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* lblSource = nullptr;
    QPushButton* cmdLoad = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdDelete = nullptr;
    QLabel* lblSerialNo = nullptr;
    QLabel* lblSWVersion = nullptr;
    QLabel* lblSWBuild = nullptr;
    QLabel* lblDeviceType = nullptr;
    QLabel* lblSWDate = nullptr;
    std::array<QGroupBox*, 3> fraData{};
    QWidget* fraRainFilter = nullptr;
    QComboBox* cmbBaudrate = nullptr;
    QComboBox* cmbOutputMode = nullptr;
    QComboBox* cmbOutputFormat = nullptr;
    QComboBox* cmbDistanceUnit = nullptr;
    QComboBox* cmbAverageDepth = nullptr;
    QComboBox* cmbTimeOut = nullptr;
    QComboBox* cmbRainFilter = nullptr;
    QComboBox* cmbS2Logic = nullptr;
    QCheckBox* chkMovingAverage = nullptr;
    QCheckBox* chkAutostart = nullptr;
    QCheckBox* chkEchoCheck = nullptr;
    QCheckBox* chkBlanking = nullptr;
    QCheckBox* chkAnalogOutput = nullptr;
    std::array<QLineEdit*, 15> m_txtParameter{};
    std::array<QLabel*, 15> lblParameter{};
    std::array<QLabel*, 9> lblUnit{};
    QLabel* lblS2LogicList = nullptr;  // caption of cmbS2Logic
    QLabel* lblS1LogicCaption = nullptr;
    QLabel* lblS1Logic = nullptr;
    QLabel* lblS2LogicCaption = nullptr;
    QLabel* lblS2Logic = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* cmdDownload = nullptr;
    QPushButton* cmdUpload = nullptr;
    QPushButton* cmdSaveSettings = nullptr;
    QPushButton* cmdSetDefaults = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdPrintDirect = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdClose = nullptr;
};
