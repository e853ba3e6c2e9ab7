#pragma once

#include <cstdint>

// The user's language as a Windows language id (primary language in the low 10 bits,
// sublanguage in the upper 6), taken from the locale: LC_ALL, else LC_MESSAGES, else LANG,
// the first that is set and not empty. "C", "POSIX", no locale and languages without an
// entry give English (United States), 0x0409.
std::uint16_t GetUserDefaultLangID();
