#include "NetworkConnect.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace SerialLayer::Net {
namespace {

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

}  // namespace

std::string HostPort(const NetworkAddress& a) {
    const bool v6 = a.host.find(':') != std::string::npos;
    return (v6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
}

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
    return last.substr(0, 120);
}

std::string ClosedReason(const std::string& early) {
    const std::string message = ServerMessage(early);
    return "the device server closed the connection" + (message.empty() ? "" : ": " + message);
}

bool TakeConnection(const std::string& key, const NetworkAddress& address, Connection* out, std::string* error,
                    bool* inProgress) {
    return Connector::Instance().Take(key, address, out, error, inProgress);
}

void ConnectionLost(const std::string& key, const std::string& reason) { Connector::Instance().Lost(key, reason); }

}  // namespace SerialLayer::Net
