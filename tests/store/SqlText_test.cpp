#include "store/SqlText.h"

#include "platform/sys/TextConvert.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <limits>
#include <vector>

TEST(SqlQuote, DoublesEverySingleQuote)
{
    EXPECT_EQ(u"", SqlQuote(u"").value());
    EXPECT_EQ(u"O''Brien", SqlQuote(u"O'Brien").value());
    EXPECT_EQ(u"''''", SqlQuote(u"''").value());
    EXPECT_EQ(u"x'' or ''1''=''1", SqlQuote(u"x' or '1'='1").value());
    EXPECT_EQ(u"\"double\" stays", SqlQuote(u"\"double\" stays").value());
    EXPECT_FALSE(SqlQuote(std::u16string_view(u"a\0b", 3)));
}

TEST(SqlFormat, WritesEachDirective)
{
    const auto text = SqlFormat(u"a='%s' b=%i c=%I64i d=%i%%",
                                {u"O'Brien", int32_t{-5}, int64_t{128752416000000000}, int32_t{7}});
    ASSERT_TRUE(text);
    EXPECT_EQ(u"a='O''Brien' b=-5 c=128752416000000000 d=7%", *text);
}

TEST(SqlFormat, NumberLimitsInTheCLocaleWhateverTheProcessLocale)
{
    // A locale with other separators must not change statement texts.
    const char *old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    const auto text = SqlFormat(u"%i %i %I64i %I64i",
                                {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                                 std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()});
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(text);
    EXPECT_EQ(u"-2147483648 2147483647 -9223372036854775808 9223372036854775807", *text);
}

TEST(SqlFormat, SmallUnsignedValuesAreIntegers)
{
    const uint8_t gender = 255;
    const uint16_t year = 1970;
    const auto text = SqlFormat(u"%i,%i", {gender, year});
    ASSERT_TRUE(text);
    EXPECT_EQ(u"255,1970", *text);
}

TEST(SqlFormat, RefusesWhatItCannotWriteSafely)
{
    struct Case
    {
        const char *why;
        std::optional<std::u16string> result;
    };
    const Case cases[] = {
        {"text outside quotes", SqlFormat(u"where UserID = %s", {u"x"})},
        {"text with only an opening quote", SqlFormat(u"where UserID = '%s", {u"x"})},
        {"a number for %s", SqlFormat(u"'%s'", {int32_t{1}})},
        {"text for %i", SqlFormat(u"%i", {u"1"})},
        {"64-bit for %i", SqlFormat(u"%i", {int64_t{1}})},
        {"32-bit for %I64i", SqlFormat(u"%I64i", {int32_t{1}})},
        {"too few arguments", SqlFormat(u"'%s' '%s'", {u"x"})},
        {"too many arguments", SqlFormat(u"'%s'", {u"x", u"y"})},
        {"unknown directive", SqlFormat(u"%d", {int32_t{1}})},
        {"lone percent at the end", SqlFormat(u"100%", {int32_t{1}})},
        {"null text", SqlFormat(u"'%s'", {static_cast<const char16_t *>(nullptr)})},
        {"zero character in text", SqlFormat(u"'%s'", {std::u16string_view(u"a\0b", 3)})},
    };
    for (const Case &c : cases)
        EXPECT_FALSE(c.result) << c.why;
}

// The engine reads an unpaired surrogate together with the unit after it, so
// one before a doubled quote would leave a single quote that ends the value.
TEST(SqlText, UnpairedSurrogatesAreRefusedWherePairsPass)
{
    const char16_t surrogates[] = {0xD800, 0xDBFF, 0xDC00, 0xDFFF};
    for (const char16_t s : surrogates)
    {
        const std::u16string texts[] = {
            std::u16string{s} + u"ann",                // at the start
            u"ann" + std::u16string{s},                // at the end
            u"a" + std::u16string{s} + u"' or 1=1 --", // before a quote
            std::u16string{s} + u"'",                  // alone before a quote
            std::u16string{s, s},                      // two alike make no pair
        };
        for (const std::u16string &text : texts)
        {
            SCOPED_TRACE(testing::Message() << std::hex << unsigned(s) << " case " << (&text - texts));
            EXPECT_FALSE(IsSqlTextValue(text));
            EXPECT_FALSE(SqlQuote(text));
            EXPECT_FALSE(SqlFormat(u"where UserID = '%s'", {text}));
            // Also after an acceptable value.
            EXPECT_FALSE(SqlFormat(u"values( '%s', '%s' )", {u"ok", text}));
        }
    }
    const std::u16string pair = u"\U0001F3C3'\U00010000";
    EXPECT_TRUE(IsSqlTextValue(pair));
    EXPECT_EQ(u"\U0001F3C3''\U00010000", SqlQuote(pair).value());
    const auto text = SqlFormat(u"'%s'", {pair});
    ASSERT_TRUE(text);
    EXPECT_EQ(u"'\U0001F3C3''\U00010000'", *text);
}

TEST(SqlFormat, PlainTextPassesUnchanged)
{
    const auto text = SqlFormat(u"Select count(*) from sqlite_master where name='FacebookInfo'");
    ASSERT_TRUE(text);
    EXPECT_EQ(u"Select count(*) from sqlite_master where name='FacebookInfo'", *text);
}

TEST(SqlParameterize, EachDirectiveBecomesOneParameterOfItsKind)
{
    using K = SqlArg::Kind;
    struct Case
    {
        const char16_t *format;
        const char16_t *statement;
        std::vector<K> kinds;
    };
    const Case cases[] = {
        {u"a='%s' b=%i c=%I64i d=%i%%", u"a=? b=? c=? d=?%", {K::Text, K::Int32, K::Int64, K::Int32}},
        {u"Insert into t values ( '%s', '%s', NULL )",
         u"Insert into t values ( ?, ?, NULL )",
         {K::Text, K::Text}},
        {u"where name='FacebookInfo'", u"where name='FacebookInfo'", {}},
        {u"", u"", {}},
    };
    for (const Case &c : cases)
    {
        const auto made = SqlParameterize(c.format);
        ASSERT_TRUE(made) << vxsys::Utf16ToUtf8(c.format);
        EXPECT_EQ(c.statement, made->statement);
        EXPECT_EQ(c.kinds, made->kinds);
    }
}

TEST(SqlParameterize, RefusesWhatSqlFormatRefusesWhateverTheValues)
{
    const char16_t *const formats[] = {
        u"where UserID = %s", u"where UserID = '%s", u"%d", u"100%", u"where a = ? and b = '%s'",
    };
    for (const char16_t *format : formats)
        EXPECT_FALSE(SqlParameterize(format)) << vxsys::Utf16ToUtf8(format);
}

TEST(SqlArgsFit, SameRefusalsAsSqlFormatAndLoneSurrogates)
{
    using K = SqlArg::Kind;
    const std::vector<K> text{K::Text};
    EXPECT_TRUE(SqlArgsFit(text, {u"O'Brien"}));
    EXPECT_TRUE(SqlArgsFit(text, {u""}));
    EXPECT_TRUE(SqlArgsFit(text, {u"\U0001F600 pair"}));
    EXPECT_TRUE(SqlArgsFit({K::Int32, K::Int64}, {int32_t{1}, int64_t{2}}));
    EXPECT_TRUE(SqlArgsFit({}, {}));

    struct Case
    {
        const char *why;
        bool fits;
    };
    const char16_t highAlone[] = {u'a', 0xD83D, u'b', 0};
    const char16_t highAtEnd[] = {u'a', 0xD83D, 0};
    const char16_t lowAlone[] = {0xDE00, u'b', 0};
    const char16_t reversed[] = {0xDE00, 0xD83D, 0};
    const char16_t highBeforeQuote[] = {u'x', 0xD800, u'\'', 0};
    const Case cases[] = {
        {"a number for text", SqlArgsFit(text, {int32_t{1}})},
        {"text for a number", SqlArgsFit({K::Int32}, {u"1"})},
        {"64-bit for 32-bit", SqlArgsFit({K::Int32}, {int64_t{1}})},
        {"32-bit for 64-bit", SqlArgsFit({K::Int64}, {int32_t{1}})},
        {"too few", SqlArgsFit({K::Text, K::Text}, {u"x"})},
        {"too many", SqlArgsFit(text, {u"x", u"y"})},
        {"null text", SqlArgsFit(text, {static_cast<const char16_t *>(nullptr)})},
        {"zero character", SqlArgsFit(text, {std::u16string_view(u"a\0b", 3)})},
        {"high surrogate alone", SqlArgsFit(text, {highAlone})},
        {"high surrogate at the end", SqlArgsFit(text, {highAtEnd})},
        {"low surrogate alone", SqlArgsFit(text, {lowAlone})},
        {"pair in the wrong order", SqlArgsFit(text, {reversed})},
        {"high surrogate before a quote", SqlArgsFit(text, {highBeforeQuote})},
    };
    for (const Case &c : cases)
        EXPECT_FALSE(c.fits) << c.why;
}
