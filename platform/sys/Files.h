#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Files of the file system, reached by their paths: open, positioned reads and writes, a flush to
// the device, close, and the few queries and removals the program needs.
namespace vxsys
{
// An open file; -1 means none.
using FileHandle = int;
inline constexpr FileHandle kNoFile = -1;

enum class FileAccess
{
    ReadWrite,        // an existing file, for reading and writing
    CreateForWriting, // created (readable by its owner only) or emptied, for writing
};

// Opens the file (never inherited by a program this one starts); kNoFile on failure.
FileHandle OpenFile(const std::string &path, FileAccess access);

// Closes the file; false when the system reports a failure (the handle is gone either way).
bool CloseFile(FileHandle file);

// The length of an open regular file; nothing for other kinds of file or when it cannot be told.
std::optional<std::uint64_t> RegularFileLength(FileHandle file);

// Reads or writes at an offset without moving any file position. Returns the bytes moved (0 at
// the end of the file), or -1 with errno telling why.
std::int64_t ReadFileAt(FileHandle file, void *data, std::size_t length, std::int64_t offset);
std::int64_t WriteFileAt(FileHandle file, const void *data, std::size_t length, std::int64_t offset);

// Flushes what was written to the device: 0, or -1 with errno telling why.
int FlushFile(FileHandle file);

// Drops the file's pages that the system keeps in memory, so that the next read comes from the
// device and not from what was last written. Pages still waiting to be written are not dropped:
// flush first. 0, or -1 with errno telling why (a file that cannot be advised).
int DropCachedPages(FileHandle file);

// True when the path names a regular file (following links).
bool IsRegularFile(const std::string &path);

// Removes the file's name; false when it could not be removed.
bool DeleteFile(const std::string &path);
} // namespace vxsys
