#include "platform/sys/TextConvert.h"

#include <gtest/gtest.h>

using namespace vxsys;

TEST(TextConvert, Utf8RoundTripIncludingSurrogatePairs)
{
    const std::string samples[] = {"", "abc", "O'Brien", "Müller", "步行", "\xF0\x9F\x8F\x83 run"};
    for (const std::string &s : samples)
        EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s) << s;
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x8F\x83"), (std::u16string{0xD83C, 0xDFC3}));
}

TEST(TextConvert, MalformedInputBecomesReplacementCharacters)
{
    EXPECT_EQ(Utf8ToUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");         // truncated sequence at the end
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");     // overlong '/'
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD"); // encoded surrogate
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
}

TEST(TextConvert, Latin1KeepsOneByteACharacter)
{
    EXPECT_EQ(Utf16ToLatin1(u"Ab\u00E9\u6B65"), std::string("Ab\xE9?"));
    EXPECT_EQ(Latin1ToUtf16(std::string("\xE9z")), u"\u00E9z");
}

TEST(TextConvert, Latin1GivesOneQuestionMarkPerCharacter)
{
    struct Case
    {
        std::u16string text;
        std::string latin1;
    };
    const Case cases[] = {
        {u"\U0001F3C3", "?"},                                  // one character as a surrogate pair
        {u"a\U0001F3C3b\U00010000", "a?b?"},                  // pairs among other characters
        {u"\U0001F3C3\U0001F3C3", "??"},                      // two pairs back to back
        {std::u16string{0xD800}, "?"},                        // unpaired high surrogate alone
        {std::u16string{u'x', 0xDBFF, u'\''}, "x?'"},         // unpaired high before a quote
        {std::u16string{0xDC00, 0xD800}, "??"},               // low before high is no pair
        {std::u16string{0xD800, 0xD800, 0xDC00}, "??"},       // lone high, then a pair
        {std::u16string{0xDFFF, u'z'}, "?z"},                 // unpaired low
    };
    for (const Case &c : cases)
    {
        const std::string out = Utf16ToLatin1(c.text);
        EXPECT_EQ(c.latin1, out) << Utf16ToUtf8(c.text);
    }
}

TEST(TextConvert, UnpairedSurrogatesAreFound)
{
    struct Case
    {
        std::u16string text;
        bool unpaired;
    };
    const Case cases[] = {
        {u"", false},
        {u"O'Brien \u6B65", false},
        {u"\U0001F3C3", false},
        {u"\U0010FFFF\U00010000", false},
        {std::u16string{0xD800}, true},
        {std::u16string{0xDBFF, u'\''}, true},
        {std::u16string{u'a', 0xDC00}, true},
        {std::u16string{0xDC00, 0xD800}, true},
        {std::u16string{0xD83C, 0xDFC3, 0xDFC3}, true},
        {std::u16string{0xD800, 0xD83C, 0xDFC3}, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.unpaired, HasUnpairedSurrogate(c.text)) << Utf16ToUtf8(c.text);
}

TEST(TextConvert, BoundedCopyAlwaysTerminates)
{
    char16_t buf[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(U16CopyBounded(buf, 4, u"abcdef"), 3u);
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(U16CopyBounded(buf, 4, u""), 0u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(U16CopyBounded(buf, 0, u"abc"), 0u);
    EXPECT_EQ(U16CopyBounded(nullptr, 4, u"abc"), 0u);
    EXPECT_EQ(U16Length(nullptr), 0u);
    EXPECT_EQ(U16Length(u"abcd"), 4u);
}

TEST(TextConvert, CodePagesOfTheUiLanguages)
{
    EXPECT_EQ(1252u, AnsiCodePageOfLanguage(1033));
    EXPECT_EQ(1252u, AnsiCodePageOfLanguage(1031));
    EXPECT_EQ(936u, AnsiCodePageOfLanguage(2052));
    EXPECT_EQ(950u, AnsiCodePageOfLanguage(1028));
    EXPECT_EQ(1252u, AnsiCodePageOfLanguage(1036));

    struct Case
    {
        unsigned codePage;
        std::u16string text;
        std::string bytes;
    };
    const Case cases[] = {
        {1252, u"Gr\u00FC\u00DFe \u20AC", "Gr\xFC\xDF" "e \x80"},
        {936, u"\u6B65\u884C", "\xB2\xBD\xD0\xD0"},
        {950, u"\u6B65\u884C", "\xA8\x42\xA6\xE6"},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(c.bytes, Utf16ToCodePage(c.text, c.codePage)) << c.codePage;
        EXPECT_EQ(c.text, CodePageToUtf16(c.bytes, c.codePage)) << c.codePage;
    }
}

TEST(TextConvert, CodePageConversionNeverFailsOnHostileText)
{
    // A lone surrogate, a pair that GBK lacks and a character 1252 lacks: one '?' each.
    EXPECT_EQ("a?b?", Utf16ToCodePage(std::u16string{u'a', 0xDC00, u'b', 0xD83C, 0xDFC3}, 936));
    EXPECT_EQ("?", Utf16ToCodePage(u"\u6B65", 1252));
    // Never a split character: the limit stops before a character that does not fit whole.
    EXPECT_EQ("a", Utf16ToCodePage(u"a\u6B65", 936, 2));
    EXPECT_EQ("", Utf16ToCodePage(u"\u6B65", 936, 1));
    // Bytes the code page does not define and a lead byte at the end become U+FFFD; the rest stays.
    EXPECT_EQ((std::u16string{u'a', 0xFFFD, u'b'}), CodePageToUtf16("a\x81" "b", 1252));
    EXPECT_EQ((std::u16string{u'x', 0xFFFD}), CodePageToUtf16("x\xB2", 936));
    EXPECT_EQ(std::u16string(u"a\0b", 3), CodePageToUtf16(std::string("a\0b", 3), 936));
}
