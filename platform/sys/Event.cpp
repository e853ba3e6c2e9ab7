#include "platform/sys/Event.h"

#include <chrono>

namespace vxsys
{
Event::Event(EventReset reset, bool initiallySignalled) : m_reset(reset), m_signalled(initiallySignalled) {}

void Event::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_signalled = true;
    }
    // An auto-reset event lets one waiter through; the others would only find it taken.
    if (m_reset == EventReset::Auto)
        m_changed.notify_one();
    else
        m_changed.notify_all();
}

void Event::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = false;
}

void Event::Take()
{
    if (m_reset == EventReset::Auto)
        m_signalled = false;
}

bool Event::Wait(std::uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto signalled = [this] { return m_signalled; };
    if (timeoutMs == kInfinite)
        m_changed.wait(lock, signalled);
    else if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled))
        return false;
    Take();
    return true;
}
} // namespace vxsys
