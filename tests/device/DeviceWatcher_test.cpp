#include "device/DeviceWatcher.h"

#include "device/DeviceCommandSession.h"
#include "device/DeviceMutex.h"
#include "device/SupportedDevices.h"
#include "device/UlvexDevice.h"
#include "platform/sys/Event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
// Long enough never to run out while the machine is merely busy; a wait that hits it means
// the watcher hung.
constexpr std::uint32_t kBound = 30000;

// True when another thread holds the device mutex, i.e. when the caller (a device view called by
// the watcher) holds it, since the tests themselves never take it.
bool DeviceMutexHeldByCaller()
{
    bool lockedElsewhere = true;
    std::thread probe([&] {
        if (DeviceMutex().try_lock())
        {
            lockedElsewhere = false;
            DeviceMutex().unlock();
        }
    });
    probe.join();
    return lockedElsewhere;
}

// One simulated monitor, answering under one supported entry.
struct FakeMonitor
{
    std::size_t entry = 0; // index in kSupportedDevices
    DeviceType type = DeviceType::MassStorage;
    std::string identity = "0123456789ABCDEF0123456789ABCDEF";
    bool identityAnswers = true; // GetSerial or the MTP finder succeeds
    bool driveFound = true;
    char letter = 'E';
    bool hidReady = true;          // ReadDeviceInfo succeeds
    std::uint16_t hidStatus = 0;   // its status byte
    std::int32_t sessionState = 0; // the session's state after a failed query
    std::uint8_t firmware[3] = {1, 2, 3};
};

// The devices the fakes answer for, and what the watcher asked of them.
struct FakeWorld
{
    std::mutex mutex;
    std::vector<FakeMonitor> monitors;
    std::string vendorId, productId; // the binding's IDs
    std::string hidVendorId, hidProductId;
    int tableWalks = 0; // SetIds with the first entry: one per table search
    int unlockedCalls = 0;
    // Run (outside the lock) at the start of every IsPresent.
    std::function<void()> onIsPresent;

    void Plug(const FakeMonitor &monitor)
    {
        std::lock_guard<std::mutex> lock(mutex);
        monitors.push_back(monitor);
    }
    void UnplugAll()
    {
        std::lock_guard<std::mutex> lock(mutex);
        monitors.clear();
    }
    template <typename F> void Change(F change)
    {
        std::lock_guard<std::mutex> lock(mutex);
        change(monitors.at(0));
    }
    int TableWalks()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return tableWalks;
    }

    void NoteCall()
    {
        const bool held = DeviceMutexHeldByCaller();
        std::lock_guard<std::mutex> lock(mutex);
        if (!held)
            ++unlockedCalls;
    }
    // The monitor under the given IDs; the caller holds mutex.
    const FakeMonitor *At(const std::string &vendor, const std::string &product) const
    {
        for (const FakeMonitor &m : monitors)
            if (vendor == kSupportedDevices[m.entry].szVendorId &&
                product == kSupportedDevices[m.entry].szProductId)
                return &m;
        return nullptr;
    }
};

class FakeBinding : public DeviceWatcherBinding
{
  public:
    explicit FakeBinding(FakeWorld &world) : m_world(world) {}

    void SetIds(const char *vendorId, const char *productId) override
    {
        m_world.NoteCall();
        std::lock_guard<std::mutex> lock(m_world.mutex);
        m_world.vendorId = vendorId;
        m_world.productId = productId;
        if (m_world.productId == kSupportedDevices[0].szProductId)
            ++m_world.tableWalks;
    }
    bool IsPresent() override
    {
        m_world.NoteCall();
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> lock(m_world.mutex);
            hook = m_world.onIsPresent;
        }
        if (hook)
            hook();
        std::lock_guard<std::mutex> lock(m_world.mutex);
        return Current() != nullptr;
    }
    DeviceType DetectType() override
    {
        m_world.NoteCall();
        std::lock_guard<std::mutex> lock(m_world.mutex);
        const FakeMonitor *m = Current();
        m_type = m ? m->type : DeviceType::None;
        return m_type;
    }
    bool GetSerial(char *identity) override
    {
        m_world.NoteCall();
        std::lock_guard<std::mutex> lock(m_world.mutex);
        const FakeMonitor *m = Current();
        if (m_type != DeviceType::MassStorage || !m || !m->identityAnswers)
            return false;
        std::snprintf(identity, kDeviceIdSize, "%s", m->identity.c_str());
        return true;
    }
    bool GetDriveLetter(char *letter) override
    {
        m_world.NoteCall();
        std::lock_guard<std::mutex> lock(m_world.mutex);
        const FakeMonitor *m = Current();
        if (!m || !m->driveFound)
            return false; // leaves the letter as it was
        *letter = m->letter;
        return true;
    }
    UsbIdPair UsbIds() const override
    {
        m_world.NoteCall();
        std::lock_guard<std::mutex> lock(m_world.mutex);
        UsbIdPair ids;
        ids.SetFromHex(m_world.vendorId.c_str(), m_world.productId.c_str());
        return ids;
    }

  private:
    const FakeMonitor *Current() const { return m_world.At(m_world.vendorId, m_world.productId); }

    FakeWorld &m_world;
    DeviceType m_type = DeviceType::None;
};

class FakeHid : public DeviceWatcherHid
{
  public:
    explicit FakeHid(FakeWorld &world) : m_world(world) {}

    void SetIds(const char *vendorId, const char *productId) override
    {
        m_world.NoteCall();
        std::lock_guard<std::mutex> lock(m_world.mutex);
        m_world.hidVendorId = vendorId;
        m_world.hidProductId = productId;
    }
    bool ReadDeviceInfo(std::uint16_t &state, std::uint8_t &major, std::uint8_t &minor, std::uint8_t &build,
                        std::uint16_t &value, char *identity) override
    {
        m_world.NoteCall();
        // As the session does: every output is cleared before the device is asked.
        state = DeviceCommandSession::kFailedAfterData;
        major = minor = build = 0;
        value = 0;
        std::memset(identity, 0, kDeviceIdSize);
        std::lock_guard<std::mutex> lock(m_world.mutex);
        const FakeMonitor *m = m_world.At(m_world.hidVendorId, m_world.hidProductId);
        if (!m || m->type != DeviceType::Hid)
        {
            m_state = DeviceCommandSession::kBadModeStatus;
            return false;
        }
        m_state = m->hidReady ? m->hidStatus : m->sessionState;
        state = static_cast<std::uint16_t>(m_state);
        if (!m->hidReady || m->hidStatus != 0)
            return false;
        major = m->firmware[0];
        minor = m->firmware[1];
        build = m->firmware[2];
        std::snprintf(identity, kDeviceIdSize, "%s", m->identity.c_str());
        return true;
    }
    std::int32_t GetState() const override
    {
        m_world.NoteCall();
        return m_state;
    }

  private:
    FakeWorld &m_world;
    std::int32_t m_state = DeviceCommandSession::kNothingDone;
};

class FakeMtp : public DeviceWatcherMtp
{
  public:
    explicit FakeMtp(FakeWorld &world) : m_world(world) {}

    bool FindDevice(std::uint16_t vendorId, std::uint16_t productId, char *identity,
                    std::size_t capacity) override
    {
        m_world.NoteCall();
        // As the real finder does: the buffer is cleared first, whatever comes of the search.
        std::memset(identity, 0, capacity);
        std::lock_guard<std::mutex> lock(m_world.mutex);
        for (const FakeMonitor &m : m_world.monitors)
        {
            const SupportedDeviceEntry &e = kSupportedDevices[m.entry];
            if (m.type == DeviceType::Mtp && HexToU16(e.szVendorId) == vendorId &&
                HexToU16(e.szProductId) == productId && m.identityAnswers)
            {
                std::snprintf(identity, capacity, "%s", m.identity.c_str());
                return true;
            }
        }
        return false;
    }

  private:
    FakeWorld &m_world;
};

// The messages the watcher posted, in order.
class PostedMessages
{
  public:
    void Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_messages.push_back(msg);
            EXPECT_EQ(wParam, 0u);
            EXPECT_EQ(lParam, 0);
        }
        m_changed.notify_all();
    }
    std::vector<std::uint32_t> All()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    bool WaitForCount(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kBound),
                                  [&] { return m_messages.size() >= count; });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::uint32_t> m_messages;
};

using Messages = std::vector<std::uint32_t>;
const std::uint32_t kArrived = WM_KVT_DEVICE_ARRIVED;
const std::uint32_t kRemoved = WM_KVT_DEVICE_REMOVED;

FakeMonitor MassStorage(char letter = 'E')
{
    FakeMonitor m;
    m.entry = 0;
    m.type = DeviceType::MassStorage;
    m.letter = letter;
    return m;
}

FakeMonitor Mtp(std::size_t entry = 1)
{
    FakeMonitor m;
    m.entry = entry;
    m.type = DeviceType::Mtp;
    m.identity = "MTPSERIAL0001";
    return m;
}

FakeMonitor Hid(bool ready = true)
{
    FakeMonitor m;
    m.entry = kHidEntry;
    m.type = DeviceType::Hid;
    m.identity = "FEDCBA9876543210FEDCBA9876543210";
    m.hidReady = ready;
    m.sessionState = DeviceCommandSession::kBusy;
    return m;
}

class DeviceWatcherTest : public ::testing::Test
{
  protected:
    DeviceWatcherTest()
        : watcher(std::make_shared<FakeBinding>(world), std::make_shared<FakeHid>(world),
                  std::make_shared<FakeMtp>(world),
                  [this](std::uint32_t msg, std::uintptr_t w, std::intptr_t l) { posted.Post(msg, w, l); })
    {
    }

    void TearDown() override
    {
        EXPECT_TRUE(watcher.Stop(kBound));
        std::lock_guard<std::mutex> lock(world.mutex);
        EXPECT_EQ(world.unlockedCalls, 0) << "a device call ran without the device mutex";
    }

    // Starts the thread and waits for the start-up check.
    void StartAndSettle()
    {
        ASSERT_TRUE(watcher.Start());
        ASSERT_TRUE(watcher.WaitUntilIdle(kBound));
    }

    // One requested check on the watcher thread, to its end.
    void CheckNow()
    {
        ASSERT_TRUE(watcher.RequestCheck());
        ASSERT_TRUE(watcher.WaitUntilIdle(kBound));
        EXPECT_EQ(watcher.PendingChecks(), 0);
    }

    FakeWorld world;
    PostedMessages posted;
    DeviceWatcher watcher;
};

void ExpectNothingFound(const FoundDevice &found)
{
    EXPECT_FALSE(found.bDeviceFound);
    EXPECT_FALSE(found.bHidAnswered);
    EXPECT_EQ(found.nHidState, kHidStateNothingFound);
    EXPECT_EQ(found.chDriveLetter, kNoDriveLetter);
    EXPECT_STREQ(found.szDeviceId, "");
    EXPECT_EQ(found.nDeviceTableFlag, 0u);
    EXPECT_EQ(found.nDeviceType, DeviceType::None);
}
} // namespace

TEST_F(DeviceWatcherTest, StartUpWithoutAMonitorRunsOneCheckAndPostsNothing)
{
    StartAndSettle();
    EXPECT_EQ(watcher.PendingChecks(), 0);
    EXPECT_EQ(world.TableWalks(), 1);
    EXPECT_EQ(posted.All(), Messages{});
    ExpectNothingFound(watcher.Found());
}

TEST_F(DeviceWatcherTest, StartUpWithAMonitorReportsItOnce)
{
    world.Plug(MassStorage('G'));
    StartAndSettle();
    EXPECT_EQ(posted.All(), Messages{kArrived});
    const FoundDevice found = watcher.Found();
    EXPECT_TRUE(found.bDeviceFound);
    EXPECT_EQ(found.chDriveLetter, 'G');
    EXPECT_STREQ(found.szDeviceId, "0123456789ABCDEF0123456789ABCDEF");
    EXPECT_EQ(found.nDeviceType, DeviceType::MassStorage);
    EXPECT_STREQ(found.szVendorId, kSupportedDevices[0].szVendorId);
    EXPECT_STREQ(found.szProductId, kSupportedDevices[0].szProductId);
}

TEST_F(DeviceWatcherTest, RemountedMassStorageMonitorIsReportedAgainWithItsNewLetter)
{
    world.Plug(MassStorage('E'));
    StartAndSettle();
    ASSERT_EQ(posted.All(), Messages{kArrived});

    world.Change([](FakeMonitor &m) { m.letter = 'F'; });
    CheckNow();
    EXPECT_EQ(posted.All(), (Messages{kArrived, kArrived}));
    EXPECT_EQ(watcher.Found().chDriveLetter, 'F');
    EXPECT_EQ(world.TableWalks(), 1); // the known device was re-checked, not searched for
}

TEST_F(DeviceWatcherTest, UnchangedDeviceOfEachTypeGivesNoFurtherMessage)
{
    const struct
    {
        const char *name;
        FakeMonitor monitor;
        std::uint32_t flag;
    } cases[] = {
        {"mass storage", MassStorage(), kSupportedDevices[0].bExtendedHeader},
        {"MTP", Mtp(3), kSupportedDevices[3].bExtendedHeader},
        {"HID", Hid(), kSupportedDevices[kHidEntry].bExtendedHeader},
    };
    StartAndSettle();
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        world.UnplugAll();
        CheckNow();
        world.Plug(c.monitor);
        const std::size_t before = posted.All().size();
        CheckNow();
        CheckNow();
        CheckNow();
        const Messages all = posted.All();
        ASSERT_EQ(all.size(), before + 1);
        EXPECT_EQ(all.back(), kArrived);
        const FoundDevice found = watcher.Found();
        EXPECT_TRUE(found.bDeviceFound);
        EXPECT_EQ(found.szDeviceId, c.monitor.identity);
        EXPECT_EQ(found.nDeviceTableFlag, c.flag);
        EXPECT_EQ(found.nDeviceType, c.monitor.type);
    }
    EXPECT_EQ(kSupportedDevices[kHidEntry].bExtendedHeader, 1);
}

TEST_F(DeviceWatcherTest, HidMonitorThatAnswersReadyGivesItsFirmwareAndIdentity)
{
    world.Plug(Hid());
    StartAndSettle();
    EXPECT_EQ(posted.All(), Messages{kArrived});
    const FoundDevice found = watcher.Found();
    EXPECT_TRUE(found.bDeviceFound);
    EXPECT_TRUE(found.bHidAnswered);
    EXPECT_EQ(found.nFirmwareMajor, 1);
    EXPECT_EQ(found.nFirmwareMinor, 2);
    EXPECT_EQ(found.nFirmwareBuild, 3);
    EXPECT_STREQ(found.szDeviceId, "FEDCBA9876543210FEDCBA9876543210");
    EXPECT_EQ(found.nDeviceTableFlag, 1u);
}

TEST_F(DeviceWatcherTest, HidPresentButNotReadyIsNotAnArrival)
{
    world.Plug(Hid(/*ready=*/false));
    StartAndSettle();
    EXPECT_EQ(posted.All(), Messages{});
    const FoundDevice found = watcher.Found();
    EXPECT_FALSE(found.bDeviceFound);
    EXPECT_TRUE(found.bHidAnswered);
    EXPECT_EQ(found.nHidState, DeviceCommandSession::kBusy);
    EXPECT_EQ(found.nDeviceTableFlag, 0u);
}

TEST_F(DeviceWatcherTest, HidMonitorThatStopsBeingReadyIsGoneOnce)
{
    world.Plug(Hid());
    StartAndSettle();
    ASSERT_EQ(posted.All(), Messages{kArrived});

    world.Change([](FakeMonitor &m) {
        m.hidReady = false;
        m.sessionState = DeviceCommandSession::kFailedAfterData;
    });
    CheckNow();
    CheckNow();
    EXPECT_EQ(posted.All(), (Messages{kArrived, kRemoved}));
    const FoundDevice found = watcher.Found();
    EXPECT_FALSE(found.bDeviceFound);
    EXPECT_TRUE(found.bHidAnswered);
    EXPECT_EQ(found.nHidState, DeviceCommandSession::kFailedAfterData);
}

TEST_F(DeviceWatcherTest, HidStatusOtherThanReadyCountsAsNotReady)
{
    FakeMonitor monitor = Hid();
    monitor.hidStatus = 2;
    world.Plug(monitor);
    StartAndSettle();
    EXPECT_EQ(posted.All(), Messages{});
    EXPECT_TRUE(watcher.Found().bHidAnswered);
    EXPECT_EQ(watcher.Found().nHidState, 2);
}

TEST_F(DeviceWatcherTest, LostDeviceIsReportedGoneExactlyOnce)
{
    world.Plug(Mtp());
    StartAndSettle();
    ASSERT_EQ(posted.All(), Messages{kArrived});

    world.UnplugAll();
    CheckNow();
    CheckNow();
    CheckNow();
    EXPECT_EQ(posted.All(), (Messages{kArrived, kRemoved}));
    ExpectNothingFound(watcher.Found());
}

TEST_F(DeviceWatcherTest, TableIsSearchedInOrderAndANotReadyHidMonitorEndsTheSearch)
{
    // Devices under entries 3 and 1: entry 1 comes first.
    world.Plug(Mtp(3));
    FakeMonitor second = MassStorage('K');
    second.entry = 1;
    second.identity = "SECOND";
    world.Plug(second);
    StartAndSettle();
    EXPECT_EQ(posted.All(), Messages{kArrived});
    EXPECT_STREQ(watcher.Found().szDeviceId, "SECOND");
    EXPECT_STREQ(watcher.Found().szProductId, kSupportedDevices[1].szProductId);

    // Only entry 3 is left, behind a HID monitor that is not ready: entry 3 is never reached.
    world.UnplugAll();
    world.Plug(Hid(/*ready=*/false));
    world.Plug(Mtp(3));
    CheckNow();
    EXPECT_EQ(posted.All(), (Messages{kArrived, kRemoved}));
    EXPECT_FALSE(watcher.Found().bDeviceFound);
}

TEST_F(DeviceWatcherTest, KnownDeviceIsRecheckedBeforeTheTable)
{
    world.Plug(Mtp(3));
    StartAndSettle();
    ASSERT_EQ(posted.All(), Messages{kArrived});
    // A device under an earlier entry appears; the known one still answers and stays chosen.
    world.Plug(MassStorage());
    CheckNow();
    EXPECT_EQ(posted.All(), Messages{kArrived});
    EXPECT_STREQ(watcher.Found().szDeviceId, "MTPSERIAL0001");
    EXPECT_EQ(world.TableWalks(), 1);
}

TEST_F(DeviceWatcherTest, DeviceThatFailsToIdentifyItselfIsSkipped)
{
    FakeMonitor silent = MassStorage();
    silent.identityAnswers = false;
    world.Plug(silent);
    StartAndSettle();
    EXPECT_EQ(posted.All(), Messages{});
    ExpectNothingFound(watcher.Found());
}

// A drive lookup that fails leaves its output alone: the letter must then be "none", never the
// letter of the drive the monitor had before.
TEST_F(DeviceWatcherTest, FailedDriveLookupGivesNoLetterInsteadOfTheOldOne)
{
    world.Plug(MassStorage('E'));
    StartAndSettle();
    ASSERT_EQ(watcher.Found().chDriveLetter, 'E');

    world.Change([](FakeMonitor &m) { m.driveFound = false; });
    CheckNow();
    EXPECT_EQ(watcher.Found().chDriveLetter, kNoDriveLetter);
    EXPECT_EQ(posted.All(), (Messages{kArrived, kArrived}));

    // Found again by a table search after the monitor was away.
    world.UnplugAll();
    CheckNow();
    FakeMonitor back = MassStorage('H');
    back.driveFound = false;
    world.Plug(back);
    CheckNow();
    EXPECT_EQ(watcher.Found().chDriveLetter, kNoDriveLetter);
    EXPECT_EQ(posted.All(), (Messages{kArrived, kArrived, kRemoved, kArrived}));
}

// The finder clears its buffer even when it finds nothing; a momentary failure must neither
// empty the stored identity nor make the same device look new afterwards.
TEST_F(DeviceWatcherTest, FailedMtpLookupKeepsTheStoredIdentity)
{
    world.Plug(Mtp());
    StartAndSettle();
    ASSERT_EQ(posted.All(), Messages{kArrived});

    world.Change([](FakeMonitor &m) { m.identityAnswers = false; });
    CheckNow();
    EXPECT_STREQ(watcher.Found().szDeviceId, "MTPSERIAL0001");
    EXPECT_TRUE(watcher.Found().bDeviceFound);

    world.Change([](FakeMonitor &m) { m.identityAnswers = true; });
    CheckNow();
    EXPECT_EQ(posted.All(), Messages{kArrived});

    world.Change([](FakeMonitor &m) { m.identity = "MTPSERIAL0002"; });
    CheckNow();
    EXPECT_EQ(posted.All(), (Messages{kArrived, kArrived}));
    EXPECT_STREQ(watcher.Found().szDeviceId, "MTPSERIAL0002");
}

// Blocks the check in IsPresent under the given entry (once) until released.
struct CheckGate
{
    vxsys::Event entered{vxsys::EventReset::Manual, false};
    vxsys::Event release{vxsys::EventReset::Manual, false};

    void CloseAt(FakeWorld &world, std::size_t entry)
    {
        std::lock_guard<std::mutex> lock(world.mutex);
        world.onIsPresent = [this, &world, entry] {
            {
                std::lock_guard<std::mutex> inner(world.mutex);
                if (world.productId != kSupportedDevices[entry].szProductId)
                    return;
                world.onIsPresent = nullptr;
            }
            entered.Set();
            release.Wait(vxsys::kInfinite);
        };
    }
};

TEST_F(DeviceWatcherTest, RequestsWhileACheckRunsAreCoalescedIntoOneMoreCheck)
{
    StartAndSettle();
    CheckGate gate;
    gate.CloseAt(world, 0);
    ASSERT_TRUE(watcher.RequestCheck());
    ASSERT_TRUE(gate.entered.Wait(kBound));
    EXPECT_TRUE(watcher.RequestCheck());
    EXPECT_EQ(watcher.PendingChecks(), 2);
    EXPECT_FALSE(watcher.RequestCheck());
    EXPECT_FALSE(watcher.RequestCheck());
    EXPECT_EQ(watcher.PendingChecks(), 2);
    gate.release.Set();
    ASSERT_TRUE(watcher.WaitUntilIdle(kBound));
    EXPECT_EQ(watcher.PendingChecks(), 0);
    ASSERT_TRUE(watcher.Stop(kBound));
    // The start-up check, the one request, and one more for the three that came while it ran.
    EXPECT_EQ(world.TableWalks(), 3);
}

// The hot-plug request for a monitor comes while a check runs that has already passed the
// monitor's entry: the monitor must still be reported, without waiting for another event.
TEST_F(DeviceWatcherTest, MonitorArrivingWhileACheckRunsIsReported)
{
    const std::size_t last = std::size(kSupportedDevices) - 1;
    for (const bool duringStartUp : {true, false})
    {
        SCOPED_TRACE(duringStartUp ? "during the start-up check" : "during a requested check");
        DeviceWatcher w(
            std::make_shared<FakeBinding>(world), std::make_shared<FakeHid>(world),
            std::make_shared<FakeMtp>(world),
            [this](std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) { posted.Post(msg, wp, lp); });
        world.UnplugAll();
        const std::size_t before = posted.All().size();
        CheckGate gate;
        if (duringStartUp)
        {
            gate.CloseAt(world, last);
            ASSERT_TRUE(w.Start());
        }
        else
        {
            ASSERT_TRUE(w.Start());
            ASSERT_TRUE(w.WaitUntilIdle(kBound));
            gate.CloseAt(world, last);
            ASSERT_TRUE(w.RequestCheck());
        }
        ASSERT_TRUE(gate.entered.Wait(kBound));
        world.Plug(MassStorage('G')); // under the first entry, which the check has passed
        EXPECT_TRUE(w.RequestCheck());
        gate.release.Set();
        ASSERT_TRUE(w.WaitUntilIdle(kBound));
        const Messages all = posted.All();
        ASSERT_EQ(all.size(), before + 1);
        EXPECT_EQ(all.back(), kArrived);
        const FoundDevice found = w.Found();
        EXPECT_TRUE(found.bDeviceFound);
        EXPECT_EQ(found.chDriveLetter, 'G');
        EXPECT_TRUE(w.Stop(kBound));
    }
}

// However the thread ends, the counter ends at 0: a waiter without a time limit returns.
TEST_F(DeviceWatcherTest, PendingCountReachesZeroOnEveryWayTheThreadEnds)
{
    const struct
    {
        const char *what;
        std::function<void(DeviceWatcher &)> run;
    } cases[] = {
        {"quit before the start-up check",
         [](DeviceWatcher &w) {
             w.SignalQuit();
             ASSERT_TRUE(w.Start());
             ASSERT_TRUE(w.Stop(kBound));
         }},
        {"a request together with quit",
         [](DeviceWatcher &w) {
             ASSERT_TRUE(w.Start());
             ASSERT_TRUE(w.WaitUntilIdle(kBound));
             w.SignalQuit();
             EXPECT_FALSE(w.RequestCheck());
             ASSERT_TRUE(w.Stop(kBound));
         }},
        {"quit while a follow-up check is due",
         [this](DeviceWatcher &w) {
             ASSERT_TRUE(w.Start());
             ASSERT_TRUE(w.WaitUntilIdle(kBound));
             CheckGate gate;
             gate.CloseAt(world, 0);
             ASSERT_TRUE(w.RequestCheck());
             ASSERT_TRUE(gate.entered.Wait(kBound));
             EXPECT_TRUE(w.RequestCheck());
             w.SignalQuit();
             gate.release.Set();
             ASSERT_TRUE(w.Stop(kBound));
         }},
        {"stopped without being started", [](DeviceWatcher &w) { ASSERT_TRUE(w.Stop(kBound)); }},
        {"a request after the thread ended",
         [](DeviceWatcher &w) {
             ASSERT_TRUE(w.Start());
             ASSERT_TRUE(w.Stop(kBound));
             EXPECT_FALSE(w.RequestCheck());
         }},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        DeviceWatcher w(std::make_shared<FakeBinding>(world), std::make_shared<FakeHid>(world),
                        std::make_shared<FakeMtp>(world), nullptr);
        c.run(w);
        EXPECT_EQ(w.PendingChecks(), 0);
        ASSERT_TRUE(w.WaitUntilIdle(kBound));
        EXPECT_TRUE(w.WaitUntilIdle(vxsys::kInfinite));
    }
}

TEST_F(DeviceWatcherTest, QuitDuringACheckEndsTheThreadAfterTheCheck)
{
    StartAndSettle();
    vxsys::Event entered(vxsys::EventReset::Manual, false);
    vxsys::Event release(vxsys::EventReset::Manual, false);
    {
        std::lock_guard<std::mutex> lock(world.mutex);
        world.onIsPresent = [&] {
            {
                std::lock_guard<std::mutex> inner(world.mutex);
                world.onIsPresent = nullptr; // block only the first call
            }
            entered.Set();
            release.Wait(vxsys::kInfinite);
        };
    }
    ASSERT_TRUE(watcher.RequestCheck());
    ASSERT_TRUE(entered.Wait(kBound));
    watcher.SignalQuit();
    world.Plug(MassStorage()); // the running check still finds it
    release.Set();
    EXPECT_TRUE(watcher.Stop(kBound));
    EXPECT_EQ(posted.All(), Messages{kArrived});
    EXPECT_EQ(watcher.PendingChecks(), 0);
    EXPECT_EQ(world.TableWalks(), 2);
}

TEST_F(DeviceWatcherTest, QuitBeforeStartEndsTheThreadWithoutACheck)
{
    watcher.SignalQuit();
    ASSERT_TRUE(watcher.Start());
    EXPECT_TRUE(watcher.Stop(kBound));
    EXPECT_EQ(world.TableWalks(), 0);
    EXPECT_EQ(posted.All(), Messages{});
}

TEST_F(DeviceWatcherTest, StopBeforeStartSucceeds)
{
    EXPECT_TRUE(watcher.Stop(0));
}

// The UI thread reads what the checks found while checks keep changing it: every copy it takes
// is one check's whole result, never a mix of two.
TEST_F(DeviceWatcherTest, ReaderAlwaysSeesOneCheckWholeResult)
{
    world.Plug(MassStorage('E'));
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!done)
        {
            const FoundDevice found = watcher.Found();
            ++reads;
            const std::string id = found.szDeviceId;
            if (found.bDeviceFound && !((id == "IDENTITY-E" && found.chDriveLetter == 'E') ||
                                        (id == "IDENTITY-F" && found.chDriveLetter == 'F')))
                ++mixed;
        }
    });
    for (int i = 0; i < 200; ++i)
    {
        const char letter = (i % 2) ? 'F' : 'E';
        world.Change([&](FakeMonitor &m) {
            m.letter = letter;
            m.identity = std::string("IDENTITY-") + letter;
        });
        watcher.DetectDevice();
    }
    done = true;
    reader.join();
    EXPECT_EQ(mixed, 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(posted.All().size(), 200u);
}
