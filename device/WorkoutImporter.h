#pragma once

#include "device/DeviceCommandSession.h"
#include "device/DeviceSettings.h"
#include "device/UlvexDevice.h"
#include "device/WorkoutFile.h"
#include "device/WorkoutValidator.h"

#include <string>

class KvtDatabase;

// The main dialog's fields that the workout import reads and writes. The dialog keeps one of these for
// the connected monitor and its user; ImportWorkouts works on it and nothing else.
struct WorkoutImportContext
{
    // The connected monitor, as the device check left it.
    bool deviceFound = false;
    DeviceType deviceType = DeviceType::None;
    char driveLetter = 0;        // mass storage
    UsbIdPair usbIds;            // MTP: the monitor's vendor and product ID
    bool extendedHeader = false; // the matched supported-device entry's flag: 220-byte header
    DeviceCommandSession *hidSession = nullptr;
    FirmwareVersion firmware; // of the HID monitor; refreshed from the extended header

    // The user.
    bool loggedIn = false;
    KvtDatabase *database = nullptr;
    WorkoutProfile owner;      // name, age, gender, height and weight written into the header
    std::u16string dataFolder; // holds the local copy "FR.TMP" of an MTP monitor's file

    // The settings the extended header carries: taken from the monitor's file, then written back with
    // it. profile.metric follows the user's weight unit (pounds: inches), never the file.
    UserProfileSettings profile;
    DeviceSettings settings;
    // The languages the device settings page offers; refreshed from an HID monitor.
    DeviceLanguageList languages;

    // The validation's request (re-dating) and what it leaves (record count, latest stored run).
    WorkoutValidationContext validation;
};

// Results of ImportWorkouts.
constexpr int kImportDone = 1;             // every record stored, the monitor's file emptied
constexpr int kImportMalformed = 0;        // the file was rejected as malformed, or no user is logged in
constexpr int kImportReadFailed = -1;      // the file could not be fetched or read
constexpr int kImportNoDevice = -2;        // no monitor, or the HID monitor answered busy
constexpr int kImportStoreFailed = -3;     // the store could not be read or a run could not be stored
constexpr int kImportDatesRejected = -4;   // a record's date was rejected
constexpr int kImportWriteBackFailed = -5; // the emptied file could not be written back

// Fetches the monitor's workout file "FR.DAT" over the transport of its type, validates it, stores
// every record as a run of the logged-in user and writes the file back with a record count of 0.
//
// The monitor's records are erased only once the runs are committed: the store's transaction is
// committed before the file is written back. When the write-back then fails, the original file is
// put back and, once that succeeded and a read from the device gives it again, the runs are taken out
// of the store again; when that cannot be confirmed (or the write-back never reached the monitor) the
// runs stay, so no record exists only on a monitor that may have lost it. The store's transaction is
// ended on every path.
//
// Holds the device mutex from the fetch to the last exchange with the monitor.
int ImportWorkouts(WorkoutImportContext &context);

// True for firmware 2.2.7 and later, which can tell its languages.
bool FirmwareListsLanguages(const FirmwareVersion &firmware);
