#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Byte-level text rules of the profile files: how names and values are cut, trimmed, compared and
// read as numbers. The bytes are ANSI, UTF-8 or CP932, and split into characters by the rules of
// platform/AnsiText.h, so that no rule here cuts a character in two.
namespace pelmora::profile::text {

// The longest prefix of `text` that is at most `limit` bytes and ends between two characters.
std::size_t cutAtCharacterBoundary(std::string_view text, std::size_t limit);

// Blanks are the bytes Windows trims around names and values: space, tab, vertical tab, form
// feed and the DOS end-of-file mark ^Z.
bool isBlank(char byte);
std::string_view trimBlanks(std::string_view text);
std::string_view trimLeadingBlanks(std::string_view text);
std::string_view trimTrailingBlanks(std::string_view text);

// Removes one pair of matching double or single quotes around a value.
std::string_view stripQuotes(std::string_view value);

// Section and key names compare without regard to ASCII letter case. The trail byte of a CP932
// character is compared exactly, so that e.g. 0x83 0x41 and 0x83 0x61 stay different characters.
bool sameName(std::string_view a, std::string_view b);

// A value read as an integer the way GetPrivateProfileIntA reads it: blanks, an optional sign,
// an optional 0x/0o/0b base prefix, then digits up to the first that does not belong; the result
// wraps modulo 2^32 and is 0 when there are no digits.
std::uint32_t parseProfileInt(std::string_view value);

} // namespace pelmora::profile::text
