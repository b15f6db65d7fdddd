#include "frmSplash.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "SerialPort.h"
#include "frmAbout.h"
#include "modAPI.h"
#include "modControls.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modHTMLHelp.h"
#include "modIni.h"
#include "modLanguage.h"

QString frmSplash::PortEntryText(int comport) {
    QString text = QStringLiteral("COM %1").arg(comport);
    const std::string device = SerialLayer::DeviceForComport(comport, &modGlobals::Settings);
    if (!device.empty()) text += QStringLiteral(" (%1)").arg(QString::fromStdString(device));
    return text;
}

frmSplash::frmSplash(QWidget* parent) : QDialog(parent) {
    setObjectName("frmSplash");
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QString::fromStdString(modFunctions::GetText(900)));

    lblProduct = new QLabel(QString::fromStdString(modFunctions::GetText(900)), this);
    lblProduct->setObjectName("lblProduct");
    QFont big = lblProduct->font();
    big.setPointSize(16);
    big.setBold(true);
    lblProduct->setFont(big);
    lblVersion = new QLabel(this);
    lblVersion->setObjectName("lblVersion");
    lblPlatform = new QLabel(this);
    lblPlatform->setObjectName("lblPlatform");

    fraLanguage = new QGroupBox(this);
    fraLanguage->setObjectName("fraLanguage");
    modLanguage::SetTag(fraLanguage, 1121);
    lblLanguage = new QLabel(fraLanguage);
    lblLanguage->setObjectName("lblLanguage");
    modLanguage::SetTag(lblLanguage, 1122);
    cmbLanguage = new QComboBox(fraLanguage);
    cmbLanguage->setObjectName("cmbLanguage");
    auto* langLayout = new QHBoxLayout(fraLanguage);
    langLayout->addWidget(lblLanguage);
    langLayout->addWidget(cmbLanguage, 1);

    fraInterface = new QGroupBox(this);
    fraInterface->setObjectName("fraInterface");
    modLanguage::SetTag(fraInterface, 1125);
    Label1 = new QLabel(fraInterface);
    Label1->setObjectName("Label1");
    modLanguage::SetTag(Label1, 1102);
    cmbComPort = new QComboBox(fraInterface);
    cmbComPort->setObjectName("cmbComPort");
    Label2 = new QLabel(fraInterface);
    Label2->setObjectName("Label2");
    modLanguage::SetTag(Label2, 1103);
    cmbBaudrate = new QComboBox(fraInterface);
    cmbBaudrate->setObjectName("cmbBaudrate");
    auto* ifLayout = new QGridLayout(fraInterface);
    ifLayout->addWidget(Label1, 0, 0);
    ifLayout->addWidget(cmbComPort, 0, 1);
    ifLayout->addWidget(Label2, 1, 0);
    ifLayout->addWidget(cmbBaudrate, 1, 1);
    ifLayout->setColumnStretch(1, 1);

    cmdOK = new QPushButton(this);
    cmdOK->setObjectName("cmdOK");
    modLanguage::SetTag(cmdOK, 1095);
    cmdOK->setDefault(true);
    cmdExit = new QPushButton(this);
    cmdExit->setObjectName("cmdExit");
    modLanguage::SetTag(cmdExit, 1093);
    cmdHelp = new QPushButton(this);
    cmdHelp->setObjectName("cmdHelp");
    modLanguage::SetTag(cmdHelp, 1094);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdHelp);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdExit);

    auto* info = new QHBoxLayout;
    info->addWidget(lblVersion);
    info->addStretch(1);
    info->addWidget(lblPlatform);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblProduct);
    layout->addLayout(info);
    layout->addWidget(fraLanguage);
    layout->addWidget(fraInterface);
    layout->addLayout(buttons);

    // Load: texts, version and platform, the lists with the stored choices.
    ApplyTexts();
    lblVersion->setText(ProgramVersionText());
    lblPlatform->setText(QString::fromStdString(modAPI::GetOSName()));

    for (int id = 820; id <= 825; ++id) cmbBaudrate->addItem(QString::fromStdString(modFunctions::GetText(id)));
    int rateIndex = modGlobals::BaudrateIndex(modGlobals::Baudrate);
    if (rateIndex < 0) {
        rateIndex = 3;
        modGlobals::Baudrate = 9600;
    }
    cmbBaudrate->setCurrentIndex(rateIndex);

    for (int n = 1; n <= 255; ++n) cmbComPort->addItem(PortEntryText(n));
    const int port = modGlobals::Comport;
    cmbComPort->setCurrentIndex(port >= 1 && port <= 255 ? port - 1 : 0);

    cmbLanguage->addItem(QString::fromStdString(modFunctions::GetText(890)).isEmpty()
                             ? QStringLiteral("Deutsch")
                             : QString::fromStdString(modFunctions::GetText(890)));
    cmbLanguage->addItem(QString::fromStdString(modFunctions::GetText(891)).isEmpty()
                             ? QStringLiteral("English")
                             : QString::fromStdString(modFunctions::GetText(891)));
    connect(cmbLanguage, qOverload<int>(&QComboBox::currentIndexChanged), this, &frmSplash::cmbLanguage_Click);
    cmbLanguage->setCurrentIndex(modFunctions::LanguageOffset() / 1000);
    cmbLanguage_Click(cmbLanguage->currentIndex());

    connect(cmdOK, &QPushButton::clicked, this, &frmSplash::cmdOK_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmSplash::cmdExit_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmSplash::cmdHelp_Click);
    modHTMLHelp::SetPopupHelpFile(this);
    modHTMLHelp::SetHelpPage(this, "Splash");  // F1, as the Help button
    modControls::PlainTextLabels(this);
}

void frmSplash::ApplyTexts() {
    modLanguage::ApplyLanguage(this);
    setWindowTitle(QString::fromStdString(modFunctions::GetText(900)));
}

void frmSplash::cmbLanguage_Click(int index) {
    if (index < 0) return;
    modFunctions::SetLanguageOffset(index * 1000);
    ApplyTexts();
    modHTMLHelp::SetPopupHelpFile(this);
}

void frmSplash::cmdOK_Click() {
    const int index = cmbBaudrate->currentIndex();
    modGlobals::Baudrate = index >= 0 && index < 6 ? modGlobals::Baudrates[index] : 9600;
    modGlobals::Comport = cmbComPort->currentIndex() + 1;
    // The program runs on with the choice; it is only not kept for the next start.
    std::string reason;
    if (!modIni::SaveSettings(&reason))
        modControls::ShowWarning(this, windowTitle(), modLanguage::Text(1138) + "\n\n" + QString::fromStdString(reason));
    accept();
}

void frmSplash::cmdExit_Click() {
    modGlobals::ExitRequested = true;
    reject();
}

void frmSplash::cmdHelp_Click() { modHTMLHelp::ShowSplashHelp(this); }

void frmSplash::closeEvent(QCloseEvent* event) {
    // The window's close box ends the program like Exit: nothing was confirmed.
    if (result() != QDialog::Accepted) modGlobals::ExitRequested = true;
    event->accept();
}

void frmSplash::done(int result) {
    if (result != QDialog::Accepted) modGlobals::ExitRequested = true;
    // Leaving the dialog hands popup help back to the plain help location.
    modHTMLHelp::SetApplicationHelpFile(modHTMLHelp::GetHelpFile());
    QDialog::done(result);
}
