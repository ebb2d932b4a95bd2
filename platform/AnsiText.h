#pragma once

#include <cstddef>
#include <string_view>

// Byte rules of text in the system's ANSI code page. That is UTF-8 on Linux, but files and texts
// carried over from Windows hold CP932 (Shift-JIS), so every rule that must not split a character
// first asks which of the two a piece of text is. Plain C++: the profile engine and the ANSI codec
// both read bytes by these rules.
namespace pelmora::platform::ansi {

enum class Encoding { Utf8, Cp932 };

// UTF-8 when the bytes are well-formed UTF-8 (pure ASCII included), otherwise CP932.
Encoding encodingOf(std::string_view text);
bool isValidUtf8(std::string_view text);
bool isCp932LeadByte(unsigned char byte);

// Length of the character that starts at `pos` (1 for a lone or malformed byte, never past the
// end).
std::size_t characterLength(std::string_view text, std::size_t pos, Encoding encoding);

} // namespace pelmora::platform::ansi
