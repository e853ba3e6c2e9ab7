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
