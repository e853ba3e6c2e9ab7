#include "device/WorkoutFileAccess.h"

#include "platform/sys/Files.h"

#include <cerrno>
#include <mutex>
#include <optional>

namespace
{
std::mutex g_callsMutex;
WorkoutFileSystemCalls g_calls;

std::int64_t SystemRead(int fd, void *data, std::size_t length, std::int64_t offset)
{
    std::function<std::int64_t(int, void *, std::size_t, std::int64_t)> read;
    {
        std::lock_guard<std::mutex> lock(g_callsMutex);
        read = g_calls.read;
    }
    return read ? read(fd, data, length, offset) : vxsys::ReadFileAt(fd, data, length, offset);
}

std::int64_t SystemWrite(int fd, const void *data, std::size_t length, std::int64_t offset)
{
    std::function<std::int64_t(int, const void *, std::size_t, std::int64_t)> write;
    {
        std::lock_guard<std::mutex> lock(g_callsMutex);
        write = g_calls.write;
    }
    return write ? write(fd, data, length, offset) : vxsys::WriteFileAt(fd, data, length, offset);
}

int SystemFlush(int fd)
{
    std::function<int(int)> flush;
    {
        std::lock_guard<std::mutex> lock(g_callsMutex);
        flush = g_calls.flush;
    }
    return flush ? flush(fd) : vxsys::FlushFile(fd);
}

int SystemDropCache(int fd)
{
    std::function<int(int)> drop;
    {
        std::lock_guard<std::mutex> lock(g_callsMutex);
        drop = g_calls.dropCache;
    }
    return drop ? drop(fd) : vxsys::DropCachedPages(fd);
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
    m_fd = vxsys::OpenFile(path, vxsys::FileAccess::ReadWrite);
    return m_fd >= 0;
}

bool WorkoutFileAccess::Create(const std::string &path)
{
    Close();
    if (path.empty())
        return false;
    m_fd = vxsys::OpenFile(path, vxsys::FileAccess::CreateForWriting);
    return m_fd >= 0;
}

WorkoutFileAccess::ReadResult WorkoutFileAccess::ReadAll(std::vector<std::uint8_t> &bytes,
                                                         std::size_t maxLength)
{
    bytes.clear();
    const std::optional<std::uint64_t> fileLength = m_fd < 0 ? std::nullopt : vxsys::RegularFileLength(m_fd);
    if (!fileLength || *fileLength == 0)
        return ReadResult::Failed;
    if (*fileLength > maxLength)
        return ReadResult::TooLong;
    const std::size_t length = static_cast<std::size_t>(*fileLength);
    bytes.assign(length, 0);
    std::size_t done = 0;
    while (done < length)
    {
        const std::int64_t n =
            SystemRead(m_fd, bytes.data() + done, length - done, static_cast<std::int64_t>(done));
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

WorkoutFileAccess::ReadResult WorkoutFileAccess::ReadAllFromDevice(std::vector<std::uint8_t> &bytes,
                                                                   std::size_t maxLength)
{
    bytes.clear();
    // Pages still waiting to be written would stay cached and be read back as if the device held them.
    if (m_fd < 0 || SystemFlush(m_fd) != 0 || SystemDropCache(m_fd) != 0)
        return ReadResult::Failed;
    return ReadAll(bytes, maxLength);
}

bool WorkoutFileAccess::WriteAll(std::span<const std::uint8_t> bytes)
{
    if (m_fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size())
    {
        const std::int64_t n =
            SystemWrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<std::int64_t>(done));
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
    return vxsys::CloseFile(fd);
}

bool ReadWorkoutFileAt(const std::string &path, std::vector<std::uint8_t> &bytes, std::size_t maxLength)
{
    WorkoutFileAccess file;
    return file.Open(path) && file.ReadAll(bytes, maxLength) == WorkoutFileAccess::ReadResult::Ok;
}

bool ReadWorkoutFileFromDevice(const std::string &path, std::vector<std::uint8_t> &bytes,
                               std::size_t maxLength)
{
    WorkoutFileAccess file;
    return file.Open(path) && file.ReadAllFromDevice(bytes, maxLength) == WorkoutFileAccess::ReadResult::Ok;
}

bool WriteWorkoutFileAt(const std::string &path, std::span<const std::uint8_t> bytes)
{
    WorkoutFileAccess file;
    if (!file.Open(path))
        return false;
    const bool written = file.WriteAll(bytes);
    return file.Close() && written;
}
