#include "usbaccess/UlvexText.h"
#include "usbaccess/ulvex_api.h"

#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

using vxtest::Disk;
using vxtest::UsbDevice;

namespace
{
constexpr const char *kDiskGuid = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const std::string kMonitorPath =
    std::string("\\\\?\\usbstor#disk&ven_tarvex&prod_step_monitor&rev_1.00#ser42&0#") + kDiskGuid;

// The machine of most tests: an internal disk (C:), the monitor 3a7e:0001 with a FAT
// partition (D:), a USB stick 1111:2222 that is not mounted, a UAS disk 3a7e:0002 (E:) and
// a USB CD-ROM 1111:3333 (F:).
struct Scene
{
    vxtest::FakeSysfs sysfs;
    std::string monitorDisk;
    std::string stickDisk;
    std::string cdrom;

    Scene()
    {
        sysfs.AddRootHub(1);
        const std::string sda = sysfs.AddInternalDisk(Disk("ATA", "SSD"));
        const std::string monitor = sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "Ser42"));
        monitorDisk = sysfs.AddUsbDisk(monitor, 0, Disk("Tarvex", "Step Monitor"));
        const std::string part = sysfs.AddPartition(monitorDisk, 1);
        const std::string stick = sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x1111, 0x2222, "STICK"));
        stickDisk = sysfs.AddUsbDisk(stick, 0, Disk("Generic", "Flash Disk"));
        const std::string fast = sysfs.AddUsbDevice("usb1", 3, UsbDevice(0x3a7e, 0x0002, "UAS"));
        vxtest::FakeDisk uas = Disk("Tarvex", "Fast Monitor");
        uas.driver = "uas";
        const std::string uasDisk = sysfs.AddUsbDisk(fast, 0, uas);
        const std::string reader = sysfs.AddUsbDevice("usb1", 4, UsbDevice(0x1111, 0x3333, "CD"));
        vxtest::FakeDisk cd = Disk("Maker", "DVD Drive");
        cd.scsiType = 5;
        cdrom = sysfs.AddUsbDisk(reader, 0, cd);

        sysfs.AddMount(sda, "/", "ext4");
        sysfs.AddMount(part, "/media/u/MONITOR");
        sysfs.AddMount(uasDisk, "/media/u/FAST", "exfat");
        sysfs.AddMount(cdrom, "/media/u/DVD", "iso9660");
    }
};

std::string LetterByIds(const char *vid, const char *pid, int type)
{
    char letter = '?';
    if (!GetDriveLetterByVidPid(vid, pid, type, &letter))
        return "fail";
    return std::string(1, letter);
}
} // namespace

TEST(UlvexStorageTest, DriveLetterByIdsAndBack)
{
    Scene scene;
    EXPECT_EQ(LetterByIds("3a7e", "0001", ULVEX_DRIVE_REMOVABLE), "D");
    EXPECT_EQ(LetterByIds("3A7E", "0001", ULVEX_DRIVE_FIXED), "D"); // 2 and 3 both select disks
    EXPECT_EQ(LetterByIds("3a7e", "0001", 4), "fail");
    EXPECT_EQ(LetterByIds("3a7e", "0001", ULVEX_DRIVE_CDROM), "fail");
    EXPECT_EQ(LetterByIds("1111", "2222", ULVEX_DRIVE_REMOVABLE), "fail"); // present, not mounted
    EXPECT_EQ(LetterByIds("3a7e", "0002", ULVEX_DRIVE_REMOVABLE), "fail"); // the UAS disk is not USB storage
    EXPECT_EQ(LetterByIds("3a7e", "0009", ULVEX_DRIVE_REMOVABLE), "fail");
    EXPECT_EQ(GetDriveLetterByVidPid("3a7e", "0001", ULVEX_DRIVE_REMOVABLE, nullptr), 0);

    for (const char letter : {'D', 'd'})
    {
        char vid[ULVEX_ID_TEXT_SIZE] = "xxxx";
        char pid[ULVEX_ID_TEXT_SIZE] = "xxxx";
        ASSERT_EQ(GetVidPidByDriveLetter(ULVEX_DRIVE_REMOVABLE, letter, vid, pid), 1) << letter;
        EXPECT_STREQ(vid, "3A7E");
        EXPECT_STREQ(pid, "0001");
    }
    char vid[ULVEX_ID_TEXT_SIZE] = "xxxx";
    char pid[ULVEX_ID_TEXT_SIZE] = "xxxx";
    for (const char letter : {'C', 'E', 'F', 'G', 'A', '1'})
        EXPECT_EQ(GetVidPidByDriveLetter(ULVEX_DRIVE_REMOVABLE, letter, vid, pid), 0) << letter;
    EXPECT_EQ(GetVidPidByDriveLetter(4, 'D', vid, pid), 0);
    EXPECT_STREQ(vid, "xxxx");

    // A CD-ROM drive is found through its own class.
    ASSERT_EQ(GetVidPidByDriveLetter(ULVEX_DRIVE_CDROM, 'F', vid, pid), 1);
    EXPECT_STREQ(vid, "1111");
    EXPECT_STREQ(pid, "3333");
    EXPECT_EQ(GetVidPidByDriveLetter(ULVEX_DRIVE_CDROM, 'D', vid, pid), 0);
}

TEST(UlvexStorageTest, DriveLetterByDeviceNumber)
{
    Scene scene;
    char letter = '?';
    EXPECT_EQ(GetDriveLetterByDeviceNumber((8u << 20) | 16u, &letter), 1);
    EXPECT_EQ(letter, 'D');
    EXPECT_EQ(GetDriveLetterByDeviceNumber((8u << 20) | 0u, &letter), 1);
    EXPECT_EQ(letter, 'C');
    letter = '?';
    EXPECT_EQ(GetDriveLetterByDeviceNumber((11u << 20) | 0u, &letter), 0); // CD-ROM drives are skipped
    EXPECT_EQ(GetDriveLetterByDeviceNumber(255, &letter), 0);
    EXPECT_EQ(letter, '?');
    EXPECT_EQ(GetDriveLetterByDeviceNumber((8u << 20) | 16u, nullptr), 0);
}

TEST(UlvexStorageTest, GeneralInfoByIds)
{
    Scene scene;
    char path[400];
    char letter = '?';
    char vendor[ULVEX_NAME_TEXT_SIZE] = "";
    char product[ULVEX_NAME_TEXT_SIZE] = "";
    std::memset(path, 'Z', sizeof path);
    ASSERT_EQ(GetDeviceGeneralInfoByVidPid("3a7e", "0001", ULVEX_DRIVE_REMOVABLE, path, sizeof path, &letter,
                                           vendor, product),
              1);
    EXPECT_EQ(std::string(path), kMonitorPath);
    EXPECT_EQ(path[sizeof path - 1], '\0'); // cleared over its whole capacity
    EXPECT_EQ(letter, 'D');
    EXPECT_STREQ(vendor, "tarvex"); // the path's lower-case text, "_" as blank
    EXPECT_STREQ(product, "step monitor");

    // A small capacity cuts the path and terminates it.
    char small[24];
    std::memset(small, 'Z', sizeof small);
    ASSERT_EQ(GetSCSIDevicePath("3a7e", "0001", ULVEX_DRIVE_REMOVABLE, small, 16), 1);
    EXPECT_EQ(std::string(small), kMonitorPath.substr(0, 15));
    EXPECT_EQ(small[16], 'Z');

    // Without a drive the letter is left alone; the device is still found.
    letter = '?';
    ASSERT_EQ(GetDeviceGeneralInfoByVidPid("1111", "2222", ULVEX_DRIVE_REMOVABLE, path, sizeof path, &letter,
                                           nullptr, nullptr),
              1);
    EXPECT_EQ(letter, '?');

    EXPECT_EQ(GetDeviceGeneralInfoByVidPid("3a7e", "0001", ULVEX_DRIVE_REMOVABLE, nullptr, 100, &letter,
                                           vendor, product),
              0);
    EXPECT_EQ(GetSCSIDevicePath("3a7e", "0001", 4, path, sizeof path), 0);
    EXPECT_EQ(GetSCSIDevicePath("3a7e", "0001", 1, path, sizeof path), 0);
    EXPECT_EQ(GetSCSIDevicePath("3a7e", "0001", ULVEX_DRIVE_CDROM, path, sizeof path), 0);
    EXPECT_EQ(GetSCSIDevicePath(nullptr, "0001", ULVEX_DRIVE_REMOVABLE, path, sizeof path), 0);
    ASSERT_EQ(GetSCSIDevicePath("1111", "3333", ULVEX_DRIVE_CDROM, path, sizeof path), 1);
    EXPECT_EQ(std::string(path).rfind("\\\\?\\usbstor#cdrom&ven_maker&prod_dvd_drive&", 0), 0u) << path;
}

TEST(UlvexStorageTest, VendorAndProductTexts)
{
    Scene scene;
    char vendor[ULVEX_NAME_TEXT_SIZE] = "";
    char product[ULVEX_NAME_TEXT_SIZE] = "";
    ASSERT_EQ(GetVendorProductStringbyVidPid("1111", "2222", vendor, product), 1);
    EXPECT_STREQ(vendor, "generic");
    EXPECT_STREQ(product, "flash disk");
    ASSERT_EQ(GetVendorProductStringbyDriveLetter('d', vendor, product), 1);
    EXPECT_STREQ(vendor, "tarvex");
    EXPECT_STREQ(product, "step monitor");
    EXPECT_EQ(GetVendorProductStringbyDriveLetter('F', vendor, product), 0); // only disks
    EXPECT_EQ(GetVendorProductStringbyVidPid("3a7e", "0002", vendor, product), 0);

    // A long inquiry text stays within the fixed output size.
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string dev = sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0005, "L"));
    sysfs.AddUsbDisk(dev, 0, Disk("V", std::string(100, 'P').c_str()));
    char guardedProduct[ULVEX_NAME_TEXT_SIZE + 8];
    std::memset(guardedProduct, '#', sizeof guardedProduct);
    ASSERT_EQ(GetVendorProductStringbyVidPid("3a7e", "0005", vendor, guardedProduct), 1);
    EXPECT_EQ(std::string(guardedProduct), std::string(ULVEX_NAME_TEXT_SIZE - 1, 'p'));
    EXPECT_EQ(guardedProduct[ULVEX_NAME_TEXT_SIZE], '#');
}

TEST(UlvexStorageTest, UnreadableStorageNumberGivesNoLetter)
{
    Scene scene;
    // The disk's node is there but its number cannot be read: no drive is searched for.
    std::filesystem::remove(scene.sysfs.BlockDir(scene.monitorDisk) + "/dev");
    // A mounted drive whose storage number is 255 must not be taken for the monitor's.
    auto &sysfs = scene.sysfs;
    const std::string odd = sysfs.SysRoot() + "/devices/platform/odd/block/odd0";
    sysfs.WriteAttr(odd, "dev", "0:255");
    sysfs.WriteAttr(odd, "removable", "1");
    sysfs.Symlink(sysfs.SysRoot() + "/dev/block/0:255", odd);
    sysfs.AddMountInfoLine("90 1 0:255 / /media/u/ODD rw - vfat /dev/odd0 rw");
    char letter = '?';
    ASSERT_EQ(GetDriveLetterByDeviceNumber(255, &letter), 1);
    EXPECT_EQ(letter, 'C');
    letter = '?';
    EXPECT_EQ(GetDriveLetterByVidPid("3a7e", "0001", ULVEX_DRIVE_REMOVABLE, &letter), 0);
    EXPECT_EQ(letter, '?');
    char path[300];
    EXPECT_EQ(GetDeviceGeneralInfoByVidPid("3a7e", "0001", ULVEX_DRIVE_REMOVABLE, path, sizeof path, &letter,
                                           nullptr, nullptr),
              1);
    EXPECT_EQ(letter, '?');

    // Without its node the interface cannot be opened and is no match at all.
    ASSERT_EQ(unlink(scene.sysfs.BlockNode(scene.monitorDisk).c_str()), 0);
    EXPECT_EQ(IsSCSIDevice("3a7e", "0001"), 0);
    EXPECT_EQ(GetSCSIDevicePath("3a7e", "0001", ULVEX_DRIVE_REMOVABLE, path, sizeof path), 0);
}

TEST(UlvexStorageTest, MscDeviceInfoListsUsbStorageInOrder)
{
    Scene scene;
    char letters[4];
    char vidBuf[4][ULVEX_ID_TEXT_SIZE] = {};
    char pidBuf[4][ULVEX_ID_TEXT_SIZE] = {};
    char venBuf[4][ULVEX_NAME_TEXT_SIZE] = {};
    char prodBuf[4][ULVEX_NAME_TEXT_SIZE] = {};
    char *vids[4] = {vidBuf[0], vidBuf[1], vidBuf[2], vidBuf[3]};
    char *pids[4] = {pidBuf[0], pidBuf[1], pidBuf[2], pidBuf[3]};
    char *vens[4] = {venBuf[0], venBuf[1], venBuf[2], venBuf[3]};
    char *prods[4] = {prodBuf[0], prodBuf[1], prodBuf[2], prodBuf[3]};

    std::memset(letters, '?', sizeof letters);
    EXPECT_EQ(GetMscDeviceInfo(ULVEX_DRIVE_REMOVABLE, letters, vids, pids, vens, prods, 0), 0);
    EXPECT_EQ(letters[0], '?');
    EXPECT_EQ(GetMscDeviceInfo(4, letters, vids, pids, vens, prods, 4), 0);

    // The UAS disk is left out; the unmounted stick has no letter.
    ASSERT_EQ(GetMscDeviceInfo(ULVEX_DRIVE_REMOVABLE, letters, vids, pids, vens, prods, 4), 2);
    EXPECT_EQ(letters[0], 'D');
    EXPECT_STREQ(vids[0], "3A7E");
    EXPECT_STREQ(pids[0], "0001");
    EXPECT_STREQ(vens[0], "tarvex");
    EXPECT_STREQ(prods[0], "step monitor");
    EXPECT_EQ(letters[1], '\0');
    EXPECT_STREQ(vids[1], "1111");
    EXPECT_STREQ(pids[1], "2222");
    EXPECT_STREQ(prods[1], "flash disk");
    EXPECT_EQ(letters[2], '?');

    // The maximum stops the list; null outputs are skipped.
    std::memset(letters, '?', sizeof letters);
    char *someVids[4] = {nullptr, vidBuf[3], nullptr, nullptr};
    EXPECT_EQ(GetMscDeviceInfo(ULVEX_DRIVE_REMOVABLE, letters, someVids, nullptr, nullptr, nullptr, 1), 1);
    EXPECT_EQ(letters[1], '?');
    EXPECT_EQ(GetMscDeviceInfo(ULVEX_DRIVE_REMOVABLE, nullptr, nullptr, nullptr, nullptr, nullptr, 4), 2);

    // Only the CD-ROM for type 5; a CD-ROM drive gets no letter from the disk search.
    ASSERT_EQ(GetMscDeviceInfo(ULVEX_DRIVE_CDROM, letters, vids, pids, vens, prods, 4), 1);
    EXPECT_STREQ(pids[0], "3333");
    EXPECT_STREQ(prods[0], "dvd drive");
    EXPECT_EQ(letters[0], '\0');

    // A missing node: still listed, without a letter.
    ASSERT_EQ(unlink(scene.sysfs.BlockNode(scene.monitorDisk).c_str()), 0);
    ASSERT_EQ(GetMscDeviceInfo(ULVEX_DRIVE_REMOVABLE, letters, vids, pids, vens, prods, 4), 2);
    EXPECT_EQ(letters[0], '\0');
    EXPECT_STREQ(pids[0], "0001");
}

TEST(UlvexStorageTest, OpenAndPresence)
{
    Scene scene;
    EXPECT_EQ(IsSCSIDevice("3a7e", "0001"), 1);
    EXPECT_EQ(IsSCSIDevice("3A7E", "0001"), 1);
    EXPECT_EQ(IsSCSIDevice("3a7e", "0002"), 0);
    EXPECT_EQ(IsSCSIDevice("1111", "3333"), 0); // a CD-ROM is no SCSI disk
    EXPECT_EQ(IsSCSIDevice(nullptr, nullptr), 0);

    const int fd = OpenSCSIDevice("3a7e", "0001");
    ASSERT_GT(fd, 0);
    char target[512] = {};
    ASSERT_GT(readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), scene.sysfs.BlockNode(scene.monitorDisk));
    EXPECT_EQ(write(fd, "x", 1), 1); // opened for reading and writing
    // Without O_NONBLOCK a removable disk reporting no medium fails to open (ENOMEDIUM) although
    // IsSCSIDevice finds it; the clock command goes to the drive, not to a medium.
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    close(fd);
    EXPECT_EQ(OpenSCSIDevice("3a7e", "0002"), ULVEX_INVALID_HANDLE_VALUE);
}

TEST(UlvexStorageTest, OnlyTheExactLowerCasePrefixCounts)
{
    EXPECT_TRUE(ulvex::IsUsbStoragePath("\\\\?\\usbstor#disk&ven_a&prod_b&rev_1#s&0#{x}"));
    EXPECT_FALSE(ulvex::IsUsbStoragePath("\\\\?\\USBSTOR#DISK&VEN_A&PROD_B&REV_1#S&0#{x}"));
    EXPECT_FALSE(ulvex::IsUsbStoragePath("\\\\?\\scsi#disk&ven_a&prod_b#7&1&0#{x}"));
    EXPECT_FALSE(ulvex::IsUsbStoragePath("\\\\?\\usbsto"));
}
