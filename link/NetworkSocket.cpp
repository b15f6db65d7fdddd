#include "NetworkSocket.h"

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#endif

#include <algorithm>

namespace SerialLayer::Net {
namespace {

// Keep-alive probes, so that a connection whose other end vanished without
// a word (a pulled network cable, a powered-off server) fails instead of
// waiting for ever: the first probe after this much silence, then one every
// interval, and the connection is given up after that many unanswered.
constexpr int KeepAliveIdleS = 5;
constexpr int KeepAliveIntervalS = 2;
constexpr int KeepAliveProbes = 3;
// Data sent and not acknowledged for this long ends the connection (Linux).
constexpr int UnacknowledgedLimitMs = 10000;

}  // namespace

#ifdef _WIN32
void StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
int LastError() { return WSAGetLastError(); }
void CloseSocket(Socket s) { ::closesocket(s); }
bool WouldBlock(int e) { return e == WSAEWOULDBLOCK; }
bool ConnectPending(int e) { return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS; }
bool Interrupted(int e) { return e == WSAEINTR; }
bool MakeNonBlocking(Socket s) {
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}
int SendFlags() { return 0; }

std::string ErrorText(int e) {
    switch (e) {
        case WSAECONNREFUSED: return "Connection refused";
        case WSAETIMEDOUT: return "Connection timed out";
        case WSAENETUNREACH: return "Network is unreachable";
        case WSAEHOSTUNREACH: return "No route to host";
        case WSAECONNRESET: return "Connection reset by peer";
        case WSAECONNABORTED: return "Software caused connection abort";
        case WSAENETDOWN: return "Network is down";
        case WSAENETRESET: return "Network dropped connection on reset";
        case WSAEADDRNOTAVAIL: return "Cannot assign requested address";
        case WSAEAFNOSUPPORT: return "Address family not supported by protocol";
        default: return "socket error " + std::to_string(e);
    }
}

std::string LookupErrorText(int e) {
    switch (e) {
        case WSAHOST_NOT_FOUND: return "Name or service not known";
        case WSANO_DATA: return "No address associated with hostname";
        case WSATRY_AGAIN: return "Temporary failure in name resolution";
        default: return ErrorText(e);
    }
}

int Wait(Socket s, bool forWriting, int ms) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    const int n = ::select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, &failed, &limit);
    return n < 0 ? -1 : n > 0 ? 1 : 0;
}

namespace {
void KeepAlive(Socket s) {
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = KeepAliveIdleS * 1000;
    values.keepaliveinterval = KeepAliveIntervalS * 1000;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
}
}  // namespace
#else
void StartSockets() {}
int LastError() { return errno; }
void CloseSocket(Socket s) { ::close(s); }
bool WouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK; }
bool ConnectPending(int e) { return e == EINPROGRESS; }
bool Interrupted(int e) { return e == EINTR; }
bool MakeNonBlocking(Socket s) {
    const int flags = ::fcntl(s, F_GETFL);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0 && ::fcntl(s, F_SETFD, FD_CLOEXEC) == 0;
}
int SendFlags() { return MSG_NOSIGNAL; }
std::string ErrorText(int e) { return std::strerror(e); }
std::string LookupErrorText(int e) { return e == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(e); }

int Wait(Socket s, bool forWriting, int ms) {
    pollfd p{s, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    const int n = ::poll(&p, 1, ms);
    if (n < 0) return errno == EINTR ? 0 : -1;
    return n > 0 ? 1 : 0;
}

namespace {
void KeepAlive(Socket s) {
#ifdef TCP_KEEPIDLE
    const int idle = KeepAliveIdleS, interval = KeepAliveIntervalS, probes = KeepAliveProbes;
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
#endif
#ifdef TCP_USER_TIMEOUT
    const unsigned limit = UnacknowledgedLimitMs;
    ::setsockopt(s, IPPROTO_TCP, TCP_USER_TIMEOUT, &limit, sizeof limit);
#endif
}
}  // namespace
#endif

void Configure(Socket s) {
    // Commands go out byte by byte; each must leave at once.
    const int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    KeepAlive(s);
}

int PendingError(Socket s) {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) return LastError();
    return error;
}

int MsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 60000)) : 0;
}

}  // namespace SerialLayer::Net
