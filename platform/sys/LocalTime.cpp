#include "platform/sys/LocalTime.h"

#include <ctime>
#include <mutex>
#include <utility>

namespace vxsys
{
namespace
{
// 3000-12-31 23:59:59 UTC, the last instant the framework's time class accepts.
constexpr int64_t kLastInstant = 32535215999;

std::mutex g_sourceLock;
std::function<int64_t()> g_source;
} // namespace

bool LocalTimeFromFields(const LocalFields &f, int64_t *seconds)
{
    if (!seconds)
        return false;
    if (f.year < 1900 || f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour < 0 ||
        f.hour > 23 || f.minute < 0 || f.minute > 59 || f.second < 0 || f.second > 59)
        return false;
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    const time_t t = mktime(&tm);
    // mktime gives -1 both for failure and for 1969-12-31 23:59:59 UTC; both lie outside the range.
    if (t < 0 || static_cast<int64_t>(t) > kLastInstant)
        return false;
    *seconds = static_cast<int64_t>(t);
    return true;
}

bool LocalFieldsFromTime(int64_t seconds, LocalFields *fields)
{
    if (!fields)
        return false;
    const time_t t = static_cast<time_t>(seconds);
    tzset(); // localtime_r need not notice a changed TZ on its own
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return false;
    *fields = LocalFields{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                          tm.tm_min,         tm.tm_sec,     tm.tm_wday};
    return true;
}

int64_t CurrentTime()
{
    std::function<int64_t()> source;
    {
        std::lock_guard<std::mutex> lock(g_sourceLock);
        source = g_source;
    }
    if (source)
        return source();
    return static_cast<int64_t>(time(nullptr));
}

void SetCurrentTimeSource(std::function<int64_t()> source)
{
    std::lock_guard<std::mutex> lock(g_sourceLock);
    g_source = std::move(source);
}
} // namespace vxsys
