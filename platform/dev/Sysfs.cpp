#include "platform/dev/Sysfs.h"

#include "platform/dev/DevRoots.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vxdev
{
namespace
{
// The whole file, read with plain system calls into one buffer on the stack: a sysfs attribute is
// at most a page, and an enumeration reads hundreds of them, so no stream with a buffer of its own is
// set up for each.
std::optional<std::string> ReadWholeFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::string bytes;
    char buffer[4096];
    for (;;)
    {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}
} // namespace

std::optional<std::string> ReadAttr(const std::string &dir, const std::string &name)
{
    std::optional<std::string> read = ReadWholeFile(dir + "/" + name);
    if (!read)
        return std::nullopt;
    const std::string &text = *read;
    const auto isBlank = [](char c) { return c == '\n' || c == ' ' || c == '\t' || c == '\r'; };
    std::size_t end = text.size();
    while (end > 0 && isBlank(text[end - 1]))
        --end;
    std::size_t start = 0;
    while (start < end && isBlank(text[start]))
        ++start;
    return text.substr(start, end - start);
}

std::optional<unsigned long> ReadHexAttr(const std::string &dir, const std::string &name)
{
    auto text = ReadAttr(dir, name);
    if (!text || text->empty())
        return std::nullopt;
    char *end = nullptr;
    const unsigned long value = std::strtoul(text->c_str(), &end, 16);
    if (end == text->c_str() || *end != '\0')
        return std::nullopt;
    return value;
}

std::optional<long> ReadDecAttr(const std::string &dir, const std::string &name)
{
    auto text = ReadAttr(dir, name);
    if (!text || text->empty())
        return std::nullopt;
    char *end = nullptr;
    const long value = std::strtol(text->c_str(), &end, 10);
    if (end == text->c_str() || *end != '\0')
        return std::nullopt;
    return value;
}

std::optional<std::vector<unsigned char>> ReadBinaryAttr(const std::string &dir, const std::string &name)
{
    const std::optional<std::string> read = ReadWholeFile(dir + "/" + name);
    if (!read)
        return std::nullopt;
    return std::vector<unsigned char>(read->begin(), read->end());
}

std::vector<std::string> ListDir(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (d == nullptr)
        return names;
    while (const dirent *entry = readdir(d))
    {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(d);
    return names;
}

std::optional<std::string> Canonical(const std::string &path)
{
    // Into a buffer of our own: the enumeration resolves thousands of paths, and a result allocated
    // for each one (of PATH_MAX bytes under the sanitizers) is a good part of its cost.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr)
        return std::nullopt;
    return std::string(resolved);
}

std::string RelativeToSysfs(const std::string &canonicalPath)
{
    const std::string root = Canonical(SysfsRoot()).value_or(SysfsRoot());
    const std::string prefix = root == "/" ? "/" : root + "/";
    if (canonicalPath.compare(0, prefix.size(), prefix) == 0)
        return canonicalPath.substr(prefix.size());
    return canonicalPath;
}

std::string BaseName(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool IsDirectory(const std::string &path)
{
    struct stat st
    {
    };
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string &path)
{
    struct stat st
    {
    };
    return stat(path.c_str(), &st) == 0;
}

bool NaturalLess(const std::string &a, const std::string &b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size())
    {
        if (isDigit(a[i]) && isDigit(b[j]))
        {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            // Compare by value: strip leading zeros, then by length, then lexically.
            std::size_t si = i;
            std::size_t sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int cmp = a.compare(si, ei - si, b, sj, ej - sj);
            if (cmp != 0)
                return cmp < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

unsigned int StableHash(const std::string &text)
{
    unsigned int hash = 2166136261u;
    for (const unsigned char c : text)
    {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

std::string ToUpperAscii(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return text;
}

std::string ToLowerAscii(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return text;
}
} // namespace vxdev
