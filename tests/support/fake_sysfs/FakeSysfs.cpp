#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace vxtest
{
namespace
{
std::optional<std::string> GetEnv(const char *name)
{
    const char *value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

void RestoreEnv(const char *name, const std::optional<std::string> &value)
{
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

// An inquiry text the way sysfs shows it: padded with blanks to its field's width.
std::string Padded(const std::string &text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// Blanks, tabs, newlines and backslashes as the kernel escapes them in mountinfo.
std::string EscapeMountField(const std::string &text)
{
    std::string out;
    for (const char c : text)
    {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\')
        {
            char code[8];
            std::snprintf(code, sizeof code, "\\%03o", static_cast<unsigned char>(c));
            out += code;
        }
        else
        {
            out.push_back(c);
        }
    }
    return out;
}

std::string Hex4(unsigned value, bool upper)
{
    char text[8];
    std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value & 0xFFFF);
    return text;
}
} // namespace

FakeSysfs::FakeSysfs()
{
    std::string pattern = (fs::temp_directory_path() / "vx-fake-sysfs-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_root = fs::canonical(pattern).string();
    MakeDirs(SysRoot() + "/bus/usb/devices");
    MakeDirs(SysRoot() + "/class/hidraw");
    MakeDirs(SysRoot() + "/devices");
    MakeDirs(SysRoot() + "/class/block");
    MakeDirs(SysRoot() + "/dev/block");
    MakeDirs(DevRoot());
    WriteFile(ProcRoot() + "/self/mountinfo", {});
    fs::create_symlink("/proc/self/fd", ProcRoot() + "/self/fd");
    m_oldSys = GetEnv("VORMATIK_SYSFS_ROOT");
    m_oldDev = GetEnv("VORMATIK_DEV_ROOT");
    m_oldProc = GetEnv("VORMATIK_PROC_ROOT");
    setenv("VORMATIK_SYSFS_ROOT", SysRoot().c_str(), 1);
    setenv("VORMATIK_DEV_ROOT", DevRoot().c_str(), 1);
    setenv("VORMATIK_PROC_ROOT", ProcRoot().c_str(), 1);
}

FakeSysfs::~FakeSysfs()
{
    RestoreEnv("VORMATIK_SYSFS_ROOT", m_oldSys);
    RestoreEnv("VORMATIK_DEV_ROOT", m_oldDev);
    RestoreEnv("VORMATIK_PROC_ROOT", m_oldProc);
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

void FakeSysfs::MakeDirs(const std::string &dir)
{
    fs::create_directories(dir);
}

void FakeSysfs::WriteAttr(const std::string &dir, const std::string &name, const std::string &value)
{
    MakeDirs(dir);
    std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
    out << value << '\n';
}

void FakeSysfs::WriteFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    MakeDirs(fs::path(path).parent_path().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void FakeSysfs::Symlink(const std::string &link, const std::string &target)
{
    const fs::path linkPath(link);
    MakeDirs(linkPath.parent_path().string());
    fs::create_symlink(fs::path(target).lexically_relative(linkPath.parent_path()), linkPath);
}

std::string FakeSysfs::DeviceDir(const std::string &name) const
{
    const auto it = m_usb.find(name);
    if (it == m_usb.end())
        throw std::invalid_argument("no such fake device: " + name);
    return it->second.dir;
}

std::string FakeSysfs::InterfaceDir(const std::string &usbDeviceName, int iface) const
{
    return DeviceDir(usbDeviceName) + "/" + usbDeviceName + ":1." + std::to_string(iface);
}

std::string FakeSysfs::UsbNode(const std::string &name) const
{
    const auto it = m_usb.find(name);
    if (it == m_usb.end())
        throw std::invalid_argument("no such fake device: " + name);
    char text[32];
    std::snprintf(text, sizeof text, "/bus/usb/%03d/%03d", it->second.bus, it->second.devnum);
    return DevRoot() + text;
}

void FakeSysfs::WriteUsbAttrs(const std::string &dir, const FakeUsbDevice &spec, int bus, int devnum,
                              int numInterfaces)
{
    char text[16];
    WriteAttr(dir, "idVendor", Hex4(spec.vid, false));
    WriteAttr(dir, "idProduct", Hex4(spec.pid, false));
    WriteAttr(dir, "bcdDevice", Hex4(spec.bcdDevice, false));
    std::snprintf(text, sizeof text, "%02x", spec.deviceClass);
    WriteAttr(dir, "bDeviceClass", text);
    WriteAttr(dir, "bDeviceSubClass", "00");
    WriteAttr(dir, "bDeviceProtocol", "00");
    WriteAttr(dir, "bMaxPacketSize0", "64");
    WriteAttr(dir, "bNumConfigurations", "1");
    std::snprintf(text, sizeof text, "%2d", numInterfaces);
    WriteAttr(dir, "bNumInterfaces", text);
    WriteAttr(dir, "busnum", std::to_string(bus));
    WriteAttr(dir, "devnum", std::to_string(devnum));
    WriteAttr(dir, "maxchild", std::to_string(spec.maxchild));
    WriteAttr(dir, "speed", std::to_string(spec.speed));
    WriteAttr(dir, "version", spec.speed >= 5000 ? " 3.00" : " 2.00");
    WriteAttr(dir, "manufacturer", spec.manufacturer);
    WriteAttr(dir, "product", spec.product);
    if (spec.serial)
        WriteAttr(dir, "serial", *spec.serial);

    char node[32];
    std::snprintf(node, sizeof node, "/bus/usb/%03d/%03d", bus, devnum);
    WriteFile(DevRoot() + node, {});
}

std::string FakeSysfs::AddRootHub(int bus, int ports, int speedMbps)
{
    const std::string name = "usb" + std::to_string(bus);
    char controller[32];
    std::snprintf(controller, sizeof controller, "0000:00:%02x.0", bus);
    const std::string dir = SysRoot() + "/devices/pci0000:00/" + controller + "/" + name;
    FakeUsbDevice spec;
    spec.vid = 0x1d6b;
    spec.pid = speedMbps >= 5000 ? 0x0003 : 0x0002;
    spec.serial = controller;
    spec.deviceClass = 0x09;
    spec.maxchild = ports;
    spec.speed = speedMbps;
    spec.bcdDevice = 0x0601;
    spec.manufacturer = "Linux xhci-hcd";
    spec.product = "xHCI Host Controller";
    WriteUsbAttrs(dir, spec, bus, 1, 1);
    m_usb[name] = {dir, bus, 1};
    m_nextDevnum[bus] = 2;
    Symlink(SysRoot() + "/bus/usb/devices/" + name, dir);
    return name;
}

std::string FakeSysfs::AddUsbDevice(const std::string &hubName, int port, const FakeUsbDevice &spec)
{
    const UsbNodeInfo hub = m_usb.at(hubName);
    const bool rootHub = hubName.compare(0, 3, "usb") == 0;
    const std::string name =
        rootHub ? hubName.substr(3) + "-" + std::to_string(port) : hubName + "." + std::to_string(port);
    const std::string dir = hub.dir + "/" + name;
    const int devnum = m_nextDevnum[hub.bus]++;
    WriteUsbAttrs(dir, spec, hub.bus, devnum, spec.numInterfaces);
    m_usb[name] = {dir, hub.bus, devnum};
    Symlink(SysRoot() + "/bus/usb/devices/" + name, dir);

    for (int i = 0; i < spec.numInterfaces; ++i)
    {
        const std::string ifName = name + ":1." + std::to_string(i);
        const std::string ifDir = dir + "/" + ifName;
        char text[16];
        std::snprintf(text, sizeof text, "%02x", i);
        WriteAttr(ifDir, "bInterfaceNumber", text);
        WriteAttr(ifDir, "bInterfaceClass", spec.deviceClass == 0x09 ? "09" : "ff");
        WriteAttr(ifDir, "bAlternateSetting", " 0");
        Symlink(SysRoot() + "/bus/usb/devices/" + ifName, ifDir);
    }
    return name;
}

std::string FakeSysfs::AddHidDevice(const std::string &parentDir, std::uint16_t bus, std::uint16_t vid,
                                    std::uint16_t pid, const std::vector<std::uint8_t> &reportDescriptor)
{
    char hidName[32];
    std::snprintf(hidName, sizeof hidName, "%04X:%04X:%04X.%04X", bus, vid, pid, m_nextHidSeq++);
    const std::string hidDir = parentDir + "/" + hidName;
    WriteFile(hidDir + "/report_descriptor", reportDescriptor);
    char uevent[128];
    std::snprintf(uevent, sizeof uevent, "HID_ID=%04X:%08X:%08X", bus, vid, pid);
    WriteAttr(hidDir, "uevent", uevent);

    const int number = m_nextHidraw++;
    const std::string node = "hidraw" + std::to_string(number);
    const std::string rawDir = hidDir + "/hidraw/" + node;
    WriteAttr(rawDir, "dev", "247:" + std::to_string(number));
    Symlink(rawDir + "/device", hidDir);
    Symlink(SysRoot() + "/class/hidraw/" + node, rawDir);
    WriteFile(DevRoot() + "/" + node, {});
    return node;
}

std::string FakeSysfs::AddHidraw(const std::string &usbDeviceName, int iface,
                                 const std::vector<std::uint8_t> &reportDescriptor)
{
    const std::string dir = DeviceDir(usbDeviceName);
    std::ifstream vidIn(dir + "/idVendor");
    std::ifstream pidIn(dir + "/idProduct");
    unsigned vid = 0;
    unsigned pid = 0;
    vidIn >> std::hex >> vid;
    pidIn >> std::hex >> pid;
    return AddHidDevice(InterfaceDir(usbDeviceName, iface), 0x0003, static_cast<std::uint16_t>(vid),
                        static_cast<std::uint16_t>(pid), reportDescriptor);
}

std::string FakeSysfs::AddNonUsbHidraw(std::uint16_t bus, std::uint16_t vid, std::uint16_t pid)
{
    const std::string parent = SysRoot() + "/devices/virtual/misc/uhid";
    MakeDirs(parent);
    return AddHidDevice(parent, bus, vid, pid, {0x05, 0x01});
}

std::string FakeSysfs::AddScsiBlock(const std::string &hostParent, const FakeDisk &disk)
{
    auto [it, added] = m_hosts.emplace(hostParent, m_nextHost);
    if (added)
        ++m_nextHost;
    const std::string host = std::to_string(it->second);
    const std::string scsiDir =
        hostParent + "/host" + host + "/target" + host + ":0:0/" + host + ":0:0:" + std::to_string(disk.lun);
    WriteAttr(scsiDir, "type", std::to_string(disk.scsiType));
    WriteAttr(scsiDir, "vendor", Padded(disk.vendor, 8));
    WriteAttr(scsiDir, "model", Padded(disk.model, 16));
    WriteAttr(scsiDir, "rev", Padded(disk.rev, 4));

    BlockInfo info;
    std::string name;
    if (disk.scsiType == 5)
    {
        name = "sr" + std::to_string(m_nextCdRom);
        info.major = 11;
        info.minor = static_cast<unsigned>(m_nextCdRom++);
    }
    else
    {
        name = std::string("sd") + static_cast<char>('a' + m_nextDisk);
        info.major = 8;
        info.minor = static_cast<unsigned>(16 * m_nextDisk++);
    }
    info.dir = scsiDir + "/block/" + name;
    WriteAttr(info.dir, "dev", std::to_string(info.major) + ":" + std::to_string(info.minor));
    WriteAttr(info.dir, "removable", disk.removable ? "1" : "0");
    WriteAttr(info.dir, "size", "7864320");
    Symlink(info.dir + "/device", scsiDir);
    return AddBlock(name, info);
}

std::string FakeSysfs::AddBlock(const std::string &name, const BlockInfo &info)
{
    Symlink(SysRoot() + "/class/block/" + name, info.dir);
    Symlink(SysRoot() + "/dev/block/" + std::to_string(info.major) + ":" + std::to_string(info.minor),
            info.dir);
    WriteFile(DevRoot() + "/" + name, {});
    m_blocks[name] = info;
    return name;
}

std::string FakeSysfs::AddUsbDisk(const std::string &usbDeviceName, int iface, const FakeDisk &disk)
{
    const std::string ifDir = InterfaceDir(usbDeviceName, iface);
    WriteAttr(ifDir, "bInterfaceClass", "08");
    WriteAttr(ifDir, "bInterfaceSubClass", "06");
    WriteAttr(ifDir, "bInterfaceProtocol", disk.driver == "uas" ? "62" : "50");
    const std::string driverDir = SysRoot() + "/bus/usb/drivers/" + disk.driver;
    MakeDirs(driverDir);
    if (!fs::is_symlink(ifDir + "/driver"))
        Symlink(ifDir + "/driver", driverDir);
    return AddScsiBlock(ifDir, disk);
}

std::string FakeSysfs::AddInternalDisk(const FakeDisk &disk)
{
    char port[32];
    std::snprintf(port, sizeof port, "ata%d", m_nextHost + 1);
    return AddScsiBlock(SysRoot() + "/devices/pci0000:00/0000:00:17.0/" + port, disk);
}

std::string FakeSysfs::AddPartition(const std::string &diskName, int number)
{
    const BlockInfo &disk = m_blocks.at(diskName);
    const std::string name = diskName + std::to_string(number);
    BlockInfo info;
    info.dir = disk.dir + "/" + name;
    info.major = disk.major;
    info.minor = disk.minor + static_cast<unsigned>(number);
    WriteAttr(info.dir, "dev", std::to_string(info.major) + ":" + std::to_string(info.minor));
    WriteAttr(info.dir, "partition", std::to_string(number));
    WriteAttr(info.dir, "size", "7862272");
    return AddBlock(name, info);
}

std::string FakeSysfs::BlockDir(const std::string &blockName) const
{
    const auto it = m_blocks.find(blockName);
    if (it == m_blocks.end())
        throw std::invalid_argument("no such fake block device: " + blockName);
    return it->second.dir;
}

std::string FakeSysfs::BlockDevNumbers(const std::string &blockName) const
{
    const auto it = m_blocks.find(blockName);
    if (it == m_blocks.end())
        throw std::invalid_argument("no such fake block device: " + blockName);
    return std::to_string(it->second.major) + ":" + std::to_string(it->second.minor);
}

std::string FakeSysfs::BlockNode(const std::string &blockName) const
{
    BlockDir(blockName);
    return DevRoot() + "/" + blockName;
}

void FakeSysfs::AddMount(const std::string &blockName, const std::string &mountPoint,
                         const std::string &fsType, const std::string &root)
{
    const int id = m_nextMountId++;
    AddMountInfoLine(std::to_string(id) + " 1 " + BlockDevNumbers(blockName) + " " + EscapeMountField(root) +
                     " " + EscapeMountField(mountPoint) + " rw,nosuid,nodev,relatime shared:" +
                     std::to_string(id) + " - " + fsType + " /dev/" + blockName + " rw");
}

void FakeSysfs::AddMountInfoLine(const std::string &line)
{
    std::ofstream out(ProcRoot() + "/self/mountinfo", std::ios::binary | std::ios::app);
    out << line << '\n';
}
} // namespace vxtest
