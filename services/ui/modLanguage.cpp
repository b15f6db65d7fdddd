#include "modLanguage.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QCoreApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <QMenu>
#include <QStringList>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVariant>
#include <QWidget>

#include "modFunctions.h"

namespace modLanguage {

QString Text(int id) { return QString::fromStdString(modFunctions::GetText(id)); }

void SetTag(QObject* object, int id) { object->setProperty("Tag", QString::number(id)); }

namespace {

// The text id held in a property value; 0 when it is missing or not a
// positive whole number.
int IdOf(const QVariant& value) {
    if (!value.isValid()) return 0;
    bool ok = false;
    const int id = value.toString().trimmed().toInt(&ok);
    return ok && id > 0 ? id : 0;
}

int PropertyId(const QObject* object, const char* name) { return IdOf(object->property(name)); }

// Entry `index` of a list property (a QStringList or a QVariantList).
int ListId(const QObject* object, const char* name, int index) {
    const QVariantList list = object->property(name).toList();
    return index >= 0 && index < list.size() ? IdOf(list.at(index)) : 0;
}

void ApplyToolTip(QWidget* widget) {
    if (const int id = PropertyId(widget, "ToolTipText")) widget->setToolTip(Text(id));
}

void ApplyTabs(QTabWidget* tabs) {
    for (int i = 0; i < tabs->count(); ++i) {
        const QWidget* page = tabs->widget(i);
        int id = ListId(tabs, "TabTags", i);
        if (!id && page) id = PropertyId(page, "Tag");
        if (id) tabs->setTabText(i, Text(id));
        int tip = ListId(tabs, "TabToolTips", i);
        if (!tip && page) tip = PropertyId(page, "ToolTipText");
        if (tip) tabs->setTabToolTip(i, Text(tip));
    }
}

void ApplyHeaders(QWidget* view) {
    if (auto* tree = qobject_cast<QTreeWidget*>(view)) {
        QTreeWidgetItem* header = tree->headerItem();
        for (int c = 0; header && c < tree->columnCount(); ++c)
            if (const int id = ListId(view, "HeaderTags", c)) header->setText(c, Text(id));
    } else if (auto* table = qobject_cast<QTableWidget*>(view)) {
        for (int c = 0; c < table->columnCount(); ++c) {
            const int id = ListId(view, "HeaderTags", c);
            if (!id) continue;
            if (QTableWidgetItem* item = table->horizontalHeaderItem(c))
                item->setText(Text(id));
            else
                table->setHorizontalHeaderItem(c, new QTableWidgetItem(Text(id)));
        }
    }
}

void ApplyWidget(QWidget* widget) {
    const int id = PropertyId(widget, "Tag");
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (id) label->setText(Text(id));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (id) button->setText(Text(id));
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        if (id) frame->setTitle(Text(id));
    } else if (auto* menu = qobject_cast<QMenu*>(widget)) {
        if (id) menu->setTitle(Text(id));
    } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        ApplyTabs(tabs);
    } else if (qobject_cast<QTreeWidget*>(widget) || qobject_cast<QTableWidget*>(widget)) {
        ApplyHeaders(widget);
    }
    ApplyToolTip(widget);
}

void ApplyAction(QAction* action) {
    if (const int id = PropertyId(action, "Tag")) action->setText(Text(id));
    if (const int tip = PropertyId(action, "ToolTipText")) action->setToolTip(Text(tip));
}

void Walk(QObject* parent) {
    for (QObject* child : parent->children()) {
        if (auto* widget = qobject_cast<QWidget*>(child)) {
            // Another window (a modeless dialog owned by this one) keeps its own
            // texts; drop-down menus are windows too but belong to this one.
            if (widget->isWindow() && !qobject_cast<QMenu*>(widget)) continue;
            ApplyWidget(widget);
        } else if (auto* action = qobject_cast<QAction*>(child)) {
            ApplyAction(action);
        }
        Walk(child);
    }
}

struct QtTranslation {
    QPointer<QTranslator> translator;  // installed while Qt speaks German
    QString folder;                    // empty: Qt's own translations folder
    int appliedOffset = -1;            // language offset last applied, -1 none yet
    bool inLanguage = false;           // result of that application
};

QtTranslation& QtState() {
    static QtTranslation state;
    return state;
}

}  // namespace

bool ApplyQtLanguage() {
    QtTranslation& q = QtState();
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return false;
    const int offset = modFunctions::LanguageOffset();
    if (offset == q.appliedOffset) return q.inLanguage;
    q.appliedOffset = offset;
    if (q.translator) {
        QCoreApplication::removeTranslator(q.translator);
        delete q.translator;
    }
    if (offset != 0) {  // English: Qt's built-in texts
        q.inLanguage = true;
        return true;
    }
    const QString folder =
        q.folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : q.folder;
    auto* translator = new QTranslator(app);
    if (translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                         folder) &&
        QCoreApplication::installTranslator(translator)) {
        q.translator = translator;
        q.inLanguage = true;
    } else {
        delete translator;
        q.inLanguage = false;
    }
    return q.inLanguage;
}

void SetQtTranslationsFolder(const QString& folder) {
    QtState().folder = folder;
    QtState().appliedOffset = -1;
}

void ApplyLanguage(QWidget* window) {
    ApplyQtLanguage();
    if (!window) return;
    if (const int id = PropertyId(window, "Tag")) window->setWindowTitle(Text(id));
    Walk(window);
}

}  // namespace modLanguage
