#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace vxsys
{
// Splits a command line into its arguments the way a Windows program reads its own:
// blanks and tabs separate arguments outside double quotes; the quotes themselves are
// removed; in the program name (the first argument) backslashes are plain characters;
// elsewhere 2n backslashes before a quote give n backslashes and the quote opens or
// closes, 2n+1 give n backslashes and a literal quote, and other backslashes are kept.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

// Starts argv[0] (looked up on PATH when it holds no '/') with exactly these arguments:
// no shell sees them. The child runs in a session of its own with the caller's environment
// and folder, its input from /dev/null, and none of the caller's other descriptors; it is
// reaped when it ends, so it never lingers as a zombie, and nothing else of the caller's
// process (signal handlers, other children) is touched. Returns the child's process id,
// or -1 when it could not be started (empty argv, a zero character in an argument,
// a program that cannot be found or run).
pid_t SpawnDetached(const std::vector<std::u16string> &argv);

// The file a program name starts: a name holding '/' names the file itself; any other is looked
// up in the folders of PATH (empty entries, which would mean the current folder, are skipped).
// Empty when no regular file there may be run by this user.
std::string FindProgram(std::string_view program);

// Runs argv[0] (a path, as FindProgram gives it; PATH is not searched) with exactly these
// arguments, their bytes handed over as they stand: no shell and no text conversion. The child
// has its input from /dev/null and none of the caller's other descriptors. Waits for it to end
// and returns its exit code; -1 when it could not be started (empty argv, a zero byte in an
// argument) or did not exit by itself (ended by a signal).
int RunAndWait(const std::vector<std::string> &argv);
} // namespace vxsys
