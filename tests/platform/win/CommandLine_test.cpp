#include "platform/win/CommandLine.h"

#include <gtest/gtest.h>

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
