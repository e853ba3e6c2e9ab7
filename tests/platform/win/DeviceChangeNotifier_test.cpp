#include "platform/win/DeviceChangeNotifier.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/win/Afx.h"
#include "tests/support/DeviceEventFeed.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/gui/GuiTestHelpers.h"

namespace
{
// The window device changes go to; records each as (type, data).
class Listener : public CWnd
{
  public:
    std::vector<std::pair<UINT, DWORD_PTR>> changes;
    std::function<void()> onChange;

    bool Make() { return CreateEx(0, u"l", u"Listener", WS_POPUP, CRect(0, 0, 10, 10), nullptr, 0) != FALSE; }

  protected:
    BOOL OnDeviceChange(UINT type, DWORD_PTR data) override
    {
        changes.emplace_back(type, data);
        if (onChange)
            onChange();
        return TRUE;
    }
};

std::vector<UINT> Types(const std::vector<std::pair<UINT, DWORD_PTR>> &changes)
{
    std::vector<UINT> types;
    for (const auto &[type, data] : changes)
        types.push_back(type);
    return types;
}
} // namespace

TEST(DeviceChangeEvents, AUdevActionGivesItsEventType)
{
    const struct
    {
        const char *action;
        UINT type;
    } cases[] = {
        {"add", DBT_DEVICEARRIVAL},
        {"remove", DBT_DEVICEREMOVECOMPLETE},
        {"change", DBT_DEVNODES_CHANGED},
        {"bind", DBT_DEVNODES_CHANGED},
        {"unbind", DBT_DEVNODES_CHANGED},
        {"move", DBT_DEVNODES_CHANGED},
        {"offline", DBT_DEVNODES_CHANGED},
        {"Add", DBT_DEVNODES_CHANGED},
        {"", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxwin::DeviceChangeOfUdevAction(c.action), c.type) << c.action;
}

TEST(DeviceChangeEvents, TheMountTableTellsMountsThatCameWentOrChanged)
{
    const std::string path = vxtest::MakeTempDir("mounts") + "/mountinfo";
    const std::string root = "21 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
    const std::string drive = "40 21 8:17 / /media/u/MONITOR rw,nosuid - vfat /dev/sdb1 rw\n";
    const std::string driveReadOnly = "40 21 8:17 / /media/u/MONITOR ro,nosuid - vfat /dev/sdb1 ro\n";
    const std::string other = "41 21 8:33 / /media/u/OTHER rw - vfat /dev/sdc1 rw\n";
    std::ofstream(path) << root;
    auto watch = vxwin::OpenMountTableWatch(path);
    ASSERT_TRUE(watch);
    EXPECT_TRUE(watch->SignalsByPriority());
    EXPECT_GE(watch->Descriptor(), 0);

    const struct
    {
        std::string table;
        std::vector<UINT> types;
    } steps[] = {
        {root, {}},
        {root + drive, {DBT_DEVICEARRIVAL}},
        {root + driveReadOnly, {DBT_DEVNODES_CHANGED}},
        {root + other, {DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL}},
        {root, {DBT_DEVICEREMOVECOMPLETE}},
        // Mounts of no device (major 0) come and go without a device event.
        {root + "50 21 0:45 / /run/user/1000 rw - tmpfs tmpfs rw\n", {}},
        {root + "50 21 0:45 / /run/user/1000 ro - tmpfs tmpfs ro\n", {}},
        // Hostile text: NUL bytes, no closing line break, lines without fields or devices.
        {root + std::string("42 \0x 8:3\n", 10) + "\n\n43 1 a:1 /\n44 1 :1\n45 1 8:1", {DBT_DEVICEARRIVAL}},
        {"", {DBT_DEVICEREMOVECOMPLETE}},
        {"", {}},
    };
    for (const auto &step : steps)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << step.table;
        std::vector<UINT> types;
        EXPECT_TRUE(watch->Read(types));
        EXPECT_EQ(types, step.types) << testing::PrintToString(step.table);
    }
    EXPECT_FALSE(vxwin::OpenMountTableWatch(path + ".missing"));
}

TEST(DeviceChangeNotifier, EventsReachTheWindowAsTheyAreReadAndNotOnceStopped)
{
    Listener window;
    ASSERT_TRUE(window.Make());
    vxtest::DeviceEventFeed feed;
    vxwin::DeviceChangeNotifier notifier;
    notifier.Start(window.GetSafeHwnd(), feed.TakeSources());
    EXPECT_EQ(notifier.WatchedSources(), 1);

    ASSERT_TRUE(feed.Send("aninr"));
    ASSERT_TRUE(vxtest::WaitFor([&] { return window.changes.size() == 4; }));
    EXPECT_EQ(Types(window.changes), (std::vector<UINT>{DBT_DEVICEARRIVAL, DBT_DEVNODES_CHANGED,
                                                        DBT_DEVNODES_CHANGED, DBT_DEVICEREMOVECOMPLETE}));
    for (const auto &[type, data] : window.changes)
        EXPECT_EQ(data, 0u);

    // Stopping lets the source go at once.
    notifier.Stop();
    EXPECT_EQ(notifier.WatchedSources(), 0);
    EXPECT_FALSE(feed.Send("a"));
    vxtest::ProcessEvents();
    EXPECT_EQ(window.changes.size(), 4u);
}

TEST(DeviceChangeNotifier, AHandlerMayStopTheNotifierOrRunANestedLoop)
{
    Listener window;
    ASSERT_TRUE(window.Make());
    {
        // Stopped by the first of three events read together: the other two are not delivered.
        vxtest::DeviceEventFeed feed;
        vxwin::DeviceChangeNotifier notifier;
        window.onChange = [&] { notifier.Stop(); };
        notifier.Start(window.GetSafeHwnd(), feed.TakeSources());
        ASSERT_TRUE(feed.Send("arn"));
        ASSERT_TRUE(vxtest::WaitFor([&] { return !window.changes.empty(); }));
        vxtest::ProcessEvents();
        EXPECT_EQ(Types(window.changes), std::vector<UINT>{DBT_DEVICEARRIVAL});
    }
    {
        // A handler that waits in a nested loop gets the events that arrive meanwhile, in turn.
        window.changes.clear();
        vxtest::DeviceEventFeed feed;
        vxwin::DeviceChangeNotifier notifier;
        bool nested = false;
        window.onChange = [&] {
            if (nested)
                return;
            nested = true;
            EXPECT_TRUE(feed.Send("r"));
            vxtest::WaitFor([&] { return window.changes.size() == 2; });
            // Stopping and starting again inside the nested loop leaves nothing dangling.
            notifier.Start(window.GetSafeHwnd(), {});
        };
        notifier.Start(window.GetSafeHwnd(), feed.TakeSources());
        ASSERT_TRUE(feed.Send("a"));
        ASSERT_TRUE(vxtest::WaitFor([&] { return window.changes.size() == 2; }));
        vxtest::ProcessEvents();
        EXPECT_EQ(Types(window.changes), (std::vector<UINT>{DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE}));
    }
    window.onChange = nullptr;
}

TEST(DeviceChangeNotifier, AGoneWindowOrABrokenSourceGetsNothing)
{
    vxtest::DeviceEventFeed feed;
    int reads = 0;
    vxwin::DeviceChangeNotifier notifier;
    {
        Listener window;
        ASSERT_TRUE(window.Make());
        notifier.Start(window.GetSafeHwnd(), feed.TakeSources(&reads));
    }
    ASSERT_TRUE(feed.Send("a"));
    ASSERT_TRUE(vxtest::WaitFor([&] { return reads == 1; }));

    // A source that breaks is watched no more, so it cannot make the loop spin, and is let go.
    ASSERT_TRUE(feed.Send("x"));
    ASSERT_TRUE(vxtest::WaitFor([&] { return notifier.WatchedSources() == 0; }));
    vxtest::ProcessEvents();
    EXPECT_FALSE(feed.Send("a"));
    EXPECT_EQ(reads, 2);
}

TEST(DeviceChangeNotifier, WithoutUdevOrAMountTableThereIsNothingToWatchAndNoError)
{
    Listener window;
    ASSERT_TRUE(window.Make());
    const std::string proc = vxtest::MakeTempDir("proc");
    vxtest::ScopedEnv procRoot("VORMATIK_PROC_ROOT", proc.c_str());
    const int udev = vxwin::OpenUdevMonitor() ? 1 : 0;
    {
        vxwin::DeviceChangeNotifier notifier;
        notifier.Start(window.GetSafeHwnd());
        EXPECT_EQ(notifier.WatchedSources(), udev);
    }
    // The mount table of the proc root is watched when there is one.
    std::filesystem::create_directories(proc + "/self");
    std::ofstream(proc + "/self/mountinfo") << "21 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
    vxwin::DeviceChangeNotifier notifier;
    notifier.Start(window.GetSafeHwnd());
    EXPECT_EQ(notifier.WatchedSources(), udev + 1);

    // Tests put sources of their own in place of the system's.
    vxtest::DeviceEventFeed feed;
    vxwin::SetDeviceEventSourceFactory([&feed] { return feed.TakeSources(); });
    notifier.Start(window.GetSafeHwnd());
    vxwin::SetDeviceEventSourceFactory({});
    EXPECT_EQ(notifier.WatchedSources(), 1);
    ASSERT_TRUE(feed.Send("r"));
    ASSERT_TRUE(vxtest::WaitFor([&] { return !window.changes.empty(); }));
    EXPECT_EQ(Types(window.changes), std::vector<UINT>{DBT_DEVICEREMOVECOMPLETE});
}
