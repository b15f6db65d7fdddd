#pragma once
// Setters for controls that the program itself changes (for example after the
// sensor's parameters were read): they change the control without running the
// handlers that react to the user, so nothing is written back to the sensor.
class QAbstractButton;
class QComboBox;

namespace modControls {

// Selects entry `index` of `list`; -1 (or any index outside the list) selects no entry.
void SetComboIndexSilent(QComboBox* list, int index);

// Sets a check box (or any checkable button): 0 unchecked, anything else checked.
void SetCheckSilent(QAbstractButton* box, int state);

}  // namespace modControls
