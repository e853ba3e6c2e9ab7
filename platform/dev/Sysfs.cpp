#include "platform/dev/Sysfs.h"

#include "platform/dev/DevRoots.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace vxdev
{
namespace
{
// Answers kept by path, with their bytes in one arena. Clearing keeps the storage, so once the tables
// have grown to what one call needs, a call's memo costs no allocation at all.
class AnswerTable
{
  public:
    struct Answer
    {
        int kind = 0;           // the reader's own meaning
        std::size_t at = 0;     // where its bytes lie (View)
        std::size_t length = 0; // how many bytes
    };

    // The answer kept for key; nothing when there is none.
    std::optional<Answer> Find(std::string_view key) const
    {
        if (m_slots.empty())
            return std::nullopt;
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t slot = std::hash<std::string_view>{}(key)&mask;; slot = (slot + 1) & mask)
        {
            const std::uint32_t number = m_slots[slot];
            if (number == 0)
                return std::nullopt;
            const Entry &entry = m_entries[number - 1];
            if (View(entry.keyAt, entry.keyLength) == key)
                return entry.answer;
        }
    }

    Answer Add(std::string_view key, int kind, std::string_view bytes)
    {
        if ((m_entries.size() + 1) * 2 > m_slots.size())
            Grow();
        Entry entry;
        entry.keyAt = m_arena.size();
        entry.keyLength = key.size();
        m_arena.append(key);
        entry.answer.kind = kind;
        entry.answer.at = m_arena.size();
        entry.answer.length = bytes.size();
        m_arena.append(bytes);
        m_entries.push_back(entry);
        Place(m_entries.size() - 1);
        return entry.answer;
    }

    // Bytes of the arena; valid until the next Add or Clear.
    std::string_view View(std::size_t at, std::size_t length) const
    {
        return std::string_view(m_arena).substr(at, length);
    }

    void Clear()
    {
        if (m_entries.empty())
            return;
        m_arena.clear();
        m_entries.clear();
        std::fill(m_slots.begin(), m_slots.end(), 0u);
    }

  private:
    struct Entry
    {
        std::size_t keyAt = 0;
        std::size_t keyLength = 0;
        Answer answer;
    };

    void Place(std::size_t index)
    {
        const Entry &entry = m_entries[index];
        const std::size_t mask = m_slots.size() - 1;
        std::size_t slot = std::hash<std::string_view>{}(View(entry.keyAt, entry.keyLength)) & mask;
        while (m_slots[slot] != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = static_cast<std::uint32_t>(index + 1);
    }

    void Grow()
    {
        m_slots.assign(std::max<std::size_t>(256, m_slots.size() * 2), 0u);
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            Place(i);
    }

    std::string m_arena;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_slots; // entry number + 1, 0 for a free slot; a power of two in size
};

// What readlink() said of a path (the kind of a link table answer; the bytes are a link's target).
enum LinkKind
{
    kNotLink, // no link: the path exists
    kLink,
    kLinkFailed,
    kLinkTooLong, // a target that fills the whole buffer: left to realpath()
};

// What the readers learnt within the outermost SysfsCallScope of this thread.
struct CallMemo
{
    int depth = 0;
    AnswerTable links;    // kind: LinkKind; bytes: the target
    AnswerTable files;    // kind: 1 read, 0 not; bytes: the file's
    AnswerTable modes;    // kind: stat()'s st_mode, -1 for no such path
    AnswerTable listings; // bytes: each name followed by a zero byte
    bool haveRoot = false;
    std::string rootText;      // SysfsRoot() when the root below was resolved
    std::string canonicalRoot; // what it resolved to

    void Forget()
    {
        links.Clear();
        files.Clear();
        modes.Clear();
        listings.Clear();
        haveRoot = false;
    }
};

CallMemo &ThreadMemo()
{
    thread_local CallMemo memo;
    return memo;
}

// procfs answers change with the caller's own doings (a descriptor closed and its number reused), so
// nothing there is kept.
bool UnderProc(std::string_view path)
{
    return path.substr(0, 5) == "/proc" && (path.size() == 5 || path[5] == '/');
}

// The memo of this thread when a scope is open and path may be kept, else null: the reader then asks
// the kernel.
CallMemo *MemoFor(std::string_view path)
{
    CallMemo &memo = ThreadMemo();
    return memo.depth > 0 && !UnderProc(path) ? &memo : nullptr;
}

int ReadLink(const char *path, char (&target)[PATH_MAX], std::size_t &length)
{
    const ssize_t n = ::readlink(path, target, sizeof target);
    length = 0;
    if (n < 0)
        return errno == EINVAL ? kNotLink : kLinkFailed;
    if (static_cast<std::size_t>(n) >= sizeof target)
        return kLinkTooLong;
    length = static_cast<std::size_t>(n);
    return kLink;
}

enum class Walk
{
    Resolved,
    Failed,
    LeftToRealpath,
};

// realpath()'s walk over the components of an absolute path, with each readlink() answer taken from
// the memo: a component is a link (its target's components are walked in its place) or it is not (and
// exists); any other answer fails the path, as it fails realpath(). What this walk does not take on is
// left to realpath(): "." and ".." components (but for the leading run of ".." in a relative link
// target, which only climbs from the link's folder), a trailing slash (both make realpath() check that
// what precedes them is a folder), and anything under /proc, too long or linked too often.
Walk WalkRemembered(CallMemo &memo, const std::string &path, std::string &result)
{
    constexpr int kMaxLinks = 40; // realpath()'s limit before ELOOP
    if (path.empty() || path.front() != '/' || path.back() == '/')
        return Walk::LeftToRealpath;
    // The text still to walk: the path, then the target of each link met, innermost last. A target's
    // bytes lie in the link table's arena, which may move as answers are added: levels hold offsets.
    struct Level
    {
        bool inArena = false;
        bool climbing = false;
        std::size_t at = 0;
        std::size_t end = 0;
    };
    Level levels[kMaxLinks + 1];
    int depth = 0;
    levels[depth++] = Level{false, false, 0, path.size()};
    int links = 0;
    // The path resolved so far, "" for the root; on the stack, as the walk makes and unmakes it.
    char resolved[PATH_MAX];
    std::size_t length = 0;
    while (depth > 0)
    {
        Level &level = levels[depth - 1];
        const std::string_view text = level.inArena
                                          ? memo.links.View(level.at, level.end - level.at)
                                          : std::string_view(path).substr(level.at, level.end - level.at);
        std::size_t skip = 0;
        while (skip < text.size() && text[skip] == '/')
            ++skip;
        if (skip == text.size())
        {
            --depth;
            continue;
        }
        const std::string_view name = text.substr(skip, text.find('/', skip) - skip);
        level.at += skip + name.size();
        if (name == "..")
        {
            if (!level.climbing)
                return Walk::LeftToRealpath;
            while (length > 0 && resolved[--length] != '/')
            {
            }
            continue;
        }
        level.climbing = false;
        if (name == ".")
            return Walk::LeftToRealpath;
        const std::size_t parent = length;
        if (length + 1 + name.size() >= PATH_MAX)
            return Walk::LeftToRealpath;
        resolved[length++] = '/';
        name.copy(resolved + length, name.size());
        length += name.size();
        resolved[length] = '\0';
        const std::string_view sofar(resolved, length);
        if (UnderProc(sofar))
            return Walk::LeftToRealpath;
        std::optional<AnswerTable::Answer> answer = memo.links.Find(sofar);
        if (!answer)
        {
            char target[PATH_MAX];
            std::size_t targetLength = 0;
            const int kind = ReadLink(resolved, target, targetLength);
            answer = memo.links.Add(sofar, kind, std::string_view(target, targetLength));
        }
        switch (answer->kind)
        {
        case kNotLink:
            break;
        case kLinkFailed:
            return Walk::Failed;
        case kLink: {
            const std::string_view target = memo.links.View(answer->at, answer->length);
            if (++links > kMaxLinks || target.empty() || target.back() == '/')
                return Walk::LeftToRealpath;
            length = target.front() == '/' ? 0 : parent;
            levels[depth++] = Level{true, target.front() != '/', answer->at, answer->at + answer->length};
            break;
        }
        default:
            return Walk::LeftToRealpath;
        }
    }
    result = length == 0 ? std::string("/") : std::string(resolved, length);
    return Walk::Resolved;
}

std::optional<std::string> RealPath(const std::string &path)
{
    // Into a buffer of our own: the enumeration resolves thousands of paths, and a result allocated
    // for each one (of PATH_MAX bytes under the sanitizers) is a good part of its cost.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr)
        return std::nullopt;
    return std::string(resolved);
}

std::optional<mode_t> ModeOf(const std::string &path)
{
    CallMemo *memo = MemoFor(path);
    if (memo)
    {
        if (const auto known = memo->modes.Find(path))
            return known->kind < 0 ? std::nullopt : std::optional<mode_t>(static_cast<mode_t>(known->kind));
    }
    struct stat st
    {
    };
    const std::optional<mode_t> mode =
        stat(path.c_str(), &st) == 0 ? std::optional<mode_t>(st.st_mode) : std::nullopt;
    if (memo)
        memo->modes.Add(path, mode ? static_cast<int>(*mode) : -1, {});
    return mode;
}

// The whole file, read with plain system calls into one buffer on the stack: a sysfs attribute is
// at most a page, and an enumeration reads hundreds of them, so no stream with a buffer of its own is
// set up for each.
bool ReadFileNow(const std::string &path, std::string &bytes)
{
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    char buffer[4096];
    for (;;)
    {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            ::close(fd);
            bytes.clear();
            return false;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

// The file's bytes; false when it cannot be read. They stay valid until the next read on the thread
// (or, within a scope, until its outermost one ends).
bool ReadWholeFile(const std::string &path, std::string_view &bytes)
{
    // Read into a buffer of the thread's that keeps its storage, so that reading costs no allocation.
    thread_local std::string buffer;
    CallMemo *memo = MemoFor(path);
    if (memo)
    {
        if (const auto known = memo->files.Find(path))
        {
            bytes = memo->files.View(known->at, known->length);
            return known->kind == 1;
        }
    }
    const bool ok = ReadFileNow(path, buffer);
    bytes = buffer;
    if (memo)
    {
        const AnswerTable::Answer answer = memo->files.Add(path, ok ? 1 : 0, bytes);
        bytes = memo->files.View(answer.at, answer.length);
    }
    return ok;
}

// With getdents64() into a buffer on the stack: opendir() allocates a buffer of 32 KiB for every
// folder, and an enumeration lists dozens.
std::vector<std::string> ListDirNow(const std::string &dir)
{
    std::vector<std::string> names;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return names;
    alignas(8) char buffer[8192];
    for (;;)
    {
        const ssize_t n = ::getdents64(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;)
        {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
            // A record that does not fit what was read, or that would not move on, ends the listing
            // rather than reading past the buffer or looping.
            const ssize_t nameAt = at + static_cast<ssize_t>(offsetof(dirent64, d_name));
            if (entry->d_reclen == 0 || nameAt >= n || at + entry->d_reclen > n)
                break;
            const std::size_t room = static_cast<std::size_t>(at + entry->d_reclen - nameAt);
            const std::string_view name(entry->d_name, ::strnlen(entry->d_name, room));
            if (name != "." && name != "..")
                names.emplace_back(name);
            at += entry->d_reclen;
        }
    }
    ::close(fd);
    return names;
}

// dir + "/" + name, in a buffer of the thread's that keeps its storage: an enumeration reads hundreds
// of attributes. Valid until the next call on the thread.
const std::string &AttrPath(const std::string &dir, std::string_view name)
{
    thread_local std::string path;
    path.assign(dir).append("/").append(name);
    return path;
}
} // namespace

SysfsCallScope::SysfsCallScope()
{
    ++ThreadMemo().depth;
}

SysfsCallScope::~SysfsCallScope()
{
    CallMemo &memo = ThreadMemo();
    if (--memo.depth == 0)
        memo.Forget();
}

std::optional<std::string> ReadAttr(const std::string &dir, const std::string &name)
{
    std::string_view text;
    if (!ReadWholeFile(AttrPath(dir, name), text))
        return std::nullopt;
    const auto isBlank = [](char c) { return c == '\n' || c == ' ' || c == '\t' || c == '\r'; };
    std::size_t end = text.size();
    while (end > 0 && isBlank(text[end - 1]))
        --end;
    std::size_t start = 0;
    while (start < end && isBlank(text[start]))
        ++start;
    return std::string(text.substr(start, end - start));
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
    std::string_view bytes;
    if (!ReadWholeFile(AttrPath(dir, name), bytes))
        return std::nullopt;
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

std::vector<std::string> ListDir(const std::string &dir)
{
    CallMemo *memo = MemoFor(dir);
    if (memo)
    {
        if (const auto known = memo->listings.Find(dir))
        {
            std::vector<std::string> names;
            std::string_view rest = memo->listings.View(known->at, known->length);
            while (!rest.empty())
            {
                const std::size_t end = rest.find('\0');
                names.emplace_back(rest.substr(0, end));
                rest.remove_prefix(end + 1);
            }
            return names;
        }
    }
    std::vector<std::string> names = ListDirNow(dir);
    if (memo)
    {
        std::string joined;
        for (const std::string &name : names)
        {
            joined += name;
            joined += '\0';
        }
        memo->listings.Add(dir, 1, joined);
    }
    return names;
}

std::optional<std::string> Canonical(const std::string &path)
{
    CallMemo *memo = MemoFor(path);
    if (memo == nullptr)
        return RealPath(path);
    std::string resolved;
    switch (WalkRemembered(*memo, path, resolved))
    {
    case Walk::Resolved:
        return resolved;
    case Walk::Failed:
        return std::nullopt;
    case Walk::LeftToRealpath:
        break;
    }
    return RealPath(path);
}

bool HasEntry(const std::string &dir, std::string_view name)
{
    return ModeOf(AttrPath(dir, name)).has_value();
}

std::string CanonicalSysfsRoot()
{
    std::string text = SysfsRoot();
    CallMemo &memo = ThreadMemo();
    if (memo.depth > 0 && memo.haveRoot && memo.rootText == text)
        return memo.canonicalRoot;
    std::string root = Canonical(text).value_or(text);
    if (memo.depth > 0)
    {
        memo.rootText = std::move(text);
        memo.canonicalRoot = root;
        memo.haveRoot = true;
    }
    return root;
}

std::string RelativeToSysfs(const std::string &canonicalPath)
{
    const std::string root = CanonicalSysfsRoot();
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
    const std::optional<mode_t> mode = ModeOf(path);
    return mode && S_ISDIR(*mode);
}

bool Exists(const std::string &path)
{
    return ModeOf(path).has_value();
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
