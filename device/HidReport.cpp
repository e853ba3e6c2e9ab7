#include "device/HidReport.h"

#include "device/DeviceMutex.h"
#include "device/HidReportDescriptor.h"
#include "platform/dev/DeviceOpen.h"
#include "platform/dev/Hidraw.h"
#include "platform/sys/TextConvert.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

namespace
{
// The open device. Only touched under the device mutex.
struct HidDeviceState
{
    HidHandle handle = kInvalidHidHandle;
    std::uint32_t inputLength = 0;
    std::uint32_t outputLength = 0;
    bool usesReportIds = false;
    std::vector<std::uint8_t> inputBuffer;
    std::vector<std::uint8_t> outputBuffer;
};

HidDeviceState g_device;

constexpr std::size_t kPathCapacity = 260;
constexpr unsigned kPauseAfterCloseMs = 50;

HidHooks &Hooks()
{
    static HidHooks hooks = DefaultHidHooks();
    return hooks;
}

HidHandle OpenDeviceNode(const HidInterfaceRecord &record, bool nonBlocking)
{
    const int fd = vxdev::OpenHidrawNode(record.deviceNode, nonBlocking);
    return fd < 0 ? kInvalidHidHandle : fd;
}

void SleepFor(unsigned milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

char16_t LowerAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

std::u16string LowerCopy(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t &c : out)
        c = LowerAscii(c);
    return out;
}

bool IsFourHexDigits(const char16_t *text)
{
    if (!text)
        return false;
    for (int i = 0; i < 4; ++i)
    {
        const char16_t c = LowerAscii(text[i]);
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    }
    return text[4] == 0;
}

// The path names the device when it holds "vid_" + vendor and "pid_" + product. The
// digits alone are not enough: the class GUID and instance hashes contain hexadecimal
// runs that can hold any four digits.
bool PathNamesDevice(std::u16string_view path, const char16_t *vendor, const char16_t *product)
{
    const std::u16string lowerPath = LowerCopy(path);
    const std::u16string vid = u"vid_" + LowerCopy(std::u16string_view(vendor, 4));
    const std::u16string pid = u"pid_" + LowerCopy(std::u16string_view(product, 4));
    return lowerPath.find(vid) != std::u16string::npos && lowerPath.find(pid) != std::u16string::npos;
}

bool EndsWithClass(std::u16string_view path, std::u16string_view interfaceClass)
{
    if (path.size() < interfaceClass.size())
        return false;
    return LowerCopy(path.substr(path.size() - interfaceClass.size())) == LowerCopy(interfaceClass);
}

void CloseHandle(HidHandle handle)
{
    vxdev::CloseHandle(handle);
}

HidHandle FindHidRecord(const char16_t *vendor, const char16_t *product, std::u16string_view interfaceClass,
                        char16_t *pathOut, std::size_t pathCapacity, HidInterfaceRecord *recordOut)
{
    const std::vector<HidInterfaceRecord> records = Hooks().enumerate();
    for (const HidInterfaceRecord &record : records)
    {
        if (!EndsWithClass(record.interfacePath, interfaceClass))
            continue;
        const HidHandle handle = OpenHidInterfaceByVidPid(vendor, product, record, pathOut, pathCapacity);
        if (handle != kInvalidHidHandle)
        {
            if (recordOut)
                *recordOut = record;
            return handle;
        }
    }
    return kInvalidHidHandle;
}

int ReportTimeoutMs()
{
    return std::max(0, Hooks().reportTimeoutMs);
}
} // namespace

HidHooks DefaultHidHooks()
{
    HidHooks hooks;
    hooks.enumerate = EnumerateHidrawInterfaces;
    hooks.open = OpenDeviceNode;
    hooks.readDescriptor = ReadHidrawReportDescriptor;
    hooks.sleep = SleepFor;
    hooks.reportTimeoutMs = 5000;
    return hooks;
}

HidHooks GetHidHooks()
{
    DeviceLock lock(DeviceMutex());
    return Hooks();
}

void SetHidHooks(HidHooks hooks)
{
    HidHooks defaults = DefaultHidHooks();
    if (!hooks.enumerate)
        hooks.enumerate = std::move(defaults.enumerate);
    if (!hooks.open)
        hooks.open = std::move(defaults.open);
    if (!hooks.readDescriptor)
        hooks.readDescriptor = std::move(defaults.readDescriptor);
    if (!hooks.sleep)
        hooks.sleep = std::move(defaults.sleep);
    DeviceLock lock(DeviceMutex());
    Hooks() = std::move(hooks);
}

void ResetHidHooks()
{
    SetHidHooks(DefaultHidHooks());
}

std::size_t WideToLowerAscii(char16_t *text)
{
    if (!text)
        return 0;
    std::size_t length = 0;
    for (; text[length]; ++length)
        text[length] = LowerAscii(text[length]);
    return length;
}

std::size_t WideToUpperAscii(char16_t *text)
{
    if (!text)
        return 0;
    std::size_t length = 0;
    for (; text[length]; ++length)
        if (text[length] >= u'a' && text[length] <= u'z')
            text[length] = static_cast<char16_t>(text[length] - 32);
    return length;
}

HidHandle OpenHidInterfaceByVidPid(const char16_t *vendor, const char16_t *product,
                                   const HidInterfaceRecord &record, char16_t *pathOut,
                                   std::size_t pathCapacity)
{
    DeviceLock lock(DeviceMutex());
    if (pathOut)
    {
        if (pathCapacity == 0)
            return kInvalidHidHandle;
        pathOut[0] = 0;
        // A cut path would name some other device; only a whole one is a match.
        if (record.interfacePath.size() >= pathCapacity)
            return kInvalidHidHandle;
        vxsys::U16CopyBounded(pathOut, pathCapacity, record.interfacePath);
    }
    if (!IsFourHexDigits(vendor) || !IsFourHexDigits(product))
        return kInvalidHidHandle;
    if (!PathNamesDevice(record.interfacePath, vendor, product))
        return kInvalidHidHandle;
    return Hooks().open(record, false);
}

HidHandle FindHidDevice(const char16_t *vendor, const char16_t *product, std::u16string_view interfaceClass,
                        char16_t *pathOut, std::size_t pathCapacity)
{
    DeviceLock lock(DeviceMutex());
    return FindHidRecord(vendor, product, interfaceClass, pathOut, pathCapacity, nullptr);
}

bool IsHidDeviceConnected(const char16_t *vendor, const char16_t *product)
{
    DeviceLock lock(DeviceMutex());
    const HidHandle handle = FindHidDevice(vendor, product, kHidInterfaceClassGuid, nullptr, 0);
    if (handle == kInvalidHidHandle)
        return false;
    CloseHandle(handle);
    return true;
}

bool HidOpen(const char16_t *vendor, const char16_t *product)
{
    DeviceLock lock(DeviceMutex());
    HidClose();

    char16_t path[kPathCapacity];
    HidInterfaceRecord record;
    const HidHandle probe =
        FindHidRecord(vendor, product, kHidInterfaceClassGuid, path, kPathCapacity, &record);
    if (probe == kInvalidHidHandle)
        return false;
    CloseHandle(probe);

    const HidHandle handle = Hooks().open(record, true);
    if (handle == kInvalidHidHandle)
        return false;
    g_device.handle = handle;

    std::vector<std::uint8_t> descriptor;
    HidReportLengths lengths;
    if (!Hooks().readDescriptor(record, handle, descriptor) ||
        !ParseHidReportDescriptor(descriptor.data(), descriptor.size(), lengths))
    {
        // Without report lengths the handle is of no use: do not keep it open.
        HidClose();
        return false;
    }

    g_device.inputLength = lengths.inputLength;
    g_device.outputLength = lengths.outputLength;
    g_device.usesReportIds = lengths.usesReportIds;
    g_device.inputBuffer.assign(lengths.inputLength, 0);
    g_device.outputBuffer.assign(lengths.outputLength, 0);
    return true;
}

void HidClose()
{
    DeviceLock lock(DeviceMutex());
    const bool wasOpen = g_device.handle != kInvalidHidHandle;
    CloseHandle(g_device.handle);
    g_device.handle = kInvalidHidHandle;
    g_device.inputLength = 0;
    g_device.outputLength = 0;
    g_device.usesReportIds = false;
    std::vector<std::uint8_t>().swap(g_device.inputBuffer);
    std::vector<std::uint8_t>().swap(g_device.outputBuffer);
    // The monitor needs a moment after a close before it is opened again.
    if (wasOpen)
        Hooks().sleep(kPauseAfterCloseMs);
}

std::uint32_t HidInputReportLength()
{
    DeviceLock lock(DeviceMutex());
    return g_device.inputLength;
}

std::uint32_t HidOutputReportLength()
{
    DeviceLock lock(DeviceMutex());
    return g_device.outputLength;
}

bool HidWriteReport(const std::uint8_t *bytes, std::size_t count)
{
    DeviceLock lock(DeviceMutex());
    if (g_device.handle == kInvalidHidHandle || !bytes || count == 0)
        return false;
    // A report that went out in part is a failed report.
    return vxdev::WriteHidrawReport(g_device.handle, bytes, count, ReportTimeoutMs());
}

bool HidReadReport(std::uint8_t *bytes, std::size_t count)
{
    DeviceLock lock(DeviceMutex());
    if (g_device.handle == kInvalidHidHandle || !bytes || count == 0)
        return false;

    // A device without numbered reports delivers the data without the report ID byte;
    // read it in behind byte 0 so that every report has the same layout.
    std::uint8_t *target = bytes;
    std::size_t wanted = count;
    if (!g_device.usesReportIds)
    {
        bytes[0] = 0;
        target = bytes + 1;
        wanted = count - 1;
        if (wanted == 0)
            return false;
    }

    return vxdev::ReadHidrawReport(g_device.handle, target, wanted, ReportTimeoutMs()) >= 1;
}

std::size_t HidWrite(const std::uint8_t *bytes, std::size_t length, std::uint8_t reportId)
{
    DeviceLock lock(DeviceMutex());
    if (g_device.handle == kInvalidHidHandle || g_device.outputLength < 2 || (!bytes && length != 0))
        return 0;
    const std::size_t payload = g_device.outputLength - 1;
    std::size_t sent = 0;
    while (sent < length)
    {
        const std::size_t chunk = std::min(payload, length - sent);
        std::fill(g_device.outputBuffer.begin(), g_device.outputBuffer.end(), 0);
        g_device.outputBuffer[0] = reportId;
        std::memcpy(g_device.outputBuffer.data() + 1, bytes + sent, chunk);
        if (!HidWriteReport(g_device.outputBuffer.data(), g_device.outputBuffer.size()))
            return sent;
        sent += chunk;
    }
    return sent;
}

std::size_t HidRead(std::uint8_t *bytes, std::size_t length)
{
    DeviceLock lock(DeviceMutex());
    if (g_device.handle == kInvalidHidHandle || g_device.inputLength < 2 || (!bytes && length != 0))
        return 0;
    const std::size_t payload = g_device.inputLength - 1;
    std::size_t received = 0;
    while (received < length)
    {
        const std::size_t chunk = std::min(payload, length - received);
        std::fill(g_device.inputBuffer.begin(), g_device.inputBuffer.end(), 0);
        if (!HidReadReport(g_device.inputBuffer.data(), g_device.inputBuffer.size()))
            return received;
        std::memcpy(bytes + received, g_device.inputBuffer.data() + 1, chunk);
        received += chunk;
    }
    return received;
}
