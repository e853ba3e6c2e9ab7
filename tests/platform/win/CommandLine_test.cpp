#include "platform/win/CommandLine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
struct Seen
{
    std::u16string param;
    BOOL flag;
    BOOL last;
    bool operator==(const Seen &) const = default;
};

class CRecordingInfo : public CCommandLineInfo
{
  public:
    void ParseParam(LPCWSTR param, BOOL bFlag, BOOL bLast) override { seen.push_back({param, bFlag, bLast}); }
    std::vector<Seen> seen;
};
} // namespace

TEST(ParseCommandLine, EachArgumentAfterTheProgramNameInOrder)
{
    const struct
    {
        std::vector<const char *> argv;
        std::vector<Seen> expected;
    } cases[] = {
        {{"vormatik"}, {}},
        {{"vormatik", "anna"}, {{u"anna", FALSE, TRUE}}},
        {{"vormatik", "anna", "0A1B"}, {{u"anna", FALSE, FALSE}, {u"0A1B", FALSE, TRUE}}},
        {{"vormatik", "-x", "/y", "z"}, {{u"x", TRUE, FALSE}, {u"y", TRUE, FALSE}, {u"z", FALSE, TRUE}}},
        {{"vormatik", "-", ""}, {{u"", TRUE, FALSE}, {u"", FALSE, TRUE}}},
        {{"vormatik", "J\xC3\xBCrgen \"q\""}, {{u"J\u00FCrgen \"q\"", FALSE, TRUE}}},
        {{"vormatik", "bad\xFF"}, {{u"bad\uFFFD", FALSE, TRUE}}},
        {{"vormatik", nullptr}, {{u"", FALSE, TRUE}}},
    };
    for (const auto &c : cases)
    {
        CRecordingInfo info;
        ParseCommandLine(static_cast<int>(c.argv.size()), c.argv.data(), info);
        EXPECT_EQ(info.seen, c.expected) << (c.argv.size() > 1 && c.argv[1] ? c.argv[1] : "(none)");
    }
    CRecordingInfo none;
    ParseCommandLine(3, nullptr, none);
    EXPECT_TRUE(none.seen.empty());
}

TEST(WipeParameterTexts, PlainParametersBecomeZeroBytesInPlace)
{
    // One block as the kernel lays the arguments out, each ended by its zero byte.
    using namespace std::string_literals;
    std::string block = "vormatik\0-reverse\0anna\0" "9F00A1\0/x\0third\0"s;
    std::vector<char *> argv;
    for (std::size_t at = 0; at < block.size(); at += std::strlen(block.data() + at) + 1)
        argv.push_back(block.data() + at);
    ASSERT_EQ(argv.size(), 6u);
    argv.push_back(nullptr); // an argument the caller left empty is passed over
    vxwin::WipeParameterTexts(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(block, "vormatik\0-reverse\0"s + std::string(5, '\0') + std::string(7, '\0') + "/x\0"s +
                         std::string(6, '\0'));
    vxwin::WipeParameterTexts(2, nullptr);
}
