#pragma once
// The value display window: repeats the main window's current distance text in
// a large font that grows and shrinks with the window, readable from a distance.
#include <QPointer>
#include <QWidget>
#include <functional>

class QLabel;

class frmTextWindow : public QWidget {
    Q_OBJECT
public:
    explicit frmTextWindow(QWidget* parent = nullptr);
    ~frmTextWindow() override;

    // True from the moment the window is created until it is closed; the main
    // window feeds it values only while this is set.
    static bool IsOpen();
    // The one value window, or nullptr.
    static frmTextWindow* Instance();
    // Shows the value window, creating it (owned by `owner`) when there is none.
    static frmTextWindow* Open(QWidget* owner = nullptr);
    // Closes the value window if there is one (program end).
    static void Unload();

    // The window title; "ORA-2 / ORB-2" unless changed.
    QString WindowHeader() const;
    void WindowHeader(const QString& header);

    // The text to show next; ShowValue() shows it.
    QString ValueText() const;
    void ValueText(const QString& text);
    void ShowValue();

    // Point size the value is currently shown in.
    int FontPointSize() const;

    // Largest size of the sequence 12, 14, ..., 26, 28, 34, 40, ... (points) at
    // which `widthAt(size)` is still below `targetWidth`; never below 12. Stops at
    // MaxFontPoints and as soon as a larger size no longer makes the text wider.
    static int FitFontSize(int targetWidth, const std::function<int(int)>& widthAt);

    int TwipsToPixelsX(int twips) const;
    int TwipsToPixelsY(int twips) const;

    static constexpr int MinWidthTwips = 2000;
    static constexpr int MinHeightTwips = 1000;
    static constexpr int MinFontPoints = 12;
    static constexpr int MaxFontPoints = 1000;
    static const char* const SampleText;  // fits the font while no value is shown

    QLabel* lblValue = nullptr;  // the value, Arial bold
    QLabel* lblTest = nullptr;   // hidden measuring aid, same font as lblValue

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QSize MinimumSizePx() const;
    void FitFont(int windowWidth);

    QString valueText_;
    bool resizing_ = false;  // set while the window corrects its own size
    QSize ownSize_;          // the size the window last gave itself
};
