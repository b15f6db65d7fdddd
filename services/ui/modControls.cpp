#include "modControls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QMessageBox>
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

namespace {
WarningFunction& Warning() {
    static WarningFunction show;
    return show;
}
}  // namespace

void ShowWarning(QWidget* parent, const QString& title, const QString& text) {
    if (Warning()) {
        const WarningFunction show = Warning();  // it may replace itself
        show(parent, title, text);
        return;
    }
    QMessageBox::warning(parent, title, text);
}

void SetWarningFunction(WarningFunction show) { Warning() = std::move(show); }

}  // namespace modControls
