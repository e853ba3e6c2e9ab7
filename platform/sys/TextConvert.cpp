#include "platform/sys/TextConvert.h"

#include <cerrno>
#include <iconv.h>

namespace vxsys
{
namespace
{
void AppendUtf16(std::u16string &out, char32_t cp)
{
    if (cp >= 0x10000)
    {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
    else
    {
        out.push_back(static_cast<char16_t>(cp));
    }
}

void AppendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80)
        out.push_back(static_cast<char>(cp));
    else if (cp < 0x800)
    {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else if (cp < 0x10000)
    {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else
    {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}
} // namespace

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size())
    {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b < 0x80)
        {
            out.push_back(b);
            ++i;
            continue;
        }
        else if ((b & 0xE0) == 0xC0)
            extra = 1, cp = b & 0x1F, min = 0x80;
        else if ((b & 0xF0) == 0xE0)
            extra = 2, cp = b & 0x0F, min = 0x800;
        else if ((b & 0xF8) == 0xF0)
            extra = 3, cp = b & 0x07, min = 0x10000;
        else
        {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        std::size_t j = 1;
        for (; j <= static_cast<std::size_t>(extra) && i + j < text.size(); ++j)
        {
            const unsigned char c = static_cast<unsigned char>(text[i + j]);
            if ((c & 0xC0) != 0x80)
                break;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (j != static_cast<std::size_t>(extra) + 1 || cp < min || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
        {
            out.push_back(0xFFFD);
            i += j;
            continue;
        }
        AppendUtf16(out, cp);
        i += j;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
    {
        const Utf16Char c = Utf16CharAt(text, i);
        AppendUtf8(out, c.lone ? char32_t{0xFFFD} : c.value);
        i += c.units;
    }
    return out;
}

Utf16Char Utf16CharAt(std::u16string_view text, std::size_t at)
{
    const char16_t unit = text[at];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF)
        return {0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[at + 1] - 0xDC00u), 2, false};
    return {unit, 1, unit >= 0xD800 && unit <= 0xDFFF};
}

std::string Utf16ToLatin1(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
    {
        // A pair is one character beyond Latin-1, so it takes one byte like any other.
        const Utf16Char c = Utf16CharAt(text, i);
        out.push_back(c.value <= 0xFF ? static_cast<char>(c.value) : '?');
        i += c.units;
    }
    return out;
}

bool HasUnpairedSurrogate(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size();)
    {
        const Utf16Char c = Utf16CharAt(text, i);
        if (c.lone)
            return true;
        i += c.units;
    }
    return false;
}

std::u16string Latin1ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (char c : text)
        out.push_back(static_cast<unsigned char>(c));
    return out;
}

std::size_t U16Length(const char16_t *text)
{
    if (!text)
        return 0;
    std::size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

std::size_t U16CopyBounded(char16_t *out, std::size_t capacity, std::u16string_view text)
{
    if (!out || capacity == 0)
        return 0;
    const std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    for (std::size_t i = 0; i < n; ++i)
        out[i] = text[i];
    out[n] = 0;
    return n;
}

std::uint16_t Hex4ToU16(const char *text)
{
    const auto digit = [](char c) -> unsigned {
        if (c >= '0' && c <= '9')
            return static_cast<unsigned>(c - '0');
        if (c >= 'a' && c <= 'f')
            return static_cast<unsigned>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F')
            return static_cast<unsigned>(c - 'A' + 10);
        return 0;
    };
    unsigned value = 0;
    bool ended = text == nullptr;
    for (int i = 0; i < 4; ++i)
    {
        ended = ended || text[i] == '\0';
        value = (value << 4) | (ended ? 0 : digit(text[i]));
    }
    return static_cast<std::uint16_t>(value);
}
} // namespace vxsys

// ---- code pages through iconv ----

namespace vxsys
{
namespace
{
const char *IconvNameOfCodePage(unsigned codePage)
{
    switch (codePage)
    {
    case 936: return "GBK";
    case 950: return "BIG5";
    default: return "CP1252";
    }
}

// One conversion descriptor for the life of a call; iconv keeps shift state in it.
class Iconv
{
  public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

  private:
    iconv_t m_cd;
};
} // namespace

unsigned AnsiCodePageOfLanguage(std::uint16_t languageId)
{
    switch (languageId)
    {
    case 2052: return 936;
    case 1028: return 950;
    default: return 1252;
    }
}

std::string Utf16ToCodePage(std::u16string_view text, unsigned codePage, std::size_t maxBytes)
{
    std::string out;
    Iconv cd(IconvNameOfCodePage(codePage), "UTF-32LE");
    std::size_t i = 0;
    while (i < text.size())
    {
        const Utf16Char c = Utf16CharAt(text, i);
        const char32_t cp = c.value;
        const std::size_t units = c.units;
        const bool lone = c.lone;
        std::string piece = "?";
        if (!lone && cd.ok())
        {
            unsigned char in[4] = {static_cast<unsigned char>(cp), static_cast<unsigned char>(cp >> 8),
                                   static_cast<unsigned char>(cp >> 16), static_cast<unsigned char>(cp >> 24)};
            char buffer[16];
            char *inPtr = reinterpret_cast<char *>(in);
            std::size_t inLeft = sizeof in;
            char *outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            if (iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0 &&
                outPtr != buffer)
                piece.assign(buffer, static_cast<std::size_t>(outPtr - buffer));
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        }
        if (out.size() + piece.size() > maxBytes)
            break;
        out += piece;
        i += units;
    }
    return out;
}

std::u16string CodePageToUtf16(std::string_view text, unsigned codePage)
{
    std::u16string out;
    Iconv cd("UTF-16LE", IconvNameOfCodePage(codePage));
    if (!cd.ok())
        return Latin1ToUtf16(text);
    std::string bytes(text);
    char *inPtr = bytes.data();
    std::size_t inLeft = bytes.size();
    while (inLeft > 0)
    {
        char buffer[256];
        char *outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
        for (char *p = buffer; p + 1 < outPtr; p += 2)
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                                (static_cast<unsigned char>(p[1]) << 8)));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG)
        {
            // An undefined or cut-off sequence: one replacement for its first byte, then go on.
            out.push_back(u'\uFFFD');
            ++inPtr;
            --inLeft;
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}
} // namespace vxsys
