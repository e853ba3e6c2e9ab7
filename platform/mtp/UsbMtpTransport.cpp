#include "platform/mtp/UsbMtpTransport.h"

#include <libusb.h>

#include <algorithm>
#include <limits>

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
            const int rc =
                libusb_bulk_transfer(m_handle, m_ep.bulkOut, const_cast<std::uint8_t *>(data.data() + sent),
                                     chunk, &done, timeoutMs);
            if (rc == LIBUSB_ERROR_PIPE)
                libusb_clear_halt(m_handle, m_ep.bulkOut);
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
        if (rc == LIBUSB_ERROR_PIPE)
            libusb_clear_halt(m_handle, m_ep.bulkIn);
        if (rc != 0)
            return FromLibusb(rc);
        received = static_cast<std::size_t>(done);
        return TransferStatus::Ok;
    }

    std::size_t maxPacketSize() const override { return m_ep.maxPacketSize ? m_ep.maxPacketSize : 512; }

  private:
    std::shared_ptr<UsbDeviceRef> m_ref;
    libusb_device_handle *m_handle;
    int m_interface;
    MtpEndpoints m_ep;
};

std::string ReadInterfaceString(libusb_device *device, std::uint8_t index)
{
    if (index == 0)
        return {};
    libusb_device_handle *h = nullptr;
    if (libusb_open(device, &h) != 0)
        return {};
    unsigned char text[256] = {};
    const int n = libusb_get_string_descriptor_ascii(h, index, text, sizeof text);
    libusb_close(h);
    return n > 0 ? std::string(reinterpret_cast<char *>(text), static_cast<std::size_t>(n)) : std::string();
}

TransferStatus OpenInterface(const std::shared_ptr<UsbDeviceRef> &ref, int interfaceNumber, int altSetting,
                             MtpEndpoints endpoints, std::unique_ptr<PtpTransport> &transport)
{
    libusb_device_handle *h = nullptr;
    int rc = libusb_open(ref->device, &h);
    if (rc != 0)
        return FromLibusb(rc);
    // A kernel driver on the interface is set aside while we hold it; a desktop daemon that has
    // claimed it keeps it, and the device counts as busy.
    libusb_set_auto_detach_kernel_driver(h, 1);
    rc = libusb_claim_interface(h, interfaceNumber);
    const bool claimed = rc == 0;
    if (claimed && altSetting != 0)
        rc = libusb_set_interface_alt_setting(h, interfaceNumber, altSetting);
    if (rc != 0)
    {
        if (claimed)
            libusb_release_interface(h, interfaceNumber);
        libusb_close(h);
        return FromLibusb(rc);
    }
    transport = std::make_unique<UsbMtpTransport>(ref, h, interfaceNumber, endpoints);
    return TransferStatus::Ok;
}

void AddCandidates(const std::shared_ptr<UsbContext> &context, libusb_device *device,
                   std::vector<MtpDeviceCandidate> &out)
{
    libusb_device_descriptor dd{};
    if (libusb_get_device_descriptor(device, &dd) != 0)
        return;
    libusb_config_descriptor *config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 &&
        libusb_get_config_descriptor(device, 0, &config) != 0)
        return;
    for (int i = 0; i < config->bNumInterfaces; ++i)
    {
        const libusb_interface &itf = config->interface[i];
        for (int a = 0; a < itf.num_altsetting; ++a)
        {
            const libusb_interface_descriptor &alt = itf.altsetting[a];
            std::string name;
            if (NeedsInterfaceString(alt.bInterfaceClass))
                name = ReadInterfaceString(device, alt.iInterface);
            if (!IsMtpInterfaceClass(alt.bInterfaceClass, alt.bInterfaceSubClass, alt.bInterfaceProtocol,
                                     name))
                continue;
            const MtpEndpoints ep = FindMtpEndpoints(alt);
            if (!ep.Complete())
                continue;
            MtpDeviceCandidate c;
            c.location.vendorId = dd.idVendor;
            c.location.productId = dd.idProduct;
            c.location.busNumber = libusb_get_bus_number(device);
            std::uint8_t ports[8] = {};
            const int n = libusb_get_port_numbers(device, ports, sizeof ports);
            if (n > 0)
                c.location.portNumbers.assign(ports, ports + n);
            auto ref = std::make_shared<UsbDeviceRef>();
            ref->context = context;
            ref->device = libusb_ref_device(device);
            const int number = alt.bInterfaceNumber;
            const int setting = alt.bAlternateSetting;
            c.open = [ref, number, setting, ep](std::unique_ptr<PtpTransport> &transport) {
                return OpenInterface(ref, number, setting, ep, transport);
            };
            out.push_back(std::move(c));
            libusb_free_config_descriptor(config);
            return; // one MTP interface per device
        }
    }
    libusb_free_config_descriptor(config);
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

std::vector<MtpDeviceCandidate> DiscoverUsbMtpDevices()
{
    std::vector<MtpDeviceCandidate> out;
    auto context = std::make_shared<UsbContext>();
    if (libusb_init(&context->ctx) != 0)
    {
        context->ctx = nullptr;
        return out;
    }
    libusb_device **list = nullptr;
    const ssize_t count = libusb_get_device_list(context->ctx, &list);
    if (count < 0)
        return out;
    for (ssize_t i = 0; i < count; ++i)
        AddCandidates(context, list[i], out);
    libusb_free_device_list(list, 1);
    std::stable_sort(out.begin(), out.end(), [](const MtpDeviceCandidate &a, const MtpDeviceCandidate &b) {
        return a.location < b.location;
    });
    return out;
}
} // namespace vxmtp
