#pragma once

#include <mutex>

// One lock for everything that talks to the monitor.
//
// The watcher thread queries the monitor while the UI thread runs transfers, and a
// UI thread that gives up waiting for a device check may start a transfer while the
// watcher is still in the middle of its query. Every HID, MTP and SCSI operation
// therefore holds this mutex from its first to its last exchange with the device:
//
//     DeviceLock lock(DeviceMutex());
//
// The mutex is recursive so that a caller may hold it across several operations
// (for example read the workout image and write it back without a query in between)
// while each operation still takes it for itself. It is timed so that a caller that
// must not block indefinitely can use try_lock_for.
std::recursive_timed_mutex &DeviceMutex();

using DeviceLock = std::unique_lock<std::recursive_timed_mutex>;
