#include "platform/sys/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vxsys
{
FileHandle OpenFile(const std::string &path, FileAccess access)
{
    if (path.empty())
        return kNoFile;
    const int fd = access == FileAccess::ReadWrite
                       ? ::open(path.c_str(), O_RDWR | O_CLOEXEC)
                       : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    return fd < 0 ? kNoFile : fd;
}

bool CloseFile(FileHandle file)
{
    if (file < 0)
        return true;
    return ::close(file) == 0;
}

std::optional<std::uint64_t> RegularFileLength(FileHandle file)
{
    struct stat st
    {
    };
    if (file < 0 || ::fstat(file, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::int64_t ReadFileAt(FileHandle file, void *data, std::size_t length, std::int64_t offset)
{
    return ::pread(file, data, length, static_cast<off_t>(offset));
}

std::int64_t WriteFileAt(FileHandle file, const void *data, std::size_t length, std::int64_t offset)
{
    return ::pwrite(file, data, length, static_cast<off_t>(offset));
}

int FlushFile(FileHandle file)
{
    return ::fsync(file) == 0 ? 0 : -1;
}

int DropCachedPages(FileHandle file)
{
    const int error = ::posix_fadvise(file, 0, 0, POSIX_FADV_DONTNEED);
    if (error == 0)
        return 0;
    errno = error;
    return -1;
}

bool IsRegularFile(const std::string &path)
{
    struct stat st
    {
    };
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const std::string &path)
{
    return !path.empty() && ::unlink(path.c_str()) == 0;
}
} // namespace vxsys
