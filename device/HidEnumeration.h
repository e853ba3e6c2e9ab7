#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One present HID interface as the report layer sees it.
struct HidInterfaceRecord
{
    // Windows-style interface path, e.g.
    // \\?\hid#vid_3a7e&pid_0001&mi_00#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}
    std::u16string interfacePath;
    // The device node to open, e.g. /dev/hidraw0.
    std::string deviceNode;
    // The HID device's sysfs directory (it holds report_descriptor); empty when unknown.
    std::string sysfsDir{};
};

// The interface class the HID interfaces are enumerated under.
inline constexpr char16_t kHidInterfaceClassGuid[] = u"{4D1E55B2-F16F-11CF-88CB-001111000030}";

// The present hidraw interfaces of USB HID devices, in hidraw number order: the HID
// records of the device enumeration layer (platform/dev), in the report layer's shape.
std::vector<HidInterfaceRecord> EnumerateHidrawInterfaces();

// The report descriptor of an interface: the report_descriptor attribute in its sysfs
// directory, else HIDIOCGRDESC on the open descriptor fd (when fd >= 0). False when
// neither gives any bytes.
bool ReadHidrawReportDescriptor(const HidInterfaceRecord &record, int fd, std::vector<std::uint8_t> &out);
