#pragma once
// The open record file: created empty, every line written through to the
// file at once (a crash or a pulled plug loses no line already reported as
// written), removed again when it is closed without a line in it.
#include <cstdio>
#include <string>

class clsRecordWriter {
public:
    clsRecordWriter() = default;
    ~clsRecordWriter();
    clsRecordWriter(const clsRecordWriter&) = delete;
    clsRecordWriter& operator=(const clsRecordWriter&) = delete;

    // Creates `path` (an existing file is emptied). False and `error` (the
    // system's reason) when it cannot be created.
    bool Open(const std::string& path, std::string* error = nullptr);
    bool IsOpen() const { return m_file != nullptr; }
    const std::string& Path() const { return m_path; }
    // Appends `line` and CR LF and hands them to the system. False and
    // `error` when that fails (full disk, lost drive).
    bool WriteLine(const std::string& line, std::string* error = nullptr);
    long long Lines() const { return m_lines; }
    // Closes the file; a file without any byte is deleted. True when the
    // file was removed.
    bool Close();

private:
    std::FILE* m_file = nullptr;
    std::string m_path;
    long long m_lines = 0;
    long long m_bytes = 0;
};
