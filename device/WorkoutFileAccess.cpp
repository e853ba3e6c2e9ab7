#include "device/WorkoutFileAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::mutex g_callsMutex;
WorkoutFileSystemCalls g_calls;

ssize_t SystemRead(int fd, void *data, std::size_t length, off_t offset)
{
    std::function<ssize_t(int, void *, std::size_t, off_t)> read;
    {
        std::lock_guard<std::mutex> lock(g_callsMutex);
        read = g_calls.read;
    }
    return read ? read(fd, data, length, offset) : ::pread(fd, data, length, offset);
}

ssize_t SystemWrite(int fd, const void *data, std::size_t length, off_t offset)
{
    std::function<ssize_t(int, const void *, std::size_t, off_t)> write;
    {
        std::lock_guard<std::mutex> lock(g_callsMutex);
        write = g_calls.write;
    }
    return write ? write(fd, data, length, offset) : ::pwrite(fd, data, length, offset);
}

int SystemFlush(int fd)
{
    std::function<int(int)> flush;
    {
        std::lock_guard<std::mutex> lock(g_callsMutex);
        flush = g_calls.flush;
    }
    return flush ? flush(fd) : ::fsync(fd);
}
} // namespace

void SetWorkoutFileSystemCalls(WorkoutFileSystemCalls calls)
{
    std::lock_guard<std::mutex> lock(g_callsMutex);
    g_calls = std::move(calls);
}

WorkoutFileAccess::~WorkoutFileAccess()
{
    Close();
}

bool WorkoutFileAccess::Open(const std::string &path)
{
    Close();
    if (path.empty())
        return false;
    m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    return m_fd >= 0;
}

bool WorkoutFileAccess::Create(const std::string &path)
{
    Close();
    if (path.empty())
        return false;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    return m_fd >= 0;
}

WorkoutFileAccess::ReadResult WorkoutFileAccess::ReadAll(std::vector<std::uint8_t> &bytes,
                                                         std::size_t maxLength)
{
    bytes.clear();
    struct stat st
    {
    };
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0)
        return ReadResult::Failed;
    if (static_cast<std::uint64_t>(st.st_size) > maxLength)
        return ReadResult::TooLong;
    const std::size_t length = static_cast<std::size_t>(st.st_size);
    bytes.assign(length, 0);
    std::size_t done = 0;
    while (done < length)
    {
        const ssize_t n = SystemRead(m_fd, bytes.data() + done, length - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            // The file ended early or could not be read: no image rather than one padded with zeros.
            bytes.clear();
            return ReadResult::Failed;
        }
        done += static_cast<std::size_t>(n);
    }
    return ReadResult::Ok;
}

bool WorkoutFileAccess::WriteAll(std::span<const std::uint8_t> bytes)
{
    if (m_fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size())
    {
        const ssize_t n =
            SystemWrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return SystemFlush(m_fd) == 0;
}

bool WorkoutFileAccess::Close()
{
    if (m_fd < 0)
        return true;
    const int fd = m_fd;
    m_fd = -1;
    // The descriptor is released even when close reports an error; retrying could close another file.
    return ::close(fd) == 0;
}

bool ReadWorkoutFileAt(const std::string &path, std::vector<std::uint8_t> &bytes, std::size_t maxLength)
{
    WorkoutFileAccess file;
    return file.Open(path) && file.ReadAll(bytes, maxLength) == WorkoutFileAccess::ReadResult::Ok;
}

bool WriteWorkoutFileAt(const std::string &path, std::span<const std::uint8_t> bytes)
{
    WorkoutFileAccess file;
    if (!file.Open(path))
        return false;
    const bool written = file.WriteAll(bytes);
    return file.Close() && written;
}
