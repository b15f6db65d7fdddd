// Network ports: address parsing, the connection attempts (on helper
// threads) and the port itself (non-blocking socket, driven by the caller's
// tick). POSIX sockets on Linux, Winsock on Windows; the few calls that
// differ sit in the Sockets part below.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "NetworkPort.h"
#include "TelnetCodec.h"

namespace SerialLayer {
namespace {

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- sockets

// Keep-alive probes, so that a connection whose other end vanished without
// a word (a pulled network cable, a powered-off server) fails instead of
// waiting for ever: the first probe after this much silence, then one every
// interval, and the connection is given up after that many unanswered.
constexpr int KeepAliveIdleS = 5;
constexpr int KeepAliveIntervalS = 2;
constexpr int KeepAliveProbes = 3;
// Data sent and not acknowledged for this long ends the connection (Linux).
constexpr int UnacknowledgedLimitMs = 10000;

#ifdef _WIN32
using Socket = SOCKET;
const Socket NoSocket = INVALID_SOCKET;

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

// 1 ready, 0 not within `ms`, -1 failed. A failed connect shows as an exception.
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

void KeepAlive(Socket s) {
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = KeepAliveIdleS * 1000;
    values.keepaliveinterval = KeepAliveIntervalS * 1000;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
}
#else
using Socket = int;
constexpr Socket NoSocket = -1;

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
// A closed connection is told by the failed send, not by SIGPIPE.
int SendFlags() { return MSG_NOSIGNAL; }
std::string ErrorText(int e) { return std::strerror(e); }
std::string LookupErrorText(int e) { return e == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(e); }

int Wait(Socket s, bool forWriting, int ms) {
    pollfd p{s, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    const int n = ::poll(&p, 1, ms);
    if (n < 0) return errno == EINTR ? 0 : -1;
    return n > 0 ? 1 : 0;
}

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

// ---------------------------------------------------------------- addresses

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsHostChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

bool IsIpv6Char(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.' || c == '%' || IsHostChar(c);
}

std::string HostPort(const NetworkAddress& a) {
    const bool v6 = a.host.find(':') != std::string::npos;
    return (v6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
}

// ---------------------------------------------------------------- connecting

// An open connection, as an attempt hands it over.
struct Connection {
    Socket socket = NoSocket;
    std::unique_ptr<Telnet::Codec> telnet;  // rfc2217:// only
    std::string data;                       // data that came during the negotiation

    Connection() = default;
    Connection(Connection&& other) noexcept { *this = std::move(other); }
    Connection& operator=(Connection&& other) noexcept {
        if (this != &other) {
            Close();
            socket = std::exchange(other.socket, NoSocket);
            telnet = std::move(other.telnet);
            data = std::move(other.data);
        }
        return *this;
    }
    ~Connection() { Close(); }
    void Close() {
        if (socket != NoSocket) CloseSocket(std::exchange(socket, NoSocket));
    }
};

// A text the server sent before it closed the connection (ser2net says why
// it could not open its serial port): its last line, when it is plain text.
std::string ServerMessage(const std::string& early) {
    std::string line, last;
    for (char c : early) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') {
            if (!line.empty()) last = line;
            line.clear();
        } else if (u >= 0x20 && u < 0x7F) {
            line.push_back(c);
        } else {
            return "";  // binary data: a sensor's frames, no message
        }
    }
    if (!line.empty()) last = line;
    return last.substr(0, 120);
}

std::string ClosedReason(const std::string& early) {
    const std::string message = ServerMessage(early);
    return "the device server closed the connection" + (message.empty() ? "" : ": " + message);
}

bool SendAll(Socket s, const std::string& bytes, Clock::time_point deadline, std::string* error) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto n = ::send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), SendFlags());
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        const int e = LastError();
        if (Interrupted(e)) continue;
        if (!WouldBlock(e) || Wait(s, true, MsUntil(deadline)) <= 0) {
            *error = WouldBlock(e) ? "the device server does not take data" : ErrorText(e);
            return false;
        }
    }
    return true;
}

// The Telnet negotiation, until the server has said yes or no to the COM
// port option. The server speaks first if it wants to: a server that refuses
// (ser2net without its serial device) says why and closes, and had this side
// sent meanwhile, the close would come as a reset that loses the message. So
// the opening offers go out once the server has been quiet for a moment
// after speaking, or has said nothing for a while.
bool Negotiate(const NetworkAddress& address, Connection* c, std::string* error) {
    constexpr auto kListenFirst = std::chrono::milliseconds(250);
    constexpr auto kQuiet = std::chrono::milliseconds(30);
    Telnet::Codec& telnet = *(c->telnet = std::make_unique<Telnet::Codec>());
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(NetworkAnswerLimitMs);
    Clock::time_point heardAt{};
    bool opened = false;
    std::string reply;
    while (!opened || telnet.ComPortAnswer() == Telnet::Codec::Answer::Pending) {
        const auto now = Clock::now();
        if (!opened && (now >= start + kListenFirst || (heardAt != Clock::time_point{} && now >= heardAt + kQuiet))) {
            opened = true;
            if (!SendAll(c->socket, reply + telnet.Start(), deadline, error)) return false;
            reply.clear();
            continue;
        }
        const auto until = opened ? deadline
                                  : std::min(start + kListenFirst,
                                             heardAt == Clock::time_point{} ? deadline : heardAt + kQuiet);
        const int left = MsUntil(until);
        if (opened && left <= 0) {
            *error = "the device server at " + HostPort(address) + " does not answer (no Telnet negotiation within " +
                     std::to_string(NetworkAnswerLimitMs / 1000) + " s; a raw port takes tcp://)";
            return false;
        }
        if (Wait(c->socket, false, left) <= 0) continue;
        unsigned char buffer[1024];
        const auto n = ::recv(c->socket, reinterpret_cast<char*>(buffer), sizeof buffer, 0);
        if (n == 0) {
            *error = ClosedReason(c->data);
            return false;
        }
        if (n < 0) {
            const int e = LastError();
            if (WouldBlock(e) || Interrupted(e)) continue;
            *error = ServerMessage(c->data).empty() ? ErrorText(e) : ClosedReason(c->data);
            return false;
        }
        heardAt = Clock::now();
        telnet.Receive(buffer, static_cast<std::size_t>(n), &c->data, &reply);
        if (opened && !reply.empty()) {
            if (!SendAll(c->socket, reply, deadline, error)) return false;
            reply.clear();
        }
    }
    if (telnet.ComPortAnswer() == Telnet::Codec::Answer::No) {
        *error = "the device server at " + HostPort(address) +
                 " does not offer COM port control (RFC 2217); use tcp:// for a raw connection";
        return false;
    }
    return true;
}

// One whole attempt: look the name up, connect to its addresses in turn
// within the limit, negotiate. Runs on a helper thread.
bool Connect(const NetworkAddress& address, Connection* c, std::string* error, const std::function<void()>& resolved) {
    StartSockets();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(address.port);
    const int lookup = ::getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found);
    resolved();
    if (lookup != 0 || found == nullptr) {
        *error = "cannot resolve " + address.host + ": " + LookupErrorText(lookup);
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(NetworkConnectLimitMs);
    std::string failure = "no address for " + address.host;
    bool connected = false;
    for (const addrinfo* a = found; a != nullptr && !connected; a = a->ai_next) {
        Socket s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == NoSocket) {
            failure = ErrorText(LastError());
            continue;
        }
        if (!MakeNonBlocking(s)) {
            failure = ErrorText(LastError());
            CloseSocket(s);
            continue;
        }
        int result = ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 ? 0 : LastError();
        while (result != 0 && ConnectPending(result)) {
            const int left = MsUntil(deadline);
            if (left <= 0) break;
            const int ready = Wait(s, true, left);
            if (ready > 0) result = PendingError(s);
            else if (ready < 0) result = LastError();
        }
        if (result == 0) {
            c->socket = s;
            connected = true;
        } else {
            CloseSocket(s);
            if (ConnectPending(result)) {
                failure = "no connection to " + HostPort(address) + " within " +
                          std::to_string(NetworkConnectLimitMs / 1000) + " s";
                break;
            }
            failure = ErrorText(result);
        }
    }
    ::freeaddrinfo(found);
    if (!connected) {
        *error = failure;
        return false;
    }
    Configure(c->socket);
    return address.kind == NetworkKind::Raw || Negotiate(address, c, error);
}

// The attempts of the whole process, one per address at a time. A port
// object lives only from one Open to its Close, and the link makes a new one
// for every try, so what an attempt found waits here for the next Open of
// the same address.
class Connector {
public:
    static Connector& Instance() {
        static Connector* connector = new Connector;  // never destroyed: helper threads may outlive main()
        return *connector;
    }

    // The connection when an attempt has made one; else false with the
    // reason (or "connecting to ...", *inProgress true, while the first
    // attempt runs).
    bool Take(const std::string& key, const NetworkAddress& address, Connection* out, std::string* error,
              bool* inProgress) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto now = Clock::now();
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            it = it->first != key && now - it->second.used > kForgetAfter ? m_entries.erase(it) : std::next(it);
        }
        Entry& e = m_entries[key];
        e.used = now;
        if (e.attempt) {
            bool done = false, connected = false, expired = false, lookingUp = false;
            {
                std::lock_guard<std::mutex> guard(e.attempt->mutex);
                done = e.attempt->done;
                expired = e.attempt->expired;
                lookingUp = !e.attempt->resolved;
                connected = done && !expired && e.attempt->error.empty();
                if (connected) {
                    *out = std::move(e.attempt->connection);
                    e.attempt->taken = true;
                    e.attempt->collected.notify_one();
                } else if (done && !expired) {
                    e.failure = e.attempt->error;
                }
            }
            if (done) {
                e.attempt.reset();
            } else if (lookingUp && now - e.started > kLookupLimit) {
                // The name service does not answer: said, and tried again
                // later; the lookup finishes on its own and is dropped.
                e.failure = "cannot resolve " + address.host + ": no answer from the name service within " +
                            std::to_string(kLookupLimit.count()) + " s";
                e.attempt.reset();
            }
            if (connected) {
                e.failure.clear();
                return true;
            }
        }
        // Attempts after a failure keep their distance; after a success or a
        // lost connection the next one starts at once.
        const bool due = !e.tried || e.failure.empty() || now - e.started >= std::chrono::milliseconds(NetworkRetryMs);
        if (!e.attempt && due) {
            e.tried = true;
            e.started = now;
            e.attempt = Start(address, &e.failure);
        }
        *inProgress = e.failure.empty() && e.attempt != nullptr;
        *error = e.failure.empty() ? "connecting to " + HostPort(address) : e.failure;
        return false;
    }

    // An open connection went away: the reason stays until an attempt says more.
    void Lost(const std::string& key, const std::string& reason) {
        std::lock_guard<std::mutex> lock(m_mutex);
        Entry& e = m_entries[key];
        e.failure = reason;
        e.used = Clock::now();
    }

private:
    struct Attempt {
        std::mutex mutex;
        std::condition_variable collected;
        bool resolved = false;  // the name lookup is over
        bool done = false;
        bool taken = false;     // the connection went to a port
        bool expired = false;   // nobody came for it: closed again
        Connection connection;
        std::string error;
    };
    struct Entry {
        std::shared_ptr<Attempt> attempt;
        bool tried = false;
        Clock::time_point started{};
        Clock::time_point used{};
        std::string failure;  // the last attempt's reason, or why the last connection ended
    };
    // An address nobody asked for this long is forgotten, with a connection
    // that waited for it (a server may take one client only).
    static constexpr std::chrono::seconds kForgetAfter{10};
    // A name lookup may take this long (the system's resolver has limits of its own).
    static constexpr std::chrono::seconds kLookupLimit{10};

    static std::shared_ptr<Attempt> Start(const NetworkAddress& address, std::string* failure) {
        auto attempt = std::make_shared<Attempt>();
        try {
            std::thread([attempt, address] {
                Connection c;
                std::string error;
                const bool ok = Connect(address, &c, &error, [&attempt] {
                    std::lock_guard<std::mutex> lock(attempt->mutex);
                    attempt->resolved = true;
                });
                std::unique_lock<std::mutex> lock(attempt->mutex);
                attempt->resolved = true;
                if (ok) attempt->connection = std::move(c);
                else attempt->error = error.empty() ? "no connection" : error;
                attempt->done = true;
                // A connection nobody comes for (the user chose another
                // port meanwhile) is closed: a server may take one client only.
                if (ok && !attempt->collected.wait_for(lock, kForgetAfter, [&attempt] { return attempt->taken; })) {
                    attempt->connection.Close();
                    attempt->expired = true;
                }
            }).detach();
        } catch (const std::system_error& e) {
            *failure = std::string("cannot start the connection: ") + e.what();
            return nullptr;
        }
        return attempt;
    }

    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
};

// ---------------------------------------------------------------- the port

class NetworkPort final : public Port {
public:
    explicit NetworkPort(const std::string& text) {
        m_valid = ParseNetworkAddress(text, &m_address, &m_addressError);
        if (m_valid) m_key = (m_address.kind == NetworkKind::Raw ? "tcp://" : "rfc2217://") + Lower(HostPort(m_address));
    }
    ~NetworkPort() override { Close(); }

    bool Open(std::string* error) override {
        Close();
        m_lost = false;
        m_lostReason.clear();
        m_inProgress = false;
        std::string why;
        if (!m_valid) {
            why = m_addressError;
        } else if (Connector::Instance().Take(m_key, m_address, &m_connection, &why, &m_inProgress)) {
            m_in = std::move(m_connection.data);
            m_connection.data.clear();
            m_early = m_in.substr(0, kEarlyBytes);
            m_earlyOpen = true;
            m_openedAt = Clock::now();
            if (Telnet::Codec* t = m_connection.telnet.get()) {
                // 8N1 without flow control, the line errors reported, and
                // nothing left over from before this connection.
                using namespace Telnet::ComPort;
                Transmit(t->Command(SetDatasize, std::string(1, static_cast<char>(Databits8))) +
                         t->Command(SetParity, std::string(1, static_cast<char>(ParityNone))) +
                         t->Command(SetStopsize, std::string(1, static_cast<char>(Stopbits1))) +
                         t->Command(SetControl, std::string(1, static_cast<char>(NoFlowControl))) +
                         t->Command(SetLinestateMask, std::string(1, static_cast<char>(LineErrors))) +
                         t->Command(PurgeData, std::string(1, static_cast<char>(PurgeBothBuffers))));
                if (m_baud > 0) Transmit(Telnet::Codec::SetBaudrate(static_cast<std::uint32_t>(m_baud)));
            }
            if (!m_lost) {
                if (error) error->clear();
                return true;
            }
            why = m_lostReason;
        }
        if (error) *error = why;
        return false;
    }

    void Close() override {
        m_connection.Close();
        m_connection.telnet.reset();
        m_in.clear();
        m_read = 0;
        m_out.clear();
    }

    void SetBaud(int bitsPerSecond) override {
        if (bitsPerSecond <= 0) return;
        m_baud = bitsPerSecond;
        if (Telnet::Codec* t = Connected() ? m_connection.telnet.get() : nullptr) {
            t->ForgetServerBaudrate();
            Transmit(Telnet::Codec::SetBaudrate(static_cast<std::uint32_t>(bitsPerSecond)));
        }
    }

    int GetBaud() override {
        if (!Connected()) return -1;
        if (const Telnet::Codec* t = m_connection.telnet.get(); t && t->ServerBaudrate() > 0)
            return static_cast<int>(t->ServerBaudrate());
        return m_baud > 0 ? m_baud : -1;
    }

    int DataStatus() override {
        int status = m_overflow ? 8 : 0;
        m_overflow = false;
        if (Telnet::Codec* t = Connected() ? m_connection.telnet.get() : nullptr) {
            const unsigned char line = t->TakeLineErrors();
            if (line & Telnet::ComPort::ParityError) status |= 1;
            if (line & Telnet::ComPort::FramingError) status |= 2;
            if (line & Telnet::ComPort::OverrunError) status |= 4;
        }
        return status;
    }

    int InQueue() override {
        Pump();
        return static_cast<int>(m_in.size() - m_read);
    }

    int Read(unsigned char* buffer, int length) override {
        if (buffer == nullptr || length <= 0) return 0;
        const std::size_t n = std::min(static_cast<std::size_t>(length), m_in.size() - m_read);
        std::copy_n(m_in.data() + m_read, n, buffer);
        m_read += n;
        if (m_read == m_in.size()) {
            m_in.clear();
            m_read = 0;
        }
        return static_cast<int>(n);
    }

    void FlushInput() override {
        Pump();
        m_in.clear();
        m_read = 0;
    }

    bool PutChar(unsigned char byte) override {
        if (!Connected()) return false;
        if (m_out.size() >= kMaxOut) {
            Flush();
            if (m_out.size() >= kMaxOut || !Connected()) return false;
        }
        m_earlyOpen = false;
        std::string bytes;
        if (const Telnet::Codec* t = m_connection.telnet.get()) t->Escape(&byte, 1, &bytes);
        else bytes.push_back(static_cast<char>(byte));
        Transmit(bytes);
        return Connected();
    }

    bool Lost() const override { return m_lost; }
    std::string LostReason() const override { return m_lostReason; }
    bool OpenInProgress() const override { return m_inProgress; }
    int ReplyAllowanceMs() const override { return NetworkReplyAllowanceMs; }

private:
    // Received data kept at most (the link reads all of it every tick); the
    // oldest goes first, reported as an overflow like a full serial queue.
    static constexpr std::size_t kMaxIn = 1 << 18;
    // Bytes waiting to be sent at most; a send beyond fails.
    static constexpr std::size_t kMaxOut = 1 << 16;
    // What a server sent right after connecting, before this side sent
    // anything, may be its reason for closing (ser2net: "Port already in use").
    static constexpr std::size_t kEarlyBytes = 200;
    static constexpr std::chrono::seconds kEarlyTime{2};

    bool Connected() const { return m_connection.socket != NoSocket && !m_lost; }

    // Takes in what arrived, answers the server, sends what waits.
    void Pump() {
        if (!Connected()) return;
        std::string reply;
        unsigned char buffer[4096];
        for (std::size_t total = 0; total < kMaxIn;) {
            const auto n = ::recv(m_connection.socket, reinterpret_cast<char*>(buffer), sizeof buffer, 0);
            if (n > 0) {
                const std::size_t before = m_in.size();
                if (Telnet::Codec* t = m_connection.telnet.get())
                    t->Receive(buffer, static_cast<std::size_t>(n), &m_in, &reply);
                else
                    m_in.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
                if (m_earlyOpen && m_early.size() < kEarlyBytes) m_early.append(m_in, before, kEarlyBytes - m_early.size());
                total += static_cast<std::size_t>(n);
                if (static_cast<std::size_t>(n) < sizeof buffer) break;  // all there was; a close shows next time
                continue;
            }
            if (n == 0) {
                MarkLost(EndReason(ClosedReason("")));
                return;
            }
            const int e = LastError();
            if (Interrupted(e)) continue;
            if (!WouldBlock(e)) {
                MarkLost(EndReason(ErrorText(e)));
                return;
            }
            break;
        }
        if (m_in.size() - m_read > kMaxIn) {
            m_in.erase(0, m_in.size() - kMaxIn);
            m_read = 0;
            m_overflow = true;
        } else if (m_read > kMaxIn) {
            m_in.erase(0, m_read);
            m_read = 0;
        }
        Transmit(reply);
    }

    void Transmit(const std::string& bytes) {
        m_out += bytes;
        Flush();
    }

    void Flush() {
        std::size_t sent = 0;
        while (Connected() && sent < m_out.size()) {
            const auto n = ::send(m_connection.socket, m_out.data() + sent, static_cast<int>(m_out.size() - sent),
                                  SendFlags());
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            const int e = LastError();
            if (Interrupted(e)) continue;
            if (!WouldBlock(e)) MarkLost(EndReason(ErrorText(e)));
            break;
        }
        m_out.erase(0, sent);
    }

    // Why the connection ended: what the server said right after connecting
    // (a refusal is reset rather than closed once this side has sent), else `plain`.
    std::string EndReason(const std::string& plain) const {
        const bool early = Clock::now() - m_openedAt < kEarlyTime;
        return early && !ServerMessage(m_early).empty() ? ClosedReason(m_early) : plain;
    }

    // The connection is gone: closed, so that the caller sees a lost port
    // and opens again; the reason stays for the next Open to report.
    void MarkLost(const std::string& reason) {
        m_lost = true;
        m_lostReason = reason;
        m_connection.Close();
        m_out.clear();
        Connector::Instance().Lost(m_key, reason);
    }

    NetworkAddress m_address;
    bool m_valid = false;
    std::string m_addressError;
    std::string m_key;
    Connection m_connection;
    bool m_lost = false;
    std::string m_lostReason;
    bool m_inProgress = false;
    std::string m_in;         // received data; m_read bytes of it were read already
    std::size_t m_read = 0;
    bool m_overflow = false;
    std::string m_out;        // escaped bytes waiting for room in the socket
    int m_baud = 0;           // the speed last set (what a raw connection reports)
    std::string m_early;      // the first data after connecting ...
    bool m_earlyOpen = false; // ... until this side sends
    Clock::time_point m_openedAt{};
};

}  // namespace

bool IsNetworkAddress(const std::string& device) {
    const std::string lower = Lower(device.substr(0, 10));
    return lower.rfind("tcp://", 0) == 0 || lower.rfind("rfc2217://", 0) == 0;
}

bool ParseNetworkAddress(const std::string& text, NetworkAddress* address, std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error) *error = "bad network address \"" + text + "\": " + why;
        return false;
    };
    const std::size_t schemeEnd = text.find("://");
    const std::string scheme = schemeEnd == std::string::npos ? "" : Lower(text.substr(0, schemeEnd));
    NetworkAddress a;
    if (scheme == "tcp") a.kind = NetworkKind::Raw;
    else if (scheme == "rfc2217") a.kind = NetworkKind::Rfc2217;
    else return fail("expected tcp://HOST:PORT or rfc2217://HOST:PORT");
    const std::string rest = text.substr(schemeEnd + 3);
    std::size_t colon;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) return fail("no ']' after the IPv6 address");
        a.host = rest.substr(1, close - 1);
        if (a.host.empty() || !std::all_of(a.host.begin(), a.host.end(), IsIpv6Char) ||
            a.host.find(':') == std::string::npos)
            return fail("bad IPv6 address");
        colon = close + 1;
        if (colon >= rest.size() || rest[colon] != ':') return fail("no :PORT after the address");
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos) return fail("no :PORT after the host");
        a.host = rest.substr(0, colon);
        if (a.host.find(':') != std::string::npos) return fail("an IPv6 address goes in brackets, e.g. [::1]:4001");
        if (a.host.empty() || !std::all_of(a.host.begin(), a.host.end(), IsHostChar)) return fail("bad host name");
    }
    const std::string port = rest.substr(colon + 1);
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) {
            return c >= '0' && c <= '9';
        }))
        return fail("the port is a number from 1 to 65535");
    a.port = std::stoi(port);
    if (a.port < 1 || a.port > 65535) return fail("the port is a number from 1 to 65535");
    if (address) *address = a;
    if (error) error->clear();
    return true;
}

std::unique_ptr<Port> CreateNetworkPort(const std::string& address) { return std::make_unique<NetworkPort>(address); }

}  // namespace SerialLayer
