#pragma once

// The device watcher: one worker thread that finds out whether a supported monitor is connected
// and which one, so that the UI thread never blocks on device enumeration.
//
// The thread runs one device check each time it is woken and reports only by posting one of two
// messages (both with zero parameters) through the post callback. What the check found is kept in
// a FoundDevice record that the watcher publishes under a lock before it posts; the UI thread takes
// a copy with Found() after the message (or once no check is pending) and never sees a record
// that is half written.
//
// A check is requested with RequestCheck: the pending counter goes from 0 to 1 by a
// compare-exchange and only then is the work event set, so at most one check runs at a time. A
// request that comes while a check runs raises the counter from 1 to 2: that check may already
// have passed the device the request is about, so one more check follows it. Further requests
// before that one starts are coalesced into it. The watcher lowers the counter after each check,
// and takes it to 0 when it ends, so a waiter never waits for a check that will not run. The
// watcher starts with the counter at 1 and the work event set, so the first check runs as soon
// as the thread starts.
//
// The whole device part of a check holds the process-wide device mutex: the watcher shares the
// binding, the ID pair and the HID session with the UI thread's transfers, which hold the same
// mutex, so the two never interleave.

#include "device/UlvexDevice.h"
#include "platform/sys/Event.h"
#include "platform/sys/Thread.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// Messages to the main dialog's window (WM_USER + 104 and WM_USER + 105).
constexpr std::uint32_t WM_KVT_DEVICE_ARRIVED = 0x0400 + 104;
constexpr std::uint32_t WM_KVT_DEVICE_REMOVED = 0x0400 + 105;

// The drive letter of "no drive".
constexpr std::uint8_t kNoDriveLetter = 0xFF;
// The HID state of "nothing found".
constexpr std::uint8_t kHidStateNothingFound = 4;
// Identity: 32 characters and a terminating zero.
constexpr std::size_t kDeviceIdSize = 33;

// The binding as the check uses it: the Ulvex wrapper together with the program's USB ID pair.
class DeviceWatcherBinding
{
  public:
    virtual ~DeviceWatcherBinding() = default;
    // The wrapper's ID texts and the ID pair's numbers, from the same two texts.
    virtual void SetIds(const char *vendorId, const char *productId) = 0;
    virtual bool IsPresent() = 0;
    // Decides the type of the device under the current IDs and gives it.
    virtual DeviceType DetectType() = 0;
    // identity receives kDeviceIdSize bytes.
    virtual bool GetSerial(char *identity) = 0;
    // Leaves letter untouched when no drive is found.
    virtual bool GetDriveLetter(char *letter) = 0;
    // The ID pair's numbers, as set by the last SetIds.
    virtual UsbIdPair UsbIds() const = 0;
};

// The HID command session as the check uses it.
class DeviceWatcherHid
{
  public:
    virtual ~DeviceWatcherHid() = default;
    virtual void SetIds(const char *vendorId, const char *productId) = 0;
    // identity receives kDeviceIdSize bytes; state is the monitor's status (0 ready).
    virtual bool ReadDeviceInfo(std::uint16_t &state, std::uint8_t &major, std::uint8_t &minor,
                                std::uint8_t &build, std::uint16_t &value, char *identity) = 0;
    // The session's state after its last operation.
    virtual std::int32_t GetState() const = 0;
};

// The media-device-manager device finder: the identity of the MTP monitor with the IDs, written
// into identity[0..capacity-1]; the finder may clear the buffer even when it fails.
class DeviceWatcherMtp
{
  public:
    virtual ~DeviceWatcherMtp() = default;
    virtual bool FindDevice(std::uint16_t vendorId, std::uint16_t productId, char *identity,
                            std::size_t capacity) = 0;
};

// What the checks have found; the only memory of the device across checks.
struct FoundDevice
{
    // A supported monitor was found and identified.
    bool bDeviceFound = false;
    // The HID interface of a supported entry answered, whether or not the monitor was ready.
    bool bHidAnswered = false;
    // The HID session's state after the last HID query that did not succeed; 4 when nothing
    // was found.
    std::uint8_t nHidState = kHidStateNothingFound;
    // The drive letter of a mass-storage monitor; kNoDriveLetter when none.
    std::uint8_t chDriveLetter = kNoDriveLetter;
    // The found device's identity, zero-filled behind its end; empty when none.
    char szDeviceId[kDeviceIdSize] = {};
    // The extended-header flag of the supported entry that matched; 0 when none.
    std::uint32_t nDeviceTableFlag = 0;
    // The HID monitor's firmware version.
    std::uint8_t nFirmwareMajor = 0;
    std::uint8_t nFirmwareMinor = 0;
    std::uint8_t nFirmwareBuild = 0;
    // The type and the ID texts under which the found device answered (the binding's state at
    // the time); None and empty while no device is found.
    DeviceType nDeviceType = DeviceType::None;
    char szVendorId[5] = {};
    char szProductId[5] = {};
};

class DeviceWatcher
{
  public:
    // msg, wParam, lParam: posted to the main dialog's window. Called on the watcher thread.
    using PostFunction = std::function<void(std::uint32_t, std::uintptr_t, std::intptr_t)>;

    DeviceWatcher(std::shared_ptr<DeviceWatcherBinding> binding, std::shared_ptr<DeviceWatcherHid> hid,
                  std::shared_ptr<DeviceWatcherMtp> mtp, PostFunction post);
    // Ends the thread, waiting for it without a limit; call Stop first to bound the wait.
    ~DeviceWatcher();
    DeviceWatcher(const DeviceWatcher &) = delete;
    DeviceWatcher &operator=(const DeviceWatcher &) = delete;

    // Starts the watcher thread; its first check runs at once. False when it was already
    // started or no thread could be created.
    bool Start();

    // Asks for a check from any thread: one that starts after this call will report the
    // devices. False when such a check was due already (the request joins it) or the watcher
    // has been told to quit.
    bool RequestCheck();

    // Checks requested or running and not yet finished: 0, 1, or 2 while a check runs and
    // another is due after it.
    std::int32_t PendingChecks() const;

    // Waits up to timeoutMs milliseconds (vxsys::kInfinite without a limit) until no check is
    // pending; true when none is.
    bool WaitUntilIdle(std::uint32_t timeoutMs) const;

    // Sets the quit event, then the work event: a check that runs is finished first, then the
    // thread ends. Does not wait.
    void SignalQuit();

    // SignalQuit, then waits up to timeoutMs milliseconds for the thread to end. True when it
    // ended (or never started; the counter is then 0); false when it still runs and has been let go: the
    // binding, session and finder it holds stay alive with it, the objects they refer to must too.
    bool Stop(std::uint32_t timeoutMs);

    // A copy of what the checks have found, taken under the lock.
    FoundDevice Found() const;

    // One device check. Runs on the watcher thread; usable directly while no thread runs.
    void DetectDevice();

  private:
    struct Core;
    std::shared_ptr<Core> m_core;
    vxsys::Thread m_thread;
};
