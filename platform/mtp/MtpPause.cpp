#include "platform/mtp/MtpPause.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace vxmtp
{
namespace
{
std::mutex g_pauseMutex;
PauseFunction g_pause;
} // namespace

void PauseFor(unsigned milliseconds)
{
    PauseFunction pause;
    {
        std::lock_guard lock(g_pauseMutex);
        pause = g_pause;
    }
    if (pause)
        pause(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SetPauseFunction(PauseFunction pause)
{
    std::lock_guard lock(g_pauseMutex);
    g_pause = std::move(pause);
}
} // namespace vxmtp
