#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Replaces every %NAME% of source whose NAME is a defined environment variable by its
// value; any other '%' is kept as written. Returns the number of characters the result
// needs, its terminating zero included, and writes the terminated result into out only
// when it fits in size characters (nothing is written otherwise, so a result larger than
// the return value shows as a failure, never a cut-off text). 0 when source is null.
std::uint32_t ExpandEnvironmentStringsW(const char16_t *source, char16_t *out, std::uint32_t size);

namespace vxsys
{
// The same expansion into a string of any length.
std::u16string ExpandEnvironment(std::u16string_view source);
} // namespace vxsys
