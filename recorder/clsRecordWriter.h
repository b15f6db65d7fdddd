#pragma once
// The open record file: created empty, every line handed to the system in
// one write as it comes (a program that crashes or is killed loses no line
// already reported as written, at most the one in flight), and forced onto
// the disk at least once per sync interval and when the file is closed (a
// power cut loses at most that interval). A line that cannot be written
// whole is taken back out, so the file never ends in half a line the writer
// knows of. A file closed without a line in it is removed again.
#include <string>

class clsRecordWriter {
public:
    // Default time between two syncs to the disk.
    static constexpr double DefaultSyncIntervalMs = 1000.0;

    clsRecordWriter() = default;
    ~clsRecordWriter();
    clsRecordWriter(const clsRecordWriter&) = delete;
    clsRecordWriter& operator=(const clsRecordWriter&) = delete;

    // Creates `path` (an existing file is emptied). False and `error` (the
    // system's reason) when it cannot be created.
    bool Open(const std::string& path, std::string* error = nullptr);
    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }
    // Appends `line` and CR LF with one write to the system. False and
    // `error` when that fails (full disk, lost drive); the file then ends
    // with the last whole line.
    bool WriteLine(const std::string& line, std::string* error = nullptr);
    long long Lines() const { return m_lines; }
    long long Bytes() const { return m_bytes; }
    // Time between syncs to the disk: 0 syncs after every line, a negative
    // interval only when the file is closed.
    void SetSyncInterval(double ms) { m_syncIntervalMs = ms; }
    // Forces what was written onto the disk now.
    bool Sync();
    // Closes the file; a file without any byte is deleted. True when the
    // file was removed.
    bool Close();

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_buffer;  // the line with its end, reused
    long long m_lines = 0;
    long long m_bytes = 0;
    double m_syncIntervalMs = DefaultSyncIntervalMs;
    double m_lastSyncMs = 0;
    bool m_unsynced = false;
};
