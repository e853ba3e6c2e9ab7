#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vxsys
{
// A wait without a time limit.
constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

enum class EventReset
{
    Manual, // stays signalled until Reset; every waiter gets through
    Auto,   // a successful wait takes the signal back; one waiter gets through per Set
};

// A signal that threads wait on, with the semantics of a Windows event object: Set makes it
// signalled, Reset not; a wait returns at once while it is signalled, else when it is set or
// the time limit passes. A wait that succeeds on an auto-reset event leaves it non-signalled.
class Event
{
  public:
    Event(EventReset reset, bool initiallySignalled);
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;

    void Set();
    void Reset();

    // True when the event was (or became) signalled within timeoutMs milliseconds; 0 tests
    // without waiting, kInfinite waits as long as it takes. A timed-out wait leaves it alone.
    bool Wait(std::uint32_t timeoutMs = kInfinite);

  private:
    // Called with the lock held once the event is known to be signalled.
    void Take();

    const EventReset m_reset;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled;
};
} // namespace vxsys
