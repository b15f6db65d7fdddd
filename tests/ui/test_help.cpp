// Help pages, topic choice by language, the help viewer and the popup texts.
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include "modFunctions.h"
#include "modHTMLHelp.h"

class HelpTest : public QObject {
    Q_OBJECT

    static QString Read(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll());
    }

private slots:
    void cleanup() {
        modFunctions::SetLanguageOffset(0);
        modHTMLHelp::CloseHelp();
    }

    void topicNamesPerLanguage() {
        modFunctions::SetLanguageOffset(0);
        QCOMPARE(modHTMLHelp::TopicForLanguage("Main"), QString("Main_de.htm"));
        QCOMPARE(modHTMLHelp::TopicForLanguage("Splash"), QString("Splash_de.htm"));
        modFunctions::SetLanguageOffset(1000);
        QCOMPARE(modHTMLHelp::TopicForLanguage("KOVSettings"), QString("KOVSettings_en.htm"));
        modFunctions::SetLanguageOffset(2000);
        QCOMPARE(modHTMLHelp::TopicForLanguage("Main"), QString());
        QVERIFY(!modHTMLHelp::ShowMainHelp(nullptr));
        QVERIFY(!modHTMLHelp::ShowSplashHelp(nullptr));
        QVERIFY(!modHTMLHelp::ShowSettingsHelp(nullptr));
        QCOMPARE(modHTMLHelp::HelpBrowser(), nullptr);  // nothing opened
        QVERIFY(modHTMLHelp::ShowContents(nullptr));     // the start page has no language
        QVERIFY(modHTMLHelp::HelpBrowser()->source().toString().endsWith("/Start.htm"));
    }

    void viewerShowsTheTopicOfTheLanguage() {
        modFunctions::SetLanguageOffset(0);
        QVERIFY(modHTMLHelp::ShowMainHelp(nullptr));
        QTextBrowser* browser = modHTMLHelp::HelpBrowser();
        QVERIFY(browser);
        QVERIFY(browser->window()->isVisible());
        QVERIFY(!browser->window()->testAttribute(Qt::WA_QuitOnClose));
        QCOMPARE(browser->documentTitle(), QString("Hauptfenster"));
        QVERIFY(browser->toPlainText().contains("Verbindungsanzeige"));
        QVERIFY(browser->toPlainText().contains(QString::fromUtf8("Menüs")));  // read as UTF-8
        modFunctions::SetLanguageOffset(1000);
        QVERIFY(modHTMLHelp::ShowSettingsHelp(nullptr));
        QCOMPARE(modHTMLHelp::HelpBrowser(), browser);  // one viewer, reused
        QVERIFY(browser->source().toString().endsWith("/KOVSettings_en.htm"));
        QVERIFY(browser->toPlainText().contains("Air Pressure"));
        browser->backward();
        QCOMPARE(browser->documentTitle(), QString("Hauptfenster"));
        QVERIFY(!modHTMLHelp::ShowTopic(nullptr, QString()));
    }

    // Every page is there, and every link between pages (and every anchor) leads somewhere.
    void pagesAndLinksResolve() {
        const QString dir = modHTMLHelp::GetHelpFile();
        const QStringList bound{"Start.htm",   "Main_de.htm",        "Main_en.htm",        "Splash_de.htm",
                                "Splash_en.htm", "KOVSettings_de.htm", "KOVSettings_en.htm",
                                "KOV_PopUps_De.txt", "KOV_PopUps_En.txt"};
        for (const QString& name : bound) QVERIFY2(QFile::exists(dir + "/" + name), qPrintable(name));

        const QRegularExpression href("href=\"([^\"]*)\"");
        const QStringList pages = QDir(dir).entryList({"*.htm"});
        QVERIFY(pages.size() >= 7);
        int links = 0;
        for (const QString& page : pages) {
            const QString html = Read(dir + "/" + page);
            QVERIFY2(html.contains("<title>"), qPrintable(page));
            for (auto it = href.globalMatch(html); it.hasNext();) {
                const QString target = it.next().captured(1);
                const QUrl url(target);
                QVERIFY2(url.scheme().isEmpty(), qPrintable(page + ": " + target));
                const QString file = url.path().isEmpty() ? page : url.path();
                QVERIFY2(pages.contains(file), qPrintable(page + ": " + target));
                if (url.hasFragment())
                    QVERIFY2(Read(dir + "/" + file).contains("name=\"" + url.fragment() + "\""),
                             qPrintable(page + ": " + target));
                ++links;
            }
        }
        QVERIFY(links > 40);
    }

    void popupFileFollowsTheLanguage() {
        modHTMLHelp::SetApplicationHelpFile(QString());
        QCOMPARE(modHTMLHelp::ApplicationHelpFile(), modHTMLHelp::GetHelpFile());
        modFunctions::SetLanguageOffset(1000);
        modHTMLHelp::SetPopupHelpFile();
        QVERIFY(modHTMLHelp::ApplicationHelpFile().endsWith("/KOV_PopUps_En.txt"));
        modFunctions::SetLanguageOffset(3000);  // unknown language: the choice stays
        modHTMLHelp::SetPopupHelpFile();
        QVERIFY(modHTMLHelp::ApplicationHelpFile().endsWith("/KOV_PopUps_En.txt"));
        modFunctions::SetLanguageOffset(0);
        modHTMLHelp::SetPopupHelpFile();
        QVERIFY(modHTMLHelp::ApplicationHelpFile().endsWith("/KOV_PopUps_De.txt"));
    }

    void popupTextsBecomeWhatsThis() {
        QWidget window;
        window.setObjectName("frmMain");
        auto* start = new QPushButton("Start", &window);
        start->setObjectName("cmdStart");
        auto* unknown = new QPushButton("x", &window);
        unknown->setObjectName("cmdNothing");
        auto* owned = new QDialog(&window);  // another window: gets its texts when it loads
        auto* ownedButton = new QPushButton("y", owned);
        ownedButton->setObjectName("cmdStart");

        modFunctions::SetLanguageOffset(0);
        modHTMLHelp::SetPopupHelpFile(&window);
        const QString german = start->whatsThis();
        QVERIFY(german.contains("Messung"));
        QVERIFY(unknown->whatsThis().isEmpty());
        QVERIFY(ownedButton->whatsThis().isEmpty());
        modFunctions::SetLanguageOffset(1000);
        modHTMLHelp::SetPopupHelpFile(&window);
        QVERIFY(start->whatsThis().contains("measurement"));

        // Both languages explain the same controls.
        const QRegularExpression key("^\\[(.+)\\]\\s*$", QRegularExpression::MultilineOption);
        QStringList de, en;
        for (auto it = key.globalMatch(Read(modHTMLHelp::GetHelpFile() + "/KOV_PopUps_De.txt")); it.hasNext();)
            de << it.next().captured(1);
        for (auto it = key.globalMatch(Read(modHTMLHelp::GetHelpFile() + "/KOV_PopUps_En.txt")); it.hasNext();)
            en << it.next().captured(1);
        QVERIFY(de.size() > 30);
        QCOMPARE(de, en);
    }

    void popupFileFormat() {
        QTemporaryDir dir;
        const QString path = dir.filePath("popups.txt");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# comment\n"
                "[cmdOK]\n"
                "Any window.\n"
                "\n"
                "[frmSplash.cmdOK]\n"
                "  Start dialog,\n"
                "\n"
                "second paragraph.   \n"
                "# a comment inside is skipped\n"
                "\n\n"
                "[empty]\n"
                "[]\n"
                "stray\n");
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
