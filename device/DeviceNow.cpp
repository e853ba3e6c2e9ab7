#include "device/DeviceNow.h"

#include <mutex>
#include <utility>

namespace
{
std::mutex g_mutex;
std::function<std::time_t()> g_source;
} // namespace

std::time_t DeviceNow()
{
    std::function<std::time_t()> source;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        source = g_source;
    }
    return source ? source() : std::time(nullptr);
}

void SetDeviceNowSource(std::function<std::time_t()> source)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_source = std::move(source);
}
