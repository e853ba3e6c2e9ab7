#pragma once

// The program's own resources: the string table in four languages and the images,
// both compiled in. Lookups are by exact language; there is no fall-back.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vxres
{
// The text of a string id in a language, looked up the way the string-table blocks
// of 16 ids work: when the language has the block of the id (id / 16), the entry is
// copied (empty when that block lacks the entry) and the result is true; when the
// language lacks the block, the result is false and out is left as it was.
bool LookupString(unsigned id, unsigned short lang, std::u16string &out);

// The encoded bytes (PNG) of an image resource of the type ("PNG" or "BITMAP"), id and
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
