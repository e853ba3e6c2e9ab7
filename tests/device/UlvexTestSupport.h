#pragma once

#include "device/SupportedDevices.h"
#include "device/UlvexDevice.h"
#include "platform/dev/Storage.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vxtest
{
// A mass-storage monitor's drive: a USB disk whose partition is mounted on a folder of the
// fixture tree, with the drive letter the program's drive map gives it.
struct MonitorDrive
{
    FakeSysfs sysfs;
    std::string usbDevice;
    std::string mountPoint;
    char letter = 0;

    explicit MonitorDrive(std::uint16_t productId = HexToU16(kSupportedDevices[0].szProductId),
                          int interfaces = 1)
    {
        sysfs.AddRootHub(1);
        const std::string internal = sysfs.AddInternalDisk();
        FakeUsbDevice spec = UsbDevice(VORMATIK_MONITOR_VENDOR_ID, productId, "Ser42");
        spec.numInterfaces = interfaces;
        usbDevice = sysfs.AddUsbDevice("usb1", 1, spec);
        const std::string disk = sysfs.AddUsbDisk(usbDevice, 0);
        const std::string partition = sysfs.AddPartition(disk, 1);
        mountPoint = sysfs.Root() + "/media/MONITOR";
        std::filesystem::create_directories(mountPoint);
        std::filesystem::create_directories(sysfs.Root() + "/root");
        sysfs.AddMount(internal, sysfs.Root() + "/root", "ext4");
        sysfs.AddMount(partition, mountPoint);
        for (const vxdev::DriveEntry &drive : vxdev::ReadDriveMap())
            if (drive.mountPoint == mountPoint)
                letter = drive.letter;
    }

    void WriteFile(const std::string &name, const std::vector<std::uint8_t> &bytes) const
    {
        vxtest::WriteFile(mountPoint + "/" + name, bytes);
    }
};

// A "Settings.dat" image of size bytes (filled with 0x20) holding "TXCFG" and code at offset.
inline std::vector<std::uint8_t> SettingsImage(std::size_t size, std::size_t offset, const char *code)
{
    std::vector<std::uint8_t> bytes(size, 0x20);
    const std::string text = std::string("TXCFG") + code;
    for (std::size_t i = 0; i < text.size() && offset + i < size; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(text[i]);
    return bytes;
}

inline std::string ModelCodeText(std::size_t index)
{
    return std::string(kModelCodes[index].data(), kModelCodeLength);
}
} // namespace vxtest
