#pragma once

#include "tests/support/TestEnvironment.h"
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <sys/resource.h>

// Small helpers for tests that start other programs or change the environment.
namespace vxtest
{

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
// While it lives, no file of this process grows beyond `bytes`: a write past the limit fails with
// EFBIG, as on a full disk (the signal that would end the process is ignored meanwhile). Root is
// bound by it too, unlike by file permissions.
class ScopedFileSizeLimit
{
  public:
    explicit ScopedFileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~ScopedFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldSignal);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit &) = delete;
    ScopedFileSizeLimit &operator=(const ScopedFileSizeLimit &) = delete;
    bool Active() const { return m_set; }

  private:
    rlimit m_old{};
    void (*m_oldSignal)(int) = SIG_DFL;
    bool m_set = false;
};
} // namespace vxtest
