#include "platform/dev/Sysfs.h"

#include "platform/dev/DevRoots.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace vxdev
{
std::optional<std::string> ReadAttr(const std::string &dir, const std::string &name)
{
    std::ifstream in(dir + "/" + name, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    const auto isBlank = [](char c) { return c == '\n' || c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && isBlank(text.back()))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    return text.substr(start);
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
    std::ifstream in(dir + "/" + name, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
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
    char *resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    std::string result = resolved;
    std::free(resolved);
    return result;
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
