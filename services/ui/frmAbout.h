#pragma once
// The about box (Help > Info): program version, operating system, product name.
#include <QDialog>

class QLabel;
class QPushButton;

// "V" + major.minor.revision of the program version, for the about box and the start dialog.
QString ProgramVersionText();

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    // Shows the box modally.
    static void ShowAbout(QWidget* parent);

    QLabel* lblVersion = nullptr;
    QLabel* lblOPSystem = nullptr;
    QLabel* lblProduct = nullptr;
    QPushButton* cmdOK = nullptr;
};
