#include "modControls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
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

void PlainTextLabels(QWidget* window) {
    if (!window) return;
    if (auto* label = qobject_cast<QLabel*>(window)) label->setTextFormat(Qt::PlainText);
    for (QLabel* label : window->findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
}

QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
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
    Message(parent, QMessageBox::Warning, title, text);
}

void SetWarningFunction(WarningFunction show) { Warning() = std::move(show); }

}  // namespace modControls
