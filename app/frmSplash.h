#pragma once
// The modal start dialog: language, serial port and speed, version and
// platform name, help, OK and Exit.
#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

class frmSplash : public QDialog {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    // "COM n", with the device the port maps to appended when one is known.
    static QString PortEntryText(int comport);

protected:
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private slots:
    void cmbLanguage_Click(int index);
    void cmdOK_Click();
    void cmdExit_Click();
    void cmdHelp_Click();

private:
    void ApplyTexts();

    QGroupBox* fraLanguage = nullptr;
    QLabel* lblLanguage = nullptr;
    QComboBox* cmbLanguage = nullptr;
    QGroupBox* fraInterface = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cmbComPort = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cmbBaudrate = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblPlatform = nullptr;
    QLabel* lblProduct = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdHelp = nullptr;
};
