#include "platform/sys/InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::mutex g_mutex;
std::map<std::string, int> g_held; // lock path -> open lock file, never closed

// Only letters, digits, '.', '-' and '_' survive; anything else (a '/', a NUL, a lone
// surrogate) becomes '_', so the name can never leave the folder.
std::string FileStem(std::u16string_view name)
{
    std::string stem;
    for (char16_t ch : name)
    {
        const bool plain = (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') ||
                           (ch >= u'0' && ch <= u'9') || ch == u'-' || ch == u'_' ||
                           (ch == u'.' && !stem.empty());
        stem += plain ? static_cast<char>(ch) : '_';
    }
    return stem.empty() ? std::string("_") : stem;
}

// A folder of our own: a real folder (not a link), owned by us, closed to others. A folder we
// made ourselves may be narrowed again when it was opened; one we were handed (the runtime folder)
// is left as it is, since it may be shared by others.
bool IsPrivateFolder(const std::string &path, bool mayNarrow)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) == 0)
        return true;
    return mayNarrow && ::chmod(path.c_str(), 0700) == 0;
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// An absolute path from the environment; empty when unset or relative (such a value is ignored).
std::string AbsoluteFromEnv(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value == '/' ? WithoutTrailingSlashes(value) : std::string();
}

// The folder below the temporary folder; it is made when missing.
std::string TemporaryCandidate()
{
    std::string base = AbsoluteFromEnv("TMPDIR");
    if (base.empty())
        base = "/tmp";
    const std::string folder = (base == "/" ? "" : base) + "/vormatik-" + std::to_string(::geteuid());
    ::mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder, true) ? folder : std::string();
}

// <xdg folder>/Vormatik/instance below the user's state or cache folder, made (with the folders
// above it that are missing) when missing.
std::string HomeCandidate(const char *xdgName, const char *homeRelative)
{
    std::string base = AbsoluteFromEnv(xdgName);
    if (base.empty())
    {
        const std::string home = AbsoluteFromEnv("HOME");
        if (home.empty())
            return {};
        base = (home == "/" ? "" : home) + homeRelative;
    }
    const std::string folder = (base == "/" ? "" : base) + "/Vormatik/instance";
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder, true) ? folder : std::string();
}
} // namespace

namespace vxsys
{
std::string InstanceFolder()
{
    // Each candidate in turn, the first that is ours alone: a folder another user made first, a
    // link, or a folder others may write into would let them hold our lock or plant its file.
    const std::string runtime = AbsoluteFromEnv("XDG_RUNTIME_DIR");
    if (!runtime.empty() && IsPrivateFolder(runtime, false))
        return runtime;
    if (std::string folder = TemporaryCandidate(); !folder.empty())
        return folder;
    if (std::string folder = HomeCandidate("XDG_STATE_HOME", "/.local/state"); !folder.empty())
        return folder;
    if (std::string folder = HomeCandidate("XDG_CACHE_HOME", "/.cache"); !folder.empty())
        return folder;
    return {};
}

std::string InstanceLockPath(std::u16string_view name)
{
    const std::string folder = InstanceFolder();
    return folder.empty() ? folder : folder + "/" + FileStem(name) + ".lock";
}

std::string InstanceSocketPath(std::u16string_view name)
{
    const std::string folder = InstanceFolder();
    return folder.empty() ? folder : folder + "/" + FileStem(name) + ".socket";
}

InstanceLockResult AcquireInstanceLock(std::u16string_view name)
{
    const std::string path = InstanceLockPath(name);
    if (path.empty())
        return InstanceLockResult::Failed;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return InstanceLockResult::Failed;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0)
    {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? InstanceLockResult::Another : InstanceLockResult::Failed;
    }
    ::unlink(InstanceSocketPath(name).c_str());
    std::lock_guard lock(g_mutex);
    g_held.emplace(path, fd);
    return InstanceLockResult::First;
}

bool HoldsInstanceLock(std::u16string_view name)
{
    const std::string path = InstanceLockPath(name);
    std::lock_guard lock(g_mutex);
    return !path.empty() && g_held.count(path) != 0;
}

bool IsInstanceLockTaken(std::u16string_view name)
{
    if (HoldsInstanceLock(name))
        return true;
    const std::string path = InstanceLockPath(name);
    if (path.empty())
        return false;
    // No O_CREAT: a lock nobody ever made is not taken.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    int rc;
    do
        rc = ::flock(fd, LOCK_SH | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    const bool taken = rc != 0 && errno == EWOULDBLOCK;
    ::close(fd); // also lets go of the shared lock, when it was granted
    return taken;
}
} // namespace vxsys
