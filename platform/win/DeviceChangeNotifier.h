#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/WinTypes.h"

// Stands in for the device-change broadcasts a window receives: device events of the system
// become WM_DEVICECHANGE messages sent to one window on the UI thread, with the event type in
// wParam (DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE, DBT_DEVNODES_CHANGED) and lParam 0.
namespace vxwin
{
// One source of device events: a descriptor the UI thread watches, and what to read once it
// signals.
class DeviceEventSource
{
  public:
    virtual ~DeviceEventSource() = default;
    virtual int Descriptor() const = 0;
    // The descriptor signals with priority data (POLLPRI, POLLERR), as the mount table does,
    // rather than by being readable.
    virtual bool SignalsByPriority() const = 0;
    // Takes what the signal announced and appends the event types it means (none for an
    // event of no interest). false when the source is broken; it is watched no more.
    virtual bool Read(std::vector<UINT> &types) = 0;
};

// The kernel's device events as udev announces them, for the subsystems usb, block, hidraw and
// scsi_generic; null where there is no udev (containers, build machines).
std::unique_ptr<DeviceEventSource> OpenUdevMonitor();
// The event type of a udev action: "add" an arrival, "remove" a completed removal, any other
// action a change of device nodes; 0 for no action.
UINT DeviceChangeOfUdevAction(std::string_view action);

// What changed between two texts of a mount table (the format of /proc/self/mountinfo) among the
// mounts of block devices (a device major other than 0; tmpfs, proc, overlay and FUSE mounts are
// no device events), told apart by their mount ID (a line's first field):
// DBT_DEVICEREMOVECOMPLETE when a mount went, then DBT_DEVICEARRIVAL when one came, then
// DBT_DEVNODES_CHANGED when a line changed; each at most once, none for the same table.
std::vector<UINT> MountTableChanges(std::string_view before, std::string_view after);

// A mount table file watched for changes (MountTableChanges between its last two readings). Null
// when the file cannot be opened.
std::unique_ptr<DeviceEventSource> OpenMountTableWatch(const std::string &path);

// The sources Start(hwnd) watches: udev and <proc root>/self/mountinfo, those of them that
// open. Tests replace them (an empty function restores the default).
using DeviceEventSourceFactory = std::function<std::vector<std::unique_ptr<DeviceEventSource>>()>;
void SetDeviceEventSourceFactory(DeviceEventSourceFactory factory);

// Delivers the events of its sources to one window while it runs. Each event is sent (not
// posted) as it is read, as the broadcasts are; a window that is gone gets nothing. A
// handler may stop the notifier, or run a nested loop in which further events arrive.
class DeviceChangeNotifier
{
  public:
    DeviceChangeNotifier();
    ~DeviceChangeNotifier();
    DeviceChangeNotifier(const DeviceChangeNotifier &) = delete;
    DeviceChangeNotifier &operator=(const DeviceChangeNotifier &) = delete;

    // Starts watching the default sources for hwnd (stopping a previous run). Nothing to watch
    // is not an error: the notifier then just delivers nothing. Must run on the UI thread.
    void Start(HWND hwnd);
    void Start(HWND hwnd, std::vector<std::unique_ptr<DeviceEventSource>> sources);
    // Stops delivering at once, also between the events of one read.
    void Stop();
    // The sources being watched (those not found broken).
    int WatchedSources() const;

  private:
    struct Run;
    std::shared_ptr<Run> m_run;
};
} // namespace vxwin
