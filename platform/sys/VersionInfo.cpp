#include "platform/sys/VersionInfo.h"

#include "platform/sys/TextConvert.h"

#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr std::size_t kHeaderSize = 6;

std::uint16_t Read16(const unsigned char *b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::size_t Align4(std::size_t n)
{
    return (n + 3) & ~std::size_t{3};
}

char16_t FoldAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

struct Node
{
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t keyStart = 0;
    std::size_t keyChars = 0;
    std::size_t valueStart = 0;
    std::uint16_t valueLength = 0;
    std::size_t children = 0;
};

// Reads the node at start; everything it describes must lie within limit.
bool ParseNode(const unsigned char *b, std::size_t start, std::size_t limit, Node &node)
{
    if (start + kHeaderSize > limit)
        return false;
    const std::size_t length = Read16(b, start);
    if (length < kHeaderSize || start + length > limit)
        return false;
    node.start = start;
    node.end = start + length;
    node.valueLength = Read16(b, start + 2);
    const bool text = Read16(b, start + 4) == 1;

    node.keyStart = start + kHeaderSize;
    std::size_t at = node.keyStart;
    while (at + 2 <= node.end && Read16(b, at) != 0)
        at += 2;
    if (at + 2 > node.end)
        return false; // key without terminator
    node.keyChars = (at - node.keyStart) / 2;

    const std::size_t valueBytes = text ? std::size_t{node.valueLength} * 2 : node.valueLength;
    node.valueStart = Align4(at + 2);
    if (valueBytes == 0)
    {
        node.valueStart = std::min(node.valueStart, node.end);
        node.children = node.valueStart;
        return true;
    }
    if (node.valueStart + valueBytes > node.end)
        return false;
    node.children = std::min(Align4(node.valueStart + valueBytes), node.end);
    return true;
}

bool KeyIs(const unsigned char *b, const Node &node, std::u16string_view name)
{
    if (node.keyChars != name.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (FoldAscii(Read16(b, node.keyStart + 2 * i)) != FoldAscii(name[i]))
            return false;
    return true;
}

bool FindChild(const unsigned char *b, const Node &parent, std::u16string_view name, Node &found)
{
    std::size_t at = parent.children;
    while (at + kHeaderSize <= parent.end)
    {
        Node child;
        if (!ParseNode(b, at, parent.end, child))
            return false;
        if (KeyIs(b, child, name))
        {
            found = child;
            return true;
        }
        at = Align4(child.end);
    }
    return false;
}

class FileCloser
{
  public:
    explicit FileCloser(int fd) : m_fd(fd) {}
    ~FileCloser()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FileCloser(const FileCloser &) = delete;
    FileCloser &operator=(const FileCloser &) = delete;

  private:
    int m_fd;
};

bool ReadAt(int fd, void *out, std::size_t size, std::uint64_t offset, std::uint64_t fileSize)
{
    if (offset > fileSize || size > fileSize - offset)
        return false;
    auto *p = static_cast<unsigned char *>(out);
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t n = pread(fd, p + done, size - done, static_cast<off_t>(offset + done));
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The version block in the ELF file's section of that name, checked to be a whole node.
std::optional<std::vector<unsigned char>> ReadVersionBlock(const char16_t *fileName)
{
    if (!fileName || !*fileName)
        return std::nullopt;
    const std::string path = vxsys::Utf16ToUtf8(fileName);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    FileCloser closer(fd);
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);

    ElfW(Ehdr) header;
    if (!ReadAt(fd, &header, sizeof header, 0, fileSize) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return std::nullopt;
    constexpr unsigned char kClass = sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32;
    if (header.e_ident[EI_CLASS] != kClass || header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_shoff == 0 ||
        header.e_shentsize != sizeof(ElfW(Shdr)))
        return std::nullopt;

    ElfW(Shdr) first;
    if (!ReadAt(fd, &first, sizeof first, header.e_shoff, fileSize))
        return std::nullopt;
    std::uint64_t count = header.e_shnum ? header.e_shnum : first.sh_size;
    std::uint64_t namesIndex = header.e_shstrndx == SHN_XINDEX ? first.sh_link : header.e_shstrndx;
    if (count == 0 || count > (fileSize / sizeof(ElfW(Shdr))) || namesIndex >= count)
        return std::nullopt;
    std::vector<ElfW(Shdr)> sections(count);
    if (!ReadAt(fd, sections.data(), count * sizeof(ElfW(Shdr)), header.e_shoff, fileSize))
        return std::nullopt;

    const ElfW(Shdr) &namesSection = sections[namesIndex];
    if (namesSection.sh_type == SHT_NOBITS || namesSection.sh_size > (1u << 24))
        return std::nullopt;
    std::vector<char> names(namesSection.sh_size);
    if (!ReadAt(fd, names.data(), names.size(), namesSection.sh_offset, fileSize))
        return std::nullopt;

    const std::string_view wanted = VX_VERSION_BLOCK_SECTION;
    for (const ElfW(Shdr) & section : sections)
    {
        if (section.sh_name >= names.size() || section.sh_type == SHT_NOBITS)
            continue;
        const std::size_t maxName = names.size() - section.sh_name;
        const std::string_view name(names.data() + section.sh_name,
                                    strnlen(names.data() + section.sh_name, maxName));
        if (name != wanted)
            continue;
        const std::size_t size = std::min<std::uint64_t>(section.sh_size, 0xFFFF);
        if (size < kHeaderSize)
            return std::nullopt;
        std::vector<unsigned char> block(size);
        if (!ReadAt(fd, block.data(), size, section.sh_offset, fileSize))
            return std::nullopt;
        Node root;
        if (!ParseNode(block.data(), 0, block.size(), root))
            return std::nullopt;
        block.resize(root.end);
        return block;
    }
    return std::nullopt;
}
} // namespace

int VerQueryValueW(const void *block, const char16_t *subBlock, void **buffer, std::uint32_t *length)
{
    if (!block || !subBlock || !buffer || !length)
        return 0;
    const auto *b = static_cast<const unsigned char *>(block);
    Node node;
    if (!ParseNode(b, 0, Read16(b, 0), node))
        return 0;

    std::u16string_view path(subBlock);
    while (!path.empty())
    {
        const std::size_t sep = path.find(u'\\');
        const std::u16string_view part = path.substr(0, sep);
        path = sep == std::u16string_view::npos ? std::u16string_view() : path.substr(sep + 1);
        if (part.empty())
            continue;
        Node child;
        if (!FindChild(b, node, part, child))
            return 0;
        node = child;
    }
    *buffer = const_cast<unsigned char *>(b + node.valueStart);
    *length = node.valueLength;
    return 1;
}

std::uint32_t GetFileVersionInfoSizeW(const char16_t *fileName, std::uint32_t *handle)
{
    if (handle)
        *handle = 0;
    const auto block = ReadVersionBlock(fileName);
    return block ? static_cast<std::uint32_t>(block->size()) : 0;
}

int GetFileVersionInfoW(const char16_t *fileName, std::uint32_t /*handle*/, std::uint32_t length, void *data)
{
    if (!data)
        return 0;
    const auto block = ReadVersionBlock(fileName);
    if (!block || block->size() > length)
        return 0;
    std::memcpy(data, block->data(), block->size());
    return 1;
}
