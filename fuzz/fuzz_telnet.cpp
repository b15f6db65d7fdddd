// Fuzz target: the Telnet client of the network ports (Telnet::Codec), fed
// what a device server might send.
//
// Input layout:
//   byte 0  chunk size - 1 (value % 64): the stream arrives in pieces of this size
//   byte 1  bit 0 set: the client opens with its offers (Start) before the stream
//   rest    the bytes from the server
//
// Invariants: the result does not depend on how the stream is cut; the data
// is never longer than the stream; every reply is an option answer (IAC and
// one of WILL, WONT, DO, DONT, and the option), at most one per three bytes
// received; and data escaped by one codec comes out unchanged from another
// in the same mode (binary or not).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "TelnetCodec.h"

namespace {

using Telnet::Codec;
namespace Byte = Telnet::Byte;

struct Result {
    std::string data;
    std::string reply;
};

Result Feed(Codec& codec, const std::uint8_t* stream, std::size_t size, std::size_t chunk) {
    Result r;
    for (std::size_t at = 0; at < size; at += chunk)
        codec.Receive(stream + at, std::min(chunk, size - at), &r.data, &r.reply);
    return r;
}

void CheckReplies(const std::string& reply, std::size_t received) {
    FUZZ_CHECK(reply.size() % 3 == 0, "a reply that is not a whole option answer");
    FUZZ_CHECK(reply.size() <= received, "more answers than offers");
    for (std::size_t i = 0; i < reply.size(); i += 3) {
        const auto iac = static_cast<unsigned char>(reply[i]);
        const auto verb = static_cast<unsigned char>(reply[i + 1]);
        FUZZ_CHECK(iac == Byte::IAC && verb >= Byte::WILL && verb <= Byte::DONT, "a reply that is no option answer");
    }
}

// Data through Escape on one side and Receive on the other, both in binary
// mode or both not.
void CheckRoundTrip(const std::uint8_t* bytes, std::size_t size, bool binary) {
    Codec sender, receiver;
    std::string ignored, data;
    if (binary) {
        const std::string agree = {char(Byte::IAC), char(Byte::DO), char(Telnet::Option::Binary),
                                   char(Byte::IAC), char(Byte::WILL), char(Telnet::Option::Binary)};
        sender.Start();
        receiver.Start();
        sender.Receive(reinterpret_cast<const unsigned char*>(agree.data()), agree.size(), &ignored, &ignored);
        receiver.Receive(reinterpret_cast<const unsigned char*>(agree.data()), agree.size(), &ignored, &ignored);
        FUZZ_CHECK(sender.BinaryToServer() && receiver.BinaryFromServer(), "binary mode was not agreed");
    }
    std::string wire;
    sender.Escape(bytes, size, &wire);
    receiver.Receive(reinterpret_cast<const unsigned char*>(wire.data()), wire.size(), &data, &ignored);
    FUZZ_CHECK(data == std::string(reinterpret_cast<const char*>(bytes), size), "escaped data came back changed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t chunk = 1 + data[0] % 64;
    const bool start = (data[1] & 1) != 0;
    const std::uint8_t* stream = data + 2;
    const std::size_t length = size - 2;

    Codec whole, pieces;
    if (start) {
        FUZZ_CHECK(whole.Start() == pieces.Start(), "two fresh codecs open differently");
    }
    const Result a = Feed(whole, stream, length, length == 0 ? 1 : length);
    const Result b = Feed(pieces, stream, length, chunk);
    FUZZ_CHECK(a.data == b.data, "the data depends on how the stream was cut");
    FUZZ_CHECK(a.reply == b.reply, "the answers depend on how the stream was cut");
    FUZZ_CHECK(whole.ComPortAnswer() == pieces.ComPortAnswer(), "the COM port answer depends on the cut");
    FUZZ_CHECK(whole.ServerBaudrate() == pieces.ServerBaudrate(), "the server's speed depends on the cut");
    FUZZ_CHECK(a.data.size() <= length, "more data out than bytes in");
    CheckReplies(a.reply, length);
    FUZZ_CHECK((whole.TakeLineErrors() & ~Telnet::ComPort::LineErrors) == 0, "a line error bit that is none");

    CheckRoundTrip(stream, length, false);
    CheckRoundTrip(stream, length, true);
    return 0;
}
