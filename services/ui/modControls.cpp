#include "modControls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSignalBlocker>

namespace modControls {

void SetComboIndexSilent(QComboBox* list, int index) {
    if (!list) return;
    const QSignalBlocker block(list);
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

void SetCheckSilent(QAbstractButton* box, int state) {
    if (!box) return;
    const QSignalBlocker block(box);
    box->setChecked(state != 0);
}

}  // namespace modControls
