#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Conversions between the program's UTF-16 text and the narrow encodings used at
// its boundaries. Invalid input never throws: what cannot be decoded or mapped
// becomes U+FFFD (UTF-16 side) or '?' (narrow side).
namespace vxsys
{
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Single-byte Latin-1: byte count equals character count; each character above U+00FF becomes one
// '?', a surrogate pair (one character) and an unpaired surrogate alike.
std::string Utf16ToLatin1(std::u16string_view text);
std::u16string Latin1ToUtf16(std::string_view text);

// True when some surrogate of the text is not part of a high-low pair: text that no conversion to
// another encoding can carry as it stands.
bool HasUnpairedSurrogate(std::u16string_view text);

// Length of a zero-terminated UTF-16 text; 0 for null.
std::size_t U16Length(const char16_t *text);

// Copies at most capacity - 1 characters of text and terminates the output.
// Nothing is written when the output is null or the capacity is 0; a null text copies as empty.
// Returns the number of characters copied.
std::size_t U16CopyBounded(char16_t *out, std::size_t capacity, std::u16string_view text);

// The first four characters as hexadecimal digits of either case, the first the most significant,
// as USB IDs are written ("3A7E"). The text's end stops the reading: missing digits count as 0, as
// does a character that is not a hexadecimal digit. A null text gives 0.
std::uint16_t Hex4ToU16(const char *text);
} // namespace vxsys
