#pragma once

#include "platform/sys/Event.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace vxsys
{
// One worker thread whose end can be awaited for a bounded time.
//
// JoinFor waits up to a limit for the thread procedure to return. When it does not, the
// thread is let go (detached) and JoinFor says so: the caller then knows the thread still
// runs and must keep alive whatever the procedure uses. The thread's own bookkeeping is
// shared with the running thread, so letting it go is safe for this object.
class Thread
{
  public:
    using Procedure = std::function<std::uint32_t()>;

    Thread() = default;
    // A thread that was neither joined nor let go is waited for without a limit.
    ~Thread();
    Thread(const Thread &) = delete;
    Thread &operator=(const Thread &) = delete;

    // Runs procedure on a new thread. False when a thread was already started from this
    // object or the system could not create one.
    bool Start(Procedure procedure);

    // True when the thread has been started and its procedure has not returned yet.
    bool IsRunning() const;

    // True when the thread was never started or its procedure returned within timeoutMs
    // milliseconds (it is then joined). False when it still runs: it is let go, and later
    // calls report false until it has ended.
    bool JoinFor(std::uint32_t timeoutMs);

    // The procedure's return value once it has returned.
    std::optional<std::uint32_t> ExitCode() const;

  private:
    struct Shared
    {
        Event ended{EventReset::Manual, false};
        std::uint32_t exitCode = 0; // written before ended is set
    };

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
} // namespace vxsys
