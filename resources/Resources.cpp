#include "resources/Resources.h"

#include "resources/ResourceTables.h"

#include <algorithm>
#include <tuple>

namespace vxres
{
namespace
{
using detail::ImageEntry;
using detail::StringEntry;

const StringEntry *StringsBegin()
{
    return detail::kStrings;
}

const StringEntry *StringsEnd()
{
    return detail::kStrings + detail::kStringCount;
}

bool Before(const StringEntry &e, unsigned short lang, unsigned id)
{
    return std::tie(e.lang, e.id) < std::tie(lang, id);
}
} // namespace

bool LookupString(unsigned id, unsigned short lang, std::u16string &out)
{
    const StringEntry *it =
        std::lower_bound(StringsBegin(), StringsEnd(), id,
                         [lang](const StringEntry &e, unsigned key) { return Before(e, lang, key); });
    if (it == StringsEnd() || it->lang != lang || it->id != id)
        return false;
    out.assign(it->text, it->length);
    return true;
}

bool LookupImage(std::u16string_view type, unsigned id, unsigned short lang, const unsigned char **data,
                 std::size_t *size)
{
    for (std::size_t i = 0; i < detail::kImageCount; ++i)
    {
        const ImageEntry &e = detail::kImages[i];
        if (e.id == id && e.lang == lang && type == e.type)
        {
            if (data)
                *data = e.data;
            if (size)
                *size = e.size;
            return true;
        }
    }
    return false;
}

std::vector<unsigned short> StringLanguages()
{
    std::vector<unsigned short> out;
    for (const StringEntry *e = StringsBegin(); e != StringsEnd(); ++e)
        if (out.empty() || out.back() != e->lang)
            out.push_back(e->lang);
    return out;
}

std::vector<unsigned> StringIds(unsigned short lang)
{
    std::vector<unsigned> out;
    for (const StringEntry *e = StringsBegin(); e != StringsEnd(); ++e)
        if (e->lang == lang)
            out.push_back(e->id);
    return out;
}

std::vector<ImageKey> ImageKeys()
{
    std::vector<ImageKey> out;
    for (std::size_t i = 0; i < detail::kImageCount; ++i)
        out.push_back({detail::kImages[i].type, detail::kImages[i].id, detail::kImages[i].lang});
    return out;
}
} // namespace vxres
