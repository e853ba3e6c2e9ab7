// Timings of the records store on databases of three users, the measured one with 1 000 or 100 000 runs
// (the two others as many each) and 50 goals. Run: build/default/bench/store_bench

#include "store/DateTime.h"
#include "store/KvtDatabase.h"

#include "platform/sys/TextConvert.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace
{
const char16_t kUser[] = u"runner";
const char16_t kPassword[] = u"secret";
const char16_t *const kOthers[] = {u"walker", u"jogger"};

// Runs start at 2009-01-01 and follow each other every `spacing` seconds for each user.
const int64_t kFirstRun = 128752416000000000; // 2009-01-01 00:00:00
const int kDaysCovered = 15 * 365;            // runs spread over about 15 years

std::string TempFolder()
{
    char pattern[] = "/tmp/vormatik-bench-XXXXXX";
    const char *made = mkdtemp(pattern);
    if (!made)
    {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return made;
}

// Fills RunInfo and Run directly (the store's own AddRun would take minutes for 300 000 rows), with
// the rows the store itself writes: RunIDs over all users, goal -1.
void FillRuns(const std::string &path, int runsPerUser)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
    {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *run = nullptr;
    sqlite3_stmt *info = nullptr;
    sqlite3_prepare_v2(db, "Insert into Run values ( ?, ?, -1 )", -1, &run, nullptr);
    sqlite3_prepare_v2(db, "Insert into RunInfo values ( ?, ?, ?, ?, ?, ?, ?, ?, 0, ?, ? )", -1, &info,
                       nullptr);
    const int64_t spacing = static_cast<int64_t>(kDaysCovered) * vxtime::kTicksPerDay / runsPerUser;
    const std::string users[3] = {vxsys::Utf16ToUtf8(kUser), vxsys::Utf16ToUtf8(kOthers[0]),
                                  vxsys::Utf16ToUtf8(kOthers[1])};
    int runId = 0;
    for (int i = 0; i < runsPerUser; ++i)
    {
        for (int u = 0; u < 3; ++u)
        {
            sqlite3_bind_text(run, 1, users[u].c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_int(run, 2, runId);
            sqlite3_step(run);
            sqlite3_reset(run);
            sqlite3_bind_int(info, 1, runId);
            sqlite3_bind_int64(info, 2, kFirstRun + i * spacing + u * 600 * vxtime::kTicksPerSecond);
            sqlite3_bind_int(info, 3, 1800 + i % 600);
            sqlite3_bind_int(info, 4, 2000 + i % 700);
            sqlite3_bind_int(info, 5, 3000 + i % 900);
            sqlite3_bind_int(info, 6, 4000 + i % 1000);
            sqlite3_bind_int(info, 7, 1500 + i % 500);
            sqlite3_bind_int(info, 8, 300 + i % 200);
            sqlite3_bind_int(info, 9, 60 + i % 40);
            sqlite3_bind_int(info, 10, 120 + i % 50);
            sqlite3_step(info);
            sqlite3_reset(info);
            ++runId;
        }
    }
    sqlite3_finalize(run);
    sqlite3_finalize(info);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

struct Store
{
    std::string folder;
    std::unique_ptr<KvtDatabase> db;
};

std::map<int, Store> &Stores()
{
    static std::map<int, Store> stores;
    return stores;
}

// One filled store per size, built on first use and kept for every benchmark of that size.
Store &StoreOf(int runsPerUser)
{
    std::map<int, Store> &stores = Stores();
    auto found = stores.find(runsPerUser);
    if (found != stores.end())
        return found->second;
    Store store;
    store.folder = TempFolder();
    const std::u16string folder = vxsys::Utf8ToUtf16(store.folder);
    {
        // Creates the file with its tables and the three accounts.
        KvtDatabase setup(folder);
        const DateParts dob{1, 1, 1980};
        for (const char16_t *user : {kUser, kOthers[0], kOthers[1]})
            setup.AddUser(user, kPassword, u"First", u"Last", 1, &dob, 40, 180, 3, 75, 5);
    }
    FillRuns(store.folder + "/KVTDB_NB.dat", runsPerUser);
    // Opening again runs whatever the store does at every open on the filled file.
    store.db = std::make_unique<KvtDatabase>(folder);
    store.db->Login(kUser, kPassword);
    // 50 monthly goals over the covered years.
    for (int g = 0; g < 50; ++g)
    {
        const DateParts start{1, static_cast<uint8_t>(g % 12 + 1), static_cast<uint16_t>(2010 + g / 12)};
        const DateParts end{1, static_cast<uint8_t>((g + 1) % 12 + 1),
                            static_cast<uint16_t>(2010 + (g + 1) / 12)};
        store.db->AddDistanceGoal(100000 + g, 1, &start, &end);
    }
    return stores.emplace(runsPerUser, std::move(store)).first->second;
}

void BM_AddRun255(benchmark::State &state)
{
    Store &store = StoreOf(static_cast<int>(state.range(0)));
    KvtDatabase &db = *store.db;
    int round = 0;
    for (auto _ : state)
    {
        // As the import does: the latest run opens the transaction, every record is added, one COMMIT.
        DateParts date{};
        TimeParts time{};
        db.GetLastRunTime(&date, &time);
        for (int i = 0; i < 255; ++i)
        {
            RunRecord run{};
            run.date = DateParts{static_cast<uint8_t>(1 + i % 28), static_cast<uint8_t>(1 + i / 28 % 12),
                                 static_cast<uint16_t>(2030 + round % 50)};
            run.time = TimeParts{static_cast<uint8_t>(i % 24), 0, 0};
            run.duration = 1800;
            run.walkSteps = 2000;
            run.runSteps = 3000;
            run.runDistance = 4000;
            run.walkDistance = 1500;
            run.calories = 300;
            run.heartRateBefore = 70;
            run.heartRateAfter = 140;
            if (!db.AddRun(&run))
                state.SkipWithError("AddRun failed");
        }
        if (!db.Commit())
            state.SkipWithError("COMMIT failed");
        state.PauseTiming();
        // Take the added runs out again so every round starts from the same store.
        sqlite3 *raw = nullptr;
        sqlite3_open((store.folder + "/KVTDB_NB.dat").c_str(), &raw);
        sqlite3_exec(raw,
                     "Delete from RunInfo where RunID > (select max(RunID) - 255 from Run); "
                     "Delete from Run where RunID > (select max(RunID) - 255 from Run);",
                     nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        ++round;
        state.ResumeTiming();
    }
}

void BM_GetRunTotals(benchmark::State &state)
{
    KvtDatabase &db = *StoreOf(static_cast<int>(state.range(0))).db;
    for (auto _ : state)
    {
        uint32_t distance = 0, duration = 0, count = 0;
        if (!db.GetRunTotals(&distance, &duration, &count) || count == 0)
            state.SkipWithError("GetRunTotals failed");
        benchmark::DoNotOptimize(distance);
    }
}

void BM_GetDayStats(benchmark::State &state)
{
    KvtDatabase &db = *StoreOf(static_cast<int>(state.range(0))).db;
    const DateParts day{16, 3, 2016};
    for (auto _ : state)
    {
        uint32_t v[6] = {};
        if (!db.GetDayStats(&day, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]))
            state.SkipWithError("GetDayStats failed");
        benchmark::DoNotOptimize(v);
    }
}

void BM_GetWeekSeries6(benchmark::State &state)
{
    KvtDatabase &db = *StoreOf(static_cast<int>(state.range(0))).db;
    for (auto _ : state)
    {
        uint32_t run[6], walk[6];
        if (!db.GetWeekSeries(10, 2016, 6, run, walk))
            state.SkipWithError("GetWeekSeries failed");
        benchmark::DoNotOptimize(run);
    }
}

void BM_GetMonthSeries12(benchmark::State &state)
{
    KvtDatabase &db = *StoreOf(static_cast<int>(state.range(0))).db;
    for (auto _ : state)
    {
        uint32_t run[12], walk[12];
        if (!db.GetMonthSeries(4, 2015, 12, run, walk))
            state.SkipWithError("GetMonthSeries failed");
        benchmark::DoNotOptimize(run);
    }
}

void BM_GetGoals50(benchmark::State &state)
{
    KvtDatabase &db = *StoreOf(static_cast<int>(state.range(0))).db;
    for (auto _ : state)
    {
        GoalRecord goals[50];
        if (db.GetGoals(goals, 50) != 50)
            state.SkipWithError("GetGoals failed");
        benchmark::DoNotOptimize(goals);
    }
}

void Sizes(benchmark::internal::Benchmark *b)
{
    b->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_AddRun255)->Apply(Sizes);
BENCHMARK(BM_GetRunTotals)->Apply(Sizes);
BENCHMARK(BM_GetDayStats)->Apply(Sizes);
BENCHMARK(BM_GetWeekSeries6)->Apply(Sizes);
BENCHMARK(BM_GetMonthSeries12)->Apply(Sizes);
BENCHMARK(BM_GetGoals50)->Apply(Sizes);
} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The filled stores are temporary.
    for (auto &[size, store] : Stores())
    {
        store.db.reset();
        std::error_code ignored;
        std::filesystem::remove_all(store.folder, ignored);
    }
    return 0;
}
