#pragma once
// The recorder: writes every distance of a running measurement into
// REC/SAVEnnnn.rec, one line each, and plays such a file back into the chart.
// A modeless tool window of the main window.
#include <QWidget>
#include <memory>
#include <string>

#include "RecorderHost.h"
#include "clsRecordWriter.h"

class QPushButton;
struct Measurement;

class frmRecorder : public QWidget {
    Q_OBJECT
public:
    // `dialogs` null: those set with SetDefaultDialogs, else Qt's file
    // dialog and message box.
    frmRecorder(RecorderHost& host, QWidget* parent = nullptr, std::shared_ptr<RecorderDialogs> dialogs = nullptr);
    // Dialogs for windows made without their own (tests, benchmarks); null: Qt's.
    static void SetDefaultDialogs(std::shared_ptr<RecorderDialogs> dialogs);
    ~frmRecorder() override;

    // Appends the distance to the open file (while recording).
    void SaveData(const Measurement& m);
    // Reads `path` and feeds every line to the chart; false after an
    // unreadable line (the points before it stay). `capacity`: the number of
    // points the chart keeps (the y range covers the last that many).
    bool LoadData(const std::string& path, int capacity = PlaybackPoints);
    // Points the chart keeps during a playback.
    static constexpr int PlaybackPoints = 30000;
    // A load is under way.
    bool Loading() const { return m_loading; }
    // The measuring flag changed: record and play buttons follow it.
    void MeasuringChanged(bool measuring);
    // Stops a recording (as the Stop button does).
    void StopRecording();

    // The file being recorded, or the last one recorded or loaded.
    const std::string& FileName() const { return m_fileName; }
    bool Recording() const { return m_writer.IsOpen(); }
    QPushButton* RecButton() const { return cmdRec; }
    QPushButton* PlayButton() const { return cmdPlay; }
    QPushButton* StopButton() const { return cmdStop; }

public slots:
    void cmdRec_Click();
    void cmdPlay_Click();
    void cmdStop_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Fail(const std::string& text);

    RecorderHost& m_host;
    std::shared_ptr<RecorderDialogs> m_dialogs;
    QPushButton* cmdRec = nullptr;
    QPushButton* cmdPlay = nullptr;
    QPushButton* cmdStop = nullptr;
    clsRecordWriter m_writer;
    std::string m_fileName;
    int m_listener = 0;
    bool m_writeFailed = false;
    bool m_loading = false;
};
