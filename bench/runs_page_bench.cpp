// Showing the My Runs page for a user with many runs, side by side with the store reads that the
// page makes, on the same file in the same process. The page side builds the whole page in the main
// dialog (offscreen): totals, goal summary, calendar, chart and buttons; then it draws the graph of
// every preset (measure, period, form). The read side asks the store for exactly what the page asks:
// totals, heart-rate check, current goal, and the day, week and month reads of every preset. Each
// round runs the page and then the reads; the table gives the medians and the ratio page/reads.
//
// Run: build/default/bench/runs_page_bench [runs]   (default: 100000)

#include "app/KVTDlg.h"
#include "store/DateTime.h"
#include "store/KvtDatabase.h"

#include <QApplication>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
[[noreturn]] void Fail(const std::string &what)
{
    std::fprintf(stderr, "runs_page_bench: %s\n", what.c_str());
    std::exit(1);
}

double Now()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

long PeakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string TempFolder()
{
    char pattern[] = "/tmp/vormatik-bench-XXXXXX";
    const char *made = mkdtemp(pattern);
    if (!made)
        Fail("mkdtemp failed");
    return made;
}

struct Preset
{
    int measure, period, form;
};
constexpr Preset kPresets[] = {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}, {1, 0, 0}, {2, 0, 0},
                               {0, 0, 1}, {0, 1, 1}, {0, 2, 1}, {1, 0, 1}, {2, 0, 1}};

DateParts PartsOfDay(int64_t day)
{
    const vxtime::CivilDate c = vxtime::CivilFromDays(day);
    return DateParts{static_cast<uint8_t>(c.day), static_cast<uint8_t>(c.month), static_cast<uint16_t>(c.year)};
}

// What the page reads for one graph ending on `today`, without drawing anything.
void ReadGraph(KvtDatabase &db, const Preset &p, int64_t today)
{
    uint32_t run = 0, walk = 0, value = 0, duration = 0;
    if (p.measure == 0 && p.period == 1)
    {
        const int64_t monday = today - ((today + 3) % 7 + 7) % 7;
        for (int k = 5; k >= 0; --k)
        {
            const DateParts first = PartsOfDay(monday - 7 * (5 - k));
            db.GetRangeStats(&first, 7, nullptr, nullptr, nullptr, &run, &walk, nullptr, nullptr);
        }
        return;
    }
    if (p.measure == 0 && p.period == 2)
    {
        uint32_t runs[12], walks[12];
        const vxtime::CivilDate c = vxtime::CivilFromDays(today);
        const int64_t oldest = c.year * 12 + (c.month - 1) - 11;
        db.GetMonthSeries(static_cast<int>(oldest % 12) + 1, static_cast<int>(oldest / 12), 12, runs, walks);
        return;
    }
    for (int k = 6; k >= 0; --k)
    {
        const DateParts date = PartsOfDay(today - (6 - k));
        if (p.measure == 1)
        {
            TimeParts time{};
            uint8_t before = 0, after = 0;
            db.GetHeartRateOfDay(&date, &time, &duration, &before, &after);
        }
        else if (p.measure == 2)
            db.GetDayCalories(&date, &value);
        else
            db.GetDayDistances(&date, &run, &walk);
    }
}
} // namespace

int main(int argc, char **argv)
{
    const int runCount = argc > 1 ? std::atoi(argv[1]) : 100000;
    const std::string folder = TempFolder();
    setenv("HOME", folder.c_str(), 1);
    setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("TZ", "Europe/Berlin", 1);
    tzset();

    // The file is made by a child process, so that the peak memory below is the page's program
    // alone: log-in, then the page.
    const int64_t today = vxtime::DaysFromCivil(2026, 12, 10);
    const pid_t child = fork();
    if (child < 0)
        Fail("fork");
    if (child == 0)
    {
        KvtDatabase db;
        const DateParts dob{1, 2, 1980};
        if (!db.IsOpen() || !db.AddUser(u"runner", u"secret", u"Runner", u"R", 1, &dob, 46, 170, 0, 60, 0) ||
            !db.Login(u"runner", u"secret"))
            Fail("user");
        // Runs over the 15 years up to today, several a day, one in 50 with heart rates.
        for (int i = 0; i < runCount; ++i)
        {
            RunRecord run{};
            const int64_t day = today - static_cast<int64_t>(i) * 15 * 365 / runCount;
            run.date = PartsOfDay(day);
            run.time = TimeParts{static_cast<uint8_t>(6 + i % 14), 0, 0};
            run.duration = 1200 + static_cast<uint32_t>(i % 3600);
            run.runDistance = 3000 + static_cast<uint32_t>(i % 5000);
            run.walkDistance = 200 + static_cast<uint32_t>(i % 700);
            run.calories = 150 + static_cast<uint32_t>(i % 400);
            run.heartRateBefore = i % 50 == 0 ? 70 : 0;
            run.heartRateAfter = i % 50 == 0 ? 150 : 0;
            if (!db.AddRun(&run))
                Fail("import");
        }
        if (!db.Commit())
            Fail("commit");
        const DateParts goalStart{1, 12, 2026}, goalEnd{1, 1, 2027};
        if (!db.AddDistanceGoal(100000, 1, &goalStart, &goalEnd))
            Fail("goal");
        std::_Exit(0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail("the file could not be made");

    QApplication qt(argc, argv);
    CWinApp app;
    CKVTDlg dlg(1033);
    if (!dlg.Create(CKVTDlg::kDialogTemplate, nullptr))
        Fail("the main dialog could not be created");
    app.m_pMainWnd = &dlg;
    KvtDatabase *db = dlg.m_pDatabase.get();
    if (!db || !db->IsOpen())
        Fail("no records store");
    // The log-in that comes before the page builds the day summary; it is not part of the page.
    if (!db->Login(u"runner", u"secret"))
        Fail("log-in");
    const std::u16string id = u"runner";
    std::copy(id.begin(), id.end(), dlg.m_szUserId.begin());
    dlg.m_bMetric = TRUE;

    const double firstStart = Now();
    dlg.ShowRunsView();
    const double firstVisit = Now() - firstStart;
    if (!dlg.m_pRunGraph || !dlg.m_pCalendar)
        Fail("the page shows no graph");

    const int rounds = 21;
    std::vector<double> page, pageReads, presets, presetReads;
    for (int r = 0; r < rounds; ++r)
    {
        dlg.m_nGraphMeasure = dlg.m_nGraphPeriod = dlg.m_nGraphForm = 0;
        double t = Now();
        dlg.ShowRunsView();
        page.push_back(Now() - t);

        t = Now();
        for (const Preset &p : kPresets)
        {
            dlg.m_nGraphMeasure = p.measure;
            dlg.m_nGraphPeriod = p.period;
            dlg.m_nGraphForm = p.form;
            dlg.BuildRunGraph();
        }
        presets.push_back(Now() - t);

        t = Now();
        {
            uint32_t distance = 0, duration = 0, count = 0;
            db->GetRunTotals(&distance, &duration, &count);
            db->HasHeartRates();
            GoalRecord goal{};
            goal.goalId = -1;
            db->GetCurrentGoal(&goal);
            ReadGraph(*db, kPresets[0], today);
        }
        pageReads.push_back(Now() - t);

        t = Now();
        for (const Preset &p : kPresets)
            ReadGraph(*db, p, today);
        presetReads.push_back(Now() - t);
    }

    std::printf("My Runs page, %d runs of the user, %d rounds; medians in milliseconds\n\n", runCount, rounds);
    std::printf("| step | page ms | store reads ms | page/reads |\n|---|---:|---:|---:|\n");
    std::printf("| first visit (calendar and chart created) | %.3f | - | - |\n", firstVisit);
    std::printf("| page shown (totals, goal, calendar, days graph) | %.3f | %.3f | %.2f |\n", Median(page),
                Median(pageReads), Median(page) / Median(pageReads));
    std::printf("| graph of each of the 10 presets | %.3f | %.3f | %.2f |\n", Median(presets), Median(presetReads),
                Median(presets) / Median(presetReads));
    std::printf("| page and all presets | %.3f | %.3f | %.2f |\n", Median(page) + Median(presets),
                Median(pageReads) + Median(presetReads),
                (Median(page) + Median(presets)) / (Median(pageReads) + Median(presetReads)));
    std::printf("\nPeak RSS of the process with the page shown: %ld KiB\n", PeakRssKb());
    app.m_pMainWnd = nullptr;
    return 0;
}
