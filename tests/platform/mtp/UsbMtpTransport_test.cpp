#include "platform/mtp/MtpDeviceManager.h"
#include "platform/mtp/UsbMtpTransport.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <filesystem>

using namespace vxmtp;

TEST(UsbMtpTransport, InterfaceClasses)
{
    struct Case
    {
        std::uint8_t cls, sub, proto;
        const char *name;
        bool mtp;
    } cases[] = {
        {6, 1, 1, "", true},           {6, 1, 1, "anything", true},    {6, 1, 0, "", false},
        {6, 2, 1, "", false},          {0xFF, 0xFF, 0, "MTP", true},   {0xFF, 0, 0, "MTP", true},
        {0xFF, 0xFF, 0, "mtp", false}, {0xFF, 0xFF, 0, "MTP ", false}, {0xFF, 0xFF, 0, "", false},
        {8, 6, 0x50, "MTP", false},    {3, 0, 0, "", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsMtpInterfaceClass(c.cls, c.sub, c.proto, c.name), c.mtp)
            << int(c.cls) << "/" << int(c.sub) << "/" << int(c.proto) << " '" << c.name << "'";
    EXPECT_TRUE(NeedsInterfaceString(0xFF));
    EXPECT_FALSE(NeedsInterfaceString(6));
}

TEST(UsbMtpTransport, EndpointsOfAnInterface)
{
    libusb_endpoint_descriptor eps[4] = {};
    eps[0].bEndpointAddress = 0x81;
    eps[0].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    eps[0].wMaxPacketSize = 512;
    eps[1].bEndpointAddress = 0x02;
    eps[1].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    eps[1].wMaxPacketSize = 512;
    eps[2].bEndpointAddress = 0x83;
    eps[2].bmAttributes = LIBUSB_TRANSFER_TYPE_INTERRUPT;
    eps[2].wMaxPacketSize = 28;
    eps[3].bEndpointAddress = 0x84; // a second bulk-in is not ours
    eps[3].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    eps[3].wMaxPacketSize = 64;
    libusb_interface_descriptor alt = {};
    alt.bNumEndpoints = 4;
    alt.endpoint = eps;
    MtpEndpoints ep = FindMtpEndpoints(alt);
    EXPECT_TRUE(ep.Complete());
    EXPECT_EQ(ep.bulkIn, 0x81);
    EXPECT_EQ(ep.bulkOut, 0x02);
    EXPECT_EQ(ep.interruptIn, 0x83);
    EXPECT_EQ(ep.maxPacketSize, 512);

    // Without the interrupt endpoint the interface is not usable.
    alt.bNumEndpoints = 2;
    EXPECT_FALSE(FindMtpEndpoints(alt).Complete());
    // An interrupt-out endpoint does not count.
    eps[2].bEndpointAddress = 0x03;
    alt.bNumEndpoints = 3;
    EXPECT_FALSE(FindMtpEndpoints(alt).Complete());
}

// This machine has no USB bus: discovery, and the facade over it, find nothing and do not fail.
TEST(UsbMtpTransport, DiscoveryWithoutUsbFindsNothing)
{
    const bool noBus = !std::filesystem::exists("/dev/bus/usb");
    const std::vector<MtpDeviceCandidate> found = DiscoverUsbMtpDevices();
    for (const MtpDeviceCandidate &c : found)
    {
        EXPECT_TRUE(static_cast<bool>(c.open));
        EXPECT_NE(c.location.busNumber, 0);
    }
    if (!noBus)
        GTEST_SKIP() << "a USB bus is present; only the absence of failure was checked";
    EXPECT_TRUE(found.empty());
    SetDeviceSource({});
    EXPECT_TRUE(MtpDeviceManager::EnumerateDevices().empty());
    EXPECT_TRUE(MtpDeviceManager::EnumerateDevices(0x1234, 0x5678).empty());
}
