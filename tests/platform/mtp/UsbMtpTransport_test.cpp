#include "platform/mtp/MtpDeviceManager.h"
#include "platform/mtp/UsbMtpTransport.h"
#include "tests/support/sim_mtp/SimMtpMonitor.h"

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

namespace
{
// A device on a simulated bus: its descriptors, and what opening it would do, counted.
class FakeBusDevice : public UsbBusDevice
{
  public:
    FakeBusDevice(std::uint16_t vid, std::uint16_t pid, std::uint8_t port, std::vector<UsbInterfaceSetting> settings,
                  std::string interfaceName, vxsim::SimMtpMonitor *sim = nullptr)
        : m_vid(vid), m_pid(pid), m_port(port), m_settings(std::move(settings)), m_name(std::move(interfaceName)),
          m_sim(sim)
    {
    }
    bool Ids(std::uint16_t &vendorId, std::uint16_t &productId) override
    {
        vendorId = m_vid;
        productId = m_pid;
        return true;
    }
    UsbLocation Location() override { return UsbLocation{m_vid, m_pid, 1, {m_port}}; }
    bool Interfaces(std::vector<UsbInterfaceSetting> &settings) override
    {
        settings = m_settings;
        return true;
    }
    std::string ReadString(std::uint8_t) override
    {
        ++opens;
        return m_name;
    }
    TransferStatus OpenInterface(const UsbInterfaceSetting &, std::unique_ptr<PtpTransport> &transport) override
    {
        ++opens;
        if (!m_sim)
            return TransferStatus::Error;
        transport = m_sim->Connect();
        return transport ? TransferStatus::Ok : TransferStatus::Busy;
    }

    int opens = 0;

  private:
    std::uint16_t m_vid, m_pid;
    std::uint8_t m_port;
    std::vector<UsbInterfaceSetting> m_settings;
    std::string m_name;
    vxsim::SimMtpMonitor *m_sim;
};

UsbInterfaceSetting Setting(std::uint8_t cls, std::uint8_t sub, std::uint8_t proto, std::uint8_t number = 0)
{
    UsbInterfaceSetting s;
    s.number = number;
    s.cls = cls;
    s.subClass = sub;
    s.protocol = proto;
    s.stringIndex = 4;
    s.endpoints = MtpEndpoints{0x81, 0x02, 0x83, 512};
    return s;
}

class ScopedUsbBus
{
  public:
    explicit ScopedUsbBus(UsbBus bus) { SetUsbBusSource([bus] { return bus; }); }
    ~ScopedUsbBus() { SetUsbBusSource({}); }
};
} // namespace

// The monitor beside unrelated devices, some of them with a vendor-specific interface that calls
// itself MTP (a phone), a camera of the still-image class, a vendor-specific dongle: discovery for
// the monitor's IDs opens the monitor and nothing else. Asked for any device, it still finds every
// MTP interface.
TEST(UsbMtpTransport, DiscoveryOpensOnlyDevicesOfTheIdsAskedFor)
{
    constexpr std::uint16_t kVid = 0x3A7E, kPid = 0x5D01;
    vxsim::SimMtpMonitor monitor;
    monitor.Info().serialNumber = u"MONITOR1";
    auto phone = std::make_shared<FakeBusDevice>(0x18D1, 0x4EE1, 1, std::vector{Setting(0xFF, 0xFF, 0)}, "MTP");
    auto dongle = std::make_shared<FakeBusDevice>(0x0BDA, 0x8153, 2, std::vector{Setting(0xFF, 0xFF, 0)}, "Ethernet");
    auto camera = std::make_shared<FakeBusDevice>(0x04A9, 0x3218, 3, std::vector{Setting(6, 1, 1)}, "");
    // Same vendor, another product: not the one asked for either.
    auto sibling = std::make_shared<FakeBusDevice>(kVid, 0x1111, 4, std::vector{Setting(0xFF, 0xFF, 0)}, "MTP");
    auto mon = std::make_shared<FakeBusDevice>(kVid, kPid, 5,
                                               std::vector{Setting(8, 6, 0x50, 0), Setting(0xFF, 0xFF, 0, 1)},
                                               "MTP", &monitor);
    const std::vector<std::shared_ptr<FakeBusDevice>> others = {phone, dongle, camera, sibling};
    ScopedUsbBus bus(UsbBus{phone, dongle, camera, sibling, mon});
    SetDeviceSource({});

    const auto devices = MtpDeviceManager::EnumerateDevices(kVid, kPid);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0]->SerialNumber(), u"MONITOR1");
    EXPECT_EQ(devices[0]->Location().portNumbers, (std::vector<std::uint8_t>{5}));
    for (const auto &other : others)
        EXPECT_EQ(other->opens, 0) << other->Location().SysfsName();
    EXPECT_EQ(mon->opens, 2) << "its interface string, then its interface";

    const auto any = DiscoverMtpDevices(UsbBus{phone, dongle, camera, sibling, mon}, 0, 0);
    std::vector<std::uint16_t> found;
    for (const auto &c : any)
        found.push_back(c.location.vendorId);
    EXPECT_EQ(found, (std::vector<std::uint16_t>{0x18D1, 0x04A9, kVid, kVid}));
}
