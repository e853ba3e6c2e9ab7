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

// A folder of our own: a real folder (not a link), owned by us, closed to others.
bool IsPrivateFolder(const std::string &path)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
        return false;
    return true;
}
} // namespace

namespace vxsys
{
std::string InstanceFolder()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/')
        return runtime;
    const char *tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp == '/' ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    const std::string folder = base + "/vormatik-" + std::to_string(::geteuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return IsPrivateFolder(folder) ? folder : std::string();
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
