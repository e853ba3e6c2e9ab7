#include "app/DialogText.h"

#include <gtest/gtest.h>

TEST(DialogText, CopyCutsToFitTheZeroAndNeverHalvesAPair)
{
    struct Case
    {
        const char *name;
        std::u16string in;
        std::u16string out;
    };
    const Case cases[] = {
        {"fits", u"abc", u"abc"},
        {"cut", u"abcdef", u"abcd"},
        {"pair inside", u"a\U0001F600b", u"a\U0001F600b"},
        {"pair across the cut", u"abc\U0001F600", u"abc"},
        {"pair ending at the cut", u"ab\U0001F600x", u"ab\U0001F600"},
        {"quotes and a lone half kept", u"'\"\xD800", u"'\"\xD800"},
    };
    for (const Case &c : cases)
    {
        std::array<char16_t, 5> buffer;
        buffer.fill(u'x');
        CopyText(buffer, c.in);
        EXPECT_EQ(TextOf(buffer), c.out) << c.name;
        EXPECT_EQ(buffer[4], u'\0') << c.name;
    }
}

TEST(DialogText, TextOfStopsAtTheFirstZeroOrTheEnd)
{
    std::array<char16_t, 4> full{u'a', u'b', u'c', u'd'};
    EXPECT_EQ(TextOf(full), u"abcd");
    std::array<char16_t, 4> inner{u'a', u'\0', u'c', u'\0'};
    EXPECT_EQ(TextOf(inner), u"a");
    std::array<char16_t, 4> buffer;
    CopyText(buffer, static_cast<const char16_t *>(nullptr));
    EXPECT_EQ(TextOf(buffer), u"");
}
