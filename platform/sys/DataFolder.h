#pragma once

#include <string>
#include <sys/types.h>

// Where the program keeps its own files, and the calls that create them with
// private permissions.
namespace vxsys
{
// The per-user data folder: $XDG_DATA_HOME when it is an absolute path, else
// $HOME/.local/share; empty when neither can be named.
std::u16string AppDataFolder();

// A per-user base folder: the variable when it holds an absolute path, else $HOME followed by
// homeRelative (".local/share", ".config"); empty when neither is set. UTF-8, no trailing slash.
std::string UserBaseFolder(const char *variable, const char *homeRelative);

// Creates the folder and every missing parent with the given mode (the umask
// still applies); a folder that already exists loses the permissions outside
// the mode (its parents are left as they are). True when the folder exists
// afterwards and grants nothing outside the mode.
bool CreateFolderTree(const std::u16string &path, mode_t mode);

// Makes sure the file exists without touching its content, and sets its mode.
// True when a regular file is there afterwards, reached without a symbolic
// link, and its mode could be set; false for a link (also a dangling one),
// a folder, a FIFO or a device node in its place.
bool EnsurePrivateFile(const std::u16string &path, mode_t mode);
} // namespace vxsys
