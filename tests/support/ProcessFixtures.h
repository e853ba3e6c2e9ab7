#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

// Small helpers for tests that start other programs or change the environment.
namespace vxtest
{
// Sets (or with nullptr removes) an environment variable for the life of the guard.
class ScopedEnv
{
  public:
    ScopedEnv(const char *name, const char *value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

  private:
    std::string m_name;
    std::optional<std::string> m_old;
};

inline std::string ReadWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Writes an executable /bin/sh script.
inline void WriteScript(const std::string &path, const std::string &body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// Waits for another process to make a file, in a bounded number of short rounds; the
// other process's pace decides how many rounds it takes.
inline bool WaitForFile(const std::string &path)
{
    for (int round = 0; round < 3000; ++round)
    {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A script that writes each of its arguments as "[arg]" on a line of its own into
// <dir>/args, through a temporary name so the file appears complete.
inline std::string WriteArgvRecorder(const std::string &dir, const std::string &name)
{
    const std::string script = dir + "/" + name;
    WriteScript(script, "out='" + dir +
                            "/args'\n"
                            "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$out.tmp\"\n"
                            "mv \"$out.tmp\" \"$out\"\n");
    return script;
}
} // namespace vxtest
