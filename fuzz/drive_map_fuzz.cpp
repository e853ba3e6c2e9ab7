// Feeds arbitrary mountinfo files to the drive map, and arbitrary drive paths to their translation,
// over a fixed device tree: an internal disk (sda), a USB monitor disk with a partition (sdb,
// sdb1), a USB CD-ROM (sr0) and a loop device. The tree and the mounted folders are written once,
// below a scratch folder; each input rewrites only mountinfo.
//
// Input: a drive path up to the first NUL byte (UTF-8: "E:\workout\FR.DAT"), then the mountinfo
// file, in which "%S" stands for the scratch folder (its prepared folders are %S/m0 to %S/m3). The
// seeds show lines for 8:0 (sda), 8:16, 8:17 (sdb, sdb1), 11:0 (sr0) and 7:0 (loop0).

#include "fuzz/FuzzInput.h"
#include "platform/dev/Storage.h"
#include "platform/sys/TextConvert.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace
{
struct Tree
{
    Tree()
    {
        sysfs.AddRootHub(1);
        sysfs.AddInternalDisk(vxtest::Disk("ATA", "Internal", false));
        const std::string monitor = sysfs.AddUsbDevice("usb1", 1, vxtest::UsbDevice(0x1234, 0xabcd, "SER42"));
        sysfs.AddPartition(sysfs.AddUsbDisk(monitor, 0, vxtest::Disk("Tarvex", "Step Monitor")), 1);
        vxtest::FakeDisk cd = vxtest::Disk("Optic", "Reader");
        cd.scsiType = 5;
        sysfs.AddUsbDisk(sysfs.AddUsbDevice("usb1", 2, vxtest::UsbDevice(0x1234, 0x0001, "CD")), 0, cd);
        // A loop device sits below devices/virtual, as the kernel puts it.
        const std::string loop = sysfs.SysRoot() + "/devices/virtual/block/loop0";
        sysfs.WriteAttr(loop, "dev", "7:0");
        sysfs.Symlink(sysfs.SysRoot() + "/dev/block/7:0", loop);

        // Mounted folders with the monitor's layout, names in other cases, and a link out of the drive.
        const std::string scratch = vxfuzz::ScratchFolder();
        for (int i = 0; i < 4; ++i)
        {
            const std::string m = scratch + "/m" + std::to_string(i);
            fs::create_directories(m + "/workout");
            fs::create_directories(m + "/WORK OUT");
            std::ofstream(m + "/workout/FR.DAT") << "x";
            std::ofstream(m + "/workout/fr.dat") << "y";
            fs::create_symlink("/etc", m + "/outside");
            fs::create_symlink("FR.DAT", m + "/workout/link.dat");
        }
        mountinfo = sysfs.ProcRoot() + "/self/mountinfo";
    }
    vxtest::FakeSysfs sysfs;
    std::string mountinfo;
};

Tree &TheTree()
{
    static Tree tree;
    return tree;
}

bool HasDotDot(const std::string &path)
{
    std::size_t start = 0;
    while (start <= path.size())
    {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (path.compare(start, end - start, "..") == 0)
            return true;
        start = end + 1;
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    TheTree();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Tree &tree = TheTree();
    vxfuzz::InputReader in(data, size);
    const std::u16string drivePath = vxsys::Utf8ToUtf16(vxfuzz::AsString(in.Until(0)));
    std::string text = vxfuzz::AsString(in.Rest());
    for (std::size_t at = text.find("%S"); at != std::string::npos; at = text.find("%S", at))
    {
        text.replace(at, 2, vxfuzz::ScratchFolder());
        at += vxfuzz::ScratchFolder().size();
    }
    std::ofstream(tree.mountinfo, std::ios::binary | std::ios::trunc) << text;
    vxdev::ForgetDriveLetters(); // each input is a fresh start, its letters those of a first look

    const std::vector<vxdev::DriveEntry> drives = vxdev::ReadDriveMap();
    VX_FUZZ_CHECK(drives.size() <= 24);
    std::set<std::pair<unsigned, unsigned>> devices;
    for (std::size_t i = 0; i < drives.size(); ++i)
    {
        const vxdev::DriveEntry &d = drives[i];
        // Letters C, D, E... in device-number order, one device each, never a virtual one.
        VX_FUZZ_CHECK(d.letter == static_cast<char>('C' + i));
        VX_FUZZ_CHECK(devices.insert({d.major, d.minor}).second);
        VX_FUZZ_CHECK(i == 0 || std::make_pair(drives[i - 1].major, drives[i - 1].minor) <
                                    std::make_pair(d.major, d.minor));
        VX_FUZZ_CHECK(d.major != 7);
        VX_FUZZ_CHECK(d.driveType == vxdev::kDriveCdRom || d.driveType == vxdev::kDriveRemovable ||
                      d.driveType == vxdev::kDriveFixed);
        if (i < 2) // each look-up reads the whole map again
        {
            const auto letter = vxdev::DriveLetterOfBlock(d.major, d.minor);
            VX_FUZZ_CHECK(letter && *letter == d.letter);
        }
    }

    const std::string path = vxdev::TranslateDrivePath(drivePath);
    if (path.empty())
        return 0;
    // A translated path lies below its drive's mount point, by components of the path given.
    VX_FUZZ_CHECK(drivePath.size() >= 2 && drivePath[1] == u':');
    const auto drive = vxdev::FindDrive(static_cast<char>(drivePath[0]));
    VX_FUZZ_CHECK(drive.has_value());
    VX_FUZZ_CHECK(path.compare(0, drive->mountPoint.size(), drive->mountPoint) == 0);
    VX_FUZZ_CHECK(path.find('\0') == std::string::npos);
    VX_FUZZ_CHECK(!HasDotDot(path.substr(drive->mountPoint.size())));
    return 0;
}
