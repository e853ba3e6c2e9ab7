#include "platform/sys/UserLanguage.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

TEST(GetUserDefaultLangID, TakesTheLanguageOfTheFirstLocaleVariableSet)
{
    const struct
    {
        const char *all;
        const char *messages;
        const char *lang;
        std::uint16_t expected;
    } cases[] = {
        {"zh_CN.UTF-8", nullptr, nullptr, 0x0804}, {"zh_TW.UTF-8", nullptr, nullptr, 0x0404},
        {"zh_HK", nullptr, nullptr, 0x0C04},       {"zh_SG.GB2312", nullptr, nullptr, 0x1004},
        {"zh", nullptr, nullptr, 0x0804},          {"de_AT.UTF-8@euro", nullptr, nullptr, 0x0C07},
        {"de_DE.UTF-8", nullptr, nullptr, 0x0407}, {"fr_FR.UTF-8", nullptr, nullptr, 0x040C},
        {"en_US.UTF-8", nullptr, nullptr, 0x0409}, {"C", nullptr, nullptr, 0x0409},
        {"POSIX", nullptr, nullptr, 0x0409},       {"xx_YY", nullptr, nullptr, 0x0409},
        {nullptr, nullptr, nullptr, 0x0409},       {"", "de_CH.UTF-8", "zh_CN.UTF-8", 0x0807},
        {nullptr, nullptr, "zh_TW.Big5", 0x0404},  {"fr_FR", "de_DE", "zh_CN", 0x040C},
    };
    for (const auto &c : cases)
    {
        vxtest::ScopedEnv all("LC_ALL", c.all);
        vxtest::ScopedEnv messages("LC_MESSAGES", c.messages);
        vxtest::ScopedEnv lang("LANG", c.lang);
        EXPECT_EQ(GetUserDefaultLangID(), c.expected)
            << (c.all ? c.all : "-") << " " << (c.lang ? c.lang : "-");
    }
}
