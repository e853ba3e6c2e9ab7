#include "device/DeviceWatcher.h"

#include "device/DeviceMutex.h"
#include "device/SupportedDevices.h"

#include <chrono>
#include <cstring>

namespace
{
// How one step of a check ends.
enum class Outcome
{
    Unchanged,  // nothing to report
    Arrived,    // a new or changed device: WM_KVT_DEVICE_ARRIVED
    Removed,    // a device that had been found is gone: WM_KVT_DEVICE_REMOVED
    SearchTable // the known device did not answer as before: walk the table
};

bool SameIdentity(const char *a, const char *b)
{
    return std::memcmp(a, b, kDeviceIdSize) == 0;
}

void StoreIdentity(FoundDevice &found, const char *identity)
{
    std::memcpy(found.szDeviceId, identity, kDeviceIdSize);
    found.szDeviceId[kDeviceIdSize - 1] = '\0';
}

void StoreIds(FoundDevice &found, DeviceType type, const SupportedDeviceEntry *entry)
{
    found.nDeviceType = type;
    std::memset(found.szVendorId, 0, sizeof found.szVendorId);
    std::memset(found.szProductId, 0, sizeof found.szProductId);
    if (entry)
    {
        std::memcpy(found.szVendorId, entry->szVendorId, sizeof found.szVendorId);
        std::memcpy(found.szProductId, entry->szProductId, sizeof found.szProductId);
    }
}
} // namespace

struct DeviceWatcher::Core
{
    Core(std::shared_ptr<DeviceWatcherBinding> b, std::shared_ptr<DeviceWatcherHid> h,
         std::shared_ptr<DeviceWatcherMtp> m, PostFunction p)
        : binding(std::move(b)), hid(std::move(h)), mtp(std::move(m)), post(std::move(p))
    {
    }

    std::uint32_t WorkerThread();
    void DetectDevice();
    bool CheckDone();
    void NotifyIdle();
    void Retire();
    Outcome RecheckKnownDevice(FoundDevice &found);
    Outcome SearchSupportedDevices(FoundDevice &found);

    const std::shared_ptr<DeviceWatcherBinding> binding;
    const std::shared_ptr<DeviceWatcherHid> hid;
    const std::shared_ptr<DeviceWatcherMtp> mtp;
    const PostFunction post;

    // Created signalled with one check pending: the start-up check runs at once.
    vxsys::Event workEvent{vxsys::EventReset::Auto, true};
    vxsys::Event quitEvent{vxsys::EventReset::Manual, false};
    // 0 idle, 1 a check pending or running, 2 one running and another due after it.
    std::atomic<std::int32_t> pendingChecks{1};
    // Set once the thread has ended (or will never run): no check follows any more.
    std::atomic<bool> retired{false};
    mutable std::mutex idleMutex;
    mutable std::condition_variable idleChanged;

    // The check's own record, touched only under the device mutex.
    FoundDevice working;
    // The record the UI thread reads.
    mutable std::mutex foundMutex;
    FoundDevice published;
};

std::uint32_t DeviceWatcher::Core::WorkerThread()
{
    for (;;)
    {
        if (!workEvent.Wait(vxsys::kInfinite))
            continue;
        for (;;)
        {
            if (quitEvent.Wait(0))
            {
                Retire();
                return 0;
            }
            // A request that came before this check starts is answered by it.
            std::int32_t queued = 2;
            pendingChecks.compare_exchange_strong(queued, 1);
            DetectDevice();
            // A request that came while the check ran may concern a device the check had
            // already passed: one more check, so the last state is always reported.
            if (!CheckDone())
                break;
        }
    }
}

// True when another check is due.
bool DeviceWatcher::Core::CheckDone()
{
    const std::int32_t before = pendingChecks.fetch_sub(1);
    NotifyIdle();
    return before > 1;
}

void DeviceWatcher::Core::NotifyIdle()
{
    {
        // Taken so that a waiter between its test and its wait cannot miss the change.
        std::lock_guard<std::mutex> lock(idleMutex);
    }
    idleChanged.notify_all();
}

// No check runs any more: what was requested is dropped, so the counter reaches 0 and nobody
// waits for it in vain.
void DeviceWatcher::Core::Retire()
{
    retired.store(true);
    pendingChecks.store(0);
    NotifyIdle();
}

void DeviceWatcher::Core::DetectDevice()
{
    Outcome outcome = Outcome::Unchanged;
    {
        // The binding, the ID pair and the HID session are the UI thread's too; its transfers hold
        // the same mutex, so a check never runs in the middle of one (nor changes the IDs under it).
        DeviceLock deviceLock(DeviceMutex());
        if (working.bDeviceFound)
            outcome = RecheckKnownDevice(working);
        if (!working.bDeviceFound || outcome == Outcome::SearchTable)
            outcome = SearchSupportedDevices(working);
        std::lock_guard<std::mutex> lock(foundMutex);
        published = working;
    }
    if (!post)
        return;
    if (outcome == Outcome::Arrived)
        post(WM_KVT_DEVICE_ARRIVED, 0, 0);
    else if (outcome == Outcome::Removed)
        post(WM_KVT_DEVICE_REMOVED, 0, 0);
}

// The binding still holds the IDs of the entry found last time.
Outcome DeviceWatcher::Core::RecheckKnownDevice(FoundDevice &found)
{
    if (!binding->IsPresent())
        return Outcome::SearchTable;
    const DeviceType type = binding->DetectType();
    // Each answer lands in a scratch buffer first: the lookups clear or half fill their buffer when
    // they fail, and only a device that answered may change the stored identity.
    char identity[kDeviceIdSize] = {};
    switch (type)
    {
    case DeviceType::MassStorage: {
        if (!binding->GetSerial(identity))
            return Outcome::Unchanged;
        // A failed lookup leaves the letter as it is; it must not be the previous drive's.
        char letter = static_cast<char>(kNoDriveLetter);
        binding->GetDriveLetter(&letter);
        if (static_cast<std::uint8_t>(letter) == found.chDriveLetter &&
            SameIdentity(identity, found.szDeviceId))
            return Outcome::Unchanged;
        found.chDriveLetter = static_cast<std::uint8_t>(letter);
        StoreIdentity(found, identity);
        found.nDeviceType = type;
        return Outcome::Arrived;
    }
    case DeviceType::Mtp: {
        const UsbIdPair ids = binding->UsbIds();
        if (!mtp->FindDevice(ids.VendorId(), ids.ProductId(), identity, sizeof identity))
            return Outcome::Unchanged;
        if (SameIdentity(identity, found.szDeviceId))
            return Outcome::Unchanged;
        StoreIdentity(found, identity);
        found.nDeviceType = type;
        return Outcome::Arrived;
    }
    case DeviceType::Hid: {
        std::uint16_t state = 0;
        std::uint8_t major = 0, minor = 0, build = 0;
        std::uint16_t value = 0;
        if (!hid->ReadDeviceInfo(state, major, minor, build, value, identity) || state != 0)
            return Outcome::SearchTable;
        found.nFirmwareMajor = major;
        found.nFirmwareMinor = minor;
        found.nFirmwareBuild = build;
        if (SameIdentity(identity, found.szDeviceId))
            return Outcome::Unchanged;
        StoreIdentity(found, identity);
        found.nDeviceType = type;
        return Outcome::Arrived;
    }
    case DeviceType::None:
        break;
    }
    return Outcome::SearchTable;
}

Outcome DeviceWatcher::Core::SearchSupportedDevices(FoundDevice &found)
{
    const bool wasFound = found.bDeviceFound;
    for (const SupportedDeviceEntry &entry : kSupportedDevices)
    {
        binding->SetIds(entry.szVendorId, entry.szProductId);
        hid->SetIds(entry.szVendorId, entry.szProductId);
        if (!binding->IsPresent())
            continue;
        const DeviceType type = binding->DetectType();
        char identity[kDeviceIdSize] = {};
        switch (type)
        {
        case DeviceType::MassStorage: {
            if (!binding->GetSerial(identity))
                continue;
            char letter = static_cast<char>(kNoDriveLetter);
            binding->GetDriveLetter(&letter);
            StoreIdentity(found, identity);
            found.chDriveLetter = static_cast<std::uint8_t>(letter);
            break;
        }
        case DeviceType::Mtp: {
            const UsbIdPair ids = binding->UsbIds();
            if (!mtp->FindDevice(ids.VendorId(), ids.ProductId(), identity, sizeof identity))
                continue;
            StoreIdentity(found, identity);
            break;
        }
        case DeviceType::Hid: {
            std::uint16_t state = 0;
            std::uint8_t major = 0, minor = 0, build = 0;
            std::uint16_t value = 0;
            found.bHidAnswered = true;
            if (hid->ReadDeviceInfo(state, major, minor, build, value, identity) && state == 0)
            {
                found.nFirmwareMajor = major;
                found.nFirmwareMinor = minor;
                found.nFirmwareBuild = build;
                StoreIdentity(found, identity);
                break;
            }
            // The HID interface opened but the monitor is not ready: that ends the search.
            found.nHidState = static_cast<std::uint8_t>(hid->GetState());
            found.nDeviceTableFlag = 0;
            found.bDeviceFound = false;
            StoreIds(found, DeviceType::None, nullptr);
            return wasFound ? Outcome::Removed : Outcome::Unchanged;
        }
        case DeviceType::None:
            continue;
        }
        found.bDeviceFound = true;
        found.nDeviceTableFlag = entry.bExtendedHeader;
        StoreIds(found, type, &entry);
        return Outcome::Arrived;
    }

    found.chDriveLetter = kNoDriveLetter;
    std::memset(found.szDeviceId, 0, sizeof found.szDeviceId);
    found.bHidAnswered = false;
    found.nHidState = kHidStateNothingFound;
    found.nDeviceTableFlag = 0;
    found.bDeviceFound = false;
    StoreIds(found, DeviceType::None, nullptr);
    return wasFound ? Outcome::Removed : Outcome::Unchanged;
}

DeviceWatcher::DeviceWatcher(std::shared_ptr<DeviceWatcherBinding> binding,
                             std::shared_ptr<DeviceWatcherHid> hid, std::shared_ptr<DeviceWatcherMtp> mtp,
                             PostFunction post)
    : m_core(std::make_shared<Core>(std::move(binding), std::move(hid), std::move(mtp), std::move(post)))
{
}

DeviceWatcher::~DeviceWatcher()
{
    SignalQuit();
}

bool DeviceWatcher::Start()
{
    // The thread keeps the core alive: a thread that was let go after a bounded stop never
    // reaches freed memory of the watcher.
    std::shared_ptr<Core> core = m_core;
    return m_thread.Start([core] { return core->WorkerThread(); });
}

bool DeviceWatcher::RequestCheck()
{
    Core &core = *m_core;
    if (core.quitEvent.Wait(0))
        return false;
    // 0 to 1 starts a check; 1 to 2 has one more run after the current one. At 2 the request
    // is coalesced into the check that is already due, which has not started yet.
    std::int32_t seen = core.pendingChecks.load();
    do
    {
        if (seen >= 2)
            return false;
    } while (!core.pendingChecks.compare_exchange_weak(seen, seen + 1));
    if (seen == 0)
        core.workEvent.Set();
    // The thread may have ended between the test above and the raise: nobody would take the
    // count down again.
    if (core.retired.load())
    {
        core.Retire();
        return false;
    }
    return true;
}

std::int32_t DeviceWatcher::PendingChecks() const
{
    return m_core->pendingChecks.load();
}

bool DeviceWatcher::WaitUntilIdle(std::uint32_t timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_core->idleMutex);
    const auto idle = [this] { return m_core->pendingChecks.load() == 0; };
    if (timeoutMs == vxsys::kInfinite)
    {
        m_core->idleChanged.wait(lock, idle);
        return true;
    }
    return m_core->idleChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), idle);
}

void DeviceWatcher::SignalQuit()
{
    m_core->quitEvent.Set();
    m_core->workEvent.Set();
}

bool DeviceWatcher::Stop(std::uint32_t timeoutMs)
{
    SignalQuit();
    if (!m_thread.JoinFor(timeoutMs))
        return false;
    // Also for a thread that never started: the start-up check will not run.
    m_core->Retire();
    return true;
}

FoundDevice DeviceWatcher::Found() const
{
    std::lock_guard<std::mutex> lock(m_core->foundMutex);
    return m_core->published;
}

void DeviceWatcher::DetectDevice()
{
    m_core->DetectDevice();
}
