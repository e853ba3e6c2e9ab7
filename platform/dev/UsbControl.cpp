#include "platform/dev/UsbControl.h"

#include "platform/dev/DeviceInterface.h"
#include "platform/dev/UsbHub.h"

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vxdev
{
namespace
{
constexpr unsigned kControlTimeoutMs = 1000;

int UsbfsControlTransfer(const std::string &deviceNode, const UsbControlSetup &setup, unsigned char *data)
{
    const int fd = ::open(deviceNode.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return -1;
    usbdevfs_ctrltransfer transfer{};
    transfer.bRequestType = setup.bRequestType;
    transfer.bRequest = setup.bRequest;
    transfer.wValue = setup.wValue;
    transfer.wIndex = setup.wIndex;
    transfer.wLength = setup.wLength;
    transfer.timeout = kControlTimeoutMs;
    transfer.data = data;
    const int result = ::ioctl(fd, USBDEVFS_CONTROL, &transfer);
    ::close(fd);
    return result < 0 ? -1 : result;
}

std::mutex &SeamMutex()
{
    static std::mutex mutex;
    return mutex;
}

UsbControlTransferFn &Seam()
{
    static UsbControlTransferFn fn;
    return fn;
}
} // namespace

UsbControlTransferFn SetUsbControlTransfer(UsbControlTransferFn fn)
{
    std::lock_guard<std::mutex> lock(SeamMutex());
    UsbControlTransferFn previous = std::move(Seam());
    Seam() = std::move(fn);
    return previous;
}

int UsbControlTransfer(const std::string &deviceNode, const UsbControlSetup &setup, unsigned char *data)
{
    UsbControlTransferFn fn;
    {
        std::lock_guard<std::mutex> lock(SeamMutex());
        fn = Seam();
    }
    if (fn)
        return fn(deviceNode, setup, data);
    return UsbfsControlTransfer(deviceNode, setup, data);
}

int GetStringDescriptorOnHubPort(const std::string &hubSysfsDir, int port, std::uint8_t index,
                                 std::uint16_t langId, unsigned char *buffer)
{
    UsbPortConnection connection;
    if (!QueryHubPort(hubSysfsDir, port, connection) || !connection.connected)
        return -1;
    const auto node = UsbDeviceNode(connection.sysfsDir);
    if (!node)
        return -1;
    UsbControlSetup setup;
    setup.bRequestType = 0x80; // device to host, standard, device
    setup.bRequest = 0x06;     // GET_DESCRIPTOR
    setup.wValue = static_cast<std::uint16_t>(0x0300 + index);
    setup.wIndex = langId;
    setup.wLength = 255;
    const int count = UsbControlTransfer(*node, setup, buffer);
    return count > 255 ? -1 : count;
}
} // namespace vxdev
