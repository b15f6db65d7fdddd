#pragma once
// Text in the Windows-1252 code page, the 8-bit code page of the Windows
// program whose files (settings, configuration files, the settings report)
// this program reads and writes.
#include <string>

namespace modCodePage {

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of the
// same value, so that every byte survives a way there and back.
std::string Cp1252ToUtf8(const std::string& bytes);

// UTF-8 text as Windows-1252 bytes. A character the code page lacks, and a
// byte that is no part of valid UTF-8, becomes '?'; `lossless`, when given,
// tells whether that never happened.
std::string Utf8ToCp1252(const std::string& text, bool* lossless = nullptr);

// Whether `bytes` is valid UTF-8 (plain ASCII is).
bool IsValidUtf8(const std::string& bytes);

}  // namespace modCodePage
