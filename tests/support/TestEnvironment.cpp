#include "tests/support/TestEnvironment.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace vxtest
{
namespace
{
std::string g_root;
int g_counter = 0;

void RemoveRoot()
{
    if (!g_root.empty())
    {
        std::error_code ec;
        std::filesystem::remove_all(g_root, ec);
    }
}
} // namespace

void PrepareTestEnvironment()
{
    if (!g_root.empty())
        return;
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vormatik-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create the test folder");
    g_root = pattern;
    std::atexit(RemoveRoot);

    const std::string home = g_root + "/home";
    std::filesystem::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    std::filesystem::create_directories(g_root + "/runtime");
    std::filesystem::permissions(g_root + "/runtime", std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (g_root + "/runtime").c_str(), 1);
    setenv("VORMATIK_REGISTRY_DIR", (g_root + "/registry").c_str(), 1);
    setenv("TZ", "UTC", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    tzset();
}

const std::string &TestRoot()
{
    return g_root;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string MakeTempDir(const std::string &hint)
{
    std::string dir =
        g_root + "/" + hint + "-" + std::to_string(getpid()) + "-" + std::to_string(++g_counter);
    std::filesystem::create_directories(dir);
    // Closed to others, as a runtime folder must be to serve as one.
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    return dir;
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : m_name(name)
{
    if (const char *old = std::getenv(name))
        m_old = old;
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (m_old)
        setenv(m_name.c_str(), m_old->c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

ScopedTimeZone::ScopedTimeZone(const char *tz)
{
    const char *old = std::getenv("TZ");
    m_hadOld = old != nullptr;
    if (old)
        m_old = old;
    setenv("TZ", tz, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone()
{
    if (m_hadOld)
        setenv("TZ", m_old.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
} // namespace vxtest
