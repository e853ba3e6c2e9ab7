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

// The character that starts at text[at]: a high-low surrogate pair is one character of two units;
// any other surrogate is lone (its value is that unit). at must be within the text.
struct Utf16Char
{
    char32_t value;
    std::size_t units;
    bool lone;
};
Utf16Char Utf16CharAt(std::u16string_view text, std::size_t at);

// True when some surrogate of the text is not part of a high-low pair: text that no conversion to
// another encoding can carry as it stands.
bool HasUnpairedSurrogate(std::u16string_view text);

// The ANSI code page of a UI language: 1252 for English and German, 936 for Simplified and 950 for
// Traditional Chinese; 1252 for any other language.
unsigned AnsiCodePageOfLanguage(std::uint16_t languageId);

// UTF-16 to a code page (1252, 936 or 950; any other number is taken as 1252), character by
// character. A character the code page lacks and an unpaired surrogate each become one '?'. With
// maxBytes given, the text stops before the first character that would not fit whole, so a
// multi-byte character is never split.
std::string Utf16ToCodePage(std::u16string_view text, unsigned codePage, std::size_t maxBytes = SIZE_MAX);
// A code page's bytes to UTF-16; a byte sequence the code page does not define becomes U+FFFD.
std::u16string CodePageToUtf16(std::string_view text, unsigned codePage);

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
