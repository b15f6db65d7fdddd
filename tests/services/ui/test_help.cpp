// Help pages, topic choice by language, the help viewer, F1 and the popup texts.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QWindow>
#include <QtTest>
#include <functional>

#include "modFunctions.h"
#include "modHTMLHelp.h"

class HelpTest : public QObject {
    Q_OBJECT

    static QString Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // Input as the window system delivers it: through the widget's window,
    // where Qt's modal blocking applies.
    static void Click(QWidget* widget, const QPoint& pos) {
        QWidget* top = widget->window();
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, widget->mapTo(top, pos));
    }
    static void Key(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(widget->window()->windowHandle(), key, modifiers);
    }
    // Where the link with text `text` is shown in the browser's viewport.
    static QPoint LinkPosition(QTextBrowser* browser, const QString& text) {
        const QTextCursor found = browser->document()->find(text);
        if (found.isNull() || !found.charFormat().isAnchor()) return {-1, -1};
        QTextCursor middle(browser->document());
        middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
        return browser->cursorRect(middle).center();
    }
    // Runs `checks` inside dialog.exec(); the dialog ends afterwards whatever they found.
    static void DuringExec(QDialog& dialog, const std::function<void()>& checks) {
        QTimer::singleShot(0, &dialog, [&] {
            checks();
            dialog.reject();
        });
        QTimer::singleShot(30000, &dialog, &QDialog::reject);  // a hung check ends the dialog too
        dialog.exec();
    }
    static QTextBrowser* ShownBrowser() {
        QTextBrowser* browser = modHTMLHelp::HelpBrowser();
        if (browser && !QTest::qWaitForWindowExposed(browser->window())) return nullptr;
        return browser;
    }

private slots:
    void cleanup() {
        modFunctions::SetLanguageOffset(0);
        modHTMLHelp::CloseHelp();
    }

    void topicOfTheLanguageInOneViewer() {
        modFunctions::SetLanguageOffset(2000);  // no such language: no topic, no viewer
        QCOMPARE(modHTMLHelp::TopicForLanguage("Main"), QString());
        QVERIFY(!modHTMLHelp::ShowMainHelp(nullptr));
        QCOMPARE(modHTMLHelp::HelpBrowser(), nullptr);
        QVERIFY(modHTMLHelp::ShowContents(nullptr));  // the start page has no language
        QVERIFY(modHTMLHelp::HelpBrowser()->source().toString().endsWith("/Start.htm"));

        modFunctions::SetLanguageOffset(0);
        QVERIFY(modHTMLHelp::ShowMainHelp(nullptr));
        QTextBrowser* browser = modHTMLHelp::HelpBrowser();
        QVERIFY(browser->window()->isVisible());
        QVERIFY(!browser->window()->testAttribute(Qt::WA_QuitOnClose));
        QCOMPARE(browser->documentTitle(), QString("Hauptfenster"));
        QVERIFY(browser->toPlainText().contains(QString::fromUtf8("Menüs")));  // read as UTF-8
        modFunctions::SetLanguageOffset(1000);
        QVERIFY(modHTMLHelp::ShowSettingsHelp(nullptr));
        QCOMPARE(modHTMLHelp::HelpBrowser(), browser);  // one viewer, reused
        QVERIFY(browser->source().toString().endsWith("/KOVSettings_en.htm"));
        QVERIFY(browser->toPlainText().contains("Air Pressure"));
    }

    // A modal dialog blocks the input of every other window; the viewer still
    // follows links, scrolls and closes, both when the dialog opens it and
    // when it was open before the dialog; the dialog keeps its own input.
    void viewerTakesInputWhileAModalDialogRuns() {
        QWidget main;
        main.resize(400, 300);
        main.show();
        QDialog dialog(&main);
        dialog.setModal(true);
        auto* button = new QPushButton("OK", &dialog);
        int presses = 0;
        connect(button, &QPushButton::clicked, [&] { ++presses; });

        const auto useViewer = [&] {
            QTextBrowser* browser = ShownBrowser();
            QVERIFY(browser);
            const QPoint link = LinkPosition(browser, "Hauptfenster");
            QVERIFY(link.x() >= 0);
            Click(browser->viewport(), link);
            QTRY_VERIFY(browser->source().toString().endsWith("/Main_de.htm"));

            QScrollBar* bar = browser->verticalScrollBar();
            QVERIFY(bar->maximum() > 0);
            Click(bar, QPoint(bar->width() / 2, bar->height() - bar->width() - 4));
            QTRY_VERIFY(bar->value() > 0);

            Click(button, button->rect().center());
            QCOMPARE(presses, 1);
            presses = 0;

            const QPointer<QWidget> viewer = browser->window();
            Key(browser, Qt::Key_Escape);
            QVERIFY(!viewer || !viewer->isVisible());
        };

        DuringExec(dialog, [&] {
            QVERIFY(modHTMLHelp::ShowSplashHelp(&dialog));
            useViewer();
        });
        QVERIFY(!modHTMLHelp::HelpBrowser());

        // Left open, the viewer stands on its own again once the dialog has closed.
        DuringExec(dialog, [&] { QVERIFY(modHTMLHelp::ShowSplashHelp(&dialog)); });
        QVERIFY(modHTMLHelp::HelpBrowser());
        QTRY_COMPARE(modHTMLHelp::HelpBrowser()->window()->windowHandle()->transientParent(), nullptr);
        modHTMLHelp::CloseHelp();
        QTRY_VERIFY(!modHTMLHelp::HelpBrowser());

        QVERIFY(modHTMLHelp::ShowSplashHelp(&main));
        DuringExec(dialog, useViewer);
        QVERIFY(!modHTMLHelp::HelpBrowser());
    }

    // F1 shows the topic of the window in front, in the current language; a
    // window without one takes the topic of its owner. Shift+F1 stays the
    // What's-This help of the control with the focus.
    void f1ShowsTheTopicOfTheWindowInFront() {
        QWidget main;
        main.resize(400, 300);
        modHTMLHelp::SetHelpPage(&main, "Main");
        auto* start = new QPushButton("Start", &main);
        start->setWhatsThis("Starts the measurement.");
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        start->setFocus();

        Key(start, Qt::Key_F1, Qt::ShiftModifier);
        QVERIFY(!modHTMLHelp::HelpBrowser());
        QWidget* popup = QApplication::activePopupWidget();
        QVERIFY(popup && popup->inherits("QWhatsThat"));
        popup->close();

        Key(start, Qt::Key_F1);
        QTextBrowser* browser = ShownBrowser();
        QVERIFY(browser);
        QVERIFY(browser->source().toString().endsWith("/Main_de.htm"));
        Key(browser, Qt::Key_F1);  // the viewer has no topic: stays where it is
        QVERIFY(browser->source().toString().endsWith("/Main_de.htm"));

        QDialog dialog(&main);
        dialog.setModal(true);
        modHTMLHelp::SetHelpPage(&dialog, "Splash");
        auto* message = new QDialog(&dialog);  // no topic of its own
        DuringExec(dialog, [&] {
            Key(&dialog, Qt::Key_F1);
            QVERIFY(browser->source().toString().endsWith("/Splash_de.htm"));
            Key(&main, Qt::Key_F1);  // blocked behind the dialog: nothing
            QVERIFY(browser->source().toString().endsWith("/Splash_de.htm"));
            modFunctions::SetLanguageOffset(1000);
            message->show();
            QVERIFY(QTest::qWaitForWindowExposed(message));
            Key(message, Qt::Key_F1);
            QVERIFY(browser->source().toString().endsWith("/Splash_en.htm"));
        });

        modHTMLHelp::SetHelpPage(&main, "Start.htm");  // a page without languages
        Key(&main, Qt::Key_F1);
        QVERIFY(browser->source().toString().endsWith("/Start.htm"));
        QCOMPARE(modHTMLHelp::HelpPageFor(nullptr), QString());
    }

    // Every page is there, and every link between pages (and every anchor) leads somewhere.
    void pagesAndLinksResolve() {
        const QString dir = modHTMLHelp::GetHelpFile();
        for (const char* name : {"Start.htm", "Main_de.htm", "Main_en.htm", "Splash_de.htm", "Splash_en.htm",
                                    "KOVSettings_de.htm", "KOVSettings_en.htm", "KOV_PopUps_De.txt", "KOV_PopUps_En.txt"})
            QVERIFY2(QFile::exists(dir + "/" + name), name);

        const QRegularExpression href("href=\"([^\"]*)\"");
        const QStringList pages = QDir(dir).entryList({"*.htm"});
        int links = 0;
        for (const QString& page : pages) {
            for (auto it = href.globalMatch(Read(dir + "/" + page)); it.hasNext(); ++links) {
                const QUrl url(it.next().captured(1));
                const QString file = url.path().isEmpty() ? page : url.path();
                QVERIFY2(url.scheme().isEmpty() && pages.contains(file), qPrintable(page + ": " + url.toString()));
                if (url.hasFragment())
                    QVERIFY2(Read(dir + "/" + file).contains("name=\"" + url.fragment() + "\""),
                             qPrintable(page + ": " + url.toString()));
            }
        }
        QVERIFY(links > 40);
    }

    void popupTextsFollowTheLanguage() {
        QWidget window;
        window.setObjectName("frmMain");
        auto* start = new QPushButton("Start", &window);
        start->setObjectName("cmdStart");
        auto* owned = new QDialog(&window);  // another window: gets its texts when it loads
        auto* ownedButton = new QPushButton("y", owned);
        ownedButton->setObjectName("cmdStart");

        // An unknown language (3000) keeps the choice.
        for (const auto& [offset, file, word] : {std::tuple{1000, "/KOV_PopUps_En.txt", "measurement"},
                                                 {3000, "/KOV_PopUps_En.txt", "measurement"},
                                                 {0, "/KOV_PopUps_De.txt", "Messung"}}) {
            modFunctions::SetLanguageOffset(offset);
            modHTMLHelp::SetPopupHelpFile(&window);
            QVERIFY(modHTMLHelp::ApplicationHelpFile().endsWith(file));
            QVERIFY2(start->whatsThis().contains(word), qPrintable(start->whatsThis()));
        }
        QVERIFY(ownedButton->whatsThis().isEmpty());

        // Both languages explain the same controls.
        const auto keys = [](const char* file) {
            const QRegularExpression key("^\\[(.+)\\]\\s*$", QRegularExpression::MultilineOption);
            QStringList k;
            for (auto it = key.globalMatch(Read(modHTMLHelp::GetHelpFile() + file)); it.hasNext();)
                k << it.next().captured(1);
            return k;
        };
        QVERIFY(keys("/KOV_PopUps_De.txt").size() > 30);
        QCOMPARE(keys("/KOV_PopUps_De.txt"), keys("/KOV_PopUps_En.txt"));
    }

    void popupFileFormat() {
        QTemporaryDir dir;
        const QString path = dir.filePath("popups.txt");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# comment\n[cmdOK]\nAny window.\n\n"
                "[frmSplash.cmdOK]\n  Start dialog,\n\nsecond paragraph.   \n# a comment inside is skipped\n\n\n"
                "[empty]\n[]\nstray\n");
        f.close();
        QCOMPARE(modHTMLHelp::PopupText(path, "frmSplash", "cmdOK"), QString("Start dialog,\n\nsecond paragraph."));
        QCOMPARE(modHTMLHelp::PopupText(path, "frmMain", "cmdOK"), QString("Any window."));
        QCOMPARE(modHTMLHelp::PopupText(path, QString(), "cmdOK"), QString("Any window."));
        QCOMPARE(modHTMLHelp::PopupText(path, "frmMain", "empty"), QString());
        QCOMPARE(modHTMLHelp::PopupText(path, "frmMain", "missing"), QString());
        QCOMPARE(modHTMLHelp::PopupText(dir.filePath("none.txt"), "frmMain", "cmdOK"), QString());
    }
};

QTEST_MAIN(HelpTest)
#include "test_help.moc"
