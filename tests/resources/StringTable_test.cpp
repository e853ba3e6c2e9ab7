#include "resources/Resources.h"

#include "platform/win/CString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{
const unsigned short kLanguages[] = {1033, 1031, 1028, 2052};

// Date patterns whose placeholders (%Y, %m, %d, %b) are replaced by name, so each
// language may order them as its readers expect.
const std::set<unsigned> kDatePatterns = {320, 586, 587};

std::u16string Text(unsigned id, unsigned short lang)
{
    std::u16string out;
    EXPECT_TRUE(vxres::LookupString(id, lang, out)) << id << " in " << lang;
    return out;
}

// The conversions of a printf format in order, each as its length modifier and
// conversion character ("d", "s", "f", "I64i"); flags, width and precision may differ.
// A malformed conversion yields "?" so that it never matches a good one.
std::vector<std::string> Conversions(const std::u16string &format)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < format.size(); ++i)
    {
        if (format[i] != u'%')
            continue;
        ++i;
        if (i < format.size() && format[i] == u'%')
            continue;
        while (i < format.size() &&
               std::u16string_view(u"-+ #0").find(format[i]) != std::u16string_view::npos)
            ++i;
        std::string spec;
        auto digitsOrStar = [&] {
            if (i < format.size() && format[i] == u'*')
            {
                spec += '*';
                ++i;
            }
            else
                while (i < format.size() && format[i] >= u'0' && format[i] <= u'9')
                    ++i;
        };
        digitsOrStar();
        if (i < format.size() && format[i] == u'.')
        {
            ++i;
            digitsOrStar();
        }
        for (const char16_t *length : {u"I64", u"I32", u"hh", u"ll", u"h", u"l", u"L", u"z", u"j", u"t"})
        {
            const std::u16string_view l(length);
            if (format.compare(i, l.size(), l) == 0)
            {
                for (char16_t c : l)
                    spec += char(c);
                i += l.size();
                break;
            }
        }
        if (i < format.size() &&
            std::u16string_view(u"diouxXeEfgGaAcspn").find(format[i]) != std::u16string_view::npos)
            spec += char(format[i]);
        else
            spec = "?";
        out.push_back(spec);
    }
    return out;
}

std::multiset<std::string> DateTokens(const std::u16string &pattern)
{
    std::multiset<std::string> out;
    for (std::size_t i = 0; i + 1 < pattern.size(); ++i)
        if (pattern[i] == u'%')
            out.insert(std::string(1, char(pattern[++i])));
    return out;
}
} // namespace

TEST(StringTable, HoldsTheFourLanguages)
{
    std::vector<unsigned short> langs = vxres::StringLanguages();
    std::sort(langs.begin(), langs.end());
    EXPECT_EQ(langs, (std::vector<unsigned short>{1028, 1031, 1033, 2052}));
}

TEST(StringTable, EveryIdExistsInEveryLanguage)
{
    const std::vector<unsigned> english = vxres::StringIds(1033);
    ASSERT_FALSE(english.empty());
    for (unsigned short lang : kLanguages)
        EXPECT_EQ(vxres::StringIds(lang), english) << "language " << lang;
    for (unsigned short lang : kLanguages)
        for (unsigned id : vxres::StringIds(lang))
            EXPECT_FALSE(Text(id, lang).empty()) << id << " in " << lang;
}

TEST(StringTable, EveryTextHasTheSameConversionsInEveryLanguage)
{
    for (unsigned id : vxres::StringIds(1033))
    {
        const std::u16string english = Text(id, 1033);
        for (unsigned short lang : kLanguages)
        {
            const std::u16string text = Text(id, lang);
            if (kDatePatterns.count(id))
            {
                // Never handed to printf: only the named placeholders may appear.
                for (const std::string &token : DateTokens(text))
                    EXPECT_NE(std::string("YmdbB").find(token), std::string::npos) << id << " in " << lang;
            }
            else
                EXPECT_EQ(Conversions(text), Conversions(english)) << id << " in " << lang;
        }
    }
}

TEST(StringTable, ConversionParserSeesWhatPrintfSees)
{
    struct Case
    {
        std::u16string format;
        std::vector<std::string> expected;
    } cases[] = {
        {u"%d%s to go", {"d", "s"}},
        {u"%#.1f%s to go", {"f", "s"}},
        {u"100%% done", {}},
        {u"%I64i and %02d", {"I64i", "d"}},
        {u"%*d", {"*d"}},
        {u"bad %", {"?"}},
        {u"%q", {"?"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Conversions(c.format), c.expected);
}

TEST(StringTable, EnglishTextsAreTheSystemsOwn)
{
    const std::map<unsigned, std::u16string> english = {
        {166, u"km"},
        {169, u"hours"},
        {170, u"No. of runs"},
        {174, u"Duration"},
        {175, u"Distance"},
        {176, u"Average Speed"},
        {178, u"Calories Consumed"},
        {179, u"miles"},
        {180, u"miles/hour"},
        {181, u"km/hour"},
        {183, u"Heart Rate"},
        {184, u"Bpm"},
        {185, u"Run"},
        {187, u"My Goal"},
        {224, u"Calories"},
        {227, u"cal"},
        {242, u"Sorry!! Logout error occurred!"},
        {257, u"Please quit other running instance of Vormatik"},
        {258, u"Vormatik"},
        {261, u"Log out error"},
        {264, u"Register device failed! Please exit the application and try again."},
        {269, u"Device connected"},
        {270, u"Device disconnected"},
        {271, u"Erase account failed! Please exit the application and try again."},
        {277, u"less than 1%s to go"},
        {278, u"%d%s to go"},
        {279, u"Finished"},
        {281, u"Sun"},
        {287, u"Sat"},
        {288, u"Today"},
        {289, u"Walk"},
        {295, u"January"},
        {306, u"December"},
        {307, u"Jan"},
        {318, u"Dec"},
        {320, u"%B %d, %Y"},
        {322, u"Steps By"},
        {323, u"Distance By"},
        {340, u"Cancel"},
        {342, u"Continue"},
        {346, u"Day"},
        {347, u"Delete"},
        {348, u"Description"},
        {358, u"Error Occurred"},
        {361, u"Exit"},
        {366, u"Goal"},
        {367, u"Good Work"},
        {372, u"inches"},
        {376, u"lbs"},
        {386, u"Month"},
        {414, u"Re-login"},
        {419, u"Save"},
        {436, u"Status"},
        {451, u"Year"},
        {453, u"You are not working hard enough, try harder"},
        {454, u"You are probably working too hard"},
        {468, u"kg"},
        {469, u"cm"},
        {516, u"Save Changes?"},
        {517, u"Don't Save"},
        {586, u"%b %Y"},
        {587, u"%m/%d/%Y"},
        {706, u"feet"},
        {709, u"Date on device is not set correctly!"},
        {710, u"The date setting of the device is different from Vormatik. Please input the date of your "
              u"last run."},
        {711, u"Error in Date Entry!"},
        {721, u"Start from"},
        {723, u"on"},
        {724, u"TX Conduit"},
        {729, u"less than 0.1%s to go"},
        {730, u"%#.1f%s to go"},
    };
    for (const auto &[id, text] : english)
        EXPECT_EQ(Text(id, 1033), text) << id;
}

TEST(StringTable, GivenTranslationsAreKept)
{
    EXPECT_EQ(Text(257, 1031), u"Schließen Sie alle anderen laufenden Vorgänge von Vormatik");
    EXPECT_EQ(Text(257, 1028), u"請退出其他運行程式");
    EXPECT_EQ(Text(257, 2052), u"请退出其他运行程序");
    for (unsigned short lang : kLanguages)
        EXPECT_EQ(Text(258, lang), u"Vormatik");
}

TEST(StringTable, MonthCaptionPatterns)
{
    // English and German name the month; the Chinese patterns use its number.
    for (unsigned short lang : {1033, 1031})
        EXPECT_EQ(Text(586, lang), u"%b %Y");
    for (unsigned short lang : {1028, 2052})
    {
        const std::u16string p = Text(586, lang);
        EXPECT_NE(p.find(u"%Y"), std::u16string::npos);
        EXPECT_NE(p.find(u"%m"), std::u16string::npos);
        EXPECT_EQ(p.find(u"%b"), std::u16string::npos);
    }
}

TEST(StringTable, DatePatternHasDayMonthAndYearOnceEach)
{
    for (unsigned short lang : kLanguages)
        EXPECT_EQ(DateTokens(Text(587, lang)), (std::multiset<std::string>{"Y", "d", "m"})) << lang;
}

TEST(StringTable, LookupIsByExactLanguageWithoutFallBack)
{
    std::u16string out = u"kept";
    EXPECT_FALSE(vxres::LookupString(340, 1036, out)); // French is not in the table
    EXPECT_EQ(out, u"kept");
    EXPECT_FALSE(vxres::LookupString(340, 0, out));
    EXPECT_FALSE(vxres::LookupString(340, 3076, out)); // Hong Kong Chinese is not 1028
    EXPECT_EQ(out, u"kept");
    EXPECT_FALSE(vxres::LookupString(60000, 1033, out)); // no such block
    EXPECT_EQ(out, u"kept");

    ASSERT_TRUE(vxres::LookupString(340, 1031, out));
    EXPECT_EQ(out, u"Abbrechen");
    ASSERT_TRUE(vxres::LookupString(340, 2052, out));
    EXPECT_EQ(out, u"取消");
    ASSERT_TRUE(vxres::LookupString(340, 1028, out));
    EXPECT_EQ(out, u"取消");
}

TEST(StringTable, AnIdMissingBesideItsNeighboursIsMissing)
{
    // 364 lies between 363 and 365, which exist, but has no text of its own: the caller
    // must see a missing string, never an empty caption taken for a loaded one.
    std::u16string out = u"old";
    ASSERT_TRUE(vxres::LookupString(363, 1033, out));
    ASSERT_TRUE(vxres::LookupString(365, 1033, out));
    out = u"old";
    EXPECT_FALSE(vxres::LookupString(364, 1033, out));
    EXPECT_EQ(out, u"old");
}

namespace
{
bool OnlyFortyTwo(unsigned id, unsigned short, std::u16string &out)
{
    if (id != 42)
        return false;
    out = u"forty-two";
    return true;
}
} // namespace

TEST(StringTable, IsWhatLoadStringReadsUnlessReplaced)
{
    // Nothing in this program installed it: the table is there from the start.
    EXPECT_EQ(vxwin::GetStringTableLookup(), &vxres::LookupString);
    for (unsigned short lang : kLanguages)
    {
        CString text;
        EXPECT_TRUE(text.LoadString(nullptr, 340, lang)) << lang;
        EXPECT_EQ(text.str(), Text(340, lang)) << lang;
    }

    // A test may still put a table of its own in place, and the program's comes back.
    const vxwin::StringTableLookup previous = vxwin::GetStringTableLookup();
    vxwin::SetStringTableLookup(&OnlyFortyTwo);
    CString text;
    EXPECT_FALSE(text.LoadString(nullptr, 340, 1033));
    EXPECT_TRUE(text.LoadString(nullptr, 42, 1033));
    EXPECT_EQ(text.str(), u"forty-two");
    vxwin::SetStringTableLookup(previous);
    EXPECT_TRUE(text.LoadString(nullptr, 340, 1033));
    EXPECT_EQ(text.str(), u"Cancel");
}

TEST(StringTable, TheRemainderTextsWriteTheirNumbersAlike)
{
    // 729 writes "0.1" itself, 730 has the number printed: within each language both must
    // use the decimal separator the program prints with.
    CString printed;
    printed.Format(u"%#.1f", 0.1);
    for (unsigned short lang : kLanguages)
    {
        CString remaining;
        remaining.Format(Text(730, lang).c_str(), 2.5, u"km");
        EXPECT_NE(remaining.str().find(u"2.5"), std::u16string::npos) << lang;
        EXPECT_NE(Text(729, lang).find(printed.str()), std::u16string::npos) << lang;
    }
}
