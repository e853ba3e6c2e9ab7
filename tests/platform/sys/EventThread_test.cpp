#include "platform/sys/Event.h"
#include "platform/sys/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using vxsys::Event;
using vxsys::EventReset;
using vxsys::kInfinite;
using vxsys::Thread;

TEST(Event, StartsAsCreatedAndATimedWaitOnANonSignalledEventFails)
{
    Event manualOn(EventReset::Manual, true);
    Event autoOn(EventReset::Auto, true);
    Event manualOff(EventReset::Manual, false);
    Event autoOff(EventReset::Auto, false);
    EXPECT_TRUE(manualOn.Wait(0));
    EXPECT_TRUE(autoOn.Wait(0));
    EXPECT_FALSE(manualOff.Wait(0));
    EXPECT_FALSE(autoOff.Wait(5));
}

TEST(Event, ManualResetStaysSignalledUntilReset)
{
    Event event(EventReset::Manual, false);
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(kInfinite));
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(Event, AutoResetLetsOneWaitThroughPerSet)
{
    Event event(EventReset::Auto, false);
    event.Set();
    event.Set(); // a second set on a signalled event adds nothing
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(Event, SetWakesAWaiterOnAnotherThread)
{
    Event go(EventReset::Auto, false);
    Event waiting(EventReset::Manual, false);
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        waiting.Set();
        woke = go.Wait(kInfinite);
    });
    ASSERT_TRUE(waiting.Wait(kInfinite));
    go.Set();
    waiter.join();
    EXPECT_TRUE(woke);
    EXPECT_FALSE(go.Wait(0)); // the waiter took the signal
}

TEST(Event, ManualResetReleasesEveryWaiter)
{
    Event gate(EventReset::Manual, false);
    std::atomic<int> through{0};
    std::thread a([&] { through += gate.Wait(kInfinite) ? 1 : 0; });
    std::thread b([&] { through += gate.Wait(kInfinite) ? 1 : 0; });
    gate.Set();
    a.join();
    b.join();
    EXPECT_EQ(through, 2);
}

TEST(Thread, JoinsAProcedureThatEndsAndKeepsItsExitCode)
{
    Thread thread;
    EXPECT_FALSE(thread.ExitCode().has_value());
    ASSERT_TRUE(thread.Start([] { return 7u; }));
    EXPECT_FALSE(thread.Start([] { return 8u; })); // one thread per object
    EXPECT_TRUE(thread.JoinFor(kInfinite));
    EXPECT_FALSE(thread.IsRunning());
    ASSERT_TRUE(thread.ExitCode().has_value());
    EXPECT_EQ(*thread.ExitCode(), 7u);
    EXPECT_TRUE(thread.JoinFor(0)); // already joined
}

TEST(Thread, NeverStartedCountsAsEnded)
{
    Thread thread;
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(thread.JoinFor(0));
    EXPECT_FALSE(thread.Start(Thread::Procedure{}));
}

TEST(Thread, AThreadThatOutlivesTheLimitIsLetGoAndReported)
{
    auto release = std::make_shared<Event>(EventReset::Manual, false);
    auto finished = std::make_shared<Event>(EventReset::Manual, false);
    {
        Thread thread;
        ASSERT_TRUE(thread.Start([release, finished] {
            release->Wait(kInfinite);
            finished->Set();
            return 0u;
        }));
        EXPECT_TRUE(thread.IsRunning());
        EXPECT_FALSE(thread.JoinFor(10));
        EXPECT_TRUE(thread.IsRunning());
        EXPECT_FALSE(thread.JoinFor(0));
    } // the object goes while its thread still runs
    release->Set();
    EXPECT_TRUE(finished->Wait(kInfinite));
}

TEST(Thread, DestructorWaitsForAThreadThatWasNotJoined)
{
    std::atomic<bool> ran{false};
    {
        Thread thread;
        ASSERT_TRUE(thread.Start([&ran] {
            ran = true;
            return 0u;
        }));
    }
    EXPECT_TRUE(ran);
}
