#include "platform/mtp/UsbMtpTransport.h"

#include <libusb.h>

#include <algorithm>
#include <limits>
#include <mutex>

namespace vxmtp
{
namespace
{
// Keeps the libusb context alive for as long as a device reference or an open handle needs it.
struct UsbContext
{
    libusb_context *ctx = nullptr;
    ~UsbContext()
    {
        if (ctx)
            libusb_exit(ctx);
    }
};

struct UsbDeviceRef
{
    std::shared_ptr<UsbContext> context;
    libusb_device *device = nullptr;
    ~UsbDeviceRef()
    {
        if (device)
            libusb_unref_device(device); // before the context goes
    }
};

TransferStatus FromLibusb(int rc)
{
    switch (rc)
    {
    case LIBUSB_SUCCESS:
        return TransferStatus::Ok;
    case LIBUSB_ERROR_TIMEOUT:
        return TransferStatus::Timeout;
    case LIBUSB_ERROR_PIPE:
        return TransferStatus::Stall;
    case LIBUSB_ERROR_NO_DEVICE:
        return TransferStatus::NoDevice;
    case LIBUSB_ERROR_BUSY:
        return TransferStatus::Busy;
    default:
        return TransferStatus::Error;
    }
}

// bmRequestType of the still-image class requests: class, to the interface, in either direction.
constexpr std::uint8_t kClassToInterface = 0x21;
constexpr std::uint8_t kClassFromInterface = 0xA1;

class UsbMtpTransport : public PtpTransport
{
  public:
    UsbMtpTransport(std::shared_ptr<UsbDeviceRef> ref, libusb_device_handle *handle, int interfaceNumber,
                    MtpEndpoints endpoints)
        : m_ref(std::move(ref)), m_handle(handle), m_interface(interfaceNumber), m_ep(endpoints)
    {
    }
    ~UsbMtpTransport() override
    {
        libusb_release_interface(m_handle, m_interface);
        libusb_close(m_handle);
    }

    TransferStatus bulkOut(std::span<const std::uint8_t> data, unsigned timeoutMs) override
    {
        std::size_t sent = 0;
        do
        {
            const int chunk = static_cast<int>(std::min<std::size_t>(data.size() - sent, 1u << 20));
            int done = 0;
            // A halted pipe stays halted: the session clears it once the device has said why.
            const int rc =
                libusb_bulk_transfer(m_handle, m_ep.bulkOut, const_cast<std::uint8_t *>(data.data() + sent),
                                     chunk, &done, timeoutMs);
            if (rc != 0)
                return FromLibusb(rc);
            sent += static_cast<std::size_t>(done);
            if (done == 0 && chunk > 0)
                return TransferStatus::Error;
        } while (sent < data.size());
        return TransferStatus::Ok;
    }

    TransferStatus bulkIn(std::span<std::uint8_t> buffer, std::size_t &received, unsigned timeoutMs) override
    {
        received = 0;
        const int length =
            static_cast<int>(std::min<std::size_t>(buffer.size(), std::numeric_limits<int>::max()));
        int done = 0;
        const int rc = libusb_bulk_transfer(m_handle, m_ep.bulkIn, buffer.data(), length, &done, timeoutMs);
        if (rc != 0)
            return FromLibusb(rc);
        received = static_cast<std::size_t>(done);
        return TransferStatus::Ok;
    }

    TransferStatus classRequestOut(std::uint8_t request, std::span<const std::uint8_t> data,
                                   unsigned timeoutMs) override
    {
        const int rc = libusb_control_transfer(
            m_handle, kClassToInterface, request, 0,
            static_cast<std::uint16_t>(m_interface), const_cast<std::uint8_t *>(data.data()),
            static_cast<std::uint16_t>(std::min<std::size_t>(data.size(), 0xFFFF)), timeoutMs);
        return rc < 0 ? FromLibusb(rc) : TransferStatus::Ok;
    }

    TransferStatus classRequestIn(std::uint8_t request, std::span<std::uint8_t> buffer, std::size_t &received,
                                  unsigned timeoutMs) override
    {
        received = 0;
        const int rc = libusb_control_transfer(
            m_handle, kClassFromInterface, request, 0,
            static_cast<std::uint16_t>(m_interface), buffer.data(),
            static_cast<std::uint16_t>(std::min<std::size_t>(buffer.size(), 0xFFFF)), timeoutMs);
        if (rc < 0)
            return FromLibusb(rc);
        received = static_cast<std::size_t>(rc);
        return TransferStatus::Ok;
    }

    TransferStatus clearHalt(bool bulkInEndpoint, unsigned) override
    {
        return FromLibusb(libusb_clear_halt(m_handle, bulkInEndpoint ? m_ep.bulkIn : m_ep.bulkOut));
    }

    std::size_t maxPacketSize() const override { return m_ep.maxPacketSize ? m_ep.maxPacketSize : 512; }

  private:
    std::shared_ptr<UsbDeviceRef> m_ref;
    libusb_device_handle *m_handle;
    int m_interface;
    MtpEndpoints m_ep;
};

std::mutex g_busMutex;
UsbBusSource g_busSource;

class LibusbBusDevice : public UsbBusDevice
{
  public:
    explicit LibusbBusDevice(std::shared_ptr<UsbDeviceRef> ref) : m_ref(std::move(ref)) {}

    bool Ids(std::uint16_t &vendorId, std::uint16_t &productId) override
    {
        libusb_device_descriptor dd{};
        if (libusb_get_device_descriptor(m_ref->device, &dd) != 0)
            return false;
        vendorId = dd.idVendor;
        productId = dd.idProduct;
        return true;
    }

    UsbLocation Location() override
    {
        UsbLocation at;
        Ids(at.vendorId, at.productId);
        at.busNumber = libusb_get_bus_number(m_ref->device);
        std::uint8_t ports[8] = {};
        const int n = libusb_get_port_numbers(m_ref->device, ports, sizeof ports);
        if (n > 0)
            at.portNumbers.assign(ports, ports + n);
        return at;
    }

    bool Interfaces(std::vector<UsbInterfaceSetting> &settings) override
    {
        libusb_config_descriptor *config = nullptr;
        if (libusb_get_active_config_descriptor(m_ref->device, &config) != 0 &&
            libusb_get_config_descriptor(m_ref->device, 0, &config) != 0)
            return false;
        settings.clear();
        for (int i = 0; i < config->bNumInterfaces; ++i)
        {
            const libusb_interface &itf = config->interface[i];
            for (int a = 0; a < itf.num_altsetting; ++a)
            {
                const libusb_interface_descriptor &alt = itf.altsetting[a];
                UsbInterfaceSetting s;
                s.number = alt.bInterfaceNumber;
                s.altSetting = alt.bAlternateSetting;
                s.cls = alt.bInterfaceClass;
                s.subClass = alt.bInterfaceSubClass;
                s.protocol = alt.bInterfaceProtocol;
                s.stringIndex = alt.iInterface;
                s.endpoints = FindMtpEndpoints(alt);
                settings.push_back(s);
            }
        }
        libusb_free_config_descriptor(config);
        return true;
    }

    std::string ReadString(std::uint8_t index) override
    {
        if (index == 0)
            return {};
        libusb_device_handle *h = nullptr;
        if (libusb_open(m_ref->device, &h) != 0)
            return {};
        unsigned char text[256] = {};
        const int n = libusb_get_string_descriptor_ascii(h, index, text, sizeof text);
        libusb_close(h);
        return n > 0 ? std::string(reinterpret_cast<char *>(text), static_cast<std::size_t>(n)) : std::string();
    }

    TransferStatus OpenInterface(const UsbInterfaceSetting &setting,
                                 std::unique_ptr<PtpTransport> &transport) override
    {
        libusb_device_handle *h = nullptr;
        int rc = libusb_open(m_ref->device, &h);
        if (rc != 0)
            return FromLibusb(rc);
        // A kernel driver on the interface is set aside while we hold it; a desktop daemon that has
        // claimed it keeps it, and the device counts as busy.
        libusb_set_auto_detach_kernel_driver(h, 1);
        rc = libusb_claim_interface(h, setting.number);
        const bool claimed = rc == 0;
        if (claimed && setting.altSetting != 0)
            rc = libusb_set_interface_alt_setting(h, setting.number, setting.altSetting);
        if (rc != 0)
        {
            if (claimed)
                libusb_release_interface(h, setting.number);
            libusb_close(h);
            return FromLibusb(rc);
        }
        transport = std::make_unique<UsbMtpTransport>(m_ref, h, setting.number, setting.endpoints);
        return TransferStatus::Ok;
    }

  private:
    std::shared_ptr<UsbDeviceRef> m_ref;
};

UsbBus LibusbBus()
{
    UsbBus bus;
    auto context = std::make_shared<UsbContext>();
    if (libusb_init(&context->ctx) != 0)
    {
        context->ctx = nullptr;
        return bus;
    }
    libusb_device **list = nullptr;
    const ssize_t count = libusb_get_device_list(context->ctx, &list);
    if (count < 0)
        return bus;
    for (ssize_t i = 0; i < count; ++i)
    {
        auto ref = std::make_shared<UsbDeviceRef>();
        ref->context = context;
        ref->device = libusb_ref_device(list[i]);
        bus.push_back(std::make_shared<LibusbBusDevice>(std::move(ref)));
    }
    libusb_free_device_list(list, 1);
    return bus;
}

void AddCandidates(const std::shared_ptr<UsbBusDevice> &device, std::uint16_t vendorId, std::uint16_t productId,
                   std::vector<MtpDeviceCandidate> &out)
{
    // The IDs first: they are read without opening the device, and a device of other IDs is none
    // of ours to wake up.
    std::uint16_t vid = 0, pid = 0;
    if (!device || !device->Ids(vid, pid) || (vendorId != 0 && vid != vendorId) ||
        (productId != 0 && pid != productId))
        return;
    std::vector<UsbInterfaceSetting> settings;
    if (!device->Interfaces(settings))
        return;
    for (const UsbInterfaceSetting &setting : settings)
    {
        if (!setting.endpoints.Complete())
            continue;
        std::string name;
        if (NeedsInterfaceString(setting.cls))
            name = device->ReadString(setting.stringIndex);
        if (!IsMtpInterfaceClass(setting.cls, setting.subClass, setting.protocol, name))
            continue;
        MtpDeviceCandidate c;
        c.location = device->Location();
        c.location.vendorId = vid;
        c.location.productId = pid;
        c.open = [device, setting](std::unique_ptr<PtpTransport> &transport) {
            return device->OpenInterface(setting, transport);
        };
        out.push_back(std::move(c));
        return; // one MTP interface per device
    }
}
} // namespace

bool NeedsInterfaceString(std::uint8_t cls)
{
    return cls == LIBUSB_CLASS_VENDOR_SPEC;
}

bool IsMtpInterfaceClass(std::uint8_t cls, std::uint8_t subClass, std::uint8_t protocol,
                         const std::string &interfaceString)
{
    if (cls == LIBUSB_CLASS_IMAGE && subClass == 1 && protocol == 1)
        return true;
    return cls == LIBUSB_CLASS_VENDOR_SPEC && interfaceString == "MTP";
}

MtpEndpoints FindMtpEndpoints(const libusb_interface_descriptor &alt)
{
    MtpEndpoints ep;
    for (int e = 0; e < alt.bNumEndpoints; ++e)
    {
        const libusb_endpoint_descriptor &d = alt.endpoint[e];
        const int type = d.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
        const bool in = (d.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
        if (type == LIBUSB_TRANSFER_TYPE_BULK && in && ep.bulkIn == 0)
        {
            ep.bulkIn = d.bEndpointAddress;
            ep.maxPacketSize = static_cast<std::uint16_t>(d.wMaxPacketSize & 0x7FF);
        }
        else if (type == LIBUSB_TRANSFER_TYPE_BULK && !in && ep.bulkOut == 0)
            ep.bulkOut = d.bEndpointAddress;
        else if (type == LIBUSB_TRANSFER_TYPE_INTERRUPT && in && ep.interruptIn == 0)
            ep.interruptIn = d.bEndpointAddress;
    }
    return ep;
}

void SetUsbBusSource(UsbBusSource source)
{
    std::lock_guard lock(g_busMutex);
    g_busSource = std::move(source);
}

std::vector<MtpDeviceCandidate> DiscoverMtpDevices(const UsbBus &bus, std::uint16_t vendorId,
                                                   std::uint16_t productId)
{
    std::vector<MtpDeviceCandidate> out;
    for (const std::shared_ptr<UsbBusDevice> &device : bus)
        AddCandidates(device, vendorId, productId, out);
    std::stable_sort(out.begin(), out.end(), [](const MtpDeviceCandidate &a, const MtpDeviceCandidate &b) {
        return a.location < b.location;
    });
    return out;
}

std::vector<MtpDeviceCandidate> DiscoverUsbMtpDevices(std::uint16_t vendorId, std::uint16_t productId)
{
    UsbBusSource source;
    {
        std::lock_guard lock(g_busMutex);
        source = g_busSource;
    }
    return DiscoverMtpDevices(source ? source() : LibusbBus(), vendorId, productId);
}
} // namespace vxmtp
