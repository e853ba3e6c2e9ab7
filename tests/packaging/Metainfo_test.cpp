// The metainfo a software centre reads offers the program for exactly the monitors it supports.

#include "device/SupportedDevices.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace
{
std::string ReadFile(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every text between <tag> and </tag>, in order.
std::multiset<std::string> Elements(const std::string &xml, const std::string &tag)
{
    std::multiset<std::string> found;
    const std::string open = "<" + tag + ">", close = "</" + tag + ">";
    for (auto at = xml.find(open); at != std::string::npos; at = xml.find(open, at))
    {
        at += open.size();
        const auto end = xml.find(close, at);
        if (end == std::string::npos)
            break;
        found.insert(xml.substr(at, end - at));
        at = end;
    }
    return found;
}
} // namespace

TEST(Metainfo, ItMatchesEachSupportedMonitorByItsUsbIdsAndNothingElse)
{
    const std::string xml = ReadFile(VX_METAINFO_PATH);
    ASSERT_FALSE(xml.empty()) << VX_METAINFO_PATH;

    // A kernel modalias spells both IDs with upper-case hexadecimal digits, as the table does.
    std::multiset<std::string> expected;
    for (const SupportedDeviceEntry &entry : kSupportedDevices)
        expected.insert(std::string("usb:v") + entry.szVendorId + "p" + entry.szProductId + "d*");
    EXPECT_EQ(Elements(xml, "modalias"), expected);
}

TEST(Metainfo, ItLaunchesTheInstalledDesktopEntry)
{
    const std::string xml = ReadFile(VX_METAINFO_PATH);
    const auto ids = Elements(xml, "id");
    ASSERT_EQ(ids.size(), 1u);
    const std::string id = *ids.begin();
    EXPECT_NE(xml.find("<launchable type=\"desktop-id\">" + id + ".desktop</launchable>"), std::string::npos);
    EXPECT_EQ(Elements(xml, "binary"), std::multiset<std::string>{"vormatik"});
}
