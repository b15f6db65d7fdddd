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
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
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
