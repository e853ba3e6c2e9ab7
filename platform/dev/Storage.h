#pragma once

#include <optional>
#include <string>
#include <vector>

// Disks as the Windows-facing code sees them: storage device numbers, drive letters and
// drive paths, and the FAT hidden attribute.
//
// A drive letter belongs to each mounted block device: the entries of
// <proc root>/self/mountinfo whose device resolves under <sysfs root>/dev/block, one per
// device (its first mount that no other mount covers), get the letters C to Z. A device keeps
// its letter for the life of the process while it stays mounted, so a letter taken at one moment
// still names the same volume at the next, whatever was mounted or unmounted in between; a device
// that is no longer mounted frees its letter, and devices seen for the first time take the lowest
// free letters in device-number order (at the first look-up, the letters follow device numbers).
// The program and the Ulvex library it loads share one memory of letters. A mount is covered when a later one is on the same path, or when its path
// shows the device of another mount on that path or above it. A drive path
// "X:\workout\FR.DAT" is the mount point of X plus the path's components.
namespace vxdev
{
// Device types of the storage device number record.
constexpr unsigned kStorageTypeCdRom = 0x02;
constexpr unsigned kStorageTypeDisk = 0x07;

// What the storage device number query gives for a disk or one of its partitions. The
// device number is the same for a whole disk and all its partitions.
struct StorageDeviceNumber
{
    unsigned deviceType = 0;      // kStorageTypeDisk or kStorageTypeCdRom
    unsigned deviceNumber = 0;    // (major << 20) | minor of the whole disk
    unsigned partitionNumber = 0; // 0 for the whole disk
};

// The number of the block device major:minor (partition or whole disk).
std::optional<StorageDeviceNumber> StorageNumberOfBlock(unsigned major, unsigned minor);

// The number of the block device behind a device node. A node that is not a block special
// file (a file standing in for one) is looked up by its name under <sysfs>/class/block.
std::optional<StorageDeviceNumber> StorageNumberOfNode(const std::string &nodePath);

// The number of the block device behind an open descriptor (also one opened with O_PATH).
std::optional<StorageDeviceNumber> StorageNumberOfHandle(int fd);

// Drive types.
constexpr int kDriveRemovable = 2;
constexpr int kDriveFixed = 3;
constexpr int kDriveCdRom = 5;

struct DriveEntry
{
    char letter = 0;        // 'C'..'Z'
    std::string mountPoint; // with octal escapes decoded
    unsigned major = 0;
    unsigned minor = 0;
    std::string fsType;
    int driveType = kDriveFixed; // 5 CD-ROM, 2 removable whole disk, 3 otherwise
};

// Every drive with its letter, in letter order. The mounts are re-read on every call.
std::vector<DriveEntry> ReadDriveMap();

// Forgets every letter given so far, as at the start of the process (for tests).
void ForgetDriveLetters();

// The drive of a letter (lower case is taken as upper case).
std::optional<DriveEntry> FindDrive(char letter);

// The letter of the drive mounted from block device major:minor; nothing when it has none.
std::optional<char> DriveLetterOfBlock(unsigned major, unsigned minor);

// "X:\workout\FR.DAT" (or "X:/...") as a path in the file system: the mount point of X
// plus the components. A component that does not exist as spelled is replaced by the entry
// of its folder that matches it without regard to ASCII case (the monitor's FAT file system
// is case-insensitive, others are not); one that matches nothing keeps its spelling, so a
// new file can be created. Empty when the letter has no drive or the path is not of that
// form, contains ".." or a character that cannot appear in a file name, or passes through a
// symbolic link on the drive (which could lead outside it).
std::string TranslateDrivePath(const std::u16string &drivePath);

// Sets or clears the hidden attribute of a file on a FAT file system; elsewhere the call
// does nothing and succeeds. False when the file is missing or the attribute cannot be set.
bool SetHiddenAttribute(const std::string &path, bool hidden);
} // namespace vxdev
