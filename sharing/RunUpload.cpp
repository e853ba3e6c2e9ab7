#include "sharing/RunUpload.h"

#include "sharing/WebService.h"
#include "store/KvtDatabase.h"
#include "store/RunRecord.h"

#include <cstdint>
#include <new>
#include <vector>

namespace
{
constexpr std::size_t kValuesPerRun = 10;

// The 10 integers of a run in the order the service reads them.
void FillRecord(const RunRecord &run, std::int32_t start, std::int32_t *record)
{
    record[0] = start;
    record[1] = static_cast<std::int32_t>(run.duration);
    record[2] = static_cast<std::int32_t>(run.walkSteps);
    record[3] = static_cast<std::int32_t>(run.runSteps);
    record[4] = static_cast<std::int32_t>(run.walkDistance);
    record[5] = static_cast<std::int32_t>(run.runDistance);
    record[6] = static_cast<std::int32_t>(run.calories);
    record[7] = 0;
    record[8] = run.heartRateBefore;
    record[9] = run.heartRateAfter;
}

int SendRunsSince(KvtDatabase *database, const char16_t *session, std::int32_t since)
{
    if (!database)
        return 0;
    std::uint32_t count = 0;
    if (!database->CountRunsSince(since, &count))
        return 0;
    if (count == 0)
        return 1;
    try
    {
        std::vector<RunRecord> runs(count);
        std::vector<std::int32_t> starts(count);
        const int n = database->ListRunsSince(since, static_cast<std::int32_t>(count), runs.data(), starts.data());
        if (n <= 0)
            return 0;
        std::vector<std::int32_t> records(static_cast<std::size_t>(n) * kValuesPerRun);
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i)
            FillRecord(runs[i], starts[i], records.data() + i * kValuesPerRun);
        return WsAddRunData(session, records.data(), n) ? 1 : 0;
    }
    catch (const std::bad_alloc &)
    {
        return 0;
    }
}
} // namespace

int UploadRuns(KvtDatabase *database, const char16_t *webUser, const char16_t *webPassword)
{
    char16_t session[kWsSessionLength] = {};
    std::int32_t since = 1;
    if (!webUser || !webPassword)
        return 0;
    if (!WsLogin(webUser, webPassword, session))
        return 0;
    int result = 0;
    if (WsGetLastRecordDateTime(session, &since) >= 0)
        result = SendRunsSince(database, session, since);
    WsLogout(session);
    return result;
}
