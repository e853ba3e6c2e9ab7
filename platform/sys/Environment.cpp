#include "platform/sys/Environment.h"

#include "platform/sys/TextConvert.h"

#include <cstdlib>
#include <limits>

namespace vxsys
{
std::u16string ExpandEnvironment(std::u16string_view source)
{
    std::u16string out;
    std::size_t i = 0;
    while (i < source.size())
    {
        const std::size_t open = source.find(u'%', i);
        if (open == std::u16string_view::npos)
        {
            out.append(source.substr(i));
            break;
        }
        out.append(source.substr(i, open - i));
        const std::size_t close = source.find(u'%', open + 1);
        if (close == std::u16string_view::npos)
        {
            out.append(source.substr(open));
            break;
        }
        const std::u16string_view name = source.substr(open + 1, close - open - 1);
        const std::string narrow = Utf16ToUtf8(name);
        // An '=' or a zero character cannot be part of a variable's name.
        const bool usable =
            !name.empty() && narrow.find('=') == std::string::npos && narrow.find('\0') == std::string::npos;
        const char *value = usable ? std::getenv(narrow.c_str()) : nullptr;
        if (value)
        {
            out.append(Utf8ToUtf16(value));
            i = close + 1;
        }
        else
        {
            // Kept as written; the closing '%' may open the next name.
            out.append(source.substr(open, close - open));
            i = close;
        }
    }
    return out;
}
} // namespace vxsys

std::uint32_t ExpandEnvironmentStringsW(const char16_t *source, char16_t *out, std::uint32_t size)
{
    if (!source)
        return 0;
    const std::u16string expanded = vxsys::ExpandEnvironment(source);
    if (expanded.size() >= std::numeric_limits<std::uint32_t>::max())
        return 0;
    const auto needed = static_cast<std::uint32_t>(expanded.size() + 1);
    if (out && needed <= size)
        vxsys::U16CopyBounded(out, size, expanded);
    return needed;
}
