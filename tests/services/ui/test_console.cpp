// The diagnostic console window.
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QtTest>

#include "clsConsole.h"

class ConsoleTest : public QObject {
    Q_OBJECT

private slots:
    void importantIsRedBetweenSeparators() {
        clsConsole c;
        c.LoadConsole();
        c.WriteOut("a");
        c.Important("Fehler");
        c.WriteOut("b");
        c.Important("");
        c.WriteOut("c");
        // The text runs with their colours, neighbouring runs of one colour merged.
        QList<QPair<QString, QRgb>> runs;
        for (QTextBlock b = c.Window()->document()->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QRgb colour = it.fragment().charFormat().foreground().color().rgb() & 0xFFFFFF;
                if (!runs.isEmpty() && runs.last().second == colour)
                    runs.last().first += it.fragment().text();
                else
                    runs.append({it.fragment().text(), colour});
            }
        const QString line(69, '-');
        const QRgb normal = clsConsole::NormalColour, red = clsConsole::ImportantColour;
        QCOMPARE(runs, (QList<QPair<QString, QRgb>>{
                           {"a", normal}, {line + "Fehler" + line, red}, {"b", normal}, {line + line, red}, {"c", normal}}));
    }

    void receivedBytesAreShownReadablyAndBounded() {
        clsConsole c;
        c.LoadConsole();
        c.WriteOut("KOV ready\r");
        c.WriteOut("\n12.345 m\n");  // CR LF split over two writes: one line break
        c.WriteOut(std::string("\x02\x7f", 2) + "25\xb0" "C\r\n");  // control bytes, Latin-1 degree sign
        c.WriteOut(std::string("\0x", 2));
        QCOMPARE(c.Window()->toPlainText(), QString::fromUtf8("KOV ready\n12.345 m\n<02><7F>25°C\n<00>x"));

        for (int i = 0; i < clsConsole::MaxLines + 300; ++i) c.WriteOut("0123456789\r\n");
        QVERIFY(c.Window()->document()->blockCount() <= clsConsole::MaxLines);
        c.WriteOut(std::string(5000, 'x'));  // binary output without line ends is wrapped
        for (QTextBlock b = c.Window()->document()->begin(); b.isValid(); b = b.next())
            QVERIFY(b.length() <= clsConsole::MaxLineLength + 1);
    }

    void onOffOnGivesAFreshConsoleWithoutCloseBox() {
        clsConsole c;
        c.WindowTitle("ORA-2/ORB-2 Monitor");
        c.WriteOut("lost");  // no console yet: nothing happens
        c.LoadConsole();
        QPlainTextEdit* first = c.Window();
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowTitle(), QString("ORA-2/ORB-2 Monitor"));
        QVERIFY(!(first->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!first->close());  // the user cannot close it
        c.WriteOut("first");

        QPointer<QPlainTextEdit> watch(first);
        c.CloseConsole();
        QVERIFY(watch.isNull());
        c.Important("lost");
        c.CloseConsole();  // twice: harmless

        c.LoadConsole();
        QVERIFY(c.Window()->toPlainText().isEmpty());
        QCOMPARE(c.Window()->windowTitle(), QString("ORA-2/ORB-2 Monitor"));
    }
};

QTEST_MAIN(ConsoleTest)
#include "test_console.moc"
