#pragma once
// Binds the CRC16 shared library by name on first use and calls its
// _crc16_byte_block@12 export. A missing library or export is reported as an
// error; the caller ends its decoding step without a value.
#include <cstdint>
#include <string>

namespace Crc16Loader {

// Runs _crc16_byte_block@12 over `count` bytes with the preset `preset`
// (the program passes -1). Returns false when the library or the export
// cannot be found; the reason is in LastError(). A failed binding is not
// tried again until Unload or SetLibraryOverride.
bool ByteBlock(const unsigned char* data, unsigned count, std::int32_t preset, std::uint16_t* result);

// Text of the last load failure ("" when the library is bound).
const std::string& LastError();
// The same in two parts, for a message of one's own: where the library was
// looked for (the paths and names tried) and why it could not be used.
// Both "" when the last call found no fault with the library.
const std::string& FailedWhere();
const std::string& FailedWhy();

// Tests: load from this path or name instead of CRC16 beside the program,
// and forget an earlier binding or failure.
void SetLibraryOverride(const std::string& pathOrName);
void Unload();

}  // namespace Crc16Loader
