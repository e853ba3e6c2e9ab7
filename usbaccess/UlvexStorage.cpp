#include "usbaccess/UlvexText.h"
#include "usbaccess/ulvex_api.h"

#include "platform/dev/DeviceInterface.h"
#include "platform/dev/DeviceOpen.h"
#include "platform/dev/ScsiPassThrough.h"
#include "platform/dev/Storage.h"
#include "platform/dev/Sysfs.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <strings.h>

using vxdev::InterfaceClass;

static_assert(sizeof(ULVEX_SCSI_PASS_THROUGH) == ULVEX_SPT_LENGTH);
static_assert(offsetof(ULVEX_SCSI_PASS_THROUGH, CdbLength) == 6);
static_assert(offsetof(ULVEX_SCSI_PASS_THROUGH, DataIn) == 8);
static_assert(offsetof(ULVEX_SCSI_PASS_THROUGH, DataTransferLength) == 12);
static_assert(offsetof(ULVEX_SCSI_PASS_THROUGH, TimeOutValue) == 16);
static_assert(offsetof(ULVEX_SCSI_PASS_THROUGH, DataBufferOffset) == 20);
static_assert(offsetof(ULVEX_SCSI_PASS_THROUGH, SenseInfoOffset) == 24);
static_assert(offsetof(ULVEX_SCSI_PASS_THROUGH, Cdb) == 28);
static_assert(offsetof(SPT_WITH_BUFFERS, BlockSize) == 44);
static_assert(offsetof(SPT_WITH_BUFFERS, Filler) == 48);
static_assert(offsetof(SPT_WITH_BUFFERS, SenseBuffer) == ULVEX_SPT_SENSE_OFFSET);
static_assert(offsetof(SPT_WITH_BUFFERS, DataBuffer) == ULVEX_SPT_DATA_OFFSET);
static_assert(sizeof(SPT_WITH_BUFFERS) == ULVEX_SPT_OVERHEAD);

namespace
{
// The buffer size the lookups use for the paths they do not hand out.
constexpr unsigned int kWorkPathSize = 260;

std::optional<InterfaceClass> ClassOfDriveType(int driveType)
{
    switch (driveType)
    {
    case ULVEX_DRIVE_REMOVABLE:
    case ULVEX_DRIVE_FIXED:
        return InterfaceClass::Disk;
    case ULVEX_DRIVE_CDROM:
        return InterfaceClass::CdRom;
    default:
        return std::nullopt;
    }
}

struct Probe
{
    bool opened = false;
    std::optional<unsigned> deviceNumber;
};

// Opens the interface's node with no access rights (presence and queries only) and reads
// its storage device number.
Probe ProbeInterface(const vxdev::DeviceInterfaceRecord &record)
{
    Probe probe;
    if (record.devNode.empty())
        return probe;
    const int fd = vxdev::OpenDeviceNode(record.devNode, vxdev::OpenAccess::None);
    if (fd < 0)
        return probe;
    probe.opened = true;
    if (const auto number = vxdev::StorageNumberOfHandle(fd))
        probe.deviceNumber = number->deviceNumber;
    vxdev::CloseHandle(fd);
    return probe;
}

ulvex::PathIds ParentIds(const vxdev::DeviceInterfaceRecord &record)
{
    return ulvex::IdsOfPath(record.parentInstanceId);
}

struct StorageMatch
{
    vxdev::DeviceInterfaceRecord record;
    std::optional<unsigned> deviceNumber;
};

// The first USB storage interface of the class, among the first 128, whose parent USB
// device has these IDs and that can be opened.
std::optional<StorageMatch> FindStorageByIds(InterfaceClass cls, const char *vendorId, const char *productId)
{
    if (vendorId == nullptr || productId == nullptr)
        return std::nullopt;
    const auto records = vxdev::EnumerateInterfaces(cls);
    for (std::size_t i = 0; i < records.size() && i < ulvex::kIdLookupBound; ++i)
    {
        const auto &record = records[i];
        if (!ulvex::IsUsbStoragePath(record.interfacePath))
            continue;
        const ulvex::PathIds ids = ParentIds(record);
        if (strcasecmp(ids.vendor.c_str(), vendorId) != 0 || strcasecmp(ids.product.c_str(), productId) != 0)
            continue;
        const Probe probe = ProbeInterface(record);
        if (!probe.opened)
            continue;
        return StorageMatch{record, probe.deviceNumber};
    }
    return std::nullopt;
}

// The letter of the first removable or fixed drive on the disk with this number.
std::optional<char> LetterOfDeviceNumber(unsigned deviceNumber)
{
    for (const auto &drive : vxdev::ReadDriveMap())
    {
        if (drive.driveType != vxdev::kDriveRemovable && drive.driveType != vxdev::kDriveFixed)
            continue;
        const auto number = vxdev::StorageNumberOfBlock(drive.major, drive.minor);
        if (number && number->deviceNumber == deviceNumber)
            return drive.letter;
    }
    return std::nullopt;
}

// The USB storage interface of the class that holds the drive of this letter.
std::optional<vxdev::DeviceInterfaceRecord> FindStorageByLetter(InterfaceClass cls, char letter)
{
    const auto drive = vxdev::FindDrive(letter);
    if (!drive)
        return std::nullopt;
    const auto number = vxdev::StorageNumberOfBlock(drive->major, drive->minor);
    if (!number)
        return std::nullopt;
    for (auto &record : vxdev::EnumerateInterfaces(cls))
    {
        if (!ulvex::IsUsbStoragePath(record.interfacePath))
            continue;
        const Probe probe = ProbeInterface(record);
        if (probe.deviceNumber && *probe.deviceNumber == number->deviceNumber)
            return record;
    }
    return std::nullopt;
}

unsigned char *BlockBytes(SPT_WITH_BUFFERS *block)
{
    return reinterpret_cast<unsigned char *>(block);
}
} // namespace

extern "C" ULVEX_BOOL GetDeviceGeneralInfoByVidPid(const char *vendorId, const char *productId, int driveType,
                                                   char *path, unsigned int pathCapacity, char *driveLetter,
                                                   char *vendorText, char *productText)
{
    const vxdev::SysfsCallScope scope;
    const auto cls = ClassOfDriveType(driveType);
    if (!cls || path == nullptr || pathCapacity == 0)
        return 0;
    const auto match = FindStorageByIds(*cls, vendorId, productId);
    if (!match)
        return 0;
    if (match->deviceNumber && driveLetter != nullptr)
    {
        if (const auto letter = LetterOfDeviceNumber(*match->deviceNumber))
            *driveLetter = *letter;
    }
    GetVenProdByDevicePath(match->record.interfacePath.c_str(), vendorText, productText);
    ulvex::CopyCleared(path, pathCapacity, match->record.interfacePath);
    return 1;
}

extern "C" ULVEX_BOOL GetDeviceGeneralInfoByDriveLetter(char driveLetter, char *vendorId, char *productId,
                                                        int driveType, char *path, unsigned int pathCapacity,
                                                        char *vendorText, char *productText)
{
    const vxdev::SysfsCallScope scope;
    const auto cls = ClassOfDriveType(driveType);
    if (!cls)
        return 0;
    const auto record = FindStorageByLetter(*cls, driveLetter);
    if (!record)
        return 0;
    ulvex::CopyCleared(path, pathCapacity, record->interfacePath);
    const ulvex::PathIds ids = ParentIds(*record);
    if (vendorId != nullptr)
        ulvex::CopyTerminated(vendorId, ULVEX_ID_TEXT_SIZE, ids.vendor);
    if (productId != nullptr)
        ulvex::CopyTerminated(productId, ULVEX_ID_TEXT_SIZE, ids.product);
    GetVenProdByDevicePath(record->interfacePath.c_str(), vendorText, productText);
    return 1;
}

extern "C" ULVEX_BOOL GetSCSIDevicePath(const char *vendorId, const char *productId, int driveType,
                                        char *path, unsigned int pathCapacity)
{
    return GetDeviceGeneralInfoByVidPid(vendorId, productId, driveType, path, pathCapacity, nullptr, nullptr,
                                        nullptr);
}

extern "C" ULVEX_BOOL GetDriveLetterByDeviceNumber(unsigned int deviceNumber, char *driveLetter)
{
    const vxdev::SysfsCallScope scope;
    if (driveLetter == nullptr)
        return 0;
    const auto letter = LetterOfDeviceNumber(deviceNumber);
    if (!letter)
        return 0;
    *driveLetter = *letter;
    return 1;
}

extern "C" ULVEX_BOOL GetDriveLetterByVidPid(const char *vendorId, const char *productId, int driveType,
                                             char *driveLetter)
{
    const vxdev::SysfsCallScope scope;
    const auto cls = ClassOfDriveType(driveType);
    if (!cls || driveLetter == nullptr)
        return 0;
    const auto match = FindStorageByIds(*cls, vendorId, productId);
    // Without its storage number the device has no drive to search for.
    if (!match || !match->deviceNumber)
        return 0;
    return GetDriveLetterByDeviceNumber(*match->deviceNumber, driveLetter);
}

extern "C" ULVEX_BOOL GetVidPidByDriveLetter(int driveType, char driveLetter, char *vendorId, char *productId)
{
    char path[kWorkPathSize];
    return GetDeviceGeneralInfoByDriveLetter(driveLetter, vendorId, productId, driveType, path, sizeof path,
                                             nullptr, nullptr);
}

extern "C" ULVEX_BOOL GetVendorProductStringbyDriveLetter(char driveLetter, char *vendorText,
                                                          char *productText)
{
    char path[kWorkPathSize];
    return GetDeviceGeneralInfoByDriveLetter(driveLetter, nullptr, nullptr, ULVEX_DRIVE_REMOVABLE, path,
                                             sizeof path, vendorText, productText);
}

extern "C" ULVEX_BOOL GetVendorProductStringbyVidPid(const char *vendorId, const char *productId,
                                                     char *vendorText, char *productText)
{
    char path[kWorkPathSize];
    return GetDeviceGeneralInfoByVidPid(vendorId, productId, ULVEX_DRIVE_REMOVABLE, path, sizeof path,
                                        nullptr, vendorText, productText);
}

extern "C" int GetMscDeviceInfo(int driveType, char *driveLetters, char **vendorIds, char **productIds,
                                char **vendorTexts, char **productTexts, int maximum)
{
    const vxdev::SysfsCallScope scope;
    const auto cls = ClassOfDriveType(driveType);
    if (!cls || maximum <= 0)
        return 0;
    int count = 0;
    for (const auto &record : vxdev::EnumerateInterfaces(*cls))
    {
        if (count >= maximum)
            break;
        if (!ulvex::IsUsbStoragePath(record.interfacePath))
            continue;
        const Probe probe = ProbeInterface(record);
        char letter = 0;
        if (probe.deviceNumber)
            letter = LetterOfDeviceNumber(*probe.deviceNumber).value_or(0);
        if (driveLetters != nullptr)
            driveLetters[count] = letter;
        const ulvex::PathIds ids = ParentIds(record);
        if (vendorIds != nullptr && vendorIds[count] != nullptr)
            ulvex::CopyTerminated(vendorIds[count], ULVEX_ID_TEXT_SIZE, ids.vendor);
        if (productIds != nullptr && productIds[count] != nullptr)
            ulvex::CopyTerminated(productIds[count], ULVEX_ID_TEXT_SIZE, ids.product);
        GetVenProdByDevicePath(record.interfacePath.c_str(),
                               vendorTexts != nullptr ? vendorTexts[count] : nullptr,
                               productTexts != nullptr ? productTexts[count] : nullptr);
        ++count;
    }
    return count;
}

extern "C" ULVEX_HANDLE OpenSCSIDevice(const char *vendorId, const char *productId)
{
    const vxdev::SysfsCallScope scope;
    const auto match = FindStorageByIds(InterfaceClass::Disk, vendorId, productId);
    if (!match)
        return ULVEX_INVALID_HANDLE_VALUE;
    // Non-blocking, or a removable disk without a medium fails to open (ENOMEDIUM) while
    // IsSCSIDevice finds it; the commands go to the drive, which answers without a medium.
    int fd = vxdev::OpenInterface(InterfaceClass::Disk, match->record.interfacePath,
                                  vxdev::OpenAccess::ReadWriteNonBlocking);
    if (fd == 0)
    {
        // 0 reads as the null handle to SendSCSICmd; move the descriptor out of its way.
        const int moved = vxdev::DuplicateHandleAbove(fd, 3);
        vxdev::CloseHandle(fd);
        fd = moved;
    }
    return fd < 0 ? ULVEX_INVALID_HANDLE_VALUE : fd;
}

extern "C" ULVEX_BOOL IsSCSIDevice(const char *vendorId, const char *productId)
{
    const vxdev::SysfsCallScope scope;
    return FindStorageByIds(InterfaceClass::Disk, vendorId, productId) ? 1 : 0;
}

extern "C" SPT_WITH_BUFFERS *AllocateSPT(unsigned char cdbLength, ULVEX_BOOL isWrite, unsigned int dataLength)
{
    // The block's size travels in a 32-bit field.
    if (dataLength > UINT32_MAX - ULVEX_SPT_OVERHEAD)
        return nullptr;
    const std::uint32_t blockSize = dataLength + ULVEX_SPT_OVERHEAD;
    auto *block = static_cast<SPT_WITH_BUFFERS *>(std::calloc(1, blockSize));
    if (block == nullptr)
        return nullptr;
    block->Spt.Length = ULVEX_SPT_LENGTH;
    block->Spt.CdbLength = cdbLength;
    block->Spt.SenseInfoLength = ULVEX_SPT_SENSE_LENGTH;
    block->Spt.DataIn = isWrite ? 0 : 1;
    block->Spt.DataTransferLength = dataLength;
    block->Spt.TimeOutValue = ULVEX_SPT_TIMEOUT_SECONDS;
    block->Spt.DataBufferOffset = ULVEX_SPT_DATA_OFFSET;
    block->Spt.SenseInfoOffset = ULVEX_SPT_SENSE_OFFSET;
    block->BlockSize = blockSize;
    return block;
}

extern "C" ULVEX_BOOL SendSCSICmd(ULVEX_HANDLE device, const unsigned char *cdb, unsigned char cdbLength,
                                  const unsigned char *writeData, unsigned int writeLength,
                                  ULVEX_BOOL isWrite, unsigned char *readBuffer, unsigned int readLength)
{
    // Every argument is checked before any I/O, whatever the direction.
    if (device <= 0 || cdb == nullptr || cdbLength == 0 || cdbLength > ULVEX_SPT_MAX_CDB)
        return 0;
    if ((writeLength > 0 && writeData == nullptr) || (readLength > 0 && readBuffer == nullptr))
        return 0;

    SPT_WITH_BUFFERS *block = AllocateSPT(cdbLength, isWrite, std::max(writeLength, readLength));
    if (block == nullptr)
        return 0;
    unsigned char *bytes = BlockBytes(block);
    unsigned char *data = bytes + block->Spt.DataBufferOffset;
    std::memcpy(block->Spt.Cdb, cdb, cdbLength);
    if (writeLength > 0)
        std::memcpy(data, writeData, writeLength);

    vxdev::ScsiCommand command;
    command.cdb = block->Spt.Cdb;
    command.cdbLength = block->Spt.CdbLength;
    command.direction = block->Spt.DataTransferLength == 0 ? vxdev::ScsiDirection::None
                        : block->Spt.DataIn != 0           ? vxdev::ScsiDirection::FromDevice
                                                           : vxdev::ScsiDirection::ToDevice;
    command.data = data;
    command.dataLength = block->Spt.DataTransferLength;
    command.sense = bytes + block->Spt.SenseInfoOffset;
    command.senseLength = block->Spt.SenseInfoLength;
    command.timeoutSeconds = block->Spt.TimeOutValue;

    vxdev::ScsiResult result;
    const bool sent = vxdev::ScsiPassThrough(device, command, result);
    block->Spt.ScsiStatus = result.scsiStatus;
    if (!sent || block->Spt.ScsiStatus != 0)
    {
        std::free(block);
        return 0;
    }
    if (readLength > 0)
        std::memcpy(readBuffer, data, readLength);
    std::free(block);
    return 1;
}
