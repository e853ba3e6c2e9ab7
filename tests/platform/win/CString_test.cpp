#include <clocale>
#include <gtest/gtest.h>
#include <map>
#include <utility>

#include "platform/win/CString.h"

namespace
{
struct FormatCase
{
    const char16_t *format;
    std::u16string expected;
};

TEST(WideFormat, StringTableConversions)
{
    CString s;
    s.Format(u"%d", -42);
    EXPECT_EQ(s.str(), u"-42");
    s.Format(u"%i items", 7);
    EXPECT_EQ(s.str(), u"7 items");
    s.Format(u"%u", 4000000000u);
    EXPECT_EQ(s.str(), u"4000000000");
    s.Format(u"%ld", 123456L);
    EXPECT_EQ(s.str(), u"123456");
    s.Format(u"%s %s", u"5.0", CString(u"km"));
    EXPECT_EQ(s.str(), u"5.0 km");
    s.Format(u"%02d/%02d/%d", 5, 12, 2010);
    EXPECT_EQ(s.str(), u"05/12/2010");
    s.Format(u"%03d", 7);
    EXPECT_EQ(s.str(), u"007");
    s.Format(u"%03d", 1234);
    EXPECT_EQ(s.str(), u"1234");
    s.Format(u"%.1f", 3.25);
    EXPECT_EQ(s.str(), u"3.2"); // round half to even of the binary value, as printf does
    s.Format(u"%.1f", 0.05);
    EXPECT_EQ(s.str(), u"0.1");
    s.Format(u"%#.1f%s to go", 2.0, u"km");
    EXPECT_EQ(s.str(), u"2.0km to go");
    s.Format(u"%#.0f", 2.0);
    EXPECT_EQ(s.str(), u"2.");
    s.Format(u"100%%");
    EXPECT_EQ(s.str(), u"100%");
    s.Format(u"%d%s to go", 3, u" hrs");
    EXPECT_EQ(s.str(), u"3 hrs to go");
}

TEST(WideFormat, NumbersIgnoreTheProcessLocale)
{
    // A locale with a decimal comma, where the system has one; the C locale must still win.
    const char *candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"};
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    bool switched = false;
    for (const char *loc : candidates)
        if (std::setlocale(LC_NUMERIC, loc))
        {
            switched = true;
            break;
        }
    CString s;
    s.Format(u"%.1f", 1.5);
    std::setlocale(LC_NUMERIC, old.c_str());
    EXPECT_EQ(s.str(), u"1.5");
    if (!switched)
        GTEST_LOG_(INFO) << "no comma locale installed; checked under the C locale only";
}

TEST(WideFormat, LengthModifiersTruncateLikePrintf)
{
    CString s;
    s.Format(u"%u", -1);
    EXPECT_EQ(s.str(), u"4294967295");
    s.Format(u"%I64i", static_cast<long long>(-5000000000LL));
    EXPECT_EQ(s.str(), u"-5000000000");
    s.Format(u"%lld", 1LL << 40);
    EXPECT_EQ(s.str(), u"1099511627776");
    s.Format(u"%hd", 70000);
    EXPECT_EQ(s.str(), u"4464");
    s.Format(u"%x|%X|%o", 255u, 255u, 8u);
    EXPECT_EQ(s.str(), u"ff|FF|10");
}

TEST(WideFormat, WidthPrecisionAndFlags)
{
    const FormatCase cases[] = {
        {u"[%5s]", u"[   ab]"}, {u"[%-5s]", u"[ab   ]"}, {u"[%.1s]", u"[a]"},
        {u"[%c]", u"[Z]"},      {u"[%5d]", u"[   42]"},  {u"[%-5d]", u"[42   ]"},
    };
    for (const auto &c : cases)
    {
        CString s;
        if (c.format[2] == u'c')
            s.Format(c.format, u'Z');
        else if (std::u16string(c.format).find(u's') != std::u16string::npos)
            s.Format(c.format, u"ab");
        else
            s.Format(c.format, 42);
        EXPECT_EQ(s.str(), c.expected) << std::string(c.format, c.format + std::u16string(c.format).size());
    }
    CString star;
    star.Format(u"[%*d]", 4, 7);
    EXPECT_EQ(star.str(), u"[   7]");
}

TEST(WideFormat, TextsOfEveryWidthAndMissingArguments)
{
    CString s;
    s.Format(u"%s/%S/%hs", u"wide", "narrow", "\xE9t\xE9");
    EXPECT_EQ(s.str(), u"wide/narrow/\u00E9t\u00E9");
    const char16_t *none = nullptr;
    s.Format(u"<%s>", none);
    EXPECT_EQ(s.str(), u"<(null)>");
    // A translated text with more conversions than arguments must not read beyond them.
    s.Format(u"%s and %s, %d", u"one");
    EXPECT_EQ(s.str(), u"one and , 0");
    s.Format(u"50%");
    EXPECT_EQ(s.str(), u"50%");
    s.Format(u"%q");
    EXPECT_EQ(s.str(), u"%q");
    s.Format(u"\u4e2d%s", u"\u6587");
    EXPECT_EQ(s.str(), u"\u4e2d\u6587");
}

TEST(WideFormat, AppendFormatKeepsTheText)
{
    CString s(u"a");
    s.AppendFormat(u"%d", 1);
    s.AppendFormat(u"-%s", u"b");
    EXPECT_EQ(s.str(), u"a1-b");
}

// A fake string table: a few entries in some languages only.
std::map<std::pair<unsigned, unsigned short>, std::u16string> &FakeTable()
{
    static std::map<std::pair<unsigned, unsigned short>, std::u16string> table = {
        {{258, 1033}, u"Vormatik"},     {{346, 1033}, u"Day"}, {{346, 1031}, u"Tag"},
        {{347, 2052}, u"\u5220\u9664"}, {{400, 1033}, u""},
    };
    return table;
}

bool FakeLookup(unsigned id, unsigned short language, std::u16string &out)
{
    const auto it = FakeTable().find({id, language});
    if (it == FakeTable().end())
        return false;
    out = it->second;
    return true;
}

class LoadStringTest : public testing::Test
{
  protected:
    void SetUp() override { vxwin::SetStringTableLookup(&FakeLookup); }
    void TearDown() override { vxwin::SetStringTableLookup(nullptr); }
};

TEST_F(LoadStringTest, TakesTheEntryOfExactlyThatLanguage)
{
    CString s;
    EXPECT_TRUE(s.LoadString(nullptr, 346, 1031));
    EXPECT_EQ(s.str(), u"Tag");
    EXPECT_TRUE(s.LoadString(nullptr, 346, 1033));
    EXPECT_EQ(s.str(), u"Day");
    EXPECT_TRUE(s.LoadString(nullptr, 347, 2052));
    EXPECT_EQ(s.str(), u"\u5220\u9664");
}

TEST_F(LoadStringTest, MissingLanguageLeavesTheTextAndFails)
{
    CString s(u"before");
    EXPECT_FALSE(s.LoadString(nullptr, 258, 1031)); // English only: no fall-back
    EXPECT_EQ(s.str(), u"before");
    EXPECT_FALSE(s.LoadString(nullptr, 347, 1033));
    EXPECT_EQ(s.str(), u"before");
    EXPECT_FALSE(s.LoadString(nullptr, 9999, 1033));
    EXPECT_EQ(s.str(), u"before");
    EXPECT_FALSE(s.LoadString(nullptr, 400, 1033)); // an empty entry counts as missing
    EXPECT_EQ(s.str(), u"before");
    CString empty;
    EXPECT_FALSE(empty.LoadString(nullptr, 258, 1028));
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(LoadStringWithoutTable, FailsQuietly)
{
    vxwin::SetStringTableLookup(nullptr);
    CString s(u"x");
    EXPECT_FALSE(s.LoadString(nullptr, 258, 1033));
    EXPECT_EQ(s.str(), u"x");
}

TEST(CStringOps, BufferAndSubstrings)
{
    CString s;
    char16_t *buf = s.GetBuffer(10);
    buf[0] = u'h';
    buf[1] = u'i';
    buf[2] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s.str(), u"hi");
    CString t(u"Hello World");
    EXPECT_EQ(t.Left(5).str(), u"Hello");
    EXPECT_EQ(t.Right(5).str(), u"World");
    EXPECT_EQ(t.Mid(6, 100).str(), u"World");
    EXPECT_EQ(t.Left(-1).str(), u"");
    EXPECT_EQ(t.Find(u"o"), 4);
    EXPECT_EQ(t.ReverseFind(u'o'), 7);
    EXPECT_EQ(t.CompareNoCase(u"hello world"), 0);
    EXPECT_EQ(t.Replace(u"o", u"0"), 2);
    EXPECT_EQ(t.str(), u"Hell0 W0rld");
    EXPECT_EQ(t.GetAt(99), 0);
}
} // namespace
