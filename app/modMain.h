#pragma once
// The program's start sequence: where the data lives, the settings, the start
// dialog, then the main window for as long as the program runs.
#include <QString>
#include <QStringList>

namespace modMain {

// Folder for KOV.ini, the REC folder and the settings report: the folder
// given with --data-dir DIR (or --data-dir=DIR); else the executable's folder
// when it is writable (a portable install); else the user's data folder.
// The folder is created when missing.
QString DecideProgramFolder(const QStringList& arguments, const QString& executableFolder);

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
