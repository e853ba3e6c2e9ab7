#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vxtest
{
// A USB device as the kernel would describe it in sysfs.
struct FakeUsbDevice
{
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::optional<std::string> serial; // no serial attribute when empty
    std::uint8_t deviceClass = 0;      // 0x09 makes a hub
    int numInterfaces = 1;
    int maxchild = 0; // downstream ports (hubs)
    int speed = 480;  // Mbit/s
    std::uint16_t bcdDevice = 0x0100;
    std::string manufacturer = "Maker";
    std::string product = "Gadget";
};

// A device with these IDs and serial (none: no serial attribute); everything else as above.
inline FakeUsbDevice UsbDevice(std::uint16_t vid, std::uint16_t pid, std::optional<std::string> serial)
{
    FakeUsbDevice spec;
    spec.vid = vid;
    spec.pid = pid;
    spec.serial = std::move(serial);
    return spec;
}

// An external hub (class 09, a common hub chip's IDs) with ports downstream ports.
inline FakeUsbDevice UsbHubDevice(int ports, std::optional<std::string> serial = std::nullopt)
{
    FakeUsbDevice spec = UsbDevice(0x05e3, 0x0610, std::move(serial));
    spec.deviceClass = 0x09;
    spec.maxchild = ports;
    return spec;
}

// A SCSI disk or CD-ROM as the kernel describes it below its block device.
struct FakeDisk
{
    std::string vendor = "Generic";   // the inquiry texts, written padded with blanks
    std::string model = "Flash Disk"; // as the kernel does (8, 16 and 4 characters)
    std::string rev = "1.00";
    int scsiType = 0; // 0 disk, 5 CD-ROM
    bool removable = true;
    std::string driver = "usb-storage"; // the USB interface's driver: "usb-storage" or "uas"
    int lun = 0;
};

// A disk with these inquiry texts; everything else as above.
inline FakeDisk Disk(std::string vendor, std::string model, bool removable = true)
{
    FakeDisk disk;
    disk.vendor = std::move(vendor);
    disk.model = std::move(model);
    disk.removable = removable;
    return disk;
}

// A sysfs tree and a dev tree below a fresh temporary folder, with relative symlinks
// that resolve inside it and attributes written the way the kernel writes them
// (lower-case hex "idVendor", " 1" for bNumInterfaces, a trailing newline).
// A proc tree holds self/mountinfo (empty until mounts are added) and self/fd, which leads
// to the real /proc/self/fd.
// While the object lives, VORMATIK_SYSFS_ROOT, VORMATIK_DEV_ROOT and VORMATIK_PROC_ROOT point at it;
// the previous values come back and the folder is removed when it ends.
class FakeSysfs
{
  public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs &) = delete;
    FakeSysfs &operator=(const FakeSysfs &) = delete;

    const std::string &Root() const { return m_root; }
    std::string SysRoot() const { return m_root + "/sys"; }
    std::string DevRoot() const { return m_root + "/dev"; }
    std::string ProcRoot() const { return m_root + "/proc"; }

    // Root hub "usb<bus>" with its usbfs node; speed 5000 or more makes a USB 3 hub.
    std::string AddRootHub(int bus, int ports = 4, int speedMbps = 480);

    // A device on a port of a hub given by its sysfs name ("usb1", "1-2"); returns the
    // device's name ("1-3", "1-2.4") and creates its interfaces "<name>:1.<n>".
    std::string AddUsbDevice(const std::string &hubName, int port, const FakeUsbDevice &spec);

    // A hidraw node on interface number iface of a USB device, with its HID device
    // (bus 0003) and report_descriptor; returns "hidraw<N>".
    std::string AddHidraw(const std::string &usbDeviceName, int iface,
                          const std::vector<std::uint8_t> &reportDescriptor);

    // The sequence number the next HID device's name ends in ("0003:1234:ABCD.<seq>"); the
    // kernel counts them across the machine's uptime, so they grow past four digits.
    void SetNextHidSequence(unsigned sequence) { m_nextHidSeq = sequence; }

    // A hidraw node whose HID device is on another bus (e.g. 0x0005 Bluetooth).
    std::string AddNonUsbHidraw(std::uint16_t bus, std::uint16_t vid, std::uint16_t pid);

    // A disk or CD-ROM on interface iface of a USB device: the interface becomes a
    // mass-storage interface (class 08) bound to disk.driver, with SCSI host, target and
    // device directories, the block device ("sda", "sr0"), its /sys/class/block and
    // /sys/dev/block links and its node (a plain file). Returns the block device's name.
    std::string AddUsbDisk(const std::string &usbDeviceName, int iface, const FakeDisk &disk = {});

    // A disk that is not on USB (an internal SATA disk); returns its name.
    std::string AddInternalDisk(const FakeDisk &disk = {});

    // Partition number of a disk ("sdb" and 1 give "sdb1").
    std::string AddPartition(const std::string &diskName, int number);

    // A block device's sysfs directory, "major:minor" and node.
    std::string BlockDir(const std::string &blockName) const;
    std::string BlockDevNumbers(const std::string &blockName) const;
    std::string BlockNode(const std::string &blockName) const;

    // Appends a mountinfo line for a block device mounted at mountPoint (escaped the way
    // the kernel escapes it). root is the mounted folder of the file system ("/" for the
    // whole of it, another folder for a bind mount).
    void AddMount(const std::string &blockName, const std::string &mountPoint,
                  const std::string &fsType = "vfat", const std::string &root = "/");
    // Appends a line to mountinfo as given.
    void AddMountInfoLine(const std::string &line);

    // Absolute sysfs directory of a device, hub or interface by its sysfs name.
    std::string DeviceDir(const std::string &name) const;
    std::string InterfaceDir(const std::string &usbDeviceName, int iface) const;

    // The usbfs node file of a USB device or hub.
    std::string UsbNode(const std::string &name) const;

    // Low-level helpers for other fixture families (absolute paths).
    void WriteAttr(const std::string &dir, const std::string &name, const std::string &value);
    void WriteFile(const std::string &path, const std::vector<std::uint8_t> &bytes);
    void MakeDirs(const std::string &dir);
    // A symlink at link whose text is the path of target relative to the link's folder.
    void Symlink(const std::string &link, const std::string &target);

  private:
    struct UsbNodeInfo
    {
        std::string dir;
        int bus = 0;
        int devnum = 0;
    };
    void WriteUsbAttrs(const std::string &dir, const FakeUsbDevice &spec, int bus, int devnum,
                       int numInterfaces);
    std::string AddHidDevice(const std::string &parentDir, std::uint16_t bus, std::uint16_t vid,
                             std::uint16_t pid, const std::vector<std::uint8_t> &reportDescriptor);

    std::string AddScsiBlock(const std::string &hostParent, const FakeDisk &disk);

    struct BlockInfo
    {
        std::string dir;
        unsigned major = 0;
        unsigned minor = 0;
    };
    // Links a block device whose folder and attributes are written into /sys/class/block and
    // /sys/dev/block, makes its node and records it; returns name.
    std::string AddBlock(const std::string &name, const BlockInfo &info);

    std::string m_root;
    std::map<std::string, BlockInfo> m_blocks;
    std::map<std::string, int> m_hosts; // host number of a SCSI host's parent directory
    int m_nextHost = 0;
    int m_nextDisk = 0;
    int m_nextCdRom = 0;
    int m_nextMountId = 30;
    std::map<std::string, UsbNodeInfo> m_usb;
    std::map<int, int> m_nextDevnum;
    int m_nextHidraw = 0;
    unsigned m_nextHidSeq = 1;
    std::optional<std::string> m_oldSys;
    std::optional<std::string> m_oldDev;
    std::optional<std::string> m_oldProc;
};
} // namespace vxtest
