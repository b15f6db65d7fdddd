// ORA2ORB2: configuration and monitoring program for the ORA-2 / ORB-2 laser
// distance sensors.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "modMain.h"

int main(int argc, char* argv[]) {
    // --help and --version answer on the terminal without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(modMain::UsageText().c_str(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs(modMain::VersionText().c_str(), stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("ORA2ORB2");
    // The desktop entry and icon the desktop shows for the program's windows.
    QGuiApplication::setDesktopFileName("org.ora2orb2.ORA2ORB2");
    return modMain::Main(QApplication::arguments());
}
