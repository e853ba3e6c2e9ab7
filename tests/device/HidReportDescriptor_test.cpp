#include "device/HidReportDescriptor.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
struct DescriptorCase
{
    const char *name;
    std::vector<std::uint8_t> bytes;
    std::uint32_t input;
    std::uint32_t output;
    bool usesIds;
};

// A vendor collection around the items of each case.
std::vector<std::uint8_t> InCollection(std::vector<std::uint8_t> items)
{
    std::vector<std::uint8_t> out = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00};
    out.insert(out.end(), items.begin(), items.end());
    out.push_back(0xC0);
    return out;
}

const DescriptorCase kCases[] = {
    {"64 bytes each way without report ids",
     InCollection({0x75, 0x08, 0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0x95, 0x40, 0x09, 0x01, 0x91, 0x02}), 65,
     65, false},
    {"numbered reports of 8 and 32 bytes",
     InCollection({0x75, 0x08, 0x85, 0x01, 0x95, 0x08, 0x81, 0x02, 0x91, 0x02, 0x85, 0x02, 0x95, 0x20, 0x81,
                   0x02, 0x91, 0x02}),
     33, 33, true},
    {"pieces of one report add up",
     InCollection({0x75, 0x08, 0x85, 0x03, 0x95, 0x10, 0x81, 0x02, 0x95, 0x08, 0x81, 0x02, 0x85, 0x04, 0x95,
                   0x14, 0x81, 0x02}),
     25, 0, true},
    {"push keeps size and count, pop restores them",
     InCollection({0x75, 0x08, 0x95, 0x04, 0xA4, 0x75, 0x10, 0x95, 0x08, 0x81, 0x02, 0xB4, 0x81, 0x02}), 21,
     0, false},
    {"push and pop include the report id",
     InCollection(
         {0x75, 0x08, 0x95, 0x02, 0x85, 0x01, 0xA4, 0x85, 0x02, 0x95, 0x0A, 0x81, 0x02, 0xB4, 0x81, 0x02}),
     11, 0, true},
    {"long items are skipped",
     InCollection({0x75, 0x08, 0xFE, 0x03, 0x10, 0x81, 0x95, 0x40, 0x95, 0x10, 0x81, 0x02, 0x91, 0x02}), 17,
     17, false},
    {"no output items gives output length 0", InCollection({0x75, 0x08, 0x95, 0x40, 0x81, 0x02}), 65, 0,
     false},
    {"bits round up to whole bytes", InCollection({0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x91, 0x02}), 2, 2,
     false},
    {"four-byte item data",
     InCollection({0x77, 0x08, 0x00, 0x00, 0x00, 0x97, 0x40, 0x00, 0x00, 0x00, 0x81, 0x02}), 65, 0, false},
    {"feature reports do not count", InCollection({0x75, 0x08, 0x95, 0x40, 0xB1, 0x02}), 0, 0, false},
    {"empty descriptor", {}, 0, 0, false},
};

TEST(HidReportDescriptor, LengthsTable)
{
    for (const DescriptorCase &c : kCases)
    {
        HidReportLengths lengths;
        lengths.inputLength = 99;
        ASSERT_TRUE(ParseHidReportDescriptor(c.bytes.data(), c.bytes.size(), lengths)) << c.name;
        EXPECT_EQ(lengths.inputLength, c.input) << c.name;
        EXPECT_EQ(lengths.outputLength, c.output) << c.name;
        EXPECT_EQ(lengths.usesReportIds, c.usesIds) << c.name;
    }
}

TEST(HidReportDescriptor, MalformedDescriptorsAreRejected)
{
    const std::vector<std::uint8_t> malformed[] = {
        {0x75, 0x08, 0x96, 0x40},                   // two-byte item cut short
        {0x75, 0x08, 0xFE, 0x05, 0x10, 0x01},       // long item longer than the rest
        {0xFE},                                     // long item without its header
        {0x75, 0x08, 0x95, 0x01, 0xB4, 0x81, 0x02}, // pop without push
        {0x77, 0xFF, 0xFF, 0x00, 0x00, 0x97, 0xFF, 0xFF, 0x00, 0x00, 0x81, 0x02}, // report far too long
    };
    for (const auto &bytes : malformed)
    {
        HidReportLengths lengths;
        lengths.inputLength = 7;
        EXPECT_FALSE(ParseHidReportDescriptor(bytes.data(), bytes.size(), lengths));
        EXPECT_EQ(lengths.inputLength, 0u);
    }
    HidReportLengths lengths;
    EXPECT_FALSE(ParseHidReportDescriptor(nullptr, 4, lengths));
}
} // namespace
