#include "frmAbout.h"

#include <QCoreApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVersionNumber>

#include "modAPI.h"
#include "modControls.h"
#include "modHTMLHelp.h"
#include "modLanguage.h"

QString ProgramVersionText() {
    // The build's version; an application that states its own version wins.
    QString text = QCoreApplication::applicationVersion();
    if (QVersionNumber::fromString(text).segmentCount() == 0) text = QStringLiteral(ORA_VERSION_TEXT);
    const QVersionNumber v = QVersionNumber::fromString(text);
    return QStringLiteral("V%1.%2.%3").arg(v.majorVersion()).arg(v.minorVersion()).arg(v.microVersion());
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName("frmAbout");
    modLanguage::SetTag(this, 1190);
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    lblProduct = new QLabel(QStringLiteral("ORA-2 /ORB-2"), this);
    lblProduct->setObjectName("lblProduct");
    QFont big = lblProduct->font();
    big.setPointSize(big.pointSize() + 8);
    big.setBold(true);
    lblProduct->setFont(big);

    lblVersion = new QLabel(ProgramVersionText(), this);
    lblVersion->setObjectName("lblVersion");
    lblOPSystem = new QLabel(QString::fromStdString(modAPI::GetOSName()), this);
    lblOPSystem->setObjectName("lblOPSystem");

    cmdOK = new QPushButton(this);
    cmdOK->setObjectName("cmdOK");
    modLanguage::SetTag(cmdOK, 1095);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblProduct, 0, Qt::AlignHCenter);
    layout->addWidget(lblVersion, 0, Qt::AlignHCenter);
    layout->addWidget(lblOPSystem, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    modLanguage::ApplyLanguage(this);
    modHTMLHelp::ApplyPopupHelp(this);
    modControls::PlainTextLabels(this);
}

void frmAbout::ShowAbout(QWidget* parent) {
    frmAbout box(parent);
    box.exec();
}
