#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

// printf-style formatting into UTF-16 with the conversions of wide printf: "%s" takes a
// UTF-16 text, "%S" and "%hs" a narrow (Latin-1) one, "%c" a UTF-16 unit; d i u x X o c
// e E f F g G p, flags "-+ #0", width and precision (also "*"), length h hh l ll I64.
// Numbers are always written in the C locale. The arguments are typed at the call, so a
// format whose conversions do not match its arguments (a translated text with one "%s"
// too many) prints an empty text or 0 for what is missing instead of reading garbage.
namespace vxwin
{
class FormatArg
{
  public:
    enum class Kind
    {
        Signed,
        Unsigned,
        Real,
        Text16,
        Text8,
        Pointer
    };

    template <typename T, typename std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
    FormatArg(T v) : m_kind(Kind::Signed), m_signed(v)
    {
    }
    template <typename T, typename std::enable_if_t<std::is_integral_v<T> && !std::is_signed_v<T>, int> = 0>
    FormatArg(T v) : m_kind(Kind::Unsigned), m_unsigned(v)
    {
    }
    template <typename T, typename std::enable_if_t<std::is_enum_v<T>, int> = 0>
    FormatArg(T v) : FormatArg(static_cast<std::underlying_type_t<T>>(v))
    {
    }
    FormatArg(double v) : m_kind(Kind::Real), m_real(v) {}
    FormatArg(float v) : m_kind(Kind::Real), m_real(v) {}
    FormatArg(const char16_t *s) : m_kind(Kind::Text16), m_text16(s) {}
    FormatArg(const std::u16string &s) : m_kind(Kind::Text16), m_text16(s.c_str()) {}
    FormatArg(const char *s) : m_kind(Kind::Text8), m_text8(s) {}
    FormatArg(const void *p) : m_kind(Kind::Pointer), m_pointer(p) {}
    FormatArg(std::nullptr_t) : m_kind(Kind::Pointer), m_pointer(nullptr) {}

    Kind kind() const { return m_kind; }
    std::int64_t AsSigned() const;
    std::uint64_t AsUnsigned() const;
    double AsReal() const;
    const char16_t *AsText16() const { return m_kind == Kind::Text16 ? m_text16 : nullptr; }
    const char *AsText8() const { return m_kind == Kind::Text8 ? m_text8 : nullptr; }
    const void *AsPointer() const;

  private:
    Kind m_kind;
    union {
        std::int64_t m_signed;
        std::uint64_t m_unsigned;
        double m_real;
        const char16_t *m_text16;
        const char *m_text8;
        const void *m_pointer;
    };
};

std::u16string FormatWide(std::u16string_view format, std::span<const FormatArg> args);

template <typename... Args> std::u16string FormatW(std::u16string_view format, const Args &...args)
{
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    return FormatWide(format, std::span<const FormatArg>(list, sizeof...(Args)));
}
} // namespace vxwin
