// The view settings dialog against a chart of its own and settings held here.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QApplication>
#include <QtTest>
#include <memory>

#include "XYChart.h"
#include "clsChartData.h"
#include "frmChartSettings.h"
#include "modControls.h"
#include "modFunctions.h"

namespace {

class Surface : public ChartSurface {
public:
    QSize SurfaceSize() const override { return {800, 400}; }
};

class Host : public ChartSettingsHost {
public:
    Host() {
        chart.SetTimeInterval(60000);
        chart.SetIsTimeScale(1);
        chart.InitViewPort(&surface);
        series = chart.GetChart("KOV");
        series->InitChartData(99);
    }
    XYChart& Chart() override { return chart; }
    clsChartData& Series() override { return *series; }
    double UnitFactor() const override { return factor; }
    bool AutoScale() const override { return autoScale; }
    void SetAutoScale(bool on) override { autoScale = on; }
    double yMin() const override { return min; }
    double yMax() const override { return max; }
    void SetRange(double lo, double hi) override {
        min = lo;
        max = hi;
    }
    bool ShowZeroValues() const override { return zero; }
    void SetShowZeroValues(bool on) override { zero = on; }
    void SaveSettings() override { ++saves; }

    Surface surface;
    XYChart chart;
    std::shared_ptr<clsChartData> series;
    double factor = 1;
    bool autoScale = true;
    double min = 0, max = 5000;
    bool zero = false;
    int saves = 0;
};

bool IsRed(QLineEdit* box) { return box->styleSheet().contains(QStringLiteral("255,0,0")); }

}  // namespace

class ChartSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        modFunctions::SetLanguageOffset(1000);
        modFunctions::SetDecimalSeparator('.');
        warnings.clear();
        modControls::SetWarningFunction([this](QWidget*, const QString&, const QString& text) { warnings << text; });
    }
    void cleanup() { modControls::SetWarningFunction({}); }

    void showsTheCurrentState() {
        Host host;
        host.autoScale = false;
        host.min = -12.5;
        host.max = 17;
        host.zero = true;
        host.series->Appearance = 0;
        frmChartSettings dialog(host);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("View settings"));
        QVERIFY(dialog.findChild<QRadioButton*>("optxAxisTime")->isChecked());
        QVERIFY(dialog.findChild<QRadioButton*>("optYScaleManual")->isChecked());
        QCOMPARE(dialog.txtParameter(0)->text(), QStringLiteral("17"));
        QCOMPARE(dialog.txtParameter(1)->text(), QStringLiteral("-12.5"));
        QVERIFY(!dialog.findChild<QCheckBox*>("chkConnectPoints")->isChecked());
        QVERIFY(dialog.findChild<QCheckBox*>("chkNullWerte")->isChecked());
        QCOMPARE(dialog.findChild<QPushButton*>("cmdApply")->text(), QStringLiteral("&Apply"));

        // Brought up to date from outside; the unit m shows millimetres as metres.
        host.chart.SetIsTimeScale(0);
        host.autoScale = true;
        host.zero = false;
        host.factor = 1000;
        host.max = 5000;
        dialog.ShowUpdatedSettings();
        QVERIFY(dialog.findChild<QRadioButton*>("optxAxisInterval")->isChecked());
        QVERIFY(dialog.findChild<QRadioButton*>("optYScaleAuto")->isChecked());
        QCOMPARE(dialog.txtParameter(0)->text(), QStringLiteral("5"));
        QCOMPARE(dialog.txtParameter(1)->text(), QStringLiteral("-0.0125"));
        QVERIFY(!dialog.findChild<QCheckBox*>("chkNullWerte")->isChecked());
    }

    void typingEntersTheLocalesSeparator() {
        Host host;
        frmChartSettings dialog(host);
        dialog.show();
        QLineEdit* box = dialog.txtParameter(0);
        for (char separator : {',', '.'}) {
            modFunctions::SetDecimalSeparator(separator);
            const char other = separator == ',' ? '.' : ',';
            box->clear();
            box->setFocus();
            const QString sep = QString(QLatin1Char(separator));
            QTest::keyClicks(box, QStringLiteral("1") + QLatin1Char(other) + QStringLiteral("5x a"));
            QCOMPARE(box->text(), QStringLiteral("1") + sep + QStringLiteral("5"));
            QTest::keyClick(box, Qt::Key_Backspace);
            QTest::keyClicks(box, QStringLiteral("-7"));
            QCOMPARE(box->text(), QStringLiteral("1") + sep + QStringLiteral("-7"));
        }
        QCOMPARE(frmChartSettings::FilterKey(QLatin1Char('+')), QChar());
        QCOMPARE(frmChartSettings::FilterKey(QLatin1Char('e')), QChar());
    }

    void boxesAreCheckedWhenLeftOrOnEnter() {
        Host host;
        host.factor = 1000;  // metres: the empty top is 5000 mm = 5 m
        frmChartSettings dialog(host);
        dialog.show();
        QLineEdit* top = dialog.txtParameter(0);
        QLineEdit* bottom = dialog.txtParameter(1);
        top->setFocus();
        top->clear();
        QTest::keyClick(top, Qt::Key_Return);
        QCOMPARE(top->text(), QStringLiteral("5"));
        QVERIFY(dialog.isVisible());  // Enter pressed no button
        bottom->setText(QString());
        dialog.ValidateBox(1);
        QCOMPARE(bottom->text(), QStringLiteral("0"));
        for (const auto& [typed, shown] : {std::pair{"2000000", "999999"},
                                           {"-2000000", "-999999"},
                                           {"12.50", "12.5"},
                                           {"007", "7"},
                                           {"1-2", "1-2"},
                                           {"-", "-"}}) {
            top->setText(QLatin1String(typed));
            dialog.ValidateBox(0);
            QCOMPARE(top->text(), QLatin1String(shown));
        }
        // Leaving the box checks it too.
        top->setText(QStringLiteral("3000000"));
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(top, &leave);
        QCOMPARE(top->text(), QStringLiteral("999999"));
    }

    void applyTakesTheSettings() {
        Host host;
        frmChartSettings dialog(host);
        dialog.show();
        dialog.findChild<QRadioButton*>("optxAxisInterval")->setChecked(true);
        dialog.findChild<QRadioButton*>("optYScaleManual")->setChecked(true);
        dialog.txtParameter(0)->setText(QStringLiteral("1500"));
        dialog.txtParameter(1)->setText(QStringLiteral("-20"));
        dialog.findChild<QCheckBox*>("chkConnectPoints")->setChecked(false);
        dialog.findChild<QCheckBox*>("chkNullWerte")->setChecked(true);
        QVERIFY(dialog.cmdApply_Click());
        QCOMPARE(host.chart.IsTimeScale(), 0);
        QVERIFY(!host.autoScale);
        QCOMPARE(host.max, 1500.0);
        QCOMPARE(host.min, -20.0);
        QCOMPARE(host.chart.yMax(0), 1500.0);
        QCOMPARE(host.chart.yMin(0), -20.0);
        QCOMPARE(host.series->Appearance, 0);
        QVERIFY(host.zero);
        QCOMPARE(host.saves, 1);
        // The chart has been drawn with it all.
        QVERIFY(!host.chart.ScaleOutdated() && !host.chart.ChartOutdated());
        QVERIFY(dialog.findChild<QPushButton*>("cmdOK")->isEnabled());

        // In metres: 2.5 m is kept as 2500 mm, the axis shows 2.5.
        host.factor = 1000;
        dialog.txtParameter(0)->setText(QStringLiteral("2.5"));
        dialog.txtParameter(1)->setText(QStringLiteral("0"));
        QVERIFY(dialog.cmdApply_Click());
        QCOMPARE(host.max, 2500.0);
        QCOMPARE(host.chart.yMax(0), 2.5);

        // Automatic scaling: the axis keeps its range until the next value.
        dialog.findChild<QRadioButton*>("optYScaleAuto")->setChecked(true);
        dialog.txtParameter(0)->setText(QStringLiteral("9"));
        QVERIFY(dialog.cmdApply_Click());
        QVERIFY(host.autoScale);
        QCOMPARE(host.max, 9000.0);
        QCOMPARE(host.chart.yMax(0), 2.5);
    }

    void applyLeavesTheFocusOnTheButtonPressed() {
        Host host;
        frmChartSettings dialog(host);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* apply = dialog.findChild<QPushButton*>("cmdApply");
        apply->setFocus();
        QTest::keyClick(apply, Qt::Key_Space);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(apply));
    }

    void applyWithEqualLimits() {
        Host host;
        frmChartSettings dialog(host);
        dialog.findChild<QRadioButton*>("optYScaleManual")->setChecked(true);
        dialog.txtParameter(0)->setText(QStringLiteral("100"));
        dialog.txtParameter(1)->setText(QStringLiteral("100"));
        QVERIFY(dialog.cmdApply_Click());
        QCOMPARE(dialog.txtParameter(0)->text(), QStringLiteral("100.000001"));
        QCOMPARE(host.max, 100.000001);
        QVERIFY(host.chart.yMax(0) > host.chart.yMin(0));
    }

    void applyRefusesBadLimitsAndSaysSo() {
        Host host;
        host.autoScale = false;
        host.min = 10;
        host.max = 90;
        frmChartSettings dialog(host);
        dialog.show();
        // Out of range and not a number: that box turns red, the rest is taken.
        dialog.txtParameter(0)->setText(QStringLiteral("123456789"));
        dialog.txtParameter(1)->setText(QStringLiteral("20"));
        dialog.findChild<QCheckBox*>("chkNullWerte")->setChecked(true);
        QVERIFY(!dialog.cmdApply_Click());
        QVERIFY(IsRed(dialog.txtParameter(0)));
        QVERIFY(!IsRed(dialog.txtParameter(1)));
        QCOMPARE(host.max, 90.0);
        QCOMPARE(host.min, 20.0);
        QVERIFY(host.zero);
        dialog.txtParameter(0)->setText(QStringLiteral("1.2.3"));
        QVERIFY(!dialog.cmdApply_Click());
        QVERIFY(IsRed(dialog.txtParameter(0)));
        QVERIFY(warnings.isEmpty());

        // yMin above yMax: neither is taken, both red, and the user is told.
        dialog.txtParameter(0)->setText(QStringLiteral("30"));
        dialog.txtParameter(1)->setText(QStringLiteral("40"));
        QVERIFY(!dialog.cmdApply_Click());
        QVERIFY(IsRed(dialog.txtParameter(0)) && IsRed(dialog.txtParameter(1)));
        QCOMPARE(host.min, 20.0);
        QCOMPARE(host.max, 90.0);
        QCOMPARE(host.chart.yMin(0), 20.0);
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings[0].contains(QStringLiteral("yMin > yMax")));
        // OK keeps the dialog open over a refused limit; a good one closes it.
        dialog.findChild<QPushButton*>("cmdOK")->click();
        QVERIFY(dialog.isVisible());
        dialog.txtParameter(1)->setText(QStringLiteral("25"));
        dialog.findChild<QPushButton*>("cmdOK")->click();
        QVERIFY(!dialog.isVisible());
        QVERIFY(!IsRed(dialog.txtParameter(0)) && !IsRed(dialog.txtParameter(1)));
        QCOMPARE(host.min, 25.0);
        QCOMPARE(host.max, 30.0);
    }

    void cancelTakesNothing() {
        Host host;
        frmChartSettings dialog(host);
        dialog.show();
        dialog.findChild<QRadioButton*>("optYScaleManual")->setChecked(true);
        dialog.txtParameter(0)->setText(QStringLiteral("1"));
        dialog.findChild<QPushButton*>("cmdCancel")->click();
        QVERIFY(!dialog.isVisible());
        QVERIFY(host.autoScale);
        QCOMPARE(host.max, 5000.0);
        QCOMPARE(host.saves, 0);
        // Opened again it shows the settings, not what was typed.
        dialog.show();
        QCOMPARE(dialog.txtParameter(0)->text(), QStringLiteral("5000"));
        QVERIFY(dialog.findChild<QRadioButton*>("optYScaleAuto")->isChecked());
    }

private:
    QStringList warnings;
};

QTEST_MAIN(ChartSettingsTest)
#include "test_chart_settings.moc"
