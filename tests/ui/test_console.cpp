// The diagnostic console window.
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QtTest>

#include "clsConsole.h"

class ConsoleTest : public QObject {
    Q_OBJECT

    // The document's text runs with their colours, neighbouring runs of one colour merged.
    static QList<QPair<QString, QRgb>> Runs(const clsConsole& c) {
        QList<QPair<QString, QRgb>> runs;
        for (QTextBlock b = c.Window()->document()->begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment f = it.fragment();
                const QRgb colour = f.charFormat().foreground().color().rgb() & 0xFFFFFF;
                if (!runs.isEmpty() && runs.last().second == colour)
                    runs.last().first += f.text();
                else
                    runs.append({f.text(), colour});
            }
        }
        return runs;
    }

private slots:
    void importantIsRedBetweenSeparators() {
        clsConsole c;
        c.LoadConsole();
        const QString line(69, '-');
        c.WriteOut("a");
        c.Important("Fehler");
        c.WriteOut("b");
        c.Important("");
        c.WriteOut("c");
        const auto runs = Runs(c);
        QCOMPARE(runs.size(), 5);
        QCOMPARE(runs[0], qMakePair(QString("a"), QRgb(clsConsole::NormalColour)));
        QCOMPARE(runs[1], qMakePair(line + "Fehler" + line, QRgb(clsConsole::ImportantColour)));
        QCOMPARE(runs[2], qMakePair(QString("b"), QRgb(clsConsole::NormalColour)));
        QCOMPARE(runs[3].first, line + line);  // empty text: two runs of '-' only
        QCOMPARE(runs[3].second, QRgb(clsConsole::ImportantColour));
        QCOMPARE(runs[4], qMakePair(QString("c"), QRgb(clsConsole::NormalColour)));
    }

    void receivedBytesAreShownReadably() {
        clsConsole c;
        c.LoadConsole();
        c.WriteOut("KOV ready\r");
        c.WriteOut("\n12.345 m\n");       // CR LF split over two writes: one line break
        c.WriteOut(std::string("\x02\x7f", 2) + "25\xb0" "C\r\n");  // control bytes and Latin-1 degree sign
        c.WriteOut(std::string("\0x", 2));
        QCOMPARE(c.Window()->toPlainText(),
                 QString::fromUtf8("KOV ready\n12.345 m\n<02><7F>25°C\n<00>x"));
    }

    void contentStaysBounded() {
        clsConsole c;
        c.LoadConsole();
        for (int i = 0; i < clsConsole::MaxLines + 300; ++i) c.WriteOut("0123456789\r\n");
        QVERIFY(c.Window()->document()->blockCount() <= clsConsole::MaxLines);
        // A stream without line ends (binary output) is wrapped, never one endless line.
        c.WriteOut(std::string(5000, 'x'));
        for (QTextBlock b = c.Window()->document()->begin(); b.isValid(); b = b.next())
            QVERIFY(b.length() <= clsConsole::MaxLineLength + 1);
    }

    void onOffOnGivesAFreshConsoleWithoutCloseBox() {
        clsConsole c;
        c.WindowTitle("ORA-2/ORB-2 Monitor");
        c.WriteOut("lost");  // no console yet: nothing happens
        QVERIFY(!c.IsLoaded());
        c.LoadConsole();
        QPlainTextEdit* first = c.Window();
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowTitle(), QString("ORA-2/ORB-2 Monitor"));
        QVERIFY(!(first->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(first->font().fixedPitch());
        QVERIFY(!first->close());  // the user cannot close it
        QVERIFY(first->isVisible());
        c.WriteOut("first");

        QPointer<QPlainTextEdit> watch(first);
        c.CloseConsole();
        QVERIFY(!c.IsLoaded());
        QVERIFY(watch.isNull());
        c.WriteOut("lost");
        c.Important("lost");
        c.CloseConsole();  // twice: harmless

        c.LoadConsole();
        QVERIFY(c.IsLoaded());
        QVERIFY(c.Window()->toPlainText().isEmpty());
        QCOMPARE(c.Window()->windowTitle(), QString("ORA-2/ORB-2 Monitor"));
        c.WindowTitle("Monitor 2");
        QCOMPARE(c.Window()->windowTitle(), QString("Monitor 2"));
        QCOMPARE(c.WindowTitle(), std::string("Monitor 2"));
    }
};

QTEST_MAIN(ConsoleTest)
#include "test_console.moc"
