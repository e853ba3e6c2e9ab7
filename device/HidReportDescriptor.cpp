#include "device/HidReportDescriptor.h"

#include <map>
#include <vector>

namespace
{
struct GlobalState
{
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

constexpr std::uint8_t kLongItem = 0xFE;
// Item prefixes without their size bits.
constexpr std::uint8_t kInput = 0x80;
constexpr std::uint8_t kOutput = 0x90;
constexpr std::uint8_t kReportSize = 0x74;
constexpr std::uint8_t kReportId = 0x84;
constexpr std::uint8_t kReportCount = 0x94;
constexpr std::uint8_t kPush = 0xA4;
constexpr std::uint8_t kPop = 0xB4;

constexpr std::uint64_t kMaxReportBytes = 0xFFFF;

// ceil(bits / 8) + 1 of the longest report, 0 when there is none.
bool LongestReport(const std::map<std::uint32_t, std::uint64_t> &bits, std::uint32_t &length)
{
    std::uint64_t longest = 0;
    for (const auto &entry : bits)
    {
        const std::uint64_t bytes = (entry.second + 7) / 8 + 1;
        if (bytes > longest)
            longest = bytes;
    }
    if (longest > kMaxReportBytes)
        return false;
    length = static_cast<std::uint32_t>(longest);
    return true;
}
} // namespace

bool ParseHidReportDescriptor(const std::uint8_t *data, std::size_t size, HidReportLengths &out)
{
    out = HidReportLengths{};
    if (!data && size != 0)
        return false;

    GlobalState globals;
    std::vector<GlobalState> stack;
    std::map<std::uint32_t, std::uint64_t> inputBits, outputBits;
    bool usesIds = false;

    std::size_t pos = 0;
    while (pos < size)
    {
        const std::uint8_t prefix = data[pos++];
        if (prefix == kLongItem)
        {
            // Long item: a data size byte, a tag byte, then the data.
            if (size - pos < 2)
                return false;
            const std::size_t length = data[pos];
            pos += 2;
            if (size - pos < length)
                return false;
            pos += length;
            continue;
        }

        const std::size_t length = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (size - pos < length)
            return false;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < length; ++i)
            value |= static_cast<std::uint32_t>(data[pos + i]) << (8 * i);
        pos += length;

        switch (prefix & 0xFC)
        {
        case kReportSize:
            globals.reportSize = value;
            break;
        case kReportCount:
            globals.reportCount = value;
            break;
        case kReportId:
            globals.reportId = value;
            usesIds = true;
            break;
        case kPush:
            stack.push_back(globals);
            break;
        case kPop:
            if (stack.empty())
                return false;
            globals = stack.back();
            stack.pop_back();
            break;
        case kInput:
        case kOutput: {
            auto &bits = (prefix & 0xFC) == kInput ? inputBits : outputBits;
            std::uint64_t &total = bits[globals.reportId];
            total += static_cast<std::uint64_t>(globals.reportSize) * globals.reportCount;
            if (total > kMaxReportBytes * 8)
                return false;
            break;
        }
        default:
            break;
        }
    }

    HidReportLengths lengths;
    lengths.usesReportIds = usesIds;
    if (!LongestReport(inputBits, lengths.inputLength) || !LongestReport(outputBits, lengths.outputLength))
        return false;
    out = lengths;
    return true;
}
