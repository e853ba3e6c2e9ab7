#include "platform/sys/Thread.h"

#include <system_error>

namespace vxsys
{
Thread::~Thread()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool Thread::Start(Procedure procedure)
{
    if (m_shared || !procedure)
        return false;
    auto shared = std::make_shared<Shared>();
    try
    {
        m_thread = std::thread([shared, procedure = std::move(procedure)] {
            shared->exitCode = procedure();
            shared->ended.Set();
        });
    }
    catch (const std::system_error &)
    {
        return false;
    }
    m_shared = std::move(shared);
    return true;
}

bool Thread::IsRunning() const
{
    return m_shared && !m_shared->ended.Wait(0);
}

bool Thread::JoinFor(std::uint32_t timeoutMs)
{
    if (!m_shared)
        return true;
    if (!m_shared->ended.Wait(timeoutMs))
    {
        if (m_thread.joinable())
            m_thread.detach();
        return false;
    }
    if (m_thread.joinable())
        m_thread.join();
    return true;
}

std::optional<std::uint32_t> Thread::ExitCode() const
{
    if (!m_shared || !m_shared->ended.Wait(0))
        return std::nullopt;
    return m_shared->exitCode;
}
} // namespace vxsys
