#include "platform/sys/DataFolder.h"

#include "platform/sys/TextConvert.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vxsys
{
namespace
{
bool IsFolder(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

std::string UserBaseFolder(const char *variable, const char *homeRelative)
{
    const char *value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    const char *home = std::getenv("HOME");
    if (!home || home[0] == '\0')
        return std::string();
    std::string base(home);
    if (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/" + homeRelative;
}

std::u16string AppDataFolder()
{
    return Utf8ToUtf16(UserBaseFolder("XDG_DATA_HOME", ".local/share"));
}

bool CreateFolderTree(const std::u16string &path, mode_t mode)
{
    const std::string narrow = Utf16ToUtf8(path);
    if (narrow.empty())
        return false;
    if (!IsFolder(narrow))
    {
        // Walk the components from the root so each missing level gets the mode.
        std::size_t pos = 0;
        while (pos != std::string::npos)
        {
            pos = narrow.find('/', pos + 1);
            const std::string part = narrow.substr(0, pos);
            if (part.empty() || IsFolder(part))
                continue;
            if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
                return false;
        }
    }
    // A folder made earlier (by an older version or by hand) may allow more than a fresh one:
    // take away what the mode does not grant, on the folder that was opened.
    const int fd = ::open(narrow.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    if (ok && (st.st_mode & 07777 & ~mode) != 0)
        ok = ::fchmod(fd, st.st_mode & 07777 & mode) == 0;
    ::close(fd);
    return ok;
}

bool EnsurePrivateFile(const std::u16string &path, mode_t mode)
{
    const std::string narrow = Utf16ToUtf8(path);
    if (narrow.empty())
        return false;
    // No link is followed, and no open waits: a FIFO or a device in the file's place is
    // refused below instead of blocking here. Read access suffices to create the file and
    // to set the mode of one the user owns.
    const int fd = ::open(narrow.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                          mode);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && (st.st_mode & 07777) != mode)
        ok = ::fchmod(fd, mode) == 0;
    ::close(fd);
    return ok;
}
} // namespace vxsys
