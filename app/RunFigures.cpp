#include "app/RunFigures.h"

#include "store/KvtDatabase.h"

namespace
{
constexpr int64_t kSecondsPerDay = 86400;
}

DayLastRun ReadDayLastRun(KvtDatabase *database, const DateParts &date)
{
    DayLastRun last;
    TimeParts start{0, 0, 0};
    uint32_t duration = 0;
    uint8_t before = 0, after = 0;
    DateParts day = date;
    if (!database || !database->GetHeartRateOfDay(&day, &start, &duration, &before, &after))
        return last;
    last.endSecondOfDay =
        (static_cast<int64_t>(start.hour) * 3600 + start.minute * 60 + start.second + duration) % kSecondsPerDay;
    last.heartRateAfter = after;
    return last;
}

CString TimeOfDayText(int64_t secondOfDay)
{
    CString text;
    text.Format(u"%02d:%02d:%02d", static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay % 3600 / 60),
                static_cast<int>(secondOfDay % 60));
    return text;
}
