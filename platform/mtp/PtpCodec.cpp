#include "platform/mtp/PtpCodec.h"

#include <algorithm>

namespace vxmtp
{
namespace
{
void PutHeader(PtpWriter &w, std::uint32_t length, std::uint16_t type, std::uint16_t code, std::uint32_t tid)
{
    w.U32(length);
    w.U16(type);
    w.U16(code);
    w.U32(tid);
}
} // namespace

std::vector<std::uint8_t> EncodeParamContainer(std::uint16_t type, std::uint16_t code,
                                               std::uint32_t transactionId,
                                               std::span<const std::uint32_t> params)
{
    const std::size_t count = std::min(params.size(), kMaxParams);
    PtpWriter w;
    PutHeader(w, static_cast<std::uint32_t>(kContainerHeaderSize + 4 * count), type, code, transactionId);
    for (std::size_t i = 0; i < count; ++i)
        w.U32(params[i]);
    return w.Take();
}

std::vector<std::uint8_t> EncodeDataContainer(std::uint16_t code, std::uint32_t transactionId,
                                              std::span<const std::uint8_t> payload)
{
    PtpWriter w;
    PutHeader(w, static_cast<std::uint32_t>(kContainerHeaderSize + payload.size()), kContainerData, code,
              transactionId);
    w.Bytes(payload);
    return w.Take();
}

bool DecodeHeader(std::span<const std::uint8_t> bytes, ContainerHeader &header)
{
    PtpReader r(bytes.first(std::min(bytes.size(), kContainerHeaderSize)));
    ContainerHeader h;
    if (!r.U32(h.length) || !r.U16(h.type) || !r.U16(h.code) || !r.U32(h.transactionId))
        return false;
    if (h.length < kContainerHeaderSize)
        return false;
    header = h;
    return true;
}

std::vector<std::uint32_t> DecodeParams(std::span<const std::uint8_t> container)
{
    std::vector<std::uint32_t> params;
    ContainerHeader h;
    if (!DecodeHeader(container, h))
        return params;
    const std::size_t end = std::min<std::size_t>(h.length, container.size());
    PtpReader r(container.subspan(kContainerHeaderSize, end - kContainerHeaderSize));
    std::uint32_t v = 0;
    while (params.size() < kMaxParams && r.U32(v))
        params.push_back(v);
    return params;
}

void PtpWriter::U8(std::uint8_t v)
{
    m_data.push_back(v);
}

void PtpWriter::U16(std::uint16_t v)
{
    m_data.push_back(static_cast<std::uint8_t>(v));
    m_data.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PtpWriter::U32(std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m_data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PtpWriter::U64(std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        m_data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PtpWriter::String(std::u16string_view text)
{
    // The count byte holds at most 255 units, the terminator included.
    const std::u16string_view cut = text.substr(0, 254);
    if (cut.empty())
    {
        U8(0);
        return;
    }
    U8(static_cast<std::uint8_t>(cut.size() + 1));
    for (char16_t c : cut)
        U16(static_cast<std::uint16_t>(c));
    U16(0);
}

void PtpWriter::U16Array(std::span<const std::uint16_t> values)
{
    U32(static_cast<std::uint32_t>(values.size()));
    for (std::uint16_t v : values)
        U16(v);
}

void PtpWriter::U32Array(std::span<const std::uint32_t> values)
{
    U32(static_cast<std::uint32_t>(values.size()));
    for (std::uint32_t v : values)
        U32(v);
}

void PtpWriter::Bytes(std::span<const std::uint8_t> bytes)
{
    m_data.insert(m_data.end(), bytes.begin(), bytes.end());
}

bool PtpReader::Take(std::size_t n, const std::uint8_t *&p)
{
    if (!m_ok || Remaining() < n)
    {
        m_ok = false;
        return false;
    }
    p = m_data.data() + m_pos;
    m_pos += n;
    return true;
}

bool PtpReader::U8(std::uint8_t &v)
{
    const std::uint8_t *p = nullptr;
    if (!Take(1, p))
        return false;
    v = p[0];
    return true;
}

bool PtpReader::U16(std::uint16_t &v)
{
    const std::uint8_t *p = nullptr;
    if (!Take(2, p))
        return false;
    v = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    return true;
}

bool PtpReader::U32(std::uint32_t &v)
{
    const std::uint8_t *p = nullptr;
    if (!Take(4, p))
        return false;
    v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return true;
}

bool PtpReader::U64(std::uint64_t &v)
{
    std::uint32_t lo = 0, hi = 0;
    if (!U32(lo) || !U32(hi))
        return false;
    v = (static_cast<std::uint64_t>(hi) << 32) | lo;
    return true;
}

bool PtpReader::String(std::u16string &text)
{
    std::uint8_t count = 0;
    if (!U8(count))
        return false;
    std::u16string s;
    s.reserve(count);
    for (unsigned i = 0; i < count; ++i)
    {
        std::uint16_t unit = 0;
        if (!U16(unit))
            return false;
        s.push_back(static_cast<char16_t>(unit));
    }
    // The count includes the terminator; a device that leaves it out still gives its whole text,
    // and anything after an early terminator is not part of the text.
    const std::size_t zero = s.find(u'\0');
    if (zero != std::u16string::npos)
        s.resize(zero);
    text = std::move(s);
    return true;
}

template <typename T> bool PtpReader::Array(std::vector<T> &values, bool (PtpReader::*element)(T &))
{
    std::uint32_t count = 0;
    if (!U32(count))
        return false;
    // A count that cannot fit in what is left is malformed; checking first avoids a huge reserve.
    if (count > Remaining() / sizeof(T))
    {
        m_ok = false;
        return false;
    }
    std::vector<T> out(count);
    for (auto &v : out)
        (this->*element)(v);
    values = std::move(out);
    return true;
}

bool PtpReader::U16Array(std::vector<std::uint16_t> &values)
{
    return Array(values, &PtpReader::U16);
}

bool PtpReader::U32Array(std::vector<std::uint32_t> &values)
{
    return Array(values, &PtpReader::U32);
}

std::vector<std::uint8_t> EncodeDeviceInfo(const DeviceInfo &info)
{
    PtpWriter w;
    w.U16(info.standardVersion);
    w.U32(info.vendorExtensionId);
    w.U16(info.vendorExtensionVersion);
    w.String(info.vendorExtensionDesc);
    w.U16(info.functionalMode);
    w.U16Array(info.operationsSupported);
    w.U16Array(info.eventsSupported);
    w.U16Array(info.devicePropertiesSupported);
    w.U16Array(info.captureFormats);
    w.U16Array(info.playbackFormats);
    w.String(info.manufacturer);
    w.String(info.model);
    w.String(info.deviceVersion);
    w.String(info.serialNumber);
    return w.Take();
}

bool DecodeDeviceInfo(std::span<const std::uint8_t> data, DeviceInfo &info)
{
    PtpReader r(data);
    DeviceInfo d;
    r.U16(d.standardVersion);
    r.U32(d.vendorExtensionId);
    r.U16(d.vendorExtensionVersion);
    r.String(d.vendorExtensionDesc);
    r.U16(d.functionalMode);
    r.U16Array(d.operationsSupported);
    r.U16Array(d.eventsSupported);
    r.U16Array(d.devicePropertiesSupported);
    r.U16Array(d.captureFormats);
    r.U16Array(d.playbackFormats);
    r.String(d.manufacturer);
    r.String(d.model);
    r.String(d.deviceVersion);
    r.String(d.serialNumber);
    if (!r.Ok())
        return false;
    info = std::move(d);
    return true;
}

std::vector<std::uint8_t> EncodeStorageInfo(const StorageInfo &info)
{
    PtpWriter w;
    w.U16(info.storageType);
    w.U16(info.filesystemType);
    w.U16(info.accessCapability);
    w.U64(info.maxCapacity);
    w.U64(info.freeSpaceInBytes);
    w.U32(info.freeSpaceInObjects);
    w.String(info.storageDescription);
    w.String(info.volumeLabel);
    return w.Take();
}

bool DecodeStorageInfo(std::span<const std::uint8_t> data, StorageInfo &info)
{
    PtpReader r(data);
    StorageInfo s;
    r.U16(s.storageType);
    r.U16(s.filesystemType);
    r.U16(s.accessCapability);
    r.U64(s.maxCapacity);
    r.U64(s.freeSpaceInBytes);
    r.U32(s.freeSpaceInObjects);
    r.String(s.storageDescription);
    r.String(s.volumeLabel);
    if (!r.Ok())
        return false;
    info = std::move(s);
    return true;
}

std::vector<std::uint8_t> EncodeObjectInfo(const ObjectInfo &info)
{
    PtpWriter w;
    w.U32(info.storageId);
    w.U16(info.objectFormat);
    w.U16(info.protectionStatus);
    w.U32(info.objectCompressedSize);
    w.U16(info.thumbFormat);
    w.U32(info.thumbCompressedSize);
    w.U32(info.thumbPixWidth);
    w.U32(info.thumbPixHeight);
    w.U32(info.imagePixWidth);
    w.U32(info.imagePixHeight);
    w.U32(info.imageBitDepth);
    w.U32(info.parentObject);
    w.U16(info.associationType);
    w.U32(info.associationDesc);
    w.U32(info.sequenceNumber);
    w.String(info.filename);
    w.String(info.dateCreated);
    w.String(info.dateModified);
    w.String(info.keywords);
    return w.Take();
}

bool DecodeObjectInfo(std::span<const std::uint8_t> data, ObjectInfo &info)
{
    PtpReader r(data);
    ObjectInfo o;
    r.U32(o.storageId);
    r.U16(o.objectFormat);
    r.U16(o.protectionStatus);
    r.U32(o.objectCompressedSize);
    r.U16(o.thumbFormat);
    r.U32(o.thumbCompressedSize);
    r.U32(o.thumbPixWidth);
    r.U32(o.thumbPixHeight);
    r.U32(o.imagePixWidth);
    r.U32(o.imagePixHeight);
    r.U32(o.imageBitDepth);
    r.U32(o.parentObject);
    r.U16(o.associationType);
    r.U32(o.associationDesc);
    r.U32(o.sequenceNumber);
    r.String(o.filename);
    // Some responders stop after the file name; the dates and keywords are optional to us.
    if (!r.Ok())
        return false;
    if (r.Remaining() > 0)
    {
        PtpReader rest = r;
        std::u16string created, modified, keywords;
        if (rest.String(created) && rest.String(modified) && rest.String(keywords))
        {
            o.dateCreated = std::move(created);
            o.dateModified = std::move(modified);
            o.keywords = std::move(keywords);
        }
    }
    info = std::move(o);
    return true;
}

std::vector<std::uint8_t> EncodeObjectPropDesc(const ObjectPropDesc &desc)
{
    PtpWriter w;
    w.U16(desc.propertyCode);
    w.U16(desc.dataType);
    w.U8(desc.settable ? 1 : 0);
    return w.Take();
}

bool DecodeObjectPropDesc(std::span<const std::uint8_t> data, ObjectPropDesc &desc)
{
    // The default value and the form that follow are not needed.
    PtpReader r(data);
    ObjectPropDesc d;
    std::uint8_t getSet = 0;
    r.U16(d.propertyCode);
    r.U16(d.dataType);
    r.U8(getSet);
    if (!r.Ok())
        return false;
    d.settable = getSet == 1;
    desc = d;
    return true;
}

namespace
{
constexpr std::size_t kMaxStatusParams = 8;
}

std::vector<std::uint8_t> EncodeDeviceStatus(const DeviceStatus &status)
{
    const std::size_t n = std::min(status.haltedEndpoints.size(), kMaxStatusParams);
    PtpWriter w;
    w.U16(static_cast<std::uint16_t>(4 + 4 * n));
    w.U16(status.code);
    for (std::size_t i = 0; i < n; ++i)
        w.U32(status.haltedEndpoints[i]);
    return w.Take();
}

bool DecodeDeviceStatus(std::span<const std::uint8_t> data, DeviceStatus &status)
{
    PtpReader r(data);
    std::uint16_t length = 0;
    DeviceStatus s;
    r.U16(length);
    r.U16(s.code);
    if (!r.Ok() || length < 4 || length > data.size())
        return false;
    const std::size_t n = std::min<std::size_t>((length - 4u) / 4u, kMaxStatusParams);
    for (std::size_t i = 0; i < n; ++i)
    {
        std::uint32_t endpoint = 0;
        r.U32(endpoint);
        // Only an endpoint address names an endpoint; the control endpoint is never halted for us.
        if (endpoint <= 0xFF && (endpoint & 0x0F) != 0)
            s.haltedEndpoints.push_back(static_cast<std::uint8_t>(endpoint));
    }
    status = std::move(s);
    return true;
}
} // namespace vxmtp
