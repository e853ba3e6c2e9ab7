#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// The workout file on a monitor's drive, or its local copy, read whole or not at all and written back
// with every byte accounted for: a short read, a short write, a failed flush or a failed close is a
// failure, never a success.
class WorkoutFileAccess
{
  public:
    WorkoutFileAccess() = default;
    ~WorkoutFileAccess();
    WorkoutFileAccess(const WorkoutFileAccess &) = delete;
    WorkoutFileAccess &operator=(const WorkoutFileAccess &) = delete;

    // Opens an existing file for reading and writing.
    bool Open(const std::string &path);
    // Creates the file, or empties it, for writing.
    bool Create(const std::string &path);
    bool IsOpen() const { return m_fd >= 0; }

    enum class ReadResult
    {
        Ok,
        Failed,  // an empty file, an error, or fewer bytes than the file's length
        TooLong, // longer than maxLength: nothing was read
    };
    // The whole file from its start.
    ReadResult ReadAll(std::vector<std::uint8_t> &bytes, std::size_t maxLength);
    // The same, as the device holds it: what was written is flushed and the system's cached pages of
    // the file are dropped first, so the bytes come from the device and not from memory. Failed when
    // either step fails.
    ReadResult ReadAllFromDevice(std::vector<std::uint8_t> &bytes, std::size_t maxLength);

    // Writes the bytes over the start of the file and flushes them to the device.
    bool WriteAll(std::span<const std::uint8_t> bytes);

    // Closes the file; false when the system reports a failure (the descriptor is gone either way).
    bool Close();

  private:
    int m_fd = -1;
};

// Reads a whole file into bytes (up to maxLength); false for a missing, empty, unreadable or too
// long file.
bool ReadWorkoutFileAt(const std::string &path, std::vector<std::uint8_t> &bytes, std::size_t maxLength);
// The same, read from the device past the system's cache (WorkoutFileAccess::ReadAllFromDevice).
bool ReadWorkoutFileFromDevice(const std::string &path, std::vector<std::uint8_t> &bytes,
                               std::size_t maxLength);
// Writes the bytes over the start of an existing file, flushes and closes it.
bool WriteWorkoutFileAt(const std::string &path, std::span<const std::uint8_t> bytes);

// The system calls behind reads and writes, replaceable so that tests can make a drive fail part-way.
struct WorkoutFileSystemCalls
{
    std::function<std::int64_t(int fd, void *data, std::size_t length, std::int64_t offset)> read;
    std::function<std::int64_t(int fd, const void *data, std::size_t length, std::int64_t offset)> write;
    std::function<int(int fd)> flush;
    std::function<int(int fd)> dropCache;
};
// Empty members bring back the file system's own (vxsys::ReadFileAt, WriteFileAt, FlushFile and
// DropCachedPages).
void SetWorkoutFileSystemCalls(WorkoutFileSystemCalls calls);
