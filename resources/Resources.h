#pragma once

// The program's own resources: the string table in four languages and the images,
// both compiled in. Lookups are by exact language; there is no fall-back.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vxres
{
// The text of a string id in exactly that language (no fall-back to another one).
// False, with out left as it was, when the language has no text for the id.
bool LookupString(unsigned id, unsigned short lang, std::u16string &out);

// The encoded bytes (PNG) of an image resource of the type ("PNG", "BITMAP" or "ICON"), id and
// language. The bytes stay valid for the life of the program. Images are stored under
// language 1033 only.
bool LookupImage(std::u16string_view type, unsigned id, unsigned short lang, const unsigned char **data,
                 std::size_t *size);

// What the tables hold (for checks of their completeness).
std::vector<unsigned short> StringLanguages();
std::vector<unsigned> StringIds(unsigned short lang);

struct ImageKey
{
    std::u16string type;
    unsigned id;
    unsigned short lang;
};
std::vector<ImageKey> ImageKeys();
} // namespace vxres
