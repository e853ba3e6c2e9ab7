#include "platform/sys/Registry.h"

#include "platform/sys/DataFolder.h"
#include "platform/sys/TextConvert.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace
{
struct RegValue
{
    std::u16string name; // as written; matched without regard to ASCII case
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> bytes;
};

struct RegSection
{
    std::u16string path; // normalised: components joined by single backslashes
    std::vector<RegValue> values;
};
} // namespace

// An open key: a snapshot of the key's values taken when it was opened.
struct HKEY__
{
    HKEY hive = nullptr;
    std::u16string path;
    std::vector<RegValue> values;
};

namespace
{
std::mutex g_handlesMutex;
std::unordered_set<HKEY__ *> g_liveHandles;

char16_t FoldAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool SameName(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}

// "\a\\b\" -> "a\b": empty components are dropped.
std::u16string NormalisePath(std::u16string_view path)
{
    std::u16string out;
    std::size_t i = 0;
    while (i < path.size())
    {
        std::size_t end = path.find(u'\\', i);
        if (end == std::u16string_view::npos)
            end = path.size();
        if (end > i)
        {
            if (!out.empty())
                out.push_back(u'\\');
            out.append(path.substr(i, end - i));
        }
        i = end + 1;
    }
    return out;
}

std::u16string JoinPath(std::u16string_view base, std::u16string_view sub)
{
    std::u16string joined(base);
    joined.push_back(u'\\');
    joined.append(sub);
    return NormalisePath(joined);
}

bool IsHive(HKEY key)
{
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

std::string_view TrimLeft(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

std::string_view Trim(std::string_view s)
{
    s = TrimLeft(s);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
    {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Parses a quoted text at the start of s ("..." with \\ and \" escapes); s is left after
// the closing quote.
std::optional<std::string> ParseQuoted(std::string_view &s)
{
    if (s.empty() || s.front() != '"')
        return std::nullopt;
    std::string text;
    std::size_t i = 1;
    while (i < s.size())
    {
        const char c = s[i];
        if (c == '"')
        {
            s.remove_prefix(i + 1);
            return text;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"'))
        {
            text.push_back(s[i + 1]);
            i += 2;
            continue;
        }
        text.push_back(c);
        ++i;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ParseHexNumber(std::string_view s, std::size_t maxDigits)
{
    if (s.empty() || s.size() > maxDigits)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : s)
    {
        const int d = HexDigit(c);
        if (d < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return value;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view s)
{
    std::vector<std::uint8_t> bytes;
    s = Trim(s);
    if (s.empty())
        return bytes;
    while (true)
    {
        const std::size_t comma = s.find(',');
        const std::string_view item = Trim(s.substr(0, comma));
        const auto byte = ParseHexNumber(item, 2);
        if (!byte)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
        if (comma == std::string_view::npos)
            return bytes;
        s.remove_prefix(comma + 1);
    }
}

std::vector<std::uint8_t> TextBytes(const std::string &utf8)
{
    const std::u16string text = vxsys::Utf8ToUtf16(utf8);
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text)
    {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// The data after '=': nullopt when malformed; a value of type REG_NONE with no bytes and
// deleted set when the line removes the value.
struct ParsedData
{
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> bytes;
    bool deleted = false;
};

std::optional<ParsedData> ParseData(std::string_view s)
{
    ParsedData data;
    s = Trim(s);
    if (s == "-")
    {
        data.deleted = true;
        return data;
    }
    if (!s.empty() && s.front() == '"')
    {
        const auto text = ParseQuoted(s);
        if (!text || !Trim(s).empty())
            return std::nullopt;
        data.type = REG_SZ;
        data.bytes = TextBytes(*text);
        return data;
    }
    if (StartsWithNoCase(s, "dword:"))
    {
        const auto value = ParseHexNumber(Trim(s.substr(6)), 8);
        if (!value)
            return std::nullopt;
        data.type = REG_DWORD;
        for (int i = 0; i < 4; ++i)
            data.bytes.push_back(static_cast<std::uint8_t>(*value >> (8 * i)));
        return data;
    }
    if (StartsWithNoCase(s, "hex:"))
    {
        auto bytes = ParseHexBytes(s.substr(4));
        if (!bytes)
            return std::nullopt;
        data.type = REG_BINARY;
        data.bytes = std::move(*bytes);
        return data;
    }
    const bool isHex = StartsWithNoCase(s, "hex(");
    const bool isStr = StartsWithNoCase(s, "str(");
    if (isHex || isStr)
    {
        const std::size_t close = s.find("):");
        if (close == std::string_view::npos)
            return std::nullopt;
        const auto type = ParseHexNumber(s.substr(4, close - 4), 8);
        if (!type)
            return std::nullopt;
        data.type = *type;
        std::string_view rest = s.substr(close + 2);
        if (isHex)
        {
            auto bytes = ParseHexBytes(rest);
            if (!bytes)
                return std::nullopt;
            data.bytes = std::move(*bytes);
            return data;
        }
        rest = Trim(rest);
        const auto text = ParseQuoted(rest);
        if (!text || !Trim(rest).empty())
            return std::nullopt;
        data.bytes = TextBytes(*text);
        return data;
    }
    return std::nullopt;
}

RegSection *FindSection(std::vector<RegSection> &sections, std::u16string_view path)
{
    for (RegSection &section : sections)
        if (SameName(section.path, path))
            return &section;
    return nullptr;
}

void SetValue(RegSection &section, std::u16string name, ParsedData data)
{
    for (auto it = section.values.begin(); it != section.values.end(); ++it)
    {
        if (SameName(it->name, name))
        {
            section.values.erase(it);
            break;
        }
    }
    if (!data.deleted)
        section.values.push_back(RegValue{std::move(name), data.type, std::move(data.bytes)});
}

// The logical lines of a hive file: continuation lines joined, comments and blanks dropped; none is empty.
std::vector<std::string> LogicalLines(const std::string &content)
{
    std::vector<std::string> lines;
    std::istringstream in(content);
    std::string raw;
    std::string pending;
    bool continuing = false;
    while (std::getline(in, raw))
    {
        std::string_view line = Trim(raw);
        if (!continuing && (line.empty() || line.front() == ';'))
            continue;
        pending.append(line);
        if (!pending.empty() && pending.back() == '\\' && pending.front() != '[')
        {
            pending.pop_back();
            continuing = true;
            continue;
        }
        continuing = false;
        // A continuation that leads only into blank lines joins to nothing: no line at all.
        if (!pending.empty())
            lines.push_back(std::move(pending));
        pending.clear();
    }
    if (!pending.empty())
        lines.push_back(std::move(pending));
    return lines;
}

std::vector<RegSection> ParseHive(const std::string &file)
{
    std::vector<RegSection> sections;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return sections;
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (content.rfind("\xEF\xBB\xBF", 0) == 0)
        content.erase(0, 3);

    RegSection *current = nullptr;
    for (const std::string &lineText : LogicalLines(content))
    {
        std::string_view line = lineText;
        if (line.front() == '[')
        {
            const std::size_t close = line.rfind(']');
            current = nullptr;
            if (close == std::string_view::npos || close < 1)
                continue;
            std::string_view name = line.substr(1, close - 1);
            if (!name.empty() && name.front() == '-')
                continue; // a removed key: its values are ignored
            const std::u16string path = NormalisePath(vxsys::Utf8ToUtf16(name));
            current = FindSection(sections, path);
            if (!current)
            {
                sections.push_back(RegSection{path, {}});
                current = &sections.back();
            }
            continue;
        }
        if (!current)
            continue;

        std::u16string valueName;
        if (line.front() == '@')
        {
            line.remove_prefix(1);
        }
        else
        {
            const auto name = ParseQuoted(line);
            if (!name)
                continue;
            valueName = vxsys::Utf8ToUtf16(*name);
        }
        line = TrimLeft(line);
        if (line.empty() || line.front() != '=')
            continue;
        auto data = ParseData(line.substr(1));
        if (data)
            SetValue(*current, std::move(valueName), std::move(*data));
    }
    return sections;
}

// Fills key with the values at path of the hive; false when no such key exists.
bool LoadKey(HKEY hive, const std::u16string &path, HKEY__ &key)
{
    std::vector<RegSection> sections = ParseHive(vxsys::RegistryHiveFile(hive));
    key.hive = hive;
    key.path = path;
    key.values.clear();
    bool exists = path.empty();
    for (RegSection &section : sections)
    {
        if (SameName(section.path, path))
        {
            key.values = std::move(section.values);
            exists = true;
        }
        else if (!exists && section.path.size() > path.size() && section.path[path.size()] == u'\\' &&
                 SameName(std::u16string_view(section.path).substr(0, path.size()), path))
        {
            exists = true; // a parent of a listed key
        }
    }
    return exists;
}

// The hive and path of an open key, copied under the lock; false for an unknown handle.
bool OpenKeyPlace(HKEY key, HKEY &hive, std::u16string &path)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    const auto it = g_liveHandles.find(key);
    if (it == g_liveHandles.end())
        return false;
    hive = (*it)->hive;
    path = (*it)->path;
    return true;
}

std::string EnvOrEmpty(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}
} // namespace

namespace vxsys
{
std::string RegistryDirectory()
{
    const std::string overridden = EnvOrEmpty("VORMATIK_REGISTRY_DIR");
    if (!overridden.empty())
        return overridden;
    return UserBaseFolder("XDG_CONFIG_HOME", ".config") + "/Tarvex/registry";
}

std::string RegistryHiveFile(HKEY hive)
{
    const char *name = nullptr;
    if (hive == HKEY_CLASSES_ROOT)
        name = "HKEY_CLASSES_ROOT.reg";
    else if (hive == HKEY_CURRENT_USER)
        name = "HKEY_CURRENT_USER.reg";
    else if (hive == HKEY_LOCAL_MACHINE)
        name = "HKEY_LOCAL_MACHINE.reg";
    else
        return {};
    return RegistryDirectory() + "/" + name;
}
} // namespace vxsys

long RegOpenKeyExW(HKEY key, const char16_t *subKey, std::uint32_t /*options*/, std::uint32_t samDesired,
                   HKEY *result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;

    // The store is read-only: any right to change keys or their security is refused.
    constexpr std::uint32_t kChangeRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                                            0x00010000u /*DELETE*/ | 0x00040000u /*WRITE_DAC*/ |
                                            0x00080000u /*WRITE_OWNER*/ | 0x10000000u /*GENERIC_ALL*/ |
                                            0x40000000u /*GENERIC_WRITE*/;
    if (samDesired & kChangeRights)
        return ERROR_ACCESS_DENIED;

    HKEY hive = nullptr;
    std::u16string base;
    if (IsHive(key))
    {
        hive = key;
    }
    else if (!OpenKeyPlace(key, hive, base))
    {
        return ERROR_INVALID_HANDLE;
    }

    const std::u16string path = JoinPath(base, subKey ? std::u16string_view(subKey) : std::u16string_view());
    auto opened = std::make_unique<HKEY__>();
    if (!LoadKey(hive, path, *opened))
        return ERROR_FILE_NOT_FOUND;

    std::lock_guard<std::mutex> lock(g_handlesMutex);
    HKEY__ *handle = opened.release();
    g_liveHandles.insert(handle);
    *result = handle;
    return ERROR_SUCCESS;
}

long RegQueryValueExW(HKEY key, const char16_t *valueName, std::uint32_t * /*reserved*/, std::uint32_t *type,
                      std::uint8_t *data, std::uint32_t *dataSize)
{
    if (data && !dataSize)
        return ERROR_INVALID_PARAMETER;

    HKEY__ rootKey;
    const HKEY__ *source = nullptr;
    std::unique_lock<std::mutex> lock(g_handlesMutex, std::defer_lock);
    if (IsHive(key))
    {
        LoadKey(key, std::u16string(), rootKey);
        source = &rootKey;
    }
    else
    {
        // Held while the values are copied, so a concurrent RegCloseKey cannot free them.
        lock.lock();
        const auto it = g_liveHandles.find(key);
        if (it == g_liveHandles.end())
            return ERROR_INVALID_HANDLE;
        source = *it;
    }

    const std::u16string_view name = valueName ? std::u16string_view(valueName) : std::u16string_view();
    for (const RegValue &value : source->values)
    {
        if (!SameName(value.name, name))
            continue;
        const auto size = static_cast<std::uint32_t>(value.bytes.size());
        if (type)
            *type = value.type;
        if (!dataSize)
            return ERROR_SUCCESS;
        if (data && *dataSize < size)
        {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (data && size)
            std::memcpy(data, value.bytes.data(), size);
        *dataSize = size;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

long RegCloseKey(HKEY key)
{
    if (IsHive(key))
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    const auto it = g_liveHandles.find(key);
    if (it == g_liveHandles.end())
        return ERROR_INVALID_HANDLE;
    HKEY__ *handle = *it;
    g_liveHandles.erase(it);
    delete handle;
    return ERROR_SUCCESS;
}
