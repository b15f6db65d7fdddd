#pragma once
// Parts of the reply decoder (modKOVComm) that read the sensor's stream:
// the binary distance frames, and how a stream is told from line noise.
// Used by the decoder only.
#include <cstdint>
#include <string>

class clsKOV;

namespace modKOVComm {

// The frame checksum through the protocol's hook (or the CRC16 library).
// False when it cannot be computed; the link's Decoder.ChecksumMissing
// says so until a checksum can be computed again.
bool FrameChecksum(clsKOV& link, const unsigned char* data, unsigned count, std::uint16_t* result);

// Reads the binary distance frames ("BINARY", "BINARY+CRC") out of `s` into
// the link: MeasValue / MeasValue_mm of the newest frame taken, EventNr 2 (or
// 7 for damaged frames), InBuffer = the bytes left for the next step.
enum class FramesRead {
    Done,
    NoChecksum,  // the checksum library is missing: the step ends
    Restarted,   // the sensor's ready banner was among the bytes: it restarted
};
FramesRead DistanceFrames(clsKOV& link, const std::string& s, double factor);

// The sensor's lines that say something in place of a distance, known by
// their content whatever their width: "No Echo", and the temperature error
// ("TempErr!", reported as "TempError"). nullptr for any other line.
const char* ContentLine(const std::string& line);

// A distance line as the sensor sends it: blanks, an optional sign, digits
// with optional decimals, and in ASCII+UNIT a blank and the unit; blanks may
// close it.
bool DistanceShape(const std::string& line);

// Bytes nobody asked for that have the shape of the sensor's output in one
// of its formats: distance lines of one width, frames that pass the
// checksum, or four-byte frames in step with one another. Random bytes,
// however many, do not.
bool StreamShape(clsKOV& link, const std::string& raw);

// Millimetres two distances may differ by and still agree: a window across
// a stray byte reads the value shifted by a byte (about 256 times too large
// or too small), which never agrees.
bool Agree(std::int32_t a, std::int32_t reference);

}  // namespace modKOVComm
