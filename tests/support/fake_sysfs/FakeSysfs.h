#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
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

// A sysfs tree and a dev tree below a fresh temporary folder, with relative symlinks
// that resolve inside it and attributes written the way the kernel writes them
// (lower-case hex "idVendor", " 1" for bNumInterfaces, a trailing newline).
// While the object lives, VORMATIK_SYSFS_ROOT and VORMATIK_DEV_ROOT point at it;
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

    // Root hub "usb<bus>" with its usbfs node; speed 5000 or more makes a USB 3 hub.
    std::string AddRootHub(int bus, int ports = 4, int speedMbps = 480);

    // A device on a port of a hub given by its sysfs name ("usb1", "1-2"); returns the
    // device's name ("1-3", "1-2.4") and creates its interfaces "<name>:1.<n>".
    std::string AddUsbDevice(const std::string &hubName, int port, const FakeUsbDevice &spec);

    // A hidraw node on interface number iface of a USB device, with its HID device
    // (bus 0003) and report_descriptor; returns "hidraw<N>".
    std::string AddHidraw(const std::string &usbDeviceName, int iface,
                          const std::vector<std::uint8_t> &reportDescriptor);

    // A hidraw node whose HID device is on another bus (e.g. 0x0005 Bluetooth).
    std::string AddNonUsbHidraw(std::uint16_t bus, std::uint16_t vid, std::uint16_t pid);

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

    std::string m_root;
    std::map<std::string, UsbNodeInfo> m_usb;
    std::map<int, int> m_nextDevnum;
    int m_nextHidraw = 0;
    int m_nextHidSeq = 1;
    std::optional<std::string> m_oldSys;
    std::optional<std::string> m_oldDev;
};
} // namespace vxtest
