#include "clsRecordWriter.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

clsRecordWriter::~clsRecordWriter() { Close(); }

bool clsRecordWriter::Open(const std::string& path, std::string* error) {
    Close();
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    m_path = path;
    m_lines = 0;
    m_bytes = 0;
    return true;
}

bool clsRecordWriter::WriteLine(const std::string& line, std::string* error) {
    if (!m_file) {
        if (error) *error = std::strerror(EBADF);
        return false;
    }
    const std::string text = line + "\r\n";
    errno = 0;
    const size_t written = std::fwrite(text.data(), 1, text.size(), m_file);
    m_bytes += static_cast<long long>(written);
    if (written != text.size() || std::fflush(m_file) != 0) {
        if (error) *error = std::strerror(errno ? errno : EIO);
        std::clearerr(m_file);
        return false;
    }
    ++m_lines;
    return true;
}

bool clsRecordWriter::Close() {
    if (!m_file) return false;
    std::fclose(m_file);
    m_file = nullptr;
    struct stat st {};
    if (::stat(m_path.c_str(), &st) == 0 && st.st_size == 0) {
        std::remove(m_path.c_str());
        return true;
    }
    return false;
}
