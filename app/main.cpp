// ORA2ORB2: configuration and monitoring program for the ORA-2 / ORB-2 laser
// distance sensors.
#include <QApplication>

#include "modMain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("ORA2ORB2");
    return modMain::Main(QApplication::arguments());
}
