#pragma once
// Diagnostic console: a text window beside the program in which the measurement
// loop echoes everything the sensor sends. The text arrives as the sensor's raw
// bytes (one char per byte, single-byte Latin-1 code page).
#include <QPointer>
#include <QString>
#include <string>

class QPlainTextEdit;

class clsConsole {
public:
    clsConsole() = default;
    ~clsConsole();
    clsConsole(const clsConsole&) = delete;
    clsConsole& operator=(const clsConsole&) = delete;

    // Title of the console window; takes effect at once when the window is shown.
    void WindowTitle(const std::string& title);
    std::string WindowTitle() const;

    // Appends `text` unchanged (no line end added). CR, LF and CR LF start a new
    // line; other control bytes are shown as <hh>. Lost while no window is shown.
    void WriteOut(const std::string& text);

    // A run of 69 '-', the text and another run of 69 '-', in red; then back
    // to the normal colour.
    void Important(const std::string& text);

    // Closes the window; the next LoadConsole opens a fresh, empty one.
    void CloseConsole();

    // Opens and shows the window. It has no close box: it goes away only
    // through CloseConsole (or when this object is destroyed).
    void LoadConsole();

    bool IsLoaded() const;

    // The text window, or nullptr while the console is closed.
    QPlainTextEdit* Window() const;

    // Lines kept; older lines are dropped so a long session stays small.
    static constexpr int MaxLines = 5000;
    // A line without line end (binary output) is wrapped after this many characters.
    static constexpr int MaxLineLength = 160;

    // Colours: normal text (light grey), important text (bright red), background.
    static constexpr unsigned NormalColour = 0xC0C0C0;
    static constexpr unsigned ImportantColour = 0xFF0000;  // as 0xRRGGBB

private:
    void Write(const std::string& text, bool important);

    std::string title_;
    QPointer<QPlainTextEdit> window_;
    bool pendingCR_ = false;   // the last byte written was a CR
    int column_ = 0;           // characters on the current line
    bool important_ = false;
};
