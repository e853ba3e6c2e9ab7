#pragma once

// Helpers shared by the fuzz targets: a reader that splits one input into the pieces a target
// needs, and a private temporary folder for targets that must go through files.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vxfuzz
{
// Takes values from the front of the input; once it runs out every value is 0 or empty, so a
// target never has to check and every short input is still a valid one.
class InputReader
{
  public:
    InputReader(const std::uint8_t *data, std::size_t size) : m_data(data, size) {}

    std::uint8_t U8()
    {
        if (m_pos >= m_data.size())
            return 0;
        return m_data[m_pos++];
    }
    std::uint16_t U16()
    {
        const std::uint16_t lo = U8();
        return static_cast<std::uint16_t>(lo | (U8() << 8));
    }
    std::uint32_t U32()
    {
        const std::uint32_t lo = U16();
        return lo | (static_cast<std::uint32_t>(U16()) << 16);
    }
    bool Bool() { return (U8() & 1) != 0; }

    // Up to n bytes (fewer at the end of the input).
    std::span<const std::uint8_t> Bytes(std::size_t n)
    {
        n = std::min(n, Remaining());
        const auto out = m_data.subspan(m_pos, n);
        m_pos += n;
        return out;
    }
    // The bytes up to the next occurrence of separator (which is consumed), or the rest.
    std::span<const std::uint8_t> Until(std::uint8_t separator)
    {
        std::size_t end = m_pos;
        while (end < m_data.size() && m_data[end] != separator)
            ++end;
        const auto out = m_data.subspan(m_pos, end - m_pos);
        m_pos = end < m_data.size() ? end + 1 : end;
        return out;
    }
    std::span<const std::uint8_t> Rest() { return Bytes(Remaining()); }

    std::size_t Remaining() const { return m_data.size() - m_pos; }

  private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

inline std::string AsString(std::span<const std::uint8_t> bytes)
{
    return std::string(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

// Little-endian pairs of bytes as UTF-16 units (a last odd byte is dropped); lone surrogates,
// zeros and anything else come through as they are.
inline std::u16string AsUtf16(std::span<const std::uint8_t> bytes)
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

// A fresh folder below TMPDIR for the life of the process, removed at a normal exit (a crash
// leaves it for inspection).
inline const std::string &ScratchFolder()
{
    // Never destroyed: the removal at exit runs after static objects are gone.
    static const std::string *const folder = [] {
        const char *tmp = std::getenv("TMPDIR");
        auto *path = new std::string(std::string(tmp && *tmp ? tmp : "/tmp") + "/vormatik-fuzz-XXXXXX");
        if (!mkdtemp(path->data()))
            throw std::runtime_error("cannot create the scratch folder");
        return path;
    }();
    static const bool removeAtExit = [] {
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*folder, ec);
        });
        return true;
    }();
    (void)removeAtExit;
    return *folder;
}

// Stops the process in a way both libFuzzer and the replay runner report as a find.
[[noreturn]] inline void Fail(const char *what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
} // namespace vxfuzz

#define VX_FUZZ_CHECK(condition)                                                                             \
    do                                                                                                       \
    {                                                                                                        \
        if (!(condition))                                                                                    \
            ::vxfuzz::Fail(#condition);                                                                      \
    } while (false)
