#pragma once
// Setters for controls that the program itself changes (for example after the
// sensor's parameters were read): they change the control without running the
// handlers that react to the user, so nothing is written back to the sensor.
// And the program's warning box, which tests can take over.
#include <QMessageBox>
#include <functional>

class QAbstractButton;
class QComboBox;
class QString;
class QWidget;

namespace modControls {

// Selects entry `index` of `list`; -1 (or any index outside the list) selects no entry.
void SetComboIndexSilent(QComboBox* list, int index);

// Sets a check box (or any checkable button): 0 unchecked, anything else checked.
void SetCheckSilent(QAbstractButton* box, int state);

// Text from outside the program (the sensor's identity and temperature,
// descriptions and names from files, the system's error texts) is shown as
// it is, never read as markup: "<b>" in a serial number stays "<b>".

// Every label below `window` shows its text as plain text.
void PlainTextLabels(QWidget* window);

// A modal message box over `parent` with `text` as plain text; returns the
// button pressed.
QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// Shows `text` in a modal warning box titled `title` over `parent` and waits
// for OK.
void ShowWarning(QWidget* parent, const QString& title, const QString& text);

// Replaces the warning box (tests record the call instead); an empty function
// restores the box.
using WarningFunction = std::function<void(QWidget* parent, const QString& title, const QString& text)>;
void SetWarningFunction(WarningFunction show);

}  // namespace modControls
