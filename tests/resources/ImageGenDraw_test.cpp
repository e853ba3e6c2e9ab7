// The image generator's second use: one square image of the table drawn at another size, as the
// desktop's icon files are made.

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace
{
struct PngSize
{
    bool png = false;
    std::uint32_t width = 0, height = 0;
};

PngSize ReadPngSize(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char head[24] = {};
    if (!in.read(reinterpret_cast<char *>(head), sizeof head))
        return {};
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PngSize size;
    size.png = std::equal(kSignature, kSignature + 8, head);
    const auto big = [&](int at) {
        return std::uint32_t(head[at]) << 24 | std::uint32_t(head[at + 1]) << 16 | std::uint32_t(head[at + 2]) << 8 |
               head[at + 3];
    };
    size.width = big(16);
    size.height = big(20);
    return size;
}
} // namespace

TEST(ImageGenDraw, DrawsOneSquareImageAtTheAskedSizeAndRefusesTheRest)
{
    const std::string dir = vxtest::MakeTempDir("imggen");
    const std::string table = dir + "/images.txt";
    {
        std::ofstream out(table, std::ios::binary);
        out << "ICON   103  32  32 icon 00000000,DD137B,4D4948,8DD8F8,ABD32A device\n"
               "PNG    512 380 190 background ECE9D8,FFFFFF,E4E4E4,DD137B,A7A9AC dialog:0\n";
    }
    struct Case
    {
        const char *type, *id, *size;
        bool drawn;
    } const cases[] = {
        {"ICON", "103", "256", true},  {"ICON", "103", "1", true},     {"ICON", "103", "1024", true},
        {"ICON", "103", "0", false},   {"ICON", "103", "1025", false}, {"ICON", "103", "-64", false},
        {"ICON", "103", "64px", false}, {"ICON", "103", "", false},     {"ICON", "104", "64", false},
        {"PNG", "103", "64", false},   {"PNG", "512", "64", false}, // not square
        {"ICON", "99999999999999999999", "64", false},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::string(c.type) + " " + c.id + " at '" + c.size + "'");
        const std::string output = dir + "/out.png";
        std::remove(output.c_str());
        const std::string command = std::string("'") + VX_IMAGE_GEN + "' --draw '" + table + "' '" + c.type + "' '" +
                                    c.id + "' '" + c.size + "' '" + output + "' 2>/dev/null";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        if (!c.drawn)
        {
            EXPECT_NE(WEXITSTATUS(status), 0);
            EXPECT_FALSE(std::ifstream(output).good());
            continue;
        }
        EXPECT_EQ(WEXITSTATUS(status), 0);
        const PngSize size = ReadPngSize(output);
        EXPECT_TRUE(size.png);
        EXPECT_EQ(size.width, std::uint32_t(std::atoi(c.size)));
        EXPECT_EQ(size.height, std::uint32_t(std::atoi(c.size)));
    }
}
