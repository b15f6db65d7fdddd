#pragma once
// The program's start sequence: where the data lives, the settings, the start
// dialog, then the main window for as long as the program runs.
#include <QString>
#include <QStringList>
#include <string>

#include "SerialPort.h"

class QWidget;

namespace modMain {

// Folder for KOV.ini, the REC folder and the settings report: the folder
// given with --data-dir DIR (or --data-dir=DIR); else the executable's folder
// when it is writable and not a system program folder (a portable install);
// else the user's data folder. The folder is created when missing.
QString DecideProgramFolder(const QStringList& arguments, const QString& executableFolder);

// True for the folders an installed program lives in (/usr/bin,
// /usr/local/bin, ..., and the build's own installation folder): files of
// the user never go there, not even when the folder is writable (root).
bool IsSystemProgramFolder(const QString& folder);

// What --help and --version print.
std::string UsageText();
std::string VersionText();

// The port `device` could not be opened. When the reason is a group the user
// is not in (`problem`, see SerialLayer::MissingGroupForDevice), returns the
// words for the status bar (" - /dev/ttyUSB0 belongs to group dialout, ...")
// and, once per run, shows over `parent` how to join the group (after the
// current event, so a tick that reports the failure is not held up).
// Otherwise returns "".
QString PortAccessHint(QWidget* parent, const std::string& device, const SerialLayer::GroupProblem& problem);
// The same, asking the system why `device` cannot be opened.
QString PortAccessHint(QWidget* parent, const std::string& device);
// Tests: the next PortAccessHint may show its message again.
void ResetPortAccessHint();

// True when a file can be created in `folder`.
bool FolderIsWritable(const QString& folder);

// Runs the program: settings, start dialog, main window. Needs a QApplication.
// Returns the process exit code (0 also when the start dialog is left with Exit).
int Main(const QStringList& arguments);

// The link's waits (parameter writes): lets pending events run, the
// measurement timer among them, and returns within maxWaitMs even when no
// event comes.
void PumpEvents(int maxWaitMs);

}  // namespace modMain
