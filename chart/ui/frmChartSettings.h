#pragma once
// The chart's view settings: clock time or interval on the x axis, automatic
// or fixed y range (yMin / yMax), connected points, zero values. A modeless
// tool window of the main window; it keeps nothing of its own between
// openings: what it shows comes from the chart and the program's settings,
// which it reaches through a ChartSettingsHost.
//
// The fixed range is kept in millimetres; the boxes show it in the unit of
// the values on the y axis (with the unit m a stored 5000 reads 5).
#include <QDialog>
#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class XYChart;
class clsChartData;

// What the dialog works on; the main window provides it, tests their own.
class ChartSettingsHost {
public:
    virtual ~ChartSettingsHost() = default;
    virtual XYChart& Chart() = 0;
    virtual clsChartData& Series() = 0;
    // Millimetres per unit of the values on the y axis (1 for mm).
    virtual double UnitFactor() const = 0;
    virtual bool AutoScale() const = 0;
    virtual void SetAutoScale(bool on) = 0;
    // The fixed range, in millimetres.
    virtual double yMin() const = 0;
    virtual double yMax() const = 0;
    virtual void SetRange(double yMinMm, double yMaxMm) = 0;
    virtual bool ShowZeroValues() const = 0;
    virtual void SetShowZeroValues(bool on) = 0;
    // Writes the settings file (the host tells the user when it cannot).
    virtual void SaveSettings() = 0;
};

class frmChartSettings : public QDialog {
    Q_OBJECT
public:
    explicit frmChartSettings(ChartSettingsHost& host, QWidget* parent = nullptr);

    // Sets every control from the chart and the settings.
    void ShowUpdatedSettings();

    // Limits of the two boxes (in the unit shown) and what Apply still takes.
    static constexpr double BoxLimit = 999999;
    static constexpr double ApplyLimit = 99999999;
    // Box 0 is yMax, box 1 yMin.
    QLineEdit* txtParameter(int index) const;

    // The key filter of the boxes: the character a typed one becomes, or 0
    // when it is discarded. Enter, Backspace, digits and '-' pass; ',' and
    // '.' both become the locale's decimal separator.
    static QChar FilterKey(QChar typed);
    // Checks box `index` as when it loses the focus: an empty box takes its
    // empty value, a number is held within the limits and shown in the
    // locale's format, any other text stays as typed.
    void ValidateBox(int index);

public slots:
    // False when a limit was refused (its box turns red); the rest is applied.
    bool cmdApply_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Value of an empty box in the unit shown: the default range 0..5000 mm.
    double EmptyValue(int index) const;
    void SetBoxColour(int index, bool good);

    ChartSettingsHost& m_host;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* optxAxisInterval = nullptr;
    QRadioButton* optxAxisTime = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* optYScaleAuto = nullptr;
    QRadioButton* optYScaleManual = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    std::array<QLineEdit*, 2> m_txtParameter{};
    QCheckBox* chkConnectPoints = nullptr;
    QCheckBox* chkNullWerte = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdApply = nullptr;
};
