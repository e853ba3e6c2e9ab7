#pragma once

// The tables compiled into the program at build time (generated sources).

#include <cstddef>

namespace vxres::detail
{
struct StringEntry
{
    unsigned short lang;
    unsigned id;
    const char16_t *text;
    std::size_t length;
};

struct ImageEntry
{
    const char16_t *type;
    unsigned id;
    unsigned short lang;
    const unsigned char *data;
    std::size_t size;
};

extern const StringEntry kStrings[];
extern const std::size_t kStringCount;
extern const ImageEntry kImages[];
extern const std::size_t kImageCount;
} // namespace vxres::detail
