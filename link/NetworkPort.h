#pragma once
// Ports on the network: a serial device server offers the sensor's serial
// line as a TCP connection, either raw or as Telnet with the COM port control
// option. Such a port is a port like any other behind the serial layer's
// interface; SerialLayer::CreateDevicePort makes one for an address.
//
//   tcp://HOST:PORT      raw: the bytes as they are; speed and character
//                        format are whatever the server is set to
//   rfc2217://HOST:PORT  Telnet with COM port control: this side sets the
//                        speed (on every change), 8 data bits, no parity,
//                        1 stop bit, no flow control, and purges the
//                        server's buffers on every (re)connection
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets ([::1]).
//
// Open() never waits. Name lookup, connection and the Telnet negotiation run
// on a short-lived helper thread; Open() reports "connecting to HOST:PORT"
// (OpenInProgress() true) until that is done, then opens, or fails with the
// reason. After a failure a new attempt starts at most once per
// NetworkRetryMs, and Open() keeps reporting the last reason meanwhile. The
// port object itself is used by one thread only (the caller's).
#include <memory>
#include <string>

#include "SerialPort.h"

namespace SerialLayer {

enum class NetworkKind { Raw, Rfc2217 };

struct NetworkAddress {
    NetworkKind kind = NetworkKind::Raw;
    std::string host;  // name or address, IPv6 without its brackets
    int port = 0;      // 1..65535
};

// The limits of one connection attempt, and the pause between attempts.
constexpr int NetworkConnectLimitMs = 3000;  // from the start of the TCP connect (all addresses of a name)
constexpr int NetworkAnswerLimitMs = 3000;   // RFC 2217: for the server's answer to the COM port option
constexpr int NetworkRetryMs = 1000;         // from the start of one attempt to the start of the next
// What a network port adds to every answer deadline of the sensor protocol:
// the round trip over the network and the server's buffering.
constexpr int NetworkReplyAllowanceMs = 500;

// True when `device` names a network port (tcp:// or rfc2217://, in any case).
bool IsNetworkAddress(const std::string& device);

// Reads an address; false with the reason when it is none.
bool ParseNetworkAddress(const std::string& text, NetworkAddress* address, std::string* error);

// A port for a network address (a bad address fails in Open with the reason).
std::unique_ptr<Port> CreateNetworkPort(const std::string& address);

}  // namespace SerialLayer
