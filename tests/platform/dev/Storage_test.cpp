#include "platform/dev/DeviceInterface.h"
#include "platform/dev/Storage.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;
using vxdev::InterfaceClass;

using vxtest::Disk;
using vxtest::UsbDevice;

namespace
{
constexpr const char *kDiskGuid = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
constexpr const char *kCdRomGuid = "{53f56308-b6bf-11d0-94f2-00a0c91efb8b}";

std::string MakeDir(const vxtest::FakeSysfs &sysfs, const std::string &relative)
{
    const std::string dir = sysfs.Root() + "/mnt/" + relative;
    fs::create_directories(dir);
    return dir;
}

void Touch(const std::string &path)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "x";
}
} // namespace

TEST(StorageEnumerationTest, UsbDisksAndCdRomsGetUsbstorIdentities)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    sysfs.AddInternalDisk(Disk("ATA", "SSD 860", false));
    const std::string stick = sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0001, "Ser42"));
    const std::string sdb = sysfs.AddUsbDisk(stick, 0, Disk("Tarvex", "Step Monitor"));
    sysfs.AddPartition(sdb, 1);
    const std::string reader = sysfs.AddUsbDevice("usb1", 3, UsbDevice(0x1111, 0x2222, "CD1"));
    vxtest::FakeDisk cd = Disk("Maker", "DVD RW");
    cd.scsiType = 5;
    cd.rev = "1";
    const std::string sr0 = sysfs.AddUsbDisk(reader, 0, cd);

    const auto disks = vxdev::EnumerateInterfaces(InterfaceClass::Disk);
    ASSERT_EQ(disks.size(), 1u); // no partition, no internal disk, no CD-ROM
    EXPECT_EQ(disks[0].instanceId, "USBSTOR\\DISK&VEN_TARVEX&PROD_STEP_MONITOR&REV_1.00\\SER42&0");
    EXPECT_EQ(disks[0].interfacePath,
              std::string("\\\\?\\usbstor#disk&ven_tarvex&prod_step_monitor&rev_1.00#ser42&0#") + kDiskGuid);
    EXPECT_EQ(disks[0].parentInstanceId, "USB\\VID_3A7E&PID_0001\\SER42");
    EXPECT_EQ(disks[0].sysfsDir, sysfs.BlockDir(sdb));
    EXPECT_EQ(disks[0].devNode, sysfs.BlockNode(sdb));

    const auto cdroms = vxdev::EnumerateInterfaces(InterfaceClass::CdRom);
    ASSERT_EQ(cdroms.size(), 1u);
    EXPECT_EQ(cdroms[0].interfacePath,
              std::string("\\\\?\\usbstor#cdrom&ven_maker&prod_dvd_rw&rev_1#cd1&0#") + kCdRomGuid);
    EXPECT_EQ(cdroms[0].devNode, sysfs.BlockNode(sr0));

    // The node maps back to its record.
    const auto byNode = vxdev::FindInterfaceByDeviceNode(sysfs.BlockNode(sdb));
    ASSERT_TRUE(byNode.has_value());
    EXPECT_EQ(byNode->interfacePath, disks[0].interfacePath);
}

TEST(StorageEnumerationTest, UasDiskIsOnTheScsiBusAndOtherInterfacesAreNoStorage)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string fast = sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0002, "UAS1"));
    vxtest::FakeDisk uas = Disk("Samsung", "Portable SSD");
    uas.driver = "uas";
    sysfs.AddUsbDisk(fast, 0, uas);
    // Unusual inquiry texts must not break the identity's separators.
    const std::string odd = sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0003, std::nullopt));
    sysfs.AddUsbDisk(odd, 0, Disk("A&B#C", "X\\Y  Z"));

    const auto disks = vxdev::EnumerateInterfaces(InterfaceClass::Disk);
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].instanceId.rfind("SCSI\\DISK&VEN_SAMSUNG&PROD_PORTABLE_SSD&REV_1.00\\7&", 0), 0u)
        << disks[0].instanceId;
    EXPECT_EQ(disks[0].interfacePath.rfind("\\\\?\\scsi#disk&", 0), 0u);
    EXPECT_EQ(disks[0].parentInstanceId, "USB\\VID_3A7E&PID_0002\\UAS1");
    EXPECT_EQ(disks[1].instanceId.rfind("USBSTOR\\DISK&VEN_A_B_C&PROD_X_Y__Z&REV_1.00\\5&", 0), 0u)
        << disks[1].instanceId;
    EXPECT_EQ(disks[1].instanceId.substr(disks[1].instanceId.size() - 2), "&0");
}

TEST(StorageNumberTest, PartitionsShareTheirDisksNumber)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    sysfs.AddInternalDisk(Disk("ATA", "SSD", false));
    const std::string dev = sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "S"));
    const std::string sdb = sysfs.AddUsbDisk(dev, 0, Disk("Tarvex", "Monitor"));
    const std::string sdb1 = sysfs.AddPartition(sdb, 1);
    const std::string sdb2 = sysfs.AddPartition(sdb, 2);
    vxtest::FakeDisk cd;
    cd.scsiType = 5;
    cd.lun = 1; // a second unit of the same device
    const std::string sr0 = sysfs.AddUsbDisk(dev, 0, cd);
    ASSERT_EQ(sysfs.BlockDevNumbers(sdb), "8:16");
    ASSERT_EQ(sysfs.BlockDevNumbers(sdb2), "8:18");

    const auto whole = vxdev::StorageNumberOfBlock(8, 16);
    const auto second = vxdev::StorageNumberOfBlock(8, 18);
    const auto other = vxdev::StorageNumberOfBlock(8, 0);
    ASSERT_TRUE(whole && second && other);
    EXPECT_EQ(whole->deviceNumber, (8u << 20) | 16u);
    EXPECT_EQ(second->deviceNumber, whole->deviceNumber);
    EXPECT_NE(other->deviceNumber, whole->deviceNumber);
    EXPECT_EQ(whole->partitionNumber, 0u);
    EXPECT_EQ(second->partitionNumber, 2u);
    EXPECT_EQ(whole->deviceType, vxdev::kStorageTypeDisk);
    EXPECT_EQ(vxdev::StorageNumberOfBlock(11, 0)->deviceType, vxdev::kStorageTypeCdRom);
    EXPECT_FALSE(vxdev::StorageNumberOfBlock(8, 99).has_value());

    // By node and by descriptor (one opened without access rights, too).
    EXPECT_EQ(vxdev::StorageNumberOfNode(sysfs.BlockNode(sdb1))->deviceNumber, whole->deviceNumber);
    const int fd = ::open(sysfs.BlockNode(sdb1).c_str(), O_PATH | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const auto byHandle = vxdev::StorageNumberOfHandle(fd);
    ::close(fd);
    ASSERT_TRUE(byHandle.has_value());
    EXPECT_EQ(byHandle->deviceNumber, whole->deviceNumber);
    EXPECT_EQ(byHandle->partitionNumber, 1u);
    EXPECT_EQ(vxdev::StorageNumberOfNode(sysfs.BlockNode(sr0))->deviceType, vxdev::kStorageTypeCdRom);
    const auto cdroms = vxdev::EnumerateInterfaces(InterfaceClass::CdRom);
    ASSERT_EQ(cdroms.size(), 1u);
    EXPECT_EQ(cdroms[0].instanceId, "USBSTOR\\CDROM&VEN_GENERIC&PROD_FLASH_DISK&REV_1.00\\S&1");
    EXPECT_FALSE(vxdev::StorageNumberOfNode(sysfs.DevRoot() + "/sdz").has_value());
    EXPECT_FALSE(vxdev::StorageNumberOfHandle(-1).has_value());
}

TEST(DriveMapTest, MountedBlockDevicesGetLettersInDeviceOrder)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string sda = sysfs.AddInternalDisk(Disk("ATA", "SSD", false));
    const std::string dev = sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "S"));
    const std::string sdb1 = sysfs.AddPartition(sysfs.AddUsbDisk(dev, 0, Disk("Tarvex", "Monitor")), 1);
    vxtest::FakeDisk cd;
    cd.scsiType = 5;
    const std::string sr0 = sysfs.AddUsbDisk(sysfs.AddUsbDevice("usb1", 2, UsbDevice(1, 2, "C")), 0, cd);
    const std::string fixedUsb = sysfs.AddUsbDisk(sysfs.AddUsbDevice("usb1", 3, UsbDevice(1, 3, "F")), 0,
                                                  Disk("WD", "Passport", false));

    // Listed out of order, with what is no drive mixed in.
    sysfs.AddMount(sr0, "/media/u/DVD", "iso9660");
    sysfs.AddMountInfoLine("22 1 0:21 / /proc rw,nosuid - proc proc rw");
    sysfs.AddMount(sdb1, "/media/u/MY DISK\\1");
    sysfs.AddMount(sdb1, "/mnt/again");                  // the same device again: first mount wins
    sysfs.AddMount(sda, "/home/u/data", "ext4", "/srv"); // a bind mount of a folder
    sysfs.AddMount(sda, "/", "ext4");
    sysfs.AddMount(fixedUsb, "/media/u/Passport", "exfat");
    sysfs.AddMountInfoLine("garbage line");
    // A loop device is no drive.
    sysfs.MakeDirs(sysfs.SysRoot() + "/devices/virtual/block/loop0");
    sysfs.WriteAttr(sysfs.SysRoot() + "/devices/virtual/block/loop0", "dev", "7:0");
    sysfs.Symlink(sysfs.SysRoot() + "/dev/block/7:0", sysfs.SysRoot() + "/devices/virtual/block/loop0");
    sysfs.AddMountInfoLine("40 1 7:0 / /snap/core/1 ro shared:9 - squashfs /dev/loop0 ro");

    const auto drives = vxdev::ReadDriveMap();
    ASSERT_EQ(drives.size(), 4u);
    const struct
    {
        char letter;
        const char *mountPoint;
        int type;
        const char *fsType;
    } expected[] = {
        {'C', "/", vxdev::kDriveFixed, "ext4"},
        {'D', "/media/u/MY DISK\\1", vxdev::kDriveRemovable, "vfat"},
        {'E', "/media/u/Passport", vxdev::kDriveFixed, "exfat"},
        {'F', "/media/u/DVD", vxdev::kDriveCdRom, "iso9660"},
    };
    for (std::size_t i = 0; i < drives.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(drives[i].letter, expected[i].letter);
        EXPECT_EQ(drives[i].mountPoint, expected[i].mountPoint);
        EXPECT_EQ(drives[i].driveType, expected[i].type);
        EXPECT_EQ(drives[i].fsType, expected[i].fsType);
    }
    EXPECT_EQ(vxdev::FindDrive('d')->mountPoint, "/media/u/MY DISK\\1");
    EXPECT_FALSE(vxdev::FindDrive('G').has_value());
    EXPECT_EQ(vxdev::DriveLetterOfBlock(8, 17), 'D');
    EXPECT_FALSE(vxdev::DriveLetterOfBlock(7, 0).has_value());
}

// A mount that another one covers must not keep a letter: its path leads to the other volume's
// files, and a write-back through it would land there.
TEST(DriveMapTest, CoveredMountsGetNoLetter)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string monitor =
        sysfs.AddPartition(sysfs.AddUsbDisk(sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "S")), 0,
                                            Disk("Tarvex", "Monitor")),
                           1);
    const std::string stick = sysfs.AddUsbDisk(sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x1111, 0x2222, "K")),
                                               0, Disk("Generic", "Stick"));
    ASSERT_EQ(sysfs.BlockDevNumbers(monitor), "8:1");
    ASSERT_EQ(sysfs.BlockDevNumbers(stick), "8:16");

    // The folders are real, so their device number is the one of the file system holding them;
    // a mountinfo line with that number stands for the file system a covered path shows.
    const std::string shared = MakeDir(sysfs, "shared");
    const std::string lower = MakeDir(sysfs, "media/u/MONITOR");
    const std::string second = MakeDir(sysfs, "second");
    struct stat st
    {
    };
    ASSERT_EQ(stat(shared.c_str(), &st), 0);
    const std::string shown = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    if (shown == "8:1" || shown == "8:16")
        GTEST_SKIP() << "the temporary folder's own device number is one of the fixture's";
    const auto shownLine = [&](int id, const std::string &mountPoint) {
        return std::to_string(id) + " 1 " + shown + " / " + mountPoint + " rw - tmpfs tmpfs rw";
    };

    const struct
    {
        const char *what;
        std::function<void()> mount;
        std::string monitorMount; // "" for no letter
        std::string stickMount;
    } cases[] = {
        {"the monitor alone", [&] { sysfs.AddMount(monitor, lower); }, lower, ""},
        {"another disk mounted later on the same path",
         [&] {
             sysfs.AddMount(monitor, shared);
             sysfs.AddMount(stick, shared);
         },
         "", shared},
        {"another file system mounted later on the same path",
         [&] {
             sysfs.AddMount(monitor, shared);
             sysfs.AddMountInfoLine(shownLine(90, shared));
         },
         "", ""},
        {"a file system mounted later over a folder above",
         [&] {
             sysfs.AddMount(monitor, lower);
             sysfs.AddMountInfoLine(shownLine(90, sysfs.Root() + "/mnt/media"));
         },
         "", ""},
        {"a path that shows the file system above it, whatever the order",
         [&] {
             sysfs.AddMountInfoLine(shownLine(90, sysfs.Root()));
             sysfs.AddMount(monitor, lower);
         },
         "", ""},
        {"covered on one path, visible on another",
         [&] {
             sysfs.AddMount(monitor, shared);
             sysfs.AddMount(monitor, second);
             sysfs.AddMount(stick, shared);
         },
         second, shared},
        {"the file system above, mounted first, does not cover a mount whose path shows it",
         [&] {
             sysfs.AddMountInfoLine(shownLine(90, sysfs.Root() + "/elsewhere"));
             sysfs.AddMount(monitor, lower);
         },
         lower, ""},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        std::ofstream(sysfs.ProcRoot() + "/self/mountinfo", std::ios::trunc).close();
        c.mount();
        const auto monitorLetter = vxdev::DriveLetterOfBlock(8, 1);
        const auto stickLetter = vxdev::DriveLetterOfBlock(8, 16);
        if (c.monitorMount.empty())
        {
            EXPECT_FALSE(monitorLetter.has_value());
        }
        else
        {
            ASSERT_TRUE(monitorLetter.has_value());
            EXPECT_EQ(vxdev::FindDrive(*monitorLetter)->mountPoint, c.monitorMount);
        }
        if (c.stickMount.empty())
        {
            EXPECT_FALSE(stickLetter.has_value());
        }
        else
        {
            ASSERT_TRUE(stickLetter.has_value());
            EXPECT_EQ(vxdev::FindDrive(*stickLetter)->mountPoint, c.stickMount);
            // The path through the letter that is left leads to the disk on top.
            EXPECT_EQ(vxdev::TranslateDrivePath(std::u16string(1, static_cast<char16_t>(*stickLetter)) +
                                                u":\\FR.DAT"),
                      c.stickMount + "/FR.DAT");
        }
    }
}

TEST(DriveMapTest, AMountPointHoldingAZeroByteIsNoDrive)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string dev = sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "S"));
    const std::string sdb = sysfs.AddUsbDisk(dev, 0, Disk("Tarvex", "Monitor"));
    const std::string mount = MakeDir(sysfs, "A");
    Touch(mount + "/FR.DAT");
    // The zero raw or escaped; cut at it, the mount point would be the folder A.
    for (const std::string &mountPoint : {mount + std::string("\0B", 2), mount + "\\000B"})
    {
        SCOPED_TRACE(testing::PrintToString(mountPoint));
        const std::string line =
            "36 1 " + sysfs.BlockDevNumbers(sdb) + " / " + mountPoint + " rw - vfat /dev/sdb rw\n";
        sysfs.WriteFile(sysfs.ProcRoot() + "/self/mountinfo",
                        std::vector<std::uint8_t>(line.begin(), line.end()));
        EXPECT_TRUE(vxdev::ReadDriveMap().empty());
        EXPECT_EQ(vxdev::TranslateDrivePath(u"C:\\FR.DAT"), "");
    }
}

TEST(DriveMapTest, LettersEndAtZ)
{
    vxtest::FakeSysfs sysfs;
    for (int i = 0; i < 26; ++i)
    {
        const std::string disk = sysfs.AddInternalDisk(Disk("ATA", "Disk"));
        sysfs.AddMount(disk, "/mnt/d" + std::to_string(i), "ext4");
    }
    const auto drives = vxdev::ReadDriveMap();
    ASSERT_EQ(drives.size(), 24u);
    EXPECT_EQ(drives.front().letter, 'C');
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().mountPoint, "/mnt/d23");
}

// A letter, once given, names its volume until that volume is gone, whatever comes and goes around
// it; newcomers take the lowest free letters, in device-number order among themselves.
TEST(DriveMapTest, AVolumeKeepsItsLetterWhileItIsMounted)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    std::vector<std::string> disks;
    for (int i = 0; i < 4; ++i)
        disks.push_back(sysfs.AddInternalDisk(Disk("ATA", "Disk")));
    ASSERT_EQ(sysfs.BlockDevNumbers(disks[0]), "8:0");
    ASSERT_EQ(sysfs.BlockDevNumbers(disks[3]), "8:48");
    const auto mountOnly = [&](std::initializer_list<int> which) {
        std::ofstream(sysfs.ProcRoot() + "/self/mountinfo", std::ios::trunc).close();
        for (int i : which)
            sysfs.AddMount(disks[static_cast<std::size_t>(i)], "/mnt/d" + std::to_string(i), "ext4");
    };
    const auto lettersNow = [&] {
        std::string letters;
        for (const std::string &disk : disks)
        {
            const auto numbers = sysfs.BlockDevNumbers(disk);
            const auto letter = vxdev::DriveLetterOfBlock(8, static_cast<unsigned>(std::stoul(numbers.substr(2))));
            letters += letter ? *letter : '-';
        }
        return letters;
    };

    const struct
    {
        const char *what;
        std::initializer_list<int> mounted;
        const char *letters; // of disks 0 to 3, '-' for none
    } steps[] = {
        {"the first look: letters in device-number order", {1, 3}, "-C-D"},
        {"a disk of a lower number comes: it takes the free letter after them", {0, 1, 3}, "EC-D"},
        {"one goes: its letter is free, the others keep theirs", {0, 3}, "E--D"},
        {"two come: the lowest free letters, in device-number order", {0, 1, 2, 3}, "ECFD"},
        {"all go", {}, "----"},
        {"after that, the first look again", {2, 3}, "--CD"},
    };
    for (const auto &step : steps)
    {
        SCOPED_TRACE(step.what);
        mountOnly(step.mounted);
        EXPECT_EQ(lettersNow(), step.letters);
        // The map, the letter look-up and the drive paths agree.
        for (const auto &drive : vxdev::ReadDriveMap())
        {
            EXPECT_EQ(vxdev::FindDrive(drive.letter)->mountPoint, drive.mountPoint);
            EXPECT_EQ(vxdev::TranslateDrivePath(std::u16string(1, static_cast<char16_t>(drive.letter)) + u":\\x"),
                      drive.mountPoint + "/x");
        }
    }

    // Forgetting is a fresh start, as in a new process.
    mountOnly({0, 1, 2, 3});
    EXPECT_EQ(lettersNow(), "EFCD");
    vxdev::ForgetDriveLetters();
    EXPECT_EQ(lettersNow(), "CDEF");

    // Another tree is another machine's view: its volumes start afresh.
    vxtest::FakeSysfs other;
    other.AddInternalDisk(Disk("ATA", "Disk"));
    other.AddMount(other.AddInternalDisk(Disk("ATA", "Disk")), "/mnt/b", "ext4");
    EXPECT_EQ(vxdev::DriveLetterOfBlock(8, 16), 'C');
}

TEST(DriveMapTest, NoMountInfoMeansNoDrives)
{
    vxtest::FakeSysfs sysfs;
    fs::remove(sysfs.ProcRoot() + "/self/mountinfo");
    EXPECT_TRUE(vxdev::ReadDriveMap().empty());
    EXPECT_EQ(vxdev::TranslateDrivePath(u"C:\\FR.DAT"), "");
}

TEST(DrivePathTest, ComponentsAreMatchedWithoutRegardToCase)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string dev = sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "S"));
    const std::string sdb = sysfs.AddUsbDisk(dev, 0, Disk("Tarvex", "Monitor"));
    const std::string mount = MakeDir(sysfs, "MONITOR DRIVE");
    sysfs.AddMount(sdb, mount);
    Touch(mount + "/Settings.dat");
    Touch(mount + "/WORKOUT/fr.dat");
    Touch(mount + "/FR.DAT");

    const struct
    {
        std::u16string in;
        std::string out; // below the mount point; "-" for an empty result
    } cases[] = {
        {u"C:\\FR.DAT", "/FR.DAT"},
        {u"c:\\fr.dat", "/FR.DAT"},
        {u"C:\\workout\\FR.DAT", "/WORKOUT/fr.dat"},
        {u"C:/Workout/Fr.Dat", "/WORKOUT/fr.dat"},
        {u"C:\\SETTINGS.DAT", "/Settings.dat"},
        {u"C:\\.\\workout\\\\FR.DAT", "/WORKOUT/fr.dat"},
        {u"C:\\FR.TMP", "/FR.TMP"},                  // a new file keeps its spelling
        {u"C:\\missing\\FR.DAT", "/missing/FR.DAT"}, // nothing below a missing folder is matched
        {u"C:\\", ""},
        {u"C:", ""},
        {u"C:\\workout\\..\\..\\etc\\passwd", "-"},
        {u"D:\\FR.DAT", "-"},
        {u"1:\\FR.DAT", "-"},
        {u"C", "-"},
        {u"", "-"},
        {std::u16string(u"C:\\FR.DAT\0x", 11), "-"},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(std::string(c.in.begin(), c.in.end()));
        EXPECT_EQ(vxdev::TranslateDrivePath(c.in), c.out == "-" ? "" : mount + c.out);
    }

    // Non-ASCII names pass through as UTF-8.
    Touch(mount + "/Läufe.txt");
    EXPECT_EQ(vxdev::TranslateDrivePath(u"C:\\Läufe.txt"), mount + "/Läufe.txt");
}

TEST(DrivePathTest, LinksOnTheDriveAreNotFollowed)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string dev = sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "S"));
    const std::string sdb = sysfs.AddUsbDisk(dev, 0, Disk("Tarvex", "Monitor"));
    const std::string mount = MakeDir(sysfs, "DRIVE");
    sysfs.AddMount(sdb, mount);
    // Outside the drive: a file of the user's that a write-back must never reach.
    const std::string outside = MakeDir(sysfs, "home");
    Touch(outside + "/FR.DAT");
    Touch(outside + "/notes.txt");
    fs::create_symlink(outside + "/notes.txt", mount + "/FR.DAT");
    fs::create_symlink(outside, mount + "/Workout");
    Touch(mount + "/real/Settings.dat");
    fs::create_symlink("real/Settings.dat", mount + "/Settings.dat");

    for (const char16_t *path : {u"C:\\FR.DAT", u"C:\\fr.dat", u"C:\\workout\\FR.DAT", u"C:\\Workout\\FR.DAT",
                                 u"C:\\workout\\NEW.DAT", u"C:\\Settings.dat"})
    {
        SCOPED_TRACE(std::string(path, path + std::char_traits<char16_t>::length(path)).c_str());
        EXPECT_EQ(vxdev::TranslateDrivePath(path), "");
    }
    // Plain files and folders beside them are still found.
    EXPECT_EQ(vxdev::TranslateDrivePath(u"C:\\REAL\\settings.dat"), mount + "/real/Settings.dat");
}

TEST(HiddenAttributeTest, OutsideFatItSucceedsForExistingFilesOnly)
{
    vxtest::FakeSysfs sysfs;
    const std::string file = sysfs.Root() + "/FR.TMP";
    Touch(file);
    EXPECT_TRUE(vxdev::SetHiddenAttribute(file, true));
    EXPECT_TRUE(vxdev::SetHiddenAttribute(file, false));
    EXPECT_FALSE(vxdev::SetHiddenAttribute(sysfs.Root() + "/missing", true));
}
