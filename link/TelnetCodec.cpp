#include "TelnetCodec.h"

namespace Telnet {
namespace {

constexpr unsigned char CR = '\r';
constexpr unsigned char NUL = 0;

void Put(std::string* out, unsigned char a, unsigned char b, unsigned char c) {
    out->push_back(static_cast<char>(a));
    out->push_back(static_cast<char>(b));
    out->push_back(static_cast<char>(c));
}

}  // namespace

bool Codec::WeOffer(unsigned char option) {
    return option == Option::Binary || option == Option::ComPort || option == Option::SuppressGoAhead;
}

bool Codec::WeAccept(unsigned char option) {
    // Not the echo: the server would send every command back to the decoder.
    return option == Option::Binary || option == Option::SuppressGoAhead;
}

std::string Codec::Start() {
    std::string out;
    if (m_started) return out;
    m_started = true;
    // What the server has asked for or offered already is on (or refused) and is not offered again.
    for (unsigned char option : {Option::Binary, Option::ComPort}) {
        if (m_us[option] != No) continue;
        m_us[option] = WantYes;
        Put(&out, Byte::IAC, Byte::WILL, option);
    }
    for (unsigned char option : {Option::Binary, Option::SuppressGoAhead}) {
        if (m_him[option] != No) continue;
        m_him[option] = WantYes;
        Put(&out, Byte::IAC, Byte::DO, option);
    }
    return out;
}

Codec::Answer Codec::ComPortAnswer() const {
    switch (m_us[Option::ComPort]) {
        case Yes: return Answer::Yes;
        case No: return m_started ? Answer::No : Answer::Pending;
        default: return Answer::Pending;
    }
}

unsigned char Codec::TakeLineErrors() {
    const unsigned char errors = m_lineErrors;
    m_lineErrors = 0;
    return errors;
}

void Codec::Negotiate(unsigned char verb, unsigned char option, std::string* reply) {
    const bool offer = verb == Byte::WILL || verb == Byte::DO;
    const bool himSide = verb == Byte::WILL || verb == Byte::WONT;
    State& state = himSide ? m_him[option] : m_us[option];
    const bool agree = himSide ? WeAccept(option) : WeOffer(option);
    // The answers: to the server's WILL / WONT with DO / DONT, to its DO / DONT with WILL / WONT.
    const unsigned char yes = himSide ? Byte::DO : Byte::WILL;
    const unsigned char no = himSide ? Byte::DONT : Byte::WONT;
    if (offer) {
        switch (state) {
            case No:
                state = agree ? Yes : No;
                Put(reply, Byte::IAC, agree ? yes : no, option);
                break;
            case Yes: break;
            case WantNo: state = No; break;  // our refusal was answered with an offer: it stays off
            case WantYes: state = Yes; break;
        }
    } else {
        if (state == Yes) Put(reply, Byte::IAC, no, option);
        state = No;
    }
}

void Codec::Subnegotiation() {
    if (m_subOption != Option::ComPort || m_sub.empty()) return;
    const auto code = static_cast<unsigned char>(m_sub[0]);
    const std::size_t size = m_sub.size() - 1;
    const auto byte = [this](std::size_t i) { return static_cast<unsigned char>(m_sub[i]); };
    if (code == ComPort::ServerReply + ComPort::SetBaudrate && size == 4) {
        m_serverBaud = static_cast<std::uint32_t>(byte(1)) << 24 | static_cast<std::uint32_t>(byte(2)) << 16 |
                       static_cast<std::uint32_t>(byte(3)) << 8 | byte(4);
    } else if (code == ComPort::ServerReply + ComPort::NotifyLinestate && size == 1) {
        m_lineErrors |= byte(1) & ComPort::LineErrors;
    }
}

void Codec::Receive(const unsigned char* bytes, std::size_t count, std::string* data, std::string* reply) {
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char b = bytes[i];
        switch (m_parse) {
            case Parse::Data:
                if (b == Byte::IAC) {
                    m_parse = Parse::Iac;
                    break;
                }
                if (m_afterCr && b == NUL && !BinaryFromServer()) {
                    m_afterCr = false;
                    break;
                }
                m_afterCr = b == CR;
                data->push_back(static_cast<char>(b));
                break;
            case Parse::Iac:
                m_parse = Parse::Data;
                if (b == Byte::IAC) {
                    m_afterCr = false;
                    data->push_back(static_cast<char>(b));
                } else if (b >= Byte::WILL) {
                    m_verb = b;
                    m_parse = Parse::Verb;
                } else if (b == Byte::SB) {
                    m_parse = Parse::SubOption;
                }
                // Any other command (NOP, go-ahead, data mark...) carries nothing for us.
                break;
            case Parse::Verb:
                Negotiate(m_verb, b, reply);
                m_parse = Parse::Data;
                break;
            case Parse::SubOption:
                m_subOption = b;
                m_sub.clear();
                m_parse = Parse::SubData;
                break;
            case Parse::SubData:
                if (b == Byte::IAC) {
                    m_parse = Parse::SubIac;
                } else if (m_sub.size() < MaxSubnegotiation) {
                    m_sub.push_back(static_cast<char>(b));
                }
                break;
            case Parse::SubIac:
                if (b == Byte::IAC) {
                    if (m_sub.size() < MaxSubnegotiation) m_sub.push_back(static_cast<char>(b));
                    m_parse = Parse::SubData;
                    break;
                }
                // IAC SE ends it; any other command after IAC ends it as well
                // (a server that forgot its SE) and is then taken as a command.
                Subnegotiation();
                m_sub.clear();
                m_parse = Parse::Data;
                if (b != Byte::SE) {
                    --i;
                    m_parse = Parse::Iac;
                }
                break;
        }
    }
}

void Codec::Escape(const unsigned char* bytes, std::size_t count, std::string* out) const {
    const bool binary = BinaryToServer();
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char b = bytes[i];
        out->push_back(static_cast<char>(b));
        if (b == Byte::IAC) out->push_back(static_cast<char>(Byte::IAC));
        else if (b == CR && !binary) out->push_back(static_cast<char>(NUL));
    }
}

std::string Codec::Command(unsigned char command, const std::string& value) {
    std::string out;
    Put(&out, Byte::IAC, Byte::SB, Option::ComPort);
    out.push_back(static_cast<char>(command));
    for (char c : value) {
        out.push_back(c);
        if (static_cast<unsigned char>(c) == Byte::IAC) out.push_back(c);
    }
    out.push_back(static_cast<char>(Byte::IAC));
    out.push_back(static_cast<char>(Byte::SE));
    return out;
}

std::string Codec::SetBaudrate(std::uint32_t bitsPerSecond) {
    std::string value;
    for (int shift = 24; shift >= 0; shift -= 8) value.push_back(static_cast<char>((bitsPerSecond >> shift) & 0xFF));
    return Command(ComPort::SetBaudrate, value);
}

}  // namespace Telnet
