#pragma once
// The program's help: HTML topic pages shown in the program's own help viewer,
// and short popup texts shown as What's-This help on the controls.
//
// The pages are built into the program under GetHelpFile(). Popup texts live in
// one file per language, KOV_PopUps_De.txt and KOV_PopUps_En.txt, beside the
// pages. Their format is a list of entries, each a header line naming a control
// followed by its text:
//
//     [frmMain.cmdStart]          control cmdStart of the window frmMain
//     Starts the continuous measurement.
//
//     [cmbBaudrate]               control cmbBaudrate of any window
//     ...
//
// Lines starting with '#' are comments; blank lines inside a text are kept as
// paragraph breaks, trailing blank lines are dropped.
#include <QString>

class QTextBrowser;
class QWidget;

namespace modHTMLHelp {

// Where the help pages live (a resource folder, usable as a path prefix).
QString GetHelpFile();

// The popup text file of the current language: German for language offset 0,
// English for 1000, empty for any other offset.
QString PopupHelpFileForLanguage();

// The file the popup help currently reads its texts from. It is the help
// location itself (no popup texts) until SetPopupHelpFile() chooses a popup file.
QString ApplicationHelpFile();
void SetApplicationHelpFile(const QString& file);

// Chooses the popup text file of the current language (an offset other than 0
// or 1000 leaves the choice unchanged). When `window` is given, also sets the
// What's-This texts of its controls from that file (ApplyPopupHelp).
void SetPopupHelpFile(QWidget* window = nullptr);

// Sets the What's-This text of every control of `window` whose object name has
// an entry in the current popup text file; returns how many were set.
int ApplyPopupHelp(QWidget* window);

// The popup text for control `control` of window `window` in popup file `file`
// (empty when there is none).
QString PopupText(const QString& file, const QString& window, const QString& control);

// Page names of the language-dependent topics ("Main" gives "Main_de.htm" or
// "Main_en.htm"); empty for a language offset other than 0 or 1000.
QString TopicForLanguage(const QString& base);

// Shows page `page` (for example "Start.htm") in the help viewer, opening the
// viewer if needed. An empty page name shows nothing. Returns whether the page was shown.
// The viewer takes input also while a modal dialog runs: it belongs to the
// modal window in front (as its transient child) and follows the next one
// that opens, so Qt's modal blocking leaves it alone.
bool ShowTopic(QWidget* caller, const QString& page);

// F1 help. F1 shows the help topic of the window in front; a window without a
// topic of its own takes the one of the window it belongs to (its parent's).
// Shift+F1 stays Qt's What's-This help of the control with the focus.
//
// Registers `topic` for `window`: a page name ("Start.htm") or the base name of
// a topic in both languages ("Main" gives "Main_de.htm" or "Main_en.htm" at the
// time F1 is pressed). Stored in the window's property "helpPage"; the first
// call makes F1 work in the whole program.
constexpr const char* HelpPageProperty = "helpPage";
void SetHelpPage(QWidget* window, const QString& topic);

// The page F1 shows for `widget` (empty when neither its window nor an owner
// of it has a topic).
QString HelpPageFor(const QWidget* widget);

// The triggers of the windows.
bool ShowContents(QWidget* caller);          // Help > Content: "Start.htm"
bool ShowMainHelp(QWidget* caller);          // main window help
bool ShowSplashHelp(QWidget* caller);        // start dialog help
bool ShowSettingsHelp(QWidget* caller);      // configuration dialog help

// The help viewer's browser, or nullptr while no help is shown.
QTextBrowser* HelpBrowser();

// Closes the help viewer (at program end).
void CloseHelp();

}  // namespace modHTMLHelp
