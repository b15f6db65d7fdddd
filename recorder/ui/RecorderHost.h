#pragma once
// What the recorder window needs from the main window: the measurement loop
// (recording listens to its distances, playback publishes through it), the
// chart, the status bar and the shared recorder flags. The main window
// provides it; tests provide their own.
#include <string>

class MonitorLoop;
class QWidget;

// What the recorder is doing.
enum class RecorderMode { Idle, Recording, PlayingBack };

// The panels of the main window's status bar.
enum class StatusPanel {
    Events = 1,  // what the loop reports
    Files = 2,   // the recording, the playback, the settings file
    Clock = 3,
};

class RecorderHost {
public:
    virtual ~RecorderHost() = default;
    virtual MonitorLoop& Loop() = 0;
    // A continuous measurement started with Start runs.
    virtual bool Measuring() const = 0;
    virtual RecorderMode RecorderState() const = 0;
    virtual void SetRecorderState(RecorderMode state) = 0;
    virtual void SetRecorderWindowOpen(bool open) = 0;
    // A panel of the main window's status bar.
    virtual void SetStatus(StatusPanel panel, const std::string& text) = 0;
    // Empties the chart and the auto-scale buffers for n points.
    virtual void ResetChart(int n) = 0;
    // Turns automatic y scaling on (and lets the chart settings follow).
    virtual void SetAutoScale(bool on) = 0;
    // y range of the chart in millimetres (auto-scaled range of the record).
    virtual void SetYRange(double lowMm, double highMm) = 0;
    // Width of the chart window (ms).
    virtual void SetTimeInterval(int ms) = 0;
    // Right edge at floor(last), then draws everything up to `last`.
    virtual void ShowUpTo(double last) = 0;
    // A long load is under way: shows how far it is (0..100) and lets the
    // windows paint (user input waits until the load is over; the main
    // window's timer does not tick during a load). False: stop loading (the
    // program is closing).
    virtual bool LoadProgress(int percent) {
        (void)percent;
        return true;
    }
};

// File dialog and message box of the recorder; tests replace them.
class RecorderDialogs {
public:
    virtual ~RecorderDialogs() = default;
    // Open-file dialog starting in `folder`, or with `preset` selected when
    // that is not empty; `filter` in the "text|pattern|text|pattern" form.
    // "" when cancelled.
    virtual std::string AskOpenFile(QWidget* parent, const std::string& folder, const std::string& preset,
                                    const std::string& filter) = 0;
    virtual void ShowMessage(QWidget* parent, const std::string& text, const std::string& title) = 0;
};
