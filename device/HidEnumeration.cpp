#include "device/HidEnumeration.h"

#include "platform/dev/DeviceInterface.h"
#include "platform/dev/Hidraw.h"
#include "platform/dev/Sysfs.h"
#include "platform/sys/TextConvert.h"

std::vector<HidInterfaceRecord> EnumerateHidrawInterfaces()
{
    const std::vector<vxdev::DeviceInterfaceRecord> found =
        vxdev::EnumerateInterfaces(vxdev::InterfaceClass::Hid);
    std::vector<HidInterfaceRecord> records;
    records.reserve(found.size());
    for (const vxdev::DeviceInterfaceRecord &hid : found)
    {
        HidInterfaceRecord record;
        // The identities are built from sysfs names and hexadecimal numbers: plain ASCII.
        record.interfacePath = vxsys::Latin1ToUtf16(hid.interfacePath);
        record.deviceNode = hid.devNode;
        record.sysfsDir = hid.sysfsDir;
        records.push_back(std::move(record));
    }
    return records;
}

bool ReadHidrawReportDescriptor(const HidInterfaceRecord &record, int fd, std::vector<std::uint8_t> &out)
{
    out.clear();
    if (!record.sysfsDir.empty())
    {
        if (auto bytes = vxdev::ReadBinaryAttr(record.sysfsDir, "report_descriptor");
            bytes && !bytes->empty() && bytes->size() <= vxdev::kHidMaxDescriptorSize)
        {
            out.assign(bytes->begin(), bytes->end());
            return true;
        }
    }
    return vxdev::ReadHidrawDescriptor(fd, out);
}
