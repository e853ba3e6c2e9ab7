// Feeds what a device tells the kernel about itself, as sysfs publishes it, to the device layer's
// readers and to the Ulvex functions above them: serial numbers, manufacturer and product strings,
// IDs, port counts, inquiry texts, report descriptors, block device numbers and mountinfo.
//
// The fixture tree is built once: two root hubs (one USB 3), an external hub, a monitor with a disk
// (partition mounted), a HID interface and a serial, a CD-ROM, a UAS disk, a HID device without a
// serial, an internal disk. Every file and link of the tree is a slot. An input is a series of
// records, each naming a slot and either filling it (it becomes a regular file holding the bytes)
// or deleting it; after the readers ran, only the slots the input touched are put back.
//
// Input: one byte that chooses the group of readers that runs (see kGroups), then the records.
// Record: slot (2 bytes, little-endian, taken modulo the slot count), length (1 byte: 255 deletes
// the slot, anything else is the count of bytes that follow and fill it). The seeds name slots by
// their index in the sorted list of the tree's paths (printed with VORMATIK_FUZZ_LIST_SLOTS=1).

#include "fuzz/FuzzInput.h"
#include "platform/dev/DeviceInterface.h"
#include "platform/dev/DeviceOpen.h"
#include "platform/dev/Storage.h"
#include "platform/dev/Sysfs.h"
#include "platform/dev/UsbHub.h"
#include "platform/dev/UsbSerialKey.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"
#include "usbaccess/ulvex_api.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <system_error>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
constexpr std::uint16_t kMonitorVendor = 0x3a7e;
constexpr std::uint16_t kMonitorProduct = 0x5d02;

struct Slot
{
    std::string path;
    bool link = false;
    std::string content; // file bytes, or the link's target text
};

struct Tree
{
    Tree()
    {
        sysfs.AddRootHub(1);
        sysfs.AddRootHub(2, 4, 5000);
        const std::string hub = sysfs.AddUsbDevice("usb1", 1, vxtest::UsbHubDevice(4, "HUB1"));
        vxtest::FakeUsbDevice monitor = vxtest::UsbDevice(kMonitorVendor, kMonitorProduct, "MONITOR42");
        monitor.numInterfaces = 2;
        monitor.manufacturer = "Tarvex";
        monitor.product = "Step Monitor";
        const std::string device = sysfs.AddUsbDevice(hub, 2, monitor);
        const std::string disk = sysfs.AddUsbDisk(device, 0, vxtest::Disk("Tarvex", "Step Monitor"));
        const std::string partition = sysfs.AddPartition(disk, 1);
        sysfs.AddHidraw(device, 1, {0x06, 0x00, 0xff, 0x09, 0x01, 0xa1, 0x01, 0x15, 0x00, 0x26, 0xff, 0x00, 0x75,
                                    0x08, 0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xc0});
        vxtest::FakeDisk cd = vxtest::Disk("Optic", "Reader");
        cd.scsiType = 5;
        const std::string cdrom =
            sysfs.AddUsbDisk(sysfs.AddUsbDevice("usb1", 2, vxtest::UsbDevice(0x1234, 0x0001, "CD")), 0, cd);
        vxtest::FakeDisk uas = vxtest::Disk("Fast", "Stick");
        uas.driver = "uas";
        sysfs.AddUsbDisk(sysfs.AddUsbDevice("usb2", 1, vxtest::UsbDevice(0x1234, 0x0002, "UAS")), 0, uas);
        sysfs.AddHidraw(sysfs.AddUsbDevice("usb1", 3, vxtest::UsbDevice(kMonitorVendor, 0x5d03, std::nullopt)), 0,
                        {0x06, 0x00, 0xff, 0x09, 0x01});
        const std::string internal = sysfs.AddInternalDisk(vxtest::Disk("ATA", "Internal", false));

        const std::string scratch = vxfuzz::ScratchFolder();
        const std::string mounts[] = {scratch + "/monitor", scratch + "/internal", scratch + "/cd"};
        for (const std::string &m : mounts)
            fs::create_directories(m);
        sysfs.AddMount(partition, mounts[0]);
        sysfs.AddMount(internal, mounts[1], "ext4");
        sysfs.AddMount(cdrom, mounts[2], "iso9660");

        // Every entry below the tree's folders that is a file or a link (never a folder: deleting one
        // would take whole subtrees along, and putting it back would cost far more than one file).
        std::vector<std::string> paths;
        for (const std::string &top : {sysfs.SysRoot(), sysfs.DevRoot(), sysfs.ProcRoot() + "/self"})
        {
            for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it)
            {
                if (it->is_symlink())
                {
                    it.disable_recursion_pending();
                    paths.push_back(it->path().string());
                }
                else if (it->is_regular_file())
                {
                    paths.push_back(it->path().string());
                }
            }
        }
        std::sort(paths.begin(), paths.end());
        for (const std::string &path : paths)
        {
            Slot slot;
            slot.path = path;
            if (fs::is_symlink(path))
            {
                slot.link = true;
                slot.content = fs::read_symlink(path).string();
            }
            else
            {
                std::ifstream in(path, std::ios::binary);
                slot.content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
            slots.push_back(std::move(slot));
        }
        if (std::getenv("VORMATIK_FUZZ_LIST_SLOTS"))
        {
            for (std::size_t i = 0; i < slots.size(); ++i)
                std::fprintf(stderr, "%zu %s\n", i, slots[i].path.substr(sysfs.Root().size()).c_str());
        }
    }

    static void WriteFileBytes(const std::string &path, const std::string &bytes)
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        (void)!::write(fd, bytes.data(), bytes.size());
        ::close(fd);
    }

    void Fill(std::size_t index, const std::string &bytes)
    {
        const std::string &path = slots[index].path;
        ::unlink(path.c_str());
        WriteFileBytes(path, bytes);
    }

    void Delete(std::size_t index) { ::unlink(slots[index].path.c_str()); }

    // Puts the slot back as the tree was built, and checks it is: a later input must see the same tree.
    void Restore(std::size_t index)
    {
        const Slot &slot = slots[index];
        ::unlink(slot.path.c_str());
        std::error_code ec;
        if (slot.link)
        {
            (void)!::symlink(slot.content.c_str(), slot.path.c_str());
            VX_FUZZ_CHECK(fs::read_symlink(slot.path, ec).string() == slot.content);
        }
        else
        {
            WriteFileBytes(slot.path, slot.content);
            VX_FUZZ_CHECK(!fs::is_symlink(slot.path) && fs::file_size(slot.path, ec) == slot.content.size());
        }
    }

    vxtest::FakeSysfs sysfs;
    std::vector<Slot> slots;
};

Tree &TheTree()
{
    static Tree tree;
    return tree;
}

bool Clean(const std::string &text)
{
    return text.find('\0') == std::string::npos;
}

// An output buffer of exactly its capacity (so that the sanitizer sees any write past it), whose
// text must end within it.
struct Out
{
    explicit Out(std::size_t capacity) : bytes(capacity, '\x5a') {}
    char *data() { return bytes.data(); }
    unsigned size() const { return static_cast<unsigned>(bytes.size()); }
    bool Terminated() const { return std::find(bytes.begin(), bytes.end(), '\0') != bytes.end(); }
    std::vector<char> bytes;
};

void CheckRecords(const std::vector<vxdev::DeviceInterfaceRecord> &records, vxdev::InterfaceClass cls)
{
    std::set<std::string> paths;
    for (const auto &record : records)
    {
        VX_FUZZ_CHECK(Clean(record.interfacePath) && Clean(record.instanceId) && Clean(record.parentInstanceId));
        VX_FUZZ_CHECK(record.interfacePath.compare(0, 4, "\\\\?\\") == 0);
        VX_FUZZ_CHECK(record.interfacePath == vxdev::MakeInterfacePath(record.instanceId, cls));
        // An instance ID is the path's key: "#" and "\" inside a part would make two devices one.
        VX_FUZZ_CHECK(paths.insert(record.interfacePath).second);
    }
}

void EnumerateClass(vxdev::InterfaceClass cls)
{
    const auto records = vxdev::EnumerateInterfaces(cls);
    CheckRecords(records, cls);
    for (const auto &record : records)
    {
        if (const auto usb = vxdev::FindUsbDeviceAncestor(record.sysfsDir))
        {
            vxdev::ReadDeviceDescriptor(*usb);
            vxdev::UsbDeviceNode(*usb);
        }
        if (cls == vxdev::InterfaceClass::UsbHub)
        {
            const int ports = vxdev::HubPortCount(record.sysfsDir).value_or(0);
            for (int port = 1; port <= std::min(ports, 8); ++port)
            {
                vxdev::UsbPortConnection connection;
                if (vxdev::QueryHubPort(record.sysfsDir, port, connection) && !connection.connected)
                    VX_FUZZ_CHECK(connection.descriptor.idVendor == 0 && connection.sysfsDir.empty());
            }
        }
    }
    if (!records.empty())
    {
        const auto found = vxdev::FindInterfaceByPath(cls, records.front().interfacePath);
        VX_FUZZ_CHECK(found && found->interfacePath == records.front().interfacePath);
    }
}

void ReadDrives()
{
    EnumerateClass(vxdev::InterfaceClass::Disk);
    EnumerateClass(vxdev::InterfaceClass::CdRom);
    vxdev::ForgetDriveLetters();
    const auto drives = vxdev::ReadDriveMap();
    VX_FUZZ_CHECK(drives.size() <= 24);
    for (std::size_t i = 0; i < drives.size(); ++i)
    {
        VX_FUZZ_CHECK(drives[i].letter == static_cast<char>('C' + i));
        vxdev::StorageNumberOfBlock(drives[i].major, drives[i].minor);
    }
}

const char kVendorId[ULVEX_ID_TEXT_SIZE] = "3a7e";
const char kProductId[ULVEX_ID_TEXT_SIZE] = "5d02";

void UlvexUsbAndHub()
{
    vxdev::UsbSerialIsEnumerated(kMonitorVendor, kMonitorProduct, "MONITOR42");
    Out path(260), parent(260);
    if (GetUSBDevicePath(kVendorId, kProductId, path.data(), path.size(), parent.data(), parent.size()))
    {
        VX_FUZZ_CHECK(path.Terminated() && parent.Terminated());
        Out hub(260);
        const std::size_t parentLength = std::strlen(parent.data());
        if (GetUSBHubDevicePath(parent.data(), static_cast<unsigned>(parentLength), hub.data(), hub.size()))
        {
            VX_FUZZ_CHECK(hub.Terminated());
            const int handle =
                vxdev::OpenInterface(vxdev::InterfaceClass::UsbHub, hub.data(), vxdev::OpenAccess::None);
            unsigned ports = 0;
            unsigned port = 0;
            if (handle >= 0 && GetNumPort(handle, &ports))
                GetPortIndex(kMonitorVendor, kMonitorProduct, handle, std::min(ports, 16u), &port);
            vxdev::CloseHandle(handle);
        }
    }
    Out serial(ULVEX_SERIAL_SIZE);
    char vid[ULVEX_ID_TEXT_SIZE] = {};
    char pid[ULVEX_ID_TEXT_SIZE] = {};
    ExtractPidVidFromHardwareID(path.data(), static_cast<int>(strnlen(path.data(), path.size())), pid, vid,
                                serial.data());
}

void UlvexHid()
{
    Out path(260), parent(64);
    if (GetHIDDevicePath(kVendorId, kProductId, path.data(), path.size(), parent.data(), parent.size()))
        VX_FUZZ_CHECK(path.Terminated() && parent.Terminated());
    for (const auto &record : vxdev::EnumerateInterfaces(vxdev::InterfaceClass::Hid))
    {
        char vid[ULVEX_ID_TEXT_SIZE] = {};
        char pid[ULVEX_ID_TEXT_SIZE] = {};
        Out serial(ULVEX_SERIAL_SIZE);
        GetPidVidByDeviceInfo(record.sysfsDir.c_str(), pid, vid, serial.data());
        VX_FUZZ_CHECK(strnlen(vid, sizeof vid) < sizeof vid && strnlen(pid, sizeof pid) < sizeof pid);
    }
    vxdev::UsbSerialIsEnumerated(kMonitorVendor, 0x5d03, "5&0&0&3");
}

void UlvexStringDescriptor()
{
    char16_t text[64] = {};
    GetStringDescriptor(kVendorId, kProductId, 2, text, 64);
}

void UlvexStorageByIds()
{
    for (const int driveType : {ULVEX_DRIVE_REMOVABLE, ULVEX_DRIVE_CDROM})
    {
        Out path(260), vendorText(ULVEX_NAME_TEXT_SIZE), productText(ULVEX_NAME_TEXT_SIZE);
        char letter = 0;
        if (GetDeviceGeneralInfoByVidPid(kVendorId, kProductId, driveType, path.data(), path.size(), &letter,
                                         vendorText.data(), productText.data()))
        {
            VX_FUZZ_CHECK(path.Terminated() && vendorText.Terminated() && productText.Terminated());
            GetVenProdByDevicePath(path.data(), vendorText.data(), productText.data());
            VX_FUZZ_CHECK(vendorText.Terminated() && productText.Terminated());
        }
    }
    Out vendorText(ULVEX_NAME_TEXT_SIZE), productText(ULVEX_NAME_TEXT_SIZE);
    if (GetVendorProductStringbyVidPid(kVendorId, kProductId, vendorText.data(), productText.data()))
        VX_FUZZ_CHECK(vendorText.Terminated() && productText.Terminated());
}

void UlvexStorageByLetter()
{
    vxdev::ForgetDriveLetters();
    for (char letter = 'C'; letter <= 'D'; ++letter)
    {
        char vid[ULVEX_ID_TEXT_SIZE] = {};
        char pid[ULVEX_ID_TEXT_SIZE] = {};
        if (GetVidPidByDriveLetter(ULVEX_DRIVE_REMOVABLE, letter, vid, pid))
            VX_FUZZ_CHECK(strnlen(vid, sizeof vid) < sizeof vid && strnlen(pid, sizeof pid) < sizeof pid);
        Out vendorText(ULVEX_NAME_TEXT_SIZE), productText(ULVEX_NAME_TEXT_SIZE);
        if (GetVendorProductStringbyDriveLetter(letter, vendorText.data(), productText.data()))
            VX_FUZZ_CHECK(vendorText.Terminated() && productText.Terminated());
    }
}

void UlvexStorageList()
{
    constexpr int kMaximum = 4;
    char letters[kMaximum] = {};
    std::vector<std::vector<char>> buffers(4 * kMaximum);
    char *pointers[4][kMaximum];
    for (int i = 0; i < kMaximum; ++i)
    {
        for (int k = 0; k < 4; ++k)
        {
            buffers[k * kMaximum + i].assign(k < 2 ? ULVEX_ID_TEXT_SIZE : ULVEX_NAME_TEXT_SIZE, '\x5a');
            pointers[k][i] = buffers[k * kMaximum + i].data();
        }
    }
    const int count = GetMscDeviceInfo(ULVEX_DRIVE_REMOVABLE, letters, pointers[0], pointers[1], pointers[2],
                                       pointers[3], kMaximum);
    VX_FUZZ_CHECK(count >= 0 && count <= kMaximum);
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < 4; ++k)
            VX_FUZZ_CHECK(std::find(buffers[k * kMaximum + i].begin(), buffers[k * kMaximum + i].end(), '\0') !=
                          buffers[k * kMaximum + i].end());
}

// The readers, one group of them for each input (its first byte chooses): running them all for every
// input would cost it the work of dozens of enumerations.
void (*const kGroups[])() = {
    [] { EnumerateClass(vxdev::InterfaceClass::UsbDevice); },
    [] { EnumerateClass(vxdev::InterfaceClass::UsbHub); },
    [] { EnumerateClass(vxdev::InterfaceClass::Hid); },
    ReadDrives,
    UlvexUsbAndHub,
    [] {
        UlvexHid();
        UlvexStringDescriptor();
    },
    UlvexStorageByIds,
    [] {
        UlvexStorageByLetter();
        UlvexStorageList();
    },
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Every input writes files of the tree: in memory, where the machine has a tmpfs for it.
    struct stat shm
    {
    };
    if (!std::getenv("TMPDIR") && ::stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) && ::access("/dev/shm", W_OK) == 0)
        ::setenv("TMPDIR", "/dev/shm", 1);
    TheTree();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Tree &tree = TheTree();
    vxfuzz::InputReader in(data, size);
    const std::size_t group = in.U8() % std::size(kGroups);
    std::set<std::size_t> touched;
    while (in.Remaining() >= 3)
    {
        const std::size_t index = in.U16() % tree.slots.size();
        const std::uint8_t length = in.U8();
        touched.insert(index);
        if (length == 255)
            tree.Delete(index);
        else
            tree.Fill(index, vxfuzz::AsString(in.Bytes(length)));
    }

    {
        // While its readers run the tree stays as the input left it, as a real tree does for the length
        // of one call: the readers of one input share what they learn of it, as the calls of one lookup
        // do, so an input costs one walk of the files it reaches however many calls read them.
        const vxdev::SysfsCallScope scope;
        kGroups[group]();
    }

    for (const std::size_t index : touched)
        tree.Restore(index);
    return 0;
}
