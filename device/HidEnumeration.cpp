#include "device/HidEnumeration.h"

#include "platform/sys/TextConvert.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <linux/hidraw.h>
#include <sys/ioctl.h>

namespace
{
std::string RootFromEnvironment(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    std::string root = (value && *value) ? value : fallback;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

std::string SysfsRoot()
{
    return RootFromEnvironment("VORMATIK_SYSFS_ROOT", "/sys");
}
std::string DevRoot()
{
    return RootFromEnvironment("VORMATIK_DEV_ROOT", "/dev");
}

// The number of a "hidrawN" name, or -1 for any other name.
long HidrawNumber(const std::string &name)
{
    static const std::string prefix = "hidraw";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return -1;
    long number = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i)
    {
        if (name[i] < '0' || name[i] > '9' || number > 1000000)
            return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

// HID_ID=0003:0000VVVV:0000PPPP from a uevent file; only USB (bus 0003) devices count.
bool ReadUsbHidId(const std::string &ueventPath, unsigned &vendor, unsigned &product)
{
    std::ifstream in(ueventPath);
    std::string line;
    while (std::getline(in, line))
    {
        if (line.compare(0, 7, "HID_ID=") != 0)
            continue;
        unsigned bus = 0;
        unsigned long v = 0, p = 0;
        char tail = 0;
        if (std::sscanf(line.c_str() + 7, "%x:%lx:%lx%c", &bus, &v, &p, &tail) != 3)
            return false;
        if (bus != 0x0003 || v > 0xFFFF || p > 0xFFFF)
            return false;
        vendor = static_cast<unsigned>(v);
        product = static_cast<unsigned>(p);
        return true;
    }
    return false;
}

std::string NodeName(const std::string &deviceNode)
{
    const std::size_t slash = deviceNode.find_last_of('/');
    return slash == std::string::npos ? deviceNode : deviceNode.substr(slash + 1);
}
} // namespace

std::vector<HidInterfaceRecord> EnumerateHidrawInterfaces()
{
    const std::string classDir = SysfsRoot() + "/class/hidraw";
    const std::string devRoot = DevRoot();

    std::vector<std::pair<long, HidInterfaceRecord>> found;
    DIR *dir = opendir(classDir.c_str());
    if (!dir)
        return {};
    while (const dirent *entry = readdir(dir))
    {
        const std::string name = entry->d_name;
        const long number = HidrawNumber(name);
        if (number < 0)
            continue;
        unsigned vendor = 0, product = 0;
        if (!ReadUsbHidId(classDir + "/" + name + "/device/uevent", vendor, product))
            continue;
        char path[128];
        std::snprintf(path, sizeof path, "\\\\?\\hid#vid_%04x&pid_%04x#%s#", vendor, product, name.c_str());
        HidInterfaceRecord record;
        record.interfacePath = vxsys::Latin1ToUtf16(path);
        for (const char16_t *c = kHidInterfaceClassGuid; *c; ++c)
            record.interfacePath.push_back((*c >= u'A' && *c <= u'Z') ? static_cast<char16_t>(*c + 32) : *c);
        record.deviceNode = devRoot + "/" + name;
        found.emplace_back(number, std::move(record));
    }
    closedir(dir);

    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<HidInterfaceRecord> records;
    records.reserve(found.size());
    for (auto &entry : found)
        records.push_back(std::move(entry.second));
    return records;
}

bool ReadHidrawReportDescriptor(const HidInterfaceRecord &record, int fd, std::vector<std::uint8_t> &out)
{
    out.clear();
    const std::string name = NodeName(record.deviceNode);
    if (HidrawNumber(name) >= 0)
    {
        std::ifstream in(SysfsRoot() + "/class/hidraw/" + name + "/device/report_descriptor",
                         std::ios::binary);
        if (in)
        {
            out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (!out.empty() && out.size() <= HID_MAX_DESCRIPTOR_SIZE)
                return true;
            out.clear();
        }
    }
    if (fd < 0)
        return false;
    int size = 0;
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) != 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return false;
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<__u32>(size);
    if (ioctl(fd, HIDIOCGRDESC, &descriptor) != 0)
        return false;
    out.assign(descriptor.value, descriptor.value + size);
    return true;
}
