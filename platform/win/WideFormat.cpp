#include "platform/win/WideFormat.h"

#include <clocale>
#include <cstdio>
#include <locale.h>
#include <string>

#include "platform/sys/TextConvert.h"

namespace vxwin
{
std::int64_t FormatArg::AsSigned() const
{
    switch (m_kind)
    {
    case Kind::Signed:
        return m_signed;
    case Kind::Unsigned:
        return static_cast<std::int64_t>(m_unsigned);
    case Kind::Real:
        return static_cast<std::int64_t>(m_real);
    default:
        return 0;
    }
}

std::uint64_t FormatArg::AsUnsigned() const
{
    switch (m_kind)
    {
    case Kind::Signed:
        return static_cast<std::uint64_t>(m_signed);
    case Kind::Unsigned:
        return m_unsigned;
    case Kind::Real:
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(m_real));
    case Kind::Pointer:
        return reinterpret_cast<std::uintptr_t>(m_pointer);
    default:
        return 0;
    }
}

double FormatArg::AsReal() const
{
    switch (m_kind)
    {
    case Kind::Real:
        return m_real;
    case Kind::Signed:
        return static_cast<double>(m_signed);
    case Kind::Unsigned:
        return static_cast<double>(m_unsigned);
    default:
        return 0.0;
    }
}

const void *FormatArg::AsPointer() const
{
    switch (m_kind)
    {
    case Kind::Pointer:
        return m_pointer;
    case Kind::Text16:
        return m_text16;
    case Kind::Text8:
        return m_text8;
    default:
        return nullptr;
    }
}

namespace
{
// Numbers are written with the C locale whatever the process locale is.
locale_t CLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

std::string FormatNarrow(const std::string &pattern, auto value)
{
    locale_t previous = uselocale(CLocale());
    char buffer[512];
    int n = std::snprintf(buffer, sizeof buffer, pattern.c_str(), value);
    std::string out;
    if (n >= static_cast<int>(sizeof buffer))
    {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::snprintf(out.data(), out.size(), pattern.c_str(), value);
        out.resize(static_cast<std::size_t>(n));
    }
    else if (n > 0)
    {
        out.assign(buffer, static_cast<std::size_t>(n));
    }
    uselocale(previous);
    return out;
}

void AppendPadded(std::u16string &out, std::u16string_view text, int width, bool left)
{
    const int pad = width > static_cast<int>(text.size()) ? width - static_cast<int>(text.size()) : 0;
    if (!left)
        out.append(static_cast<std::size_t>(pad), u' ');
    out.append(text);
    if (left)
        out.append(static_cast<std::size_t>(pad), u' ');
}

enum class Length
{
    None,
    Char,
    Short,
    Long,
    LongLong
};
} // namespace

std::u16string FormatWide(std::u16string_view format, std::span<const FormatArg> args)
{
    std::u16string out;
    std::size_t next = 0;
    const FormatArg missing(0);
    auto take = [&]() -> const FormatArg & { return next < args.size() ? args[next++] : missing; };

    std::size_t i = 0;
    const std::size_t n = format.size();
    while (i < n)
    {
        const char16_t c = format[i];
        if (c != u'%')
        {
            out.push_back(c);
            ++i;
            continue;
        }
        const std::size_t start = i++;
        if (i < n && format[i] == u'%')
        {
            out.push_back(u'%');
            ++i;
            continue;
        }
        std::string flags;
        while (i < n && (format[i] == u'-' || format[i] == u'+' || format[i] == u' ' || format[i] == u'#' ||
                         format[i] == u'0'))
        {
            if (flags.find(static_cast<char>(format[i])) == std::string::npos)
                flags.push_back(static_cast<char>(format[i]));
            ++i;
        }
        int width = -1;
        if (i < n && format[i] == u'*')
        {
            width = static_cast<int>(take().AsSigned());
            if (width < 0)
            {
                if (flags.find('-') == std::string::npos)
                    flags.push_back('-');
                width = -width;
            }
            ++i;
        }
        else
        {
            while (i < n && format[i] >= u'0' && format[i] <= u'9')
            {
                width = (width < 0 ? 0 : width) * 10 + (format[i] - u'0');
                if (width > 4096)
                    width = 4096;
                ++i;
            }
        }
        int precision = -1;
        if (i < n && format[i] == u'.')
        {
            ++i;
            precision = 0;
            if (i < n && format[i] == u'*')
            {
                precision = static_cast<int>(take().AsSigned());
                if (precision < 0)
                    precision = -1;
                ++i;
            }
            else
            {
                while (i < n && format[i] >= u'0' && format[i] <= u'9')
                {
                    precision = precision * 10 + (format[i] - u'0');
                    if (precision > 4096)
                        precision = 4096;
                    ++i;
                }
            }
        }
        Length length = Length::None;
        if (i + 2 < n && format[i] == u'I' && format[i + 1] == u'6' && format[i + 2] == u'4')
        {
            length = Length::LongLong;
            i += 3;
        }
        else if (i < n && format[i] == u'h')
        {
            ++i;
            length = Length::Short;
            if (i < n && format[i] == u'h')
            {
                length = Length::Char;
                ++i;
            }
        }
        else if (i < n && format[i] == u'l')
        {
            ++i;
            length = Length::Long;
            if (i < n && format[i] == u'l')
            {
                length = Length::LongLong;
                ++i;
            }
        }
        else if (i < n && (format[i] == u'w'))
        {
            ++i;
        }
        if (i >= n)
        {
            // A lone conversion start at the end is copied as it stands.
            out.append(format.substr(start));
            break;
        }
        const char16_t conv = format[i++];

        std::string pattern = "%" + flags;
        if (width >= 0)
            pattern += std::to_string(width);
        if (precision >= 0)
            pattern += "." + std::to_string(precision);

        switch (conv)
        {
        case u'd':
        case u'i': {
            std::int64_t v = take().AsSigned();
            switch (length)
            {
            case Length::Char:
                v = static_cast<signed char>(v);
                break;
            case Length::Short:
                v = static_cast<std::int16_t>(v);
                break;
            case Length::None:
            case Length::Long:
                v = static_cast<std::int32_t>(v);
                break;
            case Length::LongLong:
                break;
            }
            out += vxsys::Latin1ToUtf16(FormatNarrow(pattern + "lld", static_cast<long long>(v)));
            break;
        }
        case u'u':
        case u'x':
        case u'X':
        case u'o': {
            std::uint64_t v = take().AsUnsigned();
            switch (length)
            {
            case Length::Char:
                v = static_cast<std::uint8_t>(v);
                break;
            case Length::Short:
                v = static_cast<std::uint16_t>(v);
                break;
            case Length::None:
            case Length::Long:
                v = static_cast<std::uint32_t>(v);
                break;
            case Length::LongLong:
                break;
            }
            out += vxsys::Latin1ToUtf16(
                FormatNarrow(pattern + "ll" + static_cast<char>(conv), static_cast<unsigned long long>(v)));
            break;
        }
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G':
        case u'a':
        case u'A':
            out += vxsys::Latin1ToUtf16(FormatNarrow(pattern + static_cast<char>(conv), take().AsReal()));
            break;
        case u'p':
            out += vxsys::Latin1ToUtf16(FormatNarrow(pattern + "p", take().AsPointer()));
            break;
        case u'c':
        case u'C': {
            const auto unit = static_cast<char16_t>(take().AsUnsigned() & 0xFFFF);
            AppendPadded(out, std::u16string_view(&unit, 1), width, flags.find('-') != std::string::npos);
            break;
        }
        case u's':
        case u'S': {
            const FormatArg &arg = take();
            // The argument's own type decides how a text is read, whatever width the
            // conversion names ("%s", "%S", "%hs", "%ls").
            std::u16string text;
            if (arg.kind() == FormatArg::Kind::Text16 || arg.kind() == FormatArg::Kind::Text8 ||
                arg.kind() == FormatArg::Kind::Pointer)
            {
                if (const char16_t *s16 = arg.AsText16())
                    text = std::u16string(s16);
                else if (const char *s8 = arg.AsText8())
                    text = vxsys::Latin1ToUtf16(s8);
                else if (!arg.AsPointer())
                    text = u"(null)";
            }
            if (precision >= 0 && static_cast<std::size_t>(precision) < text.size())
                text.resize(static_cast<std::size_t>(precision));
            AppendPadded(out, text, width, flags.find('-') != std::string::npos);
            break;
        }
        default:
            // An unknown conversion is copied as it stands and consumes nothing.
            out.append(format.substr(start, i - start));
            break;
        }
    }
    return out;
}
} // namespace vxwin
