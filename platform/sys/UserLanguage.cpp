#include "platform/sys/UserLanguage.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace
{
constexpr std::uint16_t MakeLangId(std::uint16_t primary, std::uint16_t sub)
{
    return static_cast<std::uint16_t>((sub << 10) | primary);
}

constexpr std::uint16_t kEnglishUs = MakeLangId(0x09, 1);

struct Language
{
    std::string_view code;
    std::uint16_t primary;
};

constexpr Language kLanguages[] = {
    {"zh", 0x04}, {"de", 0x07}, {"en", 0x09}, {"es", 0x0A}, {"fr", 0x0C}, {"it", 0x10},
    {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"pt", 0x16}, {"ru", 0x19},
};

struct Region
{
    std::uint16_t primary;
    std::string_view country;
    std::uint16_t sub;
};

// Regions whose sublanguage is not the default one. A Chinese locale without a region is
// taken as the mainland's.
constexpr Region kRegions[] = {
    {0x04, "TW", 1}, {0x04, "CN", 2}, {0x04, "", 2},   {0x04, "HK", 3}, {0x04, "SG", 4}, {0x04, "MO", 5},
    {0x07, "CH", 2}, {0x07, "AT", 3}, {0x07, "LU", 4}, {0x07, "LI", 5}, {0x09, "GB", 2}, {0x09, "AU", 3},
    {0x09, "CA", 4}, {0x0C, "BE", 2}, {0x0C, "CA", 3}, {0x0C, "CH", 4},
};

std::string_view LocaleName()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"})
    {
        const char *value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return {};
}
} // namespace

std::uint16_t GetUserDefaultLangID()
{
    std::string_view locale = LocaleName();
    // language[_territory][.codeset][@modifier]
    locale = locale.substr(0, locale.find_first_of(".@"));
    const std::size_t underscore = locale.find('_');
    const std::string_view language = locale.substr(0, underscore);
    const std::string_view country =
        underscore == std::string_view::npos ? std::string_view() : locale.substr(underscore + 1);

    for (const Language &entry : kLanguages)
    {
        if (entry.code != language)
            continue;
        for (const Region &region : kRegions)
        {
            if (region.primary == entry.primary && region.country == country)
                return MakeLangId(entry.primary, region.sub);
        }
        return MakeLangId(entry.primary, 1);
    }
    return kEnglishUs;
}
