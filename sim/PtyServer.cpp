#ifndef _WIN32
#include "PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "SerialPort.h"

namespace Sim {

bool PtyServer::Start(std::string* error, const std::string& linkPath) {
    Stop();
    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    ::cfsetspeed(&raw, B9600);
    char name[256] = {};
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    m_Master = master;
    m_Slave = slave;
    m_SlavePath = name;
    m_Dropped = 0;
    m_LinkPath = linkPath;
    if (!linkPath.empty()) {
        // Only a link is replaced; a file or folder of that name stays untouched.
        struct stat st {};
        if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            if (error) *error = linkPath + ": exists and is not a symbolic link";
            Stop();
            return false;
        }
        ::unlink(linkPath.c_str());
        if (::symlink(m_SlavePath.c_str(), linkPath.c_str()) != 0) {
            if (error) *error = linkPath + ": " + std::strerror(errno);
            Stop();
            return false;
        }
    }
    if (error) error->clear();
    return true;
}

void PtyServer::Stop() {
    // An unplugged adapter's device goes away with its link: a link left
    // behind would lead to whichever program gets this terminal number next.
    if (m_Master >= 0 && !m_LinkPath.empty()) {
        char target[512];
        const ssize_t n = ::readlink(m_LinkPath.c_str(), target, sizeof target);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == m_SlavePath) ::unlink(m_LinkPath.c_str());
    }
    if (m_Slave >= 0) ::close(m_Slave);
    if (m_Master >= 0) ::close(m_Master);
    m_Slave = m_Master = -1;
}

void PtyServer::FollowSpeed() {
    // The master reports the terminal settings the program made on the slave.
    termios tio{};
    if (::tcgetattr(m_Master, &tio) == 0) {
        const int speed = SerialLayer::SpeedOfCode(::cfgetospeed(&tio));
        if (speed > 0) m_Model->SetLineSpeed(speed);
    }
}

size_t PtyServer::ReadProgram() {
    size_t total = 0;
    unsigned char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_Master, buffer, sizeof buffer);
        if (n > 0) {
            // The speed the bytes were sent at: the program may have changed
            // it since the last look (after the answer to a speed write).
            FollowSpeed();
            m_Model->Receive(buffer, static_cast<size_t>(n));
            total += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // EAGAIN: nothing more; EIO cannot happen while the slave is held open
    }
    return total;
}

int PtyServer::SlaveQueue() const {
    int waiting = 0;
    if (::ioctl(m_Slave, FIONREAD, &waiting) != 0) return 0;
    return waiting;
}

int PtyServer::Serve(int timeoutMs) {
    if (m_Master < 0) return 0;
    FollowSpeed();
    pollfd p{m_Master, POLLIN, 0};
    if (::poll(&p, 1, std::max(0, timeoutMs)) > 0 && (p.revents & POLLIN)) ReadProgram();

    const std::string out = m_Model->Transmit();
    if (out.empty()) return 0;
    const int before = m_WaitForDelivery ? SlaveQueue() : 0;
    size_t written = 0;
    while (written < out.size()) {
        const ssize_t n = ::write(m_Master, out.data() + written, out.size() - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // full: the program is not reading; the rest is lost like on a real line
    }
    m_Dropped += out.size() - written;
    if (m_WaitForDelivery && written > 0) {
        // The terminal's input buffer holds about 4 KB; never wait for more than fits.
        const int target = std::min(before + static_cast<int>(written), 4000);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
        while (SlaveQueue() < target && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    return static_cast<int>(written);
}

bool PtyServer::ReceiveFromProgram(size_t count, int timeoutMs) {
    if (m_Master < 0) return false;
    size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got < count) {
        got += ReadProgram();
        if (got >= count) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{m_Master, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 20)));
    }
    return true;
}

}  // namespace Sim
#endif
