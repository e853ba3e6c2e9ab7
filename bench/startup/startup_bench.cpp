// Time from process start to the first window shown, and peak RSS, of vormatik beside a minimal
// Qt Widgets program: both end at their first paint (vormatik when VORMATIK_BENCH_FIRST_PAINT is
// set). Runs alternate; medians are printed with the ratio. Not a test.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{
struct Run
{
    double ms = 0;
    long rssKb = 0;
    bool ok = false;
};

Run RunOnce(const std::string &program, const std::vector<std::string> &extraEnv)
{
    std::vector<std::string> envText;
    for (char **e = environ; *e; ++e)
        envText.emplace_back(*e);
    for (const std::string &e : extraEnv)
        envText.push_back(e);
    std::vector<char *> envp;
    for (std::string &e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = program;
    char *argv[] = {arg0.data(), nullptr};

    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
        return run;
    int status = 0;
    struct rusage usage
    {
    };
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.rssKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

template <typename T> T Median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? T() : values[values.size() / 2];
}

std::string MakeTempDir()
{
    char name[] = "/tmp/vx-startup-bench-XXXXXX";
    return mkdtemp(name) ? name : "";
}
} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::string dir = MakeTempDir();
    if (dir.empty())
        return 1;
    std::vector<std::string> env = {"VORMATIK_BENCH_FIRST_PAINT=1",
                                    "XDG_RUNTIME_DIR=" + dir,
                                    "HOME=" + dir,
                                    "XDG_CONFIG_HOME=" + dir + "/config",
                                    "XDG_DATA_HOME=" + dir + "/data",
                                    "VORMATIK_REGISTRY_DIR=" + dir + "/registry"};
    const char *display = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland) && !std::getenv("QT_QPA_PLATFORM"))
        env.push_back("QT_QPA_PLATFORM=offscreen");

    std::vector<double> appMs, minMs;
    std::vector<long> appRss, minRss;
    for (int i = 0; i < rounds; ++i)
    {
        const Run app = RunOnce(VX_VORMATIK_PATH, env);
        const Run minimal = RunOnce(VX_MINIMAL_PATH, env);
        if (!app.ok || !minimal.ok)
        {
            std::fprintf(stderr, "startup_bench: a run failed (vormatik %d, minimal %d)\n", app.ok,
                         minimal.ok);
            return 1;
        }
        appMs.push_back(app.ms);
        minMs.push_back(minimal.ms);
        appRss.push_back(app.rssKb);
        minRss.push_back(minimal.rssKb);
    }
    const double a = Median(appMs), m = Median(minMs);
    std::printf("%d rounds, medians\n", rounds);
    std::printf("%-10s %10s %12s\n", "program", "first (ms)", "peak RSS (MB)");
    std::printf("%-10s %10.1f %12.1f\n", "vormatik", a, Median(appRss) / 1024.0);
    std::printf("%-10s %10.1f %12.1f\n", "minimal", m, Median(minRss) / 1024.0);
    std::printf("ratio vormatik/minimal: %.2f\n", m > 0 ? a / m : 0.0);
    return 0;
}
