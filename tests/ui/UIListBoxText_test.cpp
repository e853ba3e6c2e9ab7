#include <gtest/gtest.h>
#include <string>

#include "store/PackedDate.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/UIListBoxText.h"

using vxtime::PackDate;
using Item = UIListBox::CListBoxItem;

namespace
{
Item Goal(int kind, UINT target, UINT achieved, int distanceUnit = 1, int periodUnit = 1,
          UINT periodCount = 31, uint32_t start = PackDate(2009, 3, 1), uint32_t end = PackDate(2009, 4, 1))
{
    Item item;
    item.m_nKind = kind;
    item.m_nTarget = target;
    item.m_nAchieved = achieved;
    item.m_nDistanceUnit = distanceUnit;
    item.m_nPeriodUnit = periodUnit;
    item.m_nPeriodCount = periodCount;
    item.m_nStartDate = start;
    item.m_nEndDate = end;
    item.m_bReached = achieved >= target;
    return item;
}

std::string Utf8(const std::u16string &s)
{
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

TEST(ListBoxText, DatePatternIsFilledByPlaceholderName)
{
    const uint32_t date = PackDate(2009, 3, 7);
    const struct
    {
        const char16_t *pattern;
        const char16_t *text;
    } cases[] = {
        {u"%m/%d/%Y", u"03/07/2009"},
        {u"%d.%m.%Y", u"07.03.2009"},
        {u"%Y-%m-%d", u"2009-03-07"},
        {u"%Y年%m月%d日", u"2009年03月07日"},
        {u"%b %Y", u"Mar 2009"},
        {u"%d %b", u"07 Mar"},
        {u"100%% %Y", u"100% 2009"},
        {u"%q%Y%", u"%q2009%"},
        {u"%s %d", u"%s 07"}, // a printf conversion is not a placeholder and reads nothing
        {u"", u""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxui::FillDatePattern(c.pattern, date, u"Mar"), c.text) << Utf8(c.pattern);
    // Quotes, NULs and lone surrogates pass through; a month name is put in as it stands.
    const std::u16string hostile(u"\"%Y\"\0\xD800%m", 8);
    EXPECT_EQ(vxui::FillDatePattern(hostile, date, u"Mar"), std::u16string(u"\"2009\"\0\xD800" u"03", 10));
    EXPECT_EQ(vxui::FillDatePattern(u"%b", date, u"%Y%%"), u"%Y%%");
    // Out-of-range parts are written as they are, never read beyond anything.
    EXPECT_EQ(vxui::FillDatePattern(u"%m/%d/%Y", PackDate(65535, 255, 255), u""), u"255/255/65535");
}

TEST(ListBoxText, DatesInEachLanguagesOrder)
{
    uitest::ProgramStrings strings;
    const uint32_t date = PackDate(2009, 3, 29);
    EXPECT_EQ(vxui::FormatPackedDate(date, 1033), u"03/29/2009");
    EXPECT_EQ(vxui::FormatPackedDate(date, 1031), u"29.03.2009");
    EXPECT_EQ(vxui::FormatPackedDate(date, 2052), u"2009-03-29");
    for (WORD lang : {1033, 1031, 1028, 2052})
    {
        const std::u16string text = vxui::FormatPackedDate(date, lang);
        EXPECT_NE(text.find(u"2009"), std::u16string::npos) << lang;
        EXPECT_NE(text.find(u"03"), std::u16string::npos) << lang;
        EXPECT_NE(text.find(u"29"), std::u16string::npos) << lang;
        EXPECT_EQ(text.find(u'%'), std::u16string::npos) << lang;
    }
    // A language without the table gives an empty date rather than a pattern.
    EXPECT_EQ(vxui::FormatPackedDate(date, 1036), u"");
}

TEST(ListBoxText, Description)
{
    uitest::ProgramStrings strings;
    const struct
    {
        Item item;
        const char16_t *text;
    } cases[] = {
        {Goal(0, 5000, 0, 1), u"5.0 km 31 days\nStart from 03/01/2009"},
        {Goal(0, 1609, 0, 0), u"1.0 miles 31 days\nStart from 03/01/2009"},
        {Goal(0, 5060, 0, 1), u"5.1 km 31 days\nStart from 03/01/2009"},
        {Goal(1, 7200, 0), u"2 hours 31 days\nStart from 03/01/2009"},
        {Goal(1, 7199, 0), u"1 hours 31 days\nStart from 03/01/2009"},
        {Goal(2, 300, 0), u"300 cal 31 days\nStart from 03/01/2009"},
        {Goal(2, 4000000000u, 0), u"4000000000 cal 31 days\nStart from 03/01/2009"},
        {Goal(2, 300, 0, 1, 1, 1), u"300 cal 1 day\nStart from 03/01/2009"},
        {Goal(2, 300, 0, 1, 1, 0), u"300 cal 0 day\nStart from 03/01/2009"},
        {Goal(2, 300, 0, 1, 0, 1), u"300 cal 1 hour\nStart from 03/01/2009"},
        {Goal(2, 300, 0, 1, 0, 5), u"300 cal 5 hours\nStart from 03/01/2009"},
        {Goal(2, 300, 0, 1, 2, 1), u"300 cal 1 week\nStart from 03/01/2009"},
        {Goal(2, 300, 0, 1, 2, 2), u"300 cal 2 weeks\nStart from 03/01/2009"},
        {Goal(2, 300, 0, 1, 3, 1), u"300 cal 1 month\nStart from 03/01/2009"},
        {Goal(2, 300, 0, 1, 3, 3), u"300 cal 3 months\nStart from 03/01/2009"},
        {Goal(2, 300, 0, 1, 4, 1), u"300 cal 1 year\nStart from 03/01/2009"},
        {Goal(2, 300, 0, 1, 9, 2), u"300 cal 2 years\nStart from 03/01/2009"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxui::GoalDescriptionText(c.item, 1033), c.text) << Utf8(c.text);
    EXPECT_EQ(vxui::GoalDescriptionText(Goal(1, 36000, 0, 1, 2, 2), 1031),
              u"10 Std. 2 Wochen\nBeginn am 01.03.2009");
    // As drawn, each figure stays with its unit.
    EXPECT_EQ(vxui::GoalDescriptionToDraw(Goal(0, 5060, 0, 1), 1033),
              u"5.1\u00A0km 31\u00A0days\nStart from 03/01/2009");
    EXPECT_EQ(vxui::GoalDescriptionToDraw(Goal(1, 36000, 0, 1, 2, 2), 1031),
              u"10\u00A0Std. 2\u00A0Wochen\nBeginn am 01.03.2009");
}

TEST(ListBoxText, StillToGo)
{
    uitest::ProgramStrings strings;
    const struct
    {
        Item item;
        const char16_t *text;
    } cases[] = {
        // Time in whole hours: "less than 1" only while not one whole hour is left.
        {Goal(1, 7200, 5400), u"less than 1hours to go"}, // 30 minutes
        {Goal(1, 7200, 7199), u"less than 1hours to go"},
        {Goal(1, 7200, 0), u"2hours to go"},
        {Goal(1, 7140, 0), u"1hours to go"}, // 1 h 59 min
        {Goal(1, 3600, 0), u"1hours to go"},
        {Goal(1, 36000, 1), u"9hours to go"},
        // Calories: at least one is always left while the goal is open.
        {Goal(2, 300, 299), u"1cal to go"},
        {Goal(2, 300, 0), u"300cal to go"},
        // Distance in tenths of the user's unit.
        {Goal(0, 5000, 4950, 1), u"less than 0.1km to go"}, // 0.05 km
        {Goal(0, 5000, 4901, 1), u"less than 0.1km to go"},
        {Goal(0, 5000, 4900, 1), u"0.1km to go"},
        {Goal(0, 5000, 0, 1), u"5.0km to go"},
        {Goal(0, 5000, 2500, 0), u"1.6miles to go"},
        {Goal(0, 5000, 4900, 0), u"less than 0.1miles to go"},
        // Reached goals have nothing to go.
        {Goal(0, 5000, 5000, 1), u""},
        {Goal(1, 3600, 9999), u""},
        {Goal(2, 0, 0), u""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxui::GoalToGoText(c.item, 1033), c.text) << Utf8(c.text);
    EXPECT_EQ(vxui::GoalToGoText(Goal(1, 7200, 0), 1031), u"noch 2Std.");
    EXPECT_EQ(vxui::GoalToGoText(Goal(1, 7200, 5400), 2052), u"还差不到1小时");
}

TEST(ListBoxText, ReachedOnTheLastDayOfThePeriod)
{
    uitest::ProgramStrings strings;
    const struct
    {
        const char *tz;
        uint32_t end;
        const char16_t *text;
    } cases[] = {
        {"UTC", PackDate(2009, 4, 1), u"on 03/31/2009"},
        {"UTC", PackDate(2009, 3, 1), u"on 02/28/2009"},
        {"UTC", PackDate(2008, 3, 1), u"on 02/29/2008"},
        {"UTC", PackDate(2010, 1, 1), u"on 12/31/2009"},
        // The day the clocks go forward is a whole calendar day.
        {"Europe/Berlin", PackDate(2009, 3, 30), u"on 03/29/2009"},
        {"Europe/Berlin", PackDate(2009, 10, 26), u"on 10/25/2009"},
        // An end date that cannot be counted back from gives no date.
        {"UTC", 0, u"on"},
        {"UTC", PackDate(2009, 13, 1), u"on"},
    };
    for (const auto &c : cases)
    {
        vxtest::ScopedTimeZone zone(c.tz);
        Item item = Goal(2, 100, 100, 1, 1, 1, PackDate(2009, 1, 1), c.end);
        EXPECT_EQ(vxui::GoalReachedText(item, 1033), c.text) << c.tz << " " << Utf8(c.text);
    }
    Item item = Goal(2, 100, 100, 1, 1, 1, PackDate(2009, 1, 1), PackDate(2009, 3, 30));
    EXPECT_EQ(vxui::GoalReachedText(item, 1031), u"am 29.03.2009");
}

TEST(ListBoxText, LongStatusTextsBreakAtASpace)
{
    const struct
    {
        const char16_t *in;
        const char16_t *out;
    } cases[] = {
        {u"less than 0.1miles to go", u"less than\n0.1miles to go"},
        {u"less than 1hours to go", u"less than 1hours\nto go"},
        {u"123.4miles to go", u"123.4miles to go"},    // 16 characters stay whole
        {u"1234.5miles to go", u"1234.5miles to\ngo"}, // 17
        {u"abcdefghijklmnopq rs", u"abcdefghijklmnopq\nrs"},
        {u"abcdefghijklmnopqrs", u"abcdefghijklmnopqrs"},
        {u"还差不到0.1公里还差不到0.1公里", u"还差不到0.1公里还差不到0.1公里"},
        {u"", u""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxui::BreakStatusText(c.in), c.out) << Utf8(c.in);
}
} // namespace
