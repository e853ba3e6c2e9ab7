#pragma once

// The log-in request that another program may send the main window with WM_COPYDATA: data
// type 1, the user id as UTF-16 text at byte 0 and the user's stored password text (the
// hexadecimal cipher text) at byte 200, each ending in a zero character.
//
// The record comes from outside the program, so nothing in it is trusted: the reader never
// looks past the length the sender gave, and a text counts only when its zero character lies
// within its own field (the user id before byte 200, the password text before the end).

#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::uintptr_t kCopyDataLoginType = 1;
// Where the password text starts; the user id field is everything before it.
constexpr std::size_t kCopyDataPasswordOffset = 200;

struct CopyDataLogin
{
    std::u16string userId;
    std::u16string passwordText;
};

// Reads the record; false (out untouched) unless the type is 1, the data is given and both
// texts end within their fields. Units are little-endian and may sit at any address; a last
// odd byte belongs to no unit.
bool ParseCopyDataLogin(std::uintptr_t type, const void *data, std::size_t length, CopyDataLogin *out);
