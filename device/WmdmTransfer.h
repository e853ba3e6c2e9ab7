#pragma once

// Moving the workout file to and from an MTP monitor.
//
// The monitor is named by its USB vendor and product ID (the two numbers of the program's
// UsbIdPair). Of the MTP devices with those IDs, in bus/port order, the monitor is the first whose
// serial number is also the serial under which the system lists a present USB device with the same
// IDs (vxdev::UsbSerialIsEnumerated); the others are skipped. The workout file lives in a folder
// named exactly "workout" directly below one of the device's storage roots; a file in a root itself
// is never used.
//
// Every operation finds the device afresh, holds the process-wide device mutex from the first to the
// last exchange with it, and keeps nothing afterwards. Local paths are UTF-8.
//
//   WmdmDeviceFinder    the monitor's identity: its serial number as single-byte text, cut to the
//                       buffer's capacity less one.
//   WmdmReadFile        copies workout/<name> to a local file. The copy appears whole or not at all,
//                       and when the read fails the local path holds no file afterwards (neither a
//                       partial copy nor an older one), so no stale or truncated image can later be
//                       written back over the monitor's records.
//   WmdmReadFileOutcome the same copy, telling "the workout folder is there but holds no such file"
//                       apart from a failure: only the first may be answered with a fresh header.
//   WmdmWriteFile       copies a local file into the workout folder under the name, replacing the old
//                       file, and hides it. The old file goes only once the new one is on the device
//                       (vxmtp::MtpDevice::Insert): when any step fails, the old file stays and the
//                       write fails. A read finishes a replacement that was cut off after the old file
//                       went, so it takes the new file.
//   WmdmReadFileAt / WmdmWriteFileAt
//                       the same for the one object a read took (WmdmFileLocation): a file read from
//                       one storage is never written back over another storage's file.
//   ReadStorageToFile / WriteFileToStorage
//                       the two storage steps shared by the operations above.

#include "platform/mtp/MtpDeviceManager.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Storage attribute bits as the transfer reads them.
constexpr std::uint32_t kWmdmAttrFolder = 0x8;
constexpr std::uint32_t kWmdmAttrFile = 0x20;
constexpr std::uint32_t kWmdmAttrReadable = 0x40000; // set on every object the device lists
constexpr std::uint32_t kWmdmAttrHidden = 0x400000;
constexpr std::uint32_t kWmdmAttrNotTransferable = 0x20000000; // protection status: data stays on the device

static_assert(kWmdmAttrFolder == vxmtp::kAttrFolder && kWmdmAttrFile == vxmtp::kAttrFile &&
              kWmdmAttrReadable == vxmtp::kAttrCanRead && kWmdmAttrHidden == vxmtp::kAttrHidden &&
              kWmdmAttrNotTransferable == vxmtp::kAttrNotTransferable);

// Result of the two storage steps: non-negative is success, negative a failure.
using WmdmResult = std::int32_t;
constexpr WmdmResult kWmdmOk = 0;
constexpr WmdmResult kWmdmFailed = static_cast<WmdmResult>(0x80004005u); // the transfer failed
constexpr WmdmResult kWmdmAccessDenied =
    static_cast<WmdmResult>(0x80070005u); // not readable or not transferable
constexpr WmdmResult kWmdmInvalidArgument =
    static_cast<WmdmResult>(0x80070057u); // not a file / not a folder / no name

// The workout file on the monitor and the name of its local copy in the data folder.
constexpr char16_t kWorkoutDeviceFileName[] = u"FR.DAT";
constexpr char kWorkoutLocalCopyName[] = "FR.TMP";

// The local copy's path in the given data folder (UTF-16, as the program keeps its paths).
std::string WorkoutLocalCopyPath(const std::u16string &dataFolder);

// Finds the monitor and writes its identity into identity[0..capacity-1], terminated. The buffer
// is cleared first and receives the serial only of the device that is chosen. False when no device
// qualifies, or when the buffer is null or has no room.
bool WmdmDeviceFinder(std::uint16_t vendorId, std::uint16_t productId, char *identity, std::size_t capacity);

enum class WmdmReadOutcome
{
    Copied, // the file was copied whole to the local path
    NoFile, // every workout folder was listed and none holds a file of that name
    Failed, // no device, no workout folder, a device error, or the file could not be read
};

// Where a read found the file: its storage, the "workout" folder holding it and the object itself.
struct WmdmFileLocation
{
    std::uint32_t storageId = 0;
    std::uint32_t folder = 0; // the workout folder's object handle
    std::uint32_t object = 0; // the file's object handle
};

// readFrom, when given, receives where the copied file was found; for NoFile the first workout folder
// (object 0), where a fresh file would go; left as it was on failure.
WmdmReadOutcome WmdmReadFileOutcome(std::uint16_t vendorId, std::uint16_t productId,
                                    const std::string &localPath, std::u16string_view deviceFileName,
                                    WmdmFileLocation *readFrom = nullptr);

// True only for WmdmReadOutcome::Copied.
bool WmdmReadFile(std::uint16_t vendorId, std::uint16_t productId, const std::string &localPath,
                  std::u16string_view deviceFileName, WmdmFileLocation *readFrom = nullptr);

// Copies exactly the object at the location to the local path (whole or not at all; on failure the
// local path holds no file). Fails when the storage, the workout folder or the object in it is gone.
bool WmdmReadFileAt(std::uint16_t vendorId, std::uint16_t productId, const WmdmFileLocation &at,
                    const std::string &localPath);

enum class WmdmReplace
{
    // The folder's file of the name must be the very object at the location (the one a read took);
    // anything else fails without writing.
    ThatObject,
    // The folder's file of the name is replaced, whatever object it now is, or created when there is
    // none: for putting back a file whose old object a failed write may have removed.
    ByName,
};

enum class WmdmWriteOutcome
{
    Written,   // the file is on the device, hidden
    Untouched, // nothing on the device was changed: no device, the storage or folder is gone, or
               // (ThatObject) the folder's file is not the object that was read
    Failed,    // the sending failed; the transfer put the old file back if it could
};

// Copies the local file into the workout folder at the location under the name, replacing the old
// file as `replace` says, and hides it. When Written, at.object names the new object.
WmdmWriteOutcome WmdmWriteFileAt(std::uint16_t vendorId, std::uint16_t productId, WmdmFileLocation &at,
                                 WmdmReplace replace, std::u16string_view deviceFileName,
                                 const std::string &localPath);

// The file goes into the workout folder whose file a read would take (the first one holding a file
// of that name), else into the first workout folder.
bool WmdmWriteFile(std::uint16_t vendorId, std::uint16_t productId, std::u16string_view deviceFileName,
                   const std::string &localPath);

// Reads the object's attributes afresh; it must be a readable file that may leave the device.
// Then copies it to the local path (whole or not at all).
WmdmResult ReadStorageToFile(vxmtp::MtpDevice &device, const vxmtp::MtpStorage &storage,
                             const std::string &localPath);

// Inserts the local file into the folder under the name, replacing an object of that name, and sets
// the new object's hidden flag. The result is that of the insert: a file that is on the device but
// could not be hidden still counts as written. created, when given, receives the new object.
WmdmResult WriteFileToStorage(vxmtp::MtpDevice &device, const vxmtp::MtpStorage &folder,
                              std::u16string_view deviceFileName, const std::string &localPath,
                              vxmtp::MtpStorage *created = nullptr);
