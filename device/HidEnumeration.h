#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One present HID interface as the report layer sees it.
struct HidInterfaceRecord
{
    // Windows-style interface path, e.g.
    // \\?\hid#vid_3a7e&pid_0001#hidraw0#{4d1e55b2-f16f-11cf-88cb-001111000030}
    std::u16string interfacePath;
    // The device node to open, e.g. /dev/hidraw0.
    std::string deviceNode;
};

// The interface class the HID interfaces are enumerated under.
inline constexpr char16_t kHidInterfaceClassGuid[] = u"{4D1E55B2-F16F-11CF-88CB-001111000030}";

// The present hidraw interfaces of USB HID devices, in hidraw number order. Reads
// <VORMATIK_SYSFS_ROOT or /sys>/class/hidraw/*/device/uevent (HID_ID=0003:VVVVVVVV:PPPPPPPP);
// the nodes are <VORMATIK_DEV_ROOT or /dev>/hidrawN. The roots are read on every call.
std::vector<HidInterfaceRecord> EnumerateHidrawInterfaces();

// The report descriptor of an interface: the sysfs attribute
// <sysfs root>/class/hidraw/<node name>/device/report_descriptor, else HIDIOCGRDESC
// on the open descriptor fd (when fd >= 0). False when neither gives any bytes.
bool ReadHidrawReportDescriptor(const HidInterfaceRecord &record, int fd, std::vector<std::uint8_t> &out);
