// Network ports: the port itself (non-blocking socket, driven by the
// caller's tick; for rfc2217:// the COM port commands and the Telnet coding
// of the data) and the reading of addresses. The connection attempts are in
// NetworkConnect.cpp, the platform's socket calls in NetworkSocket.cpp.
#include "NetworkPort.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "NetworkConnect.h"
#include "NetworkSocket.h"
#include "TelnetCodec.h"

namespace SerialLayer {
namespace {

using namespace Net;

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
        } else if (TakeConnection(m_key, m_address, &m_connection, &why, &m_inProgress)) {
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
        ConnectionLost(m_key, reason);
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
