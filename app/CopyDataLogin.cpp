#include "app/CopyDataLogin.h"

#include <optional>

namespace
{
// The text of UTF-16 units from byte `from`, up to its zero unit, which must begin and end
// before byte `end`; nothing when it does not.
std::optional<std::u16string> TextInField(const std::uint8_t *bytes, std::size_t from, std::size_t end)
{
    std::u16string text;
    for (std::size_t at = from; at < end && end - at >= 2; at += 2)
    {
        const char16_t unit = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
        if (unit == u'\0')
            return text;
        text.push_back(unit);
    }
    return std::nullopt;
}
} // namespace

bool ParseCopyDataLogin(std::uintptr_t type, const void *data, std::size_t length, CopyDataLogin *out)
{
    if (type != kCopyDataLoginType || !data || !out || length <= kCopyDataPasswordOffset)
        return false;
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    std::optional<std::u16string> userId = TextInField(bytes, 0, kCopyDataPasswordOffset);
    if (!userId)
        return false;
    std::optional<std::u16string> passwordText = TextInField(bytes, kCopyDataPasswordOffset, length);
    if (!passwordText)
        return false;
    out->userId = std::move(*userId);
    out->passwordText = std::move(*passwordText);
    return true;
}
