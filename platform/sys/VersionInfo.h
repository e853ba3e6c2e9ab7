#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>

// Version blocks in the layout the program reads: a tree of nodes, each
//   16-bit length of the node, 16-bit length of its value, 16-bit type (1 text, 0 binary),
//   its zero-terminated UTF-16 key, padding to 4 bytes, the value, padding to 4 bytes,
//   its child nodes (each starting on a 4-byte boundary),
// all little-endian, under the root "VS_VERSION_INFO" whose value is the fixed file info.
// Children of the root: "StringFileInfo" with one table per language and code page (keyed
// "%04x%04x") of name/text pairs, and "VarFileInfo" with "Translation", a list of
// (16-bit language, 16-bit code page) pairs.
//
// A module carries its block in the ELF section VX_VERSION_BLOCK_SECTION; the block is
// read from the module's file, as a version resource is.

#define VX_VERSION_BLOCK_SECTION ".vx.version"

#ifndef VS_FFI_SIGNATURE
#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u
#define VS_FFI_FILEFLAGSMASK 0x0000003Fu
#endif
#ifndef VFT_APP
#define VFT_UNKNOWN 0u
#define VFT_APP 1u
#define VFT_DLL 2u
#endif

struct VS_FIXEDFILEINFO
{
    std::uint32_t dwSignature;
    std::uint32_t dwStrucVersion;
    std::uint32_t dwFileVersionMS;
    std::uint32_t dwFileVersionLS;
    std::uint32_t dwProductVersionMS;
    std::uint32_t dwProductVersionLS;
    std::uint32_t dwFileFlagsMask;
    std::uint32_t dwFileFlags;
    std::uint32_t dwFileOS;
    std::uint32_t dwFileType;
    std::uint32_t dwFileSubtype;
    std::uint32_t dwFileDateMS;
    std::uint32_t dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

// Finds the node at subBlock ("\" the root's fixed info, "\VarFileInfo\Translation",
// "\StringFileInfo\040904b0\ProductName"; keys match without regard to ASCII case) and
// points *buffer at its value: *length is in characters for text values, else in bytes.
// Returns 1 when found, else 0. The block must be a whole block as GetFileVersionInfoW
// delivers it: reading stays within the root node's length.
int VerQueryValueW(const void *block, const char16_t *subBlock, void **buffer, std::uint32_t *length);

// The size of the version block carried by the file, or 0 when it has none (not an ELF
// file of this machine, no block, a damaged block). *handle is set to 0.
std::uint32_t GetFileVersionInfoSizeW(const char16_t *fileName, std::uint32_t *handle);

// Copies the file's version block into data; 0 when the file has none or length is
// smaller than the block.
int GetFileVersionInfoW(const char16_t *fileName, std::uint32_t handle, std::uint32_t length, void *data);

namespace vxsys
{
struct VersionString
{
    std::u16string_view name;
    std::u16string_view value;
};

struct VersionStringTable
{
    std::uint16_t language;
    std::uint16_t codePage;
    std::span<const VersionString> strings;
};

struct VersionTranslation
{
    std::uint16_t language;
    std::uint16_t codePage;
};

struct VersionBlockSpec
{
    VS_FIXEDFILEINFO fixed;
    std::span<const VersionStringTable> tables;       // none: no StringFileInfo node
    std::span<const VersionTranslation> translations; // none: no VarFileInfo node
};

inline constexpr std::size_t kVersionBlockCapacity = 4096;

// A block padded with zeros to a fixed capacity; the root node's length is its true size.
using VersionBlockBytes = std::array<unsigned char, kVersionBlockCapacity>;

constexpr VS_FIXEDFILEINFO MakeFixedFileInfo(std::uint16_t major, std::uint16_t minor, std::uint16_t patch,
                                             std::uint16_t tweak, std::uint32_t fileType)
{
    const std::uint32_t ms = (std::uint32_t{major} << 16) | minor;
    const std::uint32_t ls = (std::uint32_t{patch} << 16) | tweak;
    return VS_FIXEDFILEINFO{
        VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION, ms, ls, ms, ls, VS_FFI_FILEFLAGSMASK, 0, 0, fileType, 0, 0, 0};
}

namespace detail
{
class VersionBlockWriter
{
  public:
    constexpr void Put16(std::uint16_t v)
    {
        Reserve(2);
        m_bytes[m_pos++] = static_cast<unsigned char>(v & 0xFF);
        m_bytes[m_pos++] = static_cast<unsigned char>(v >> 8);
    }
    constexpr void Put32(std::uint32_t v)
    {
        Put16(static_cast<std::uint16_t>(v & 0xFFFF));
        Put16(static_cast<std::uint16_t>(v >> 16));
    }
    constexpr void PutText(std::u16string_view text)
    {
        for (char16_t c : text)
            Put16(c);
        Put16(0);
    }
    constexpr void Align4()
    {
        while (m_pos % 4)
        {
            Reserve(1);
            m_bytes[m_pos++] = 0;
        }
    }
    // Writes the header and key; the node's length is filled in by EndNode.
    constexpr std::size_t BeginNode(std::u16string_view key, std::uint16_t valueLength, std::uint16_t type)
    {
        Align4();
        const std::size_t start = m_pos;
        Put16(0);
        Put16(valueLength);
        Put16(type);
        PutText(key);
        Align4();
        return start;
    }
    constexpr void EndNode(std::size_t start)
    {
        const std::size_t length = m_pos - start;
        m_bytes[start] = static_cast<unsigned char>(length & 0xFF);
        m_bytes[start + 1] = static_cast<unsigned char>(length >> 8);
    }
    constexpr const VersionBlockBytes &Bytes() const { return m_bytes; }

  private:
    constexpr void Reserve(std::size_t n)
    {
        if (m_pos + n > m_bytes.size())
            throw std::length_error("version block too large");
    }

    VersionBlockBytes m_bytes{};
    std::size_t m_pos = 0;
};

constexpr std::array<char16_t, 8> TableKey(std::uint16_t language, std::uint16_t codePage)
{
    constexpr char16_t digits[] = u"0123456789abcdef";
    const std::uint32_t both = (std::uint32_t{language} << 16) | codePage;
    std::array<char16_t, 8> key{};
    for (int i = 0; i < 8; ++i)
        key[static_cast<std::size_t>(i)] = digits[(both >> (4 * (7 - i))) & 0xF];
    return key;
}
} // namespace detail

// Lays out a version block; usable at compile time, so a module can carry the result in
// its read-only data.
constexpr VersionBlockBytes BuildVersionBlock(const VersionBlockSpec &spec)
{
    detail::VersionBlockWriter w;
    const std::size_t root = w.BeginNode(u"VS_VERSION_INFO", sizeof(VS_FIXEDFILEINFO), 0);
    const VS_FIXEDFILEINFO &f = spec.fixed;
    for (std::uint32_t word : {f.dwSignature, f.dwStrucVersion, f.dwFileVersionMS, f.dwFileVersionLS,
                               f.dwProductVersionMS, f.dwProductVersionLS, f.dwFileFlagsMask, f.dwFileFlags,
                               f.dwFileOS, f.dwFileType, f.dwFileSubtype, f.dwFileDateMS, f.dwFileDateLS})
        w.Put32(word);

    if (!spec.tables.empty())
    {
        const std::size_t info = w.BeginNode(u"StringFileInfo", 0, 1);
        for (const VersionStringTable &table : spec.tables)
        {
            const auto key = detail::TableKey(table.language, table.codePage);
            const std::size_t tableNode = w.BeginNode(std::u16string_view(key.data(), key.size()), 0, 1);
            for (const VersionString &s : table.strings)
            {
                const std::size_t node =
                    w.BeginNode(s.name, static_cast<std::uint16_t>(s.value.size() + 1), 1);
                w.PutText(s.value);
                w.EndNode(node);
            }
            w.EndNode(tableNode);
        }
        w.EndNode(info);
    }

    if (!spec.translations.empty())
    {
        const std::size_t info = w.BeginNode(u"VarFileInfo", 0, 1);
        const std::size_t var =
            w.BeginNode(u"Translation", static_cast<std::uint16_t>(spec.translations.size() * 4), 0);
        for (const VersionTranslation &t : spec.translations)
        {
            w.Put16(t.language);
            w.Put16(t.codePage);
        }
        w.EndNode(var);
        w.EndNode(info);
    }
    w.EndNode(root);
    return w.Bytes();
}
} // namespace vxsys
