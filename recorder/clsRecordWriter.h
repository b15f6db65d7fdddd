#pragma once
// The open record file: created new, every line handed to the system in
// one write as it comes (a program that crashes or is killed loses no line
// already reported as written, at most the one in flight), and forced onto
// the disk at least once per sync interval and when the file is closed (a
// power cut loses at most that interval). A line that cannot be written
// whole is taken back out, so the file never ends in half a line the writer
// knows of. A file closed without a line in it is removed again.
//
// A recording never goes into a file that is there already, and never
// through a link: the file is created exclusively (a name that is taken,
// a link included, is refused), so two recorders cannot share a file and
// nobody can steer a recording to another file. Only Replace takes the
// place of an existing file, and only once there is a line to keep.
#include <string>

class clsRecordWriter {
public:
    // Default time between two syncs to the disk.
    static constexpr double DefaultSyncIntervalMs = 1000.0;

    clsRecordWriter() = default;
    ~clsRecordWriter();
    clsRecordWriter(const clsRecordWriter&) = delete;
    clsRecordWriter& operator=(const clsRecordWriter&) = delete;

    // Creates `path` new. False and `error` (the system's reason, "File
    // exists" when the name is taken) when it cannot be created.
    bool Create(const std::string& path, std::string* error = nullptr);
    // Creates the first free SAVEnnnn.rec in `folder` (counting from 0001):
    // each number is tried with an exclusive create, and a number another
    // recorder took meanwhile passes to the next. False and `error` when no
    // number is left ("no free file number left") or the folder refuses.
    bool CreateNext(const std::string& folder, std::string* error = nullptr);
    // Records into a new file beside `path` that takes the place of `path`
    // when the first line is written: a recording without lines leaves the
    // old file as it was. A link at `path` is replaced, not followed.
    bool Replace(const std::string& path, std::string* error = nullptr);

    bool IsOpen() const { return m_fd >= 0; }
    // The file recorded into (for Replace: the file it replaces); after a
    // create that failed, the name that could not be created.
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
    // Closes the file; a file without any byte is deleted (for Replace: the
    // new file; the old one stays). True when the file was removed.
    bool Close();

private:
    bool Opened(int fd, const std::string& path, const std::string& writing);
    // Replace: puts the new file in the old one's place.
    bool PutInPlace(std::string* error);

    int m_fd = -1;
    std::string m_path;     // the recording's name
    std::string m_writing;  // the file written to: m_path, or the new file beside it until it is put in place
    std::string m_buffer;   // the line with its end, reused
    long long m_lines = 0;
    long long m_bytes = 0;
    double m_syncIntervalMs = DefaultSyncIntervalMs;
    double m_lastSyncMs = 0;
    bool m_unsynced = false;
};
