// Network ports without a network: the addresses they accept, and the Telnet
// client (option answers, escaping both ways, COM port commands and replies).
// The client against a real device server is in tests/cli/test_cli_network.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NetworkConnect.h"
#include "NetworkPort.h"
#include "TelnetCodec.h"

using namespace SerialLayer;
namespace Byte = Telnet::Byte;
namespace Option = Telnet::Option;
namespace ComPort = Telnet::ComPort;

namespace {

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

struct Received {
    std::string data, reply;
};

Received Feed(Telnet::Codec& codec, const std::string& bytes) {
    Received r;
    codec.Receive(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &r.data, &r.reply);
    return r;
}

std::string Escaped(const Telnet::Codec& codec, const std::string& bytes) {
    std::string out;
    codec.Escape(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &out);
    return out;
}

constexpr int IAC = Byte::IAC, WILL = Byte::WILL, WONT = Byte::WONT, DO = Byte::DO, DONT = Byte::DONT;

}  // namespace

TEST(NetworkAddress, AcceptedAndRefused) {
    struct Good { const char* text; NetworkKind kind; const char* host; int port; } good[] = {
        {"tcp://192.0.2.10:4001", NetworkKind::Raw, "192.0.2.10", 4001},
        {"RFC2217://sensor-3.plant.example:1", NetworkKind::Rfc2217, "sensor-3.plant.example", 1},
        {"rfc2217://[::1]:65535", NetworkKind::Rfc2217, "::1", 65535},
        {"tcp://[fe80::1%eth0]:23", NetworkKind::Raw, "fe80::1%eth0", 23},
    };
    for (const Good& g : good) {
        NetworkAddress a;
        std::string error;
        ASSERT_TRUE(ParseNetworkAddress(g.text, &a, &error)) << g.text << ": " << error;
        EXPECT_TRUE(IsNetworkAddress(g.text));
        EXPECT_EQ(a.kind, g.kind);
        EXPECT_EQ(a.host, g.host);
        EXPECT_EQ(a.port, g.port);
    }
    struct Bad { const char* text; const char* why; } bad[] = {
        {"udp://192.0.2.10:4001", "expected tcp://HOST:PORT"},
        {"tcp://192.0.2.10", "no :PORT"},
        {"tcp://::1:4001", "in brackets"},
        {"tcp://[::1:4001", "no ']'"},
        {"tcp://[::1]4001", "no :PORT"},
        {"tcp://:4001", "bad host name"},
        {"tcp://host name:4001", "bad host name"},
        {"tcp://host:0", "1 to 65535"},
        {"tcp://host:65536", "1 to 65535"},
        {"tcp://host:40a1", "1 to 65535"},
    };
    for (const Bad& b : bad) {
        std::string error;
        EXPECT_FALSE(ParseNetworkAddress(b.text, nullptr, &error)) << b.text;
        EXPECT_NE(error.find(b.why), std::string::npos) << b.text << ": " << error;
        // A bad address is still a network port: it fails to open with the reason.
        if (IsNetworkAddress(b.text)) {
            std::string openError;
            EXPECT_FALSE(CreateDevicePort(b.text)->Open(&openError));
            EXPECT_EQ(openError, error);
        }
    }
    for (const char* device : {"/dev/ttyUSB0", "SIMULATOR", "COM3", "tcp:/x:1", ""}) EXPECT_FALSE(IsNetworkAddress(device));
}

// The client's offers, and its answers to what ser2net sends on a new
// connection: yes to binary both ways, to suppress-go-ahead and to the COM
// port option; no to the server's echo; no to anything unknown; nothing to
// an answer of its own offers.
TEST(TelnetCodec, Negotiation) {
    Telnet::Codec codec;
    EXPECT_EQ(codec.ComPortAnswer(), Telnet::Codec::Answer::Pending);
    EXPECT_EQ(codec.Start(), Bytes({IAC, WILL, Option::Binary, IAC, WILL, Option::ComPort, IAC, DO, Option::Binary,
                                    IAC, DO, Option::SuppressGoAhead}));
    EXPECT_EQ(codec.Start(), "") << "offered once";
    struct Case { std::string from; std::string reply; } cases[] = {
        {Bytes({IAC, WILL, Option::SuppressGoAhead}), ""},  // answers our DO
        {Bytes({IAC, DO, Option::SuppressGoAhead}), Bytes({IAC, WILL, Option::SuppressGoAhead})},
        {Bytes({IAC, WILL, Option::Echo}), Bytes({IAC, DONT, Option::Echo})},
        {Bytes({IAC, DONT, Option::Echo}), ""},
        {Bytes({IAC, DO, Option::Binary, IAC, WILL, Option::Binary}), ""},
        {Bytes({IAC, DO, Option::ComPort}), ""},
        {Bytes({IAC, DO, 24, IAC, WILL, 31}), Bytes({IAC, WONT, 24, IAC, DONT, 31})},
        {Bytes({IAC, DO, Option::SuppressGoAhead}), ""},  // already on: no loop
        {Bytes({IAC, WONT, Option::SuppressGoAhead}), Bytes({IAC, DONT, Option::SuppressGoAhead})},
    };
    for (const Case& c : cases) EXPECT_EQ(Feed(codec, c.from).reply, c.reply);
    EXPECT_EQ(codec.ComPortAnswer(), Telnet::Codec::Answer::Yes);
    EXPECT_TRUE(codec.BinaryToServer());
    EXPECT_TRUE(codec.BinaryFromServer());

    Telnet::Codec refused;
    refused.Start();
    EXPECT_EQ(Feed(refused, Bytes({IAC, DONT, Option::ComPort})).reply, "");
    EXPECT_EQ(refused.ComPortAnswer(), Telnet::Codec::Answer::No);
}

// 0xFF in the data is doubled on the wire both ways, in pieces cut anywhere;
// without binary mode a CR goes out as CR NUL and the NUL after a received
// CR is dropped.
TEST(TelnetCodec, EscapingBothWays) {
    Telnet::Codec binary;
    binary.Start();
    Feed(binary, Bytes({IAC, DO, Option::Binary, IAC, WILL, Option::Binary}));
    const std::string frames = Bytes({0xFF, 0xFF, 0xFF, 0x7F, 0x12, 0xFF, '\r', 0});
    const std::string wire = Escaped(binary, frames);
    EXPECT_EQ(wire, Bytes({IAC, IAC, IAC, IAC, IAC, IAC, 0x7F, 0x12, IAC, IAC, '\r', 0}));
    std::string data;
    for (char c : wire) data += Feed(binary, std::string(1, c)).data;  // one byte at a time
    EXPECT_EQ(data, frames);

    Telnet::Codec plain;
    EXPECT_EQ(Escaped(plain, "301 4\r"), std::string("301 4\r\0", 7));
    EXPECT_EQ(Feed(plain, std::string("ready\r\0\r\nOK\r", 12)).data, "ready\r\r\nOK\r");
    EXPECT_EQ(Feed(plain, std::string("\0x", 2)).data, "x") << "the NUL after a CR at the end of the last piece";
}

// COM port commands go out with IAC doubled inside; the server's speed
// reply and line errors are read, in pieces and with escaped values; other
// commands and subnegotiations carry nothing.
TEST(TelnetCodec, ComPortCommandsAndReplies) {
    EXPECT_EQ(Telnet::Codec::SetBaudrate(38400), Bytes({IAC, Byte::SB, Option::ComPort, ComPort::SetBaudrate, 0, 0,
                                                        0x96, 0x00, IAC, Byte::SE}));
    EXPECT_EQ(Telnet::Codec::SetBaudrate(0xFF00), Bytes({IAC, Byte::SB, Option::ComPort, 1, 0, 0, 0xFF, 0xFF, 0,
                                                         IAC, Byte::SE}));
    Telnet::Codec codec;
    codec.Start();
    const std::string reply = Bytes({IAC, Byte::SB, Option::ComPort, 101, 0, 0, 0x4B, 0, IAC, Byte::SE});
    EXPECT_EQ(Feed(codec, reply.substr(0, 5)).data, "");
    EXPECT_EQ(codec.ServerBaudrate(), 0u);
    EXPECT_EQ(Feed(codec, reply.substr(5) + "KOV").data, "KOV");
    EXPECT_EQ(codec.ServerBaudrate(), 19200u);
    Feed(codec, Bytes({IAC, Byte::SB, Option::ComPort, 101, 0, 0, 0xFF, 0xFF, 0x00, IAC, Byte::SE}));
    EXPECT_EQ(codec.ServerBaudrate(), 0xFF00u);
    codec.ForgetServerBaudrate();
    EXPECT_EQ(codec.ServerBaudrate(), 0u);

    EXPECT_EQ(Feed(codec, Bytes({IAC, Byte::SB, Option::ComPort, 106, 0x7F, IAC, Byte::SE, IAC, 241, 'a'})).data, "a");
    EXPECT_EQ(codec.TakeLineErrors(), ComPort::LineErrors);
    EXPECT_EQ(codec.TakeLineErrors(), 0);
    // A subnegotiation cut short by another command ends there; that command still counts.
    const Received r = Feed(codec, Bytes({IAC, Byte::SB, Option::ComPort, 101, 0, IAC, DO, 24, 'b'}));
    EXPECT_EQ(r.data, "b");
    EXPECT_EQ(r.reply, Bytes({IAC, WONT, 24}));
    EXPECT_EQ(codec.ServerBaudrate(), 0u);
}

// What a server sent before it closed the connection counts as its reason
// only as a whole line of text: a byte of a streaming sensor's frame ("V")
// once became "the device server closed the connection: V".
TEST(ServerMessage, OnlyAWholeLineOfTextIsTheServersReason) {
    const struct {
        std::string early, reason;
    } cases[] = {
        {"Port already in use\r\n", "Port already in use"},
        {"banner\r\nDevice open failure: x\r\n", "Device open failure: x"},
        {"V", ""},
        {"Port alrea", ""},
        {std::string("\x7F\x12\x34\xFF"), ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Net::ServerMessage(c.early), c.reason) << c.early;
}
