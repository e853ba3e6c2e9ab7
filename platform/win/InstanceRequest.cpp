#include "platform/win/InstanceRequest.h"

#include <charconv>
#include <cstring>

namespace
{
constexpr std::uint8_t kActivate = 'A';
constexpr std::uint8_t kCopyData = 'C';
constexpr std::uint8_t kPost = 'P';
constexpr std::size_t kCopyDataHeader = 1 + 4 + 4;
constexpr std::size_t kPostSize = 1 + 4;
// "-9223372036854775808\n"
constexpr std::size_t kMaxAnswerLength = 21;

std::uint32_t ReadU32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void AppendU32(std::string &out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}
} // namespace

namespace vxwin
{
bool IsPostableFromOutside(std::uint32_t message)
{
    return message == WM_USER + 114 || message == WM_USER + 115;
}

ParseStatus ParseInstanceRequest(const std::uint8_t *data, std::size_t size, InstanceRequest &request)
{
    if (size == 0)
        return ParseStatus::NeedMore;
    switch (data[0])
    {
    case kActivate:
        if (size < 2)
            return ParseStatus::NeedMore;
        if (data[1] != '\n')
            return ParseStatus::Refused;
        request = InstanceRequest{};
        request.kind = InstanceRequestKind::Activate;
        return ParseStatus::Complete;
    case kPost: {
        if (size < kPostSize)
            return ParseStatus::NeedMore;
        const std::uint32_t message = ReadU32(data + 1);
        if (!IsPostableFromOutside(message))
            return ParseStatus::Refused;
        request = InstanceRequest{};
        request.kind = InstanceRequestKind::Post;
        request.message = message;
        return ParseStatus::Complete;
    }
    case kCopyData: {
        if (size < kCopyDataHeader)
            return ParseStatus::NeedMore;
        const std::uint32_t length = ReadU32(data + 5);
        if (length > kMaxCopyDataBytes)
            return ParseStatus::Refused;
        if (size - kCopyDataHeader < length)
            return ParseStatus::NeedMore;
        request = InstanceRequest{};
        request.kind = InstanceRequestKind::CopyData;
        request.dataType = ReadU32(data + 1);
        request.bytes.assign(data + kCopyDataHeader, data + kCopyDataHeader + length);
        return ParseStatus::Complete;
    }
    default:
        return ParseStatus::Refused;
    }
}

std::string EncodeActivateRequest()
{
    return "A\n";
}

std::string EncodeCopyDataRequest(std::uint32_t dataType, const void *bytes, std::uint32_t length)
{
    std::string out(1, static_cast<char>(kCopyData));
    AppendU32(out, dataType);
    AppendU32(out, length);
    if (length != 0 && bytes)
        out.append(static_cast<const char *>(bytes), length);
    return out;
}

std::string EncodePostRequest(std::uint32_t message)
{
    std::string out(1, static_cast<char>(kPost));
    AppendU32(out, message);
    return out;
}

std::string EncodeInstanceAnswer(long long result)
{
    return std::to_string(result) + "\n";
}

bool ParseInstanceAnswer(const std::string &text, long long &result)
{
    const std::size_t end = text.find('\n');
    if (end == std::string::npos || end == 0 || end > kMaxAnswerLength)
        return false;
    long long value = 0;
    const auto [last, error] = std::from_chars(text.data(), text.data() + end, value);
    if (error != std::errc() || last != text.data() + end)
        return false;
    result = value;
    return true;
}
} // namespace vxwin
