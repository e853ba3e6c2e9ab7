#pragma once

// The main dialog keeps its texts in fixed, zero-ended UTF-16 buffers; these move text in and out.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The buffer's text up to its first zero (all of it when it holds none).
template <std::size_t N> std::u16string TextOf(const std::array<char16_t, N> &buffer)
{
    std::size_t n = 0;
    while (n < N && buffer[n] != u'\0')
        ++n;
    return std::u16string(buffer.data(), n);
}

// Copies text into a zero-filled buffer, cut so that the closing zero fits; a cut never leaves the
// first half of a surrogate pair behind.
template <std::size_t N> void CopyText(std::array<char16_t, N> &buffer, std::u16string_view text)
{
    buffer.fill(u'\0');
    std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (n < text.size() && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
        --n;
    text.copy(buffer.data(), n);
}

// As above, from a zero-ended text; a null text empties the buffer.
template <std::size_t N> void CopyText(std::array<char16_t, N> &buffer, const char16_t *text)
{
    CopyText(buffer, text ? std::u16string_view(text) : std::u16string_view());
}
