#pragma once

#include "device/DeviceCommandSession.h"
#include "device/DeviceSettings.h"
#include "device/UlvexDevice.h"
#include "device/WorkoutFile.h"

#include <string>

// The main dialog's fields that the settings write-back reads. The dialog fills one from its own
// fields for each write; WriteDeviceSettings changes nothing in it but profile.metric.
struct DeviceSettingsWriteContext
{
    // The connected monitor, as the device check left it.
    DeviceType deviceType = DeviceType::None;
    char driveLetter = 0;        // mass storage
    UsbIdPair usbIds;            // MTP: the monitor's vendor and product ID
    bool extendedHeader = false; // the matched supported-device entry's flag: 220-byte header
    DeviceCommandSession *hidSession = nullptr;
    FirmwareVersion firmware;

    WorkoutProfile owner;      // name, age, gender, height and weight written into the header
    std::u16string dataFolder; // holds the local copy "FR.TMP" of an MTP monitor's file

    // The main dialog's units flag: it decides the header's unit bit and is copied into profile.metric.
    bool metricUnits = true;
    UserProfileSettings profile;
    DeviceSettings settings;
};

// Rewrites the header of the monitor's workout file "FR.DAT" with the owner and the settings, keeping
// the records behind it. With freshHeader the image is a zeroed header with a record count of 0 (the
// HID monitor's erase); a file-based monitor's file keeps its length either way.
//
// A monitor without the file gets one holding a fresh header: on a drive in its "workout" folder
// (when that folder exists), over MTP in its first "workout" folder, and only when every workout
// folder was listed and none holds the file. A download that failed is not a missing file: writing a
// fresh header then would wipe the records the monitor still holds, so the write fails untouched.
//
// False for every failure: a file shorter than its header, a short read, a refused write, flush,
// close or upload, a monitor gone. The local copy of an MTP monitor's file is removed on every path.
// Holds the device mutex from the first to the last exchange with the monitor.
bool WriteDeviceSettings(DeviceSettingsWriteContext &context, bool freshHeader);
