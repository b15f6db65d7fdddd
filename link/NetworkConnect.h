#pragma once
// The connection attempts of the network ports: name lookup, TCP connect to
// the name's addresses in turn, and for rfc2217:// the Telnet negotiation of
// the COM port option, on short-lived helper threads. What an attempt found
// waits for the next Open of the same address. Internal to the link.
#include <memory>
#include <string>
#include <utility>

#include "NetworkPort.h"
#include "NetworkSocket.h"
#include "TelnetCodec.h"

namespace SerialLayer::Net {

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

// "HOST:PORT", an IPv6 address in brackets.
std::string HostPort(const NetworkAddress& a);

// A text the server sent before it closed the connection (ser2net says why
// it could not open its serial port, "Port already in use" and CR LF): its
// last whole line, when it is plain text. Bytes without a line end are no
// message: a few bytes of a sensor's data can look like text.
std::string ServerMessage(const std::string& early);
// "the device server closed the connection", with that text if there is one.
std::string ClosedReason(const std::string& early);

// The connection for `key` (the address in lower case) when an attempt has
// made one; else false with the reason (or "connecting to ...", *inProgress
// true, while the first attempt runs). Starts an attempt when one is due.
bool TakeConnection(const std::string& key, const NetworkAddress& address, Connection* out, std::string* error,
                    bool* inProgress);
// An open connection went away: the reason stays until an attempt says more.
void ConnectionLost(const std::string& key, const std::string& reason);

}  // namespace SerialLayer::Net
