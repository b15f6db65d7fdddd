// The value display window: minimum size, font fitting, widening, open flag.
#include <QFontMetrics>
#include <QLabel>
#include <QtTest>

#include "frmTextWindow.h"

class TextWindowTest : public QObject {
    Q_OBJECT

    // Width of `text` in the measuring font at `points`.
    static int TextWidth(const frmTextWindow& w, const QString& text, int points) {
        QFont f = w.lblTest->font();
        f.setPointSize(points);
        return QFontMetrics(f).horizontalAdvance(text);
    }
    static int NextSize(int points) { return points + (points <= 26 ? 2 : 6); }

    // The chosen size fits the target and the next size of the sequence would not.
    static void CheckFitted(const frmTextWindow& w, const QString& sample, int windowWidth) {
        const int target = windowWidth - w.TwipsToPixelsX(360);
        const int size = w.FontPointSize();
        QVERIFY2(size >= 12, qPrintable(QString::number(size)));
        if (size > 12) QVERIFY(TextWidth(w, sample, size) < target);
        QVERIFY(TextWidth(w, sample, NextSize(size)) >= target);
    }

private slots:
    void fitSequenceAndTermination() {
        auto linear = [](int pt) { return 10 * pt; };
        QCOMPARE(frmTextWindow::FitFontSize(205, linear), 20);
        QCOMPARE(frmTextWindow::FitFontSize(275, linear), 26);  // 28 would need 280
        QCOMPARE(frmTextWindow::FitFontSize(281, linear), 28);
        QCOMPARE(frmTextWindow::FitFontSize(345, linear), 34);  // 28, 34, 40: steps of 6
        QCOMPARE(frmTextWindow::FitFontSize(405, linear), 40);
        QCOMPARE(frmTextWindow::FitFontSize(50, linear), 12);   // never below 12
        // A font that stops growing, and a target no font reaches, both end the search.
        int calls = 0;
        const int capped = frmTextWindow::FitFontSize(1000000, [&](int pt) { ++calls; return std::min(10 * pt, 300); });
        QCOMPARE(capped, 40);  // 34 and 40 both measure 300: the search stops at 40
        QVERIFY(calls < 20);
        const int huge = frmTextWindow::FitFontSize(INT_MAX, linear);
        QVERIFY(huge <= frmTextWindow::MaxFontPoints);
        QVERIFY(huge > 900);
    }

    void minimumSizeSnapsBack() {
        frmTextWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QSize minimum(w.TwipsToPixelsX(2000), w.TwipsToPixelsY(1000));
        QCOMPARE(minimum, QSize(2000 * w.logicalDpiX() / 1440, 1000 * w.logicalDpiY() / 1440));
        w.resize(10, 10);
        QVERIFY(w.width() >= minimum.width());
        QVERIFY(w.height() >= minimum.height());
        QCOMPARE(w.WindowHeader(), QString("ORA-2 / ORB-2"));
    }

    void emptyValueFitsTheSample() {
        frmTextWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(700, 300);
        QCOMPARE(w.lblTest->text(), QString("#####,# ##"));
        QVERIFY(w.lblTest->isHidden());
        CheckFitted(w, "#####,# ##", 700);
        QVERIFY(w.FontPointSize() > 12);
    }

    // The value is fitted in the font it is shown in, so it never needs more room
    // than the user gave the window (or, maximised, than the screen has).
    void fittedValueNeverOutgrowsTheWindow() {
        frmTextWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.ValueText("12345,678 mm");
        w.ShowValue();
        for (int width = 300; width < 1600; width += 23) {
            w.resize(width, 500);
            QVERIFY2(w.width() <= width, qPrintable(QString("%1 -> %2").arg(width).arg(w.width())));
        }
    }

    void ownResizeKeepsTheFont() {
        frmTextWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.ValueText("1234,567 mm");
        w.ShowValue();
        w.resize(900, 400);
        const int size = w.FontPointSize();
        CheckFitted(w, "1234,567 mm", 900);
        // The window wrapped itself around the value without shrinking the font.
        QCOMPARE(w.width(), w.lblValue->width() + w.TwipsToPixelsX(240));
        QVERIFY(w.width() < 900);
        QCOMPARE(w.lblValue->x(), w.TwipsToPixelsX(120));
        QApplication::processEvents();
        QCOMPARE(w.FontPointSize(), size);
        QVERIFY(w.lblValue->font().bold());
    }

    void longValueWidensTheWindow() {
        frmTextWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int before = w.width();
        w.ValueText("123456789,123456789 mm (a much longer text than the window)");
        w.ShowValue();
        QCOMPARE(w.lblValue->text(), w.ValueText());
        w.ShowValue();  // the label no longer fits: the window grows
        QVERIFY2(w.width() > before, qPrintable(QString("%1 -> %2").arg(before).arg(w.width())));
        QVERIFY(w.width() >= w.lblValue->width());
    }

    void openFlagAndSingleWindow() {
        QVERIFY(!frmTextWindow::IsOpen());
        frmTextWindow* a = frmTextWindow::Open();
        QVERIFY(frmTextWindow::IsOpen());
        QCOMPARE(frmTextWindow::Open(), a);
        QCOMPARE(frmTextWindow::Instance(), a);
        QPointer<frmTextWindow> watch(a);
        frmTextWindow::Unload();
        QVERIFY(!frmTextWindow::IsOpen());
        QTRY_VERIFY(watch.isNull());
        QCOMPARE(frmTextWindow::Instance(), nullptr);
        frmTextWindow::Unload();  // nothing open: harmless
    }
};

QTEST_MAIN(TextWindowTest)
#include "test_textwindow.moc"
