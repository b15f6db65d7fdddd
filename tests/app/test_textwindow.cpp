// The value display window: minimum size, font fitting, widening, open flag.
#include <QFontMetrics>
#include <QLabel>
#include <QtTest>

#include "frmTextWindow.h"
#include "modAPI.h"

class TextWindowTest : public QObject {
    Q_OBJECT

    // The chosen size fits the room left in the window, and the next size of
    // the sequence 12, 14, ..., 28, 34, 40 ... would not.
    static void CheckFitted(const frmTextWindow& w, const QString& sample, int windowWidth) {
        const auto width = [&](int points) {
            QFont f = w.lblTest->font();
            f.setPointSize(points);
            return QFontMetrics(f).horizontalAdvance(sample);
        };
        const int target = windowWidth - w.TwipsToPixelsX(360);
        const int size = w.FontPointSize();
        QVERIFY2(size > 12 && width(size) < target, qPrintable(QString::number(size)));
        QVERIFY(width(size + (size <= 26 ? 2 : 6)) >= target);
    }

private slots:
    void fitSequenceAndTermination() {
        const auto linear = [](int pt) { return 10 * pt; };
        // 28 would need 280; from 28 on the steps are 6; never below 12.
        for (const auto& [target, size] : {std::pair{205, 20}, {275, 26}, {281, 28}, {345, 34}, {405, 40}, {50, 12}})
            QCOMPARE(frmTextWindow::FitFontSize(target, linear), size);
        // A font that stops growing, and a target no font reaches, both end the search.
        int calls = 0;
        QCOMPARE(frmTextWindow::FitFontSize(1000000, [&](int pt) { ++calls; return std::min(10 * pt, 300); }), 40);
        QVERIFY(calls < 20);
        const int huge = frmTextWindow::FitFontSize(INT_MAX, linear);
        QVERIFY(huge <= frmTextWindow::MaxFontPoints && huge > 900);
    }

    void minimumSizeAndTheSampleText() {
        frmTextWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(10, 10);
        QCOMPARE(w.size(), QSize(modAPI::TwipsToPixels(2000, w.logicalDpiX()), modAPI::TwipsToPixels(1000, w.logicalDpiY())));
        QCOMPARE(w.WindowHeader(), QString("ORA-2 / ORB-2"));
        w.resize(700, 300);  // no value yet: fitted to the sample
        QCOMPARE(w.lblTest->text(), QString("#####,# ##"));
        QVERIFY(w.lblTest->isHidden());
        CheckFitted(w, "#####,# ##", 700);
    }

    // The window wraps itself around the fitted value; that resize of its own
    // must not fit the font again (it would shrink step by step), and the
    // window never needs more room than the user gave it.
    void ownResizeKeepsTheFont() {
        frmTextWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.ValueText("1234,567 mm");
        w.ShowValue();
        w.resize(900, 400);
        const int size = w.FontPointSize();
        CheckFitted(w, "1234,567 mm", 900);
        QCOMPARE(w.width(), w.lblValue->width() + w.TwipsToPixelsX(240));
        QVERIFY(w.width() < 900);
        QApplication::processEvents();
        QCOMPARE(w.FontPointSize(), size);
        for (int width = 300; width < 1600; width += 23) {
            w.resize(width, 500);
            QVERIFY2(w.width() <= width, qPrintable(QString("%1 -> %2").arg(width).arg(w.width())));
        }
    }

    void longValueWidensTheWindow() {
        frmTextWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int before = w.width();
        w.ValueText("123456789,123456789 mm (a much longer text than the window)");
        w.ShowValue();
        w.ShowValue();  // the label no longer fits: the window grows
        QVERIFY2(w.width() > before, qPrintable(QString("%1 -> %2").arg(before).arg(w.width())));
        QVERIFY(w.width() >= w.lblValue->width());
    }

    void openFlagAndSingleWindow() {
        QVERIFY(!frmTextWindow::IsOpen());
        frmTextWindow* a = frmTextWindow::Open();
        QVERIFY(frmTextWindow::IsOpen());
        QCOMPARE(frmTextWindow::Open(), a);
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
