#include "modHTMLHelp.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QPointer>
#include <QStringList>
#include <QStyle>
#include <QTextBrowser>
#include <QTextStream>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include "modFunctions.h"

// The pages are compiled into this library; make sure the linker keeps them.
static void InitHelpResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(ora_help);
        return true;
    }();
    (void)done;
}

namespace modHTMLHelp {

namespace {

const char* const kStartPage = "Start.htm";

QString& CurrentHelpFile() {
    static QString file;
    return file;
}

// The help window: a browser that follows links between the pages, with back,
// forward and contents buttons.
class HelpViewer : public QWidget {
public:
    HelpViewer() : QWidget(nullptr, Qt::Window) {
        setObjectName("frmHelp");
        setAttribute(Qt::WA_DeleteOnClose);
        setAttribute(Qt::WA_QuitOnClose, false);  // never keeps the program alive
        browser_ = new QTextBrowser(this);
        browser_->setObjectName("txtHelp");
        browser_->setOpenExternalLinks(true);
        back = MakeButton(QStyle::SP_ArrowBack);
        forward = MakeButton(QStyle::SP_ArrowForward);
        home = MakeButton(QStyle::SP_DirHomeIcon);
        back->setEnabled(false);
        forward->setEnabled(false);
        connect(back, &QToolButton::clicked, browser_, &QTextBrowser::backward);
        connect(forward, &QToolButton::clicked, browser_, &QTextBrowser::forward);
        connect(home, &QToolButton::clicked, this,
                [this] { browser_->setSource(QUrl("qrc" + GetHelpFile() + "/" + kStartPage)); });
        connect(browser_, &QTextBrowser::backwardAvailable, back, &QToolButton::setEnabled);
        connect(browser_, &QTextBrowser::forwardAvailable, forward, &QToolButton::setEnabled);
        connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
            const QString title = browser_->documentTitle();
            setWindowTitle(title.isEmpty() ? QString("ORA-2 / ORB-2") : "ORA-2 / ORB-2 - " + title);
        });

        auto* buttons = new QHBoxLayout;
        buttons->addWidget(back);
        buttons->addWidget(forward);
        buttons->addWidget(home);
        buttons->addStretch();
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(buttons);
        layout->addWidget(browser_);
        resize(760, 620);
    }

    QTextBrowser* Browser() const { return browser_; }

    // A modal window blocks the input of every window but its own transient
    // children: the viewer becomes one of the modal window in front, and
    // stands on its own again when that one closes and no other is open.
    void FollowModalWindow() {
        const QWidget* modal = QApplication::activeModalWidget();
        QWindow* owner = modal && modal != this ? modal->window()->windowHandle() : nullptr;
        if (!windowHandle()) create();
        QWindow* own = windowHandle();
        if (!own || own->transientParent() == owner) return;
        disconnect(ownerClosing_);
        own->setTransientParent(owner);
        // Looked at once the closing window has left Qt's list of modal windows.
        if (owner)
            ownerClosing_ = connect(owner, &QWindow::visibleChanged, this, [this](bool visible) {
                if (!visible) QMetaObject::invokeMethod(this, &HelpViewer::FollowModalWindow, Qt::QueuedConnection);
            });
    }

    // Button tips in the current language.
    void ApplyLanguage() {
        const bool english = modFunctions::LanguageOffset() == modFunctions::English;
        back->setToolTip(english ? "Back" : QString::fromUtf8("Zurück"));
        forward->setToolTip(english ? "Forward" : QString::fromUtf8("Vorwärts"));
        home->setToolTip(english ? "Contents" : "Inhalt");
    }

    QToolButton* back = nullptr;
    QToolButton* forward = nullptr;
    QToolButton* home = nullptr;

protected:
    // Escape (and the platform's close key) closes the viewer.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Close)) {
            close();
            return;
        }
        QWidget::keyPressEvent(event);
    }

    bool event(QEvent* event) override {
        // A modal window has opened over the one the viewer belongs to: the
        // viewer moves over to it and is unblocked at once.
        if (event->type() == QEvent::WindowBlocked) FollowModalWindow();
        return QWidget::event(event);
    }

private:
    QToolButton* MakeButton(QStyle::StandardPixmap icon) {
        auto* button = new QToolButton(this);
        button->setIcon(style()->standardIcon(icon));
        button->setAutoRaise(true);
        return button;
    }

    QTextBrowser* browser_ = nullptr;
    QMetaObject::Connection ownerClosing_;
};

QPointer<HelpViewer>& Viewer() {
    static QPointer<HelpViewer> viewer;
    return viewer;
}

// F1 anywhere in the program: the topic of the window in front. Shift+F1
// (What's This) and every other key pass on.
class HelpKey : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
        auto* widget = static_cast<QWidget*>(watched);
        const QString page = HelpPageFor(widget);
        if (page.isEmpty()) return false;
        if (!key->isAutoRepeat()) ShowTopic(widget, page);
        return true;
    }
};

void InstallHelpKey() {
    static QPointer<HelpKey> filter;
    if (filter || !QCoreApplication::instance()) return;
    filter = new HelpKey(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(filter);
}

// Parses a popup text file into (key, text) entries.
QHash<QString, QString> ReadPopupFile(const QString& path) {
    QHash<QString, QString> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return entries;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QString key;
    QStringList lines;
    auto flush = [&] {
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty()) lines.removeLast();
        while (!lines.isEmpty() && lines.first().trimmed().isEmpty()) lines.removeFirst();
        if (!key.isEmpty() && !lines.isEmpty()) entries.insert(key, lines.join('\n'));
        lines.clear();
    };
    while (!in.atEnd()) {
        const QString line = in.readLine();
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith('#')) continue;
        if (trimmed.startsWith('[') && trimmed.endsWith(']') && trimmed.size() >= 2) {
            flush();
            key = trimmed.mid(1, trimmed.size() - 2).trimmed();
        } else if (!key.isEmpty()) {
            lines << line.trimmed();
        }
    }
    flush();
    return entries;
}

const QHash<QString, QString>& PopupEntries(const QString& path) {
    static QHash<QString, QHash<QString, QString>> cache;
    auto it = cache.find(path);
    if (it == cache.end()) it = cache.insert(path, ReadPopupFile(path));
    return it.value();
}

QString Lookup(const QHash<QString, QString>& entries, const QString& window, const QString& control) {
    if (control.isEmpty()) return {};
    if (!window.isEmpty()) {
        const auto it = entries.constFind(window + '.' + control);
        if (it != entries.constEnd()) return it.value();
    }
    return entries.value(control);
}

}  // namespace

QString GetHelpFile() {
    InitHelpResources();
    return QStringLiteral(":/help");
}

QString PopupHelpFileForLanguage() {
    switch (modFunctions::LanguageOffset()) {
        case 0: return GetHelpFile() + "/KOV_PopUps_De.txt";
        case 1000: return GetHelpFile() + "/KOV_PopUps_En.txt";
        default: return {};
    }
}

QString ApplicationHelpFile() {
    if (CurrentHelpFile().isEmpty()) return GetHelpFile();
    return CurrentHelpFile();
}

void SetApplicationHelpFile(const QString& file) { CurrentHelpFile() = file; }

void SetPopupHelpFile(QWidget* window) {
    const QString file = PopupHelpFileForLanguage();
    if (!file.isEmpty()) SetApplicationHelpFile(file);
    if (window) ApplyPopupHelp(window);
}

QString PopupText(const QString& file, const QString& window, const QString& control) {
    return Lookup(PopupEntries(file), window, control);
}

int ApplyPopupHelp(QWidget* window) {
    if (!window) return 0;
    const QString file = ApplicationHelpFile();
    if (!file.endsWith(".txt", Qt::CaseInsensitive)) return 0;
    const auto& entries = PopupEntries(file);
    const QString windowName = window->objectName();
    int count = 0;
    auto apply = [&](QWidget* widget) {
        const QString text = Lookup(entries, windowName, widget->objectName());
        if (text.isEmpty()) return;
        widget->setWhatsThis(text);
        ++count;
    };
    apply(window);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        // Controls of other windows owned by this one get theirs when they load.
        bool own = true;
        for (QWidget* w = child; w && w != window; w = w->parentWidget())
            if (w->isWindow()) own = false;
        if (own) apply(child);
    }
    return count;
}

QString TopicForLanguage(const QString& base) {
    switch (modFunctions::LanguageOffset()) {
        case 0: return base + "_de.htm";
        case 1000: return base + "_en.htm";
        default: return {};
    }
}

bool ShowTopic(QWidget* caller, const QString& page) {
    if (page.isEmpty()) return false;
    auto& viewer = Viewer();
    if (!viewer) viewer = new HelpViewer;
    viewer->FollowModalWindow();
    if (caller && !viewer->isVisible()) {
        // Open beside the calling window rather than on top of it.
        const QRect r = caller->window()->frameGeometry();
        viewer->move(r.topLeft() + QPoint(40, 40));
    }
    viewer->ApplyLanguage();
    viewer->Browser()->setSource(QUrl("qrc" + GetHelpFile() + "/" + page));
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return true;
}

bool ShowContents(QWidget* caller) { return ShowTopic(caller, kStartPage); }
bool ShowMainHelp(QWidget* caller) { return ShowTopic(caller, TopicForLanguage("Main")); }
bool ShowSplashHelp(QWidget* caller) { return ShowTopic(caller, TopicForLanguage("Splash")); }
bool ShowSettingsHelp(QWidget* caller) { return ShowTopic(caller, TopicForLanguage("KOVSettings")); }

void SetHelpPage(QWidget* window, const QString& topic) {
    if (!window) return;
    window->setProperty(HelpPageProperty, topic);
    InstallHelpKey();
}

QString HelpPageFor(const QWidget* widget) {
    for (const QWidget* w = widget ? widget->window() : nullptr; w;
         w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        const QString topic = w->property(HelpPageProperty).toString();
        if (topic.isEmpty()) continue;
        return topic.contains('.') ? topic : TopicForLanguage(topic);
    }
    return {};
}

QTextBrowser* HelpBrowser() { return Viewer() ? Viewer()->Browser() : nullptr; }

void CloseHelp() {
    if (Viewer()) Viewer()->close();
}

}  // namespace modHTMLHelp
