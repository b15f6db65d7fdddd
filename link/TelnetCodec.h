#pragma once
// The client side of a Telnet connection to a serial device server that
// offers its port with the COM port control option: the escaping of the data
// in both directions, the option negotiation and the COM port commands
// (speed, character format, purging, line errors). Bytes in, bytes out; the
// network port moves them over the socket.
//
// Telnet sends the byte 255 (IAC) as a command prefix, so a data byte 255 is
// sent twice; binary frames of the sensor contain it. Without the binary
// option a CR is sent as CR NUL and a NUL after a received CR is dropped.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Telnet {

namespace Byte {
constexpr unsigned char SE = 240;    // end of a subnegotiation
constexpr unsigned char SB = 250;    // begin of a subnegotiation
constexpr unsigned char WILL = 251;
constexpr unsigned char WONT = 252;
constexpr unsigned char DO = 253;
constexpr unsigned char DONT = 254;
constexpr unsigned char IAC = 255;   // "interpret as command"
}  // namespace Byte

namespace Option {
constexpr unsigned char Binary = 0;
constexpr unsigned char Echo = 1;
constexpr unsigned char SuppressGoAhead = 3;
constexpr unsigned char ComPort = 44;
}  // namespace Option

// COM port control: the client's commands; the server answers each with the
// same code plus ServerReply.
namespace ComPort {
constexpr unsigned char SetBaudrate = 1;     // 4 bytes, network order; 0 asks for the current speed
constexpr unsigned char SetDatasize = 2;
constexpr unsigned char SetParity = 3;
constexpr unsigned char SetStopsize = 4;
constexpr unsigned char SetControl = 5;
constexpr unsigned char NotifyLinestate = 6;
constexpr unsigned char SetLinestateMask = 10;
constexpr unsigned char PurgeData = 12;
constexpr unsigned char ServerReply = 100;

constexpr unsigned char Databits8 = 8;
constexpr unsigned char ParityNone = 1;
constexpr unsigned char Stopbits1 = 1;
constexpr unsigned char NoFlowControl = 1;
constexpr unsigned char PurgeBothBuffers = 3;  // the server's receive and transmit buffers

// Line state bits of NotifyLinestate.
constexpr unsigned char OverrunError = 0x02;
constexpr unsigned char ParityError = 0x04;
constexpr unsigned char FramingError = 0x08;
constexpr unsigned char LineErrors = OverrunError | ParityError | FramingError;
}  // namespace ComPort

class Codec {
public:
    // What the server has said to the COM port option so far.
    enum class Answer { Pending, Yes, No };

    // The offers that open the connection: this side will send binary and
    // use the COM port option; the server is asked to send binary and to
    // suppress go-ahead (each unless the server has spoken of it already).
    std::string Start();

    // Bytes from the server: the data goes to *data, the answers the
    // server's offers require go to *reply (to be sent back).
    void Receive(const unsigned char* bytes, std::size_t count, std::string* data, std::string* reply);

    // Data for the server, escaped, appended to *out.
    void Escape(const unsigned char* bytes, std::size_t count, std::string* out) const;

    // A COM port command with its value bytes, ready to send.
    static std::string Command(unsigned char command, const std::string& value);
    static std::string SetBaudrate(std::uint32_t bitsPerSecond);

    Answer ComPortAnswer() const;
    bool BinaryToServer() const { return m_us[Option::Binary] == Yes; }
    bool BinaryFromServer() const { return m_him[Option::Binary] == Yes; }
    // The speed the server last confirmed (0 while none).
    std::uint32_t ServerBaudrate() const { return m_serverBaud; }
    // A new speed was asked for: the old confirmation no longer holds.
    void ForgetServerBaudrate() { m_serverBaud = 0; }
    // Line error bits (ComPort::LineErrors) the server reported since the last call.
    unsigned char TakeLineErrors();

    // A subnegotiation longer than this is cut (its rest is read and dropped).
    static constexpr std::size_t MaxSubnegotiation = 64;

private:
    // The state of one side of an option (the "Q method" of RFC 1143,
    // without its queue: this side never changes its mind).
    enum State : unsigned char { No, Yes, WantNo, WantYes };
    enum class Parse { Data, Iac, Verb, SubOption, SubData, SubIac };

    void Negotiate(unsigned char verb, unsigned char option, std::string* reply);
    void Subnegotiation();
    static bool WeOffer(unsigned char option);
    static bool WeAccept(unsigned char option);

    std::array<State, 256> m_us{};   // options this side performs
    std::array<State, 256> m_him{};  // options the server performs
    Parse m_parse = Parse::Data;
    unsigned char m_verb = 0;
    unsigned char m_subOption = 0;
    std::string m_sub;
    bool m_afterCr = false;          // the last data byte was a CR (NUL after it is dropped)
    bool m_started = false;
    std::uint32_t m_serverBaud = 0;
    unsigned char m_lineErrors = 0;
};

}  // namespace Telnet
