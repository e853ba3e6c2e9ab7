#include "platform/sys/Process.h"

#include "platform/sys/TextConvert.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace vxsys
{
namespace
{
bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// Waits for one child of ours only, so other children and SIGCHLD handling stay as they are.
void ReapLater(pid_t pid)
{
    try
    {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
            {
            }
        }).detach();
    }
    catch (const std::system_error &)
    {
        // Without a thread the child is reaped now if it has already ended.
        int status = 0;
        waitpid(pid, &status, WNOHANG);
    }
}

class SpawnSetup
{
  public:
    SpawnSetup()
    {
        posix_spawnattr_init(&m_attr);
        posix_spawn_file_actions_init(&m_actions);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&m_actions);
        posix_spawnattr_destroy(&m_attr);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;

    bool Prepare()
    {
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int sig : {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2})
            sigaddset(&defaults, sig);
        return posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                     POSIX_SPAWN_SETSIGDEF) == 0 &&
               posix_spawnattr_setsigmask(&m_attr, &none) == 0 &&
               posix_spawnattr_setsigdefault(&m_attr, &defaults) == 0 &&
               posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_addclosefrom_np(&m_actions, STDERR_FILENO + 1) == 0;
    }

    const posix_spawnattr_t *Attr() const { return &m_attr; }
    const posix_spawn_file_actions_t *Actions() const { return &m_actions; }

  private:
    posix_spawnattr_t m_attr;
    posix_spawn_file_actions_t m_actions;
};
} // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view line)
{
    std::vector<std::u16string> args;
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size())
        return args;

    // The program name: quotes group, backslashes are plain.
    std::u16string program;
    bool quoted = false;
    for (; i < line.size(); ++i)
    {
        const char16_t c = line[i];
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && IsBlank(c))
            break;
        else
            program.push_back(c);
    }
    args.push_back(std::move(program));

    while (true)
    {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        std::u16string arg;
        quoted = false;
        while (i < line.size() && (quoted || !IsBlank(line[i])))
        {
            std::size_t slashes = 0;
            while (i < line.size() && line[i] == u'\\')
            {
                ++slashes;
                ++i;
            }
            if (i < line.size() && line[i] == u'"')
            {
                arg.append(slashes / 2, u'\\');
                if (slashes % 2)
                    arg.push_back(u'"');
                else
                    quoted = !quoted;
                ++i;
            }
            else
            {
                arg.append(slashes, u'\\');
                if (i < line.size() && (quoted || !IsBlank(line[i])))
                    arg.push_back(line[i++]);
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

pid_t SpawnDetached(const std::vector<std::u16string> &argv)
{
    if (argv.empty() || argv.front().empty())
        return -1;
    std::vector<std::string> narrow;
    narrow.reserve(argv.size());
    for (const std::u16string &arg : argv)
    {
        if (arg.find(u'\0') != std::u16string::npos)
            return -1;
        narrow.push_back(Utf16ToUtf8(arg));
    }
    std::vector<char *> pointers;
    pointers.reserve(narrow.size() + 1);
    for (std::string &arg : narrow)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.Prepare())
        return -1;
    pid_t pid = -1;
    if (posix_spawnp(&pid, pointers[0], setup.Actions(), setup.Attr(), pointers.data(), environ) != 0)
        return -1;
    ReapLater(pid);
    return pid;
}

namespace
{
bool IsRunnableFile(const std::string &path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}
} // namespace

std::string FindProgram(std::string_view program)
{
    if (program.empty() || program.find('\0') != std::string_view::npos)
        return {};
    if (program.find('/') != std::string_view::npos)
    {
        std::string path(program);
        return IsRunnableFile(path) ? path : std::string();
    }
    const char *variable = std::getenv("PATH");
    const std::string folders = variable ? variable : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size())
    {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        if (end > start)
        {
            std::string path = folders.substr(start, end - start);
            if (path.back() != '/')
                path += '/';
            path += program;
            if (path.size() < PATH_MAX && IsRunnableFile(path))
                return path;
        }
        start = end + 1;
    }
    return {};
}

int RunAndWait(const std::vector<std::string> &argv)
{
    if (argv.empty() || argv.front().empty())
        return -1;
    std::vector<std::string> copies = argv;
    std::vector<char *> pointers;
    pointers.reserve(copies.size() + 1);
    for (std::string &arg : copies)
    {
        if (arg.find('\0') != std::string::npos)
            return -1;
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.Prepare())
        return -1;
    pid_t pid = -1;
    if (posix_spawn(&pid, pointers[0], setup.Actions(), setup.Attr(), pointers.data(), environ) != 0)
        return -1;
    int status = 0;
    pid_t waited = -1;
    while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR)
    {
    }
    if (waited != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
} // namespace vxsys
