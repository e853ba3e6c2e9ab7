#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vxtest
{
// Points TZ, HOME, XDG_* and VORMATIK_REGISTRY_DIR at a fresh temporary folder
// that is removed at exit. Called by every test main before any test runs.
void PrepareTestEnvironment();

// The temporary folder made by PrepareTestEnvironment.
const std::string &TestRoot();

// A fresh, empty folder below TestRoot (unique per call), open to its owner only.
std::string MakeTempDir(const std::string &hint = "t");

// The whole file as bytes; empty when it cannot be read.
std::vector<std::uint8_t> ReadFile(const std::filesystem::path &path);

// Replaces the file with bytes (the folder must exist).
void WriteFile(const std::filesystem::path &path, const std::vector<std::uint8_t> &bytes);

// Sets (or with nullptr removes) an environment variable for the life of the guard.
class ScopedEnv
{
  public:
    ScopedEnv(const char *name, const char *value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

  private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Sets TZ and re-reads it (tzset); the previous value comes back when the guard ends.
class ScopedTimeZone
{
  public:
    explicit ScopedTimeZone(const char *tz);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

  private:
    std::string m_old;
    bool m_hadOld;
};
} // namespace vxtest
