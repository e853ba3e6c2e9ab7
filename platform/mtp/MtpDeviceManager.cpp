#include "platform/mtp/MtpDeviceManager.h"

#include "platform/mtp/UsbMtpTransport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace vxmtp
{
namespace
{
std::mutex g_sourceMutex;
DeviceSource g_source;

constexpr std::uint32_t kUnknownSize = 0xFFFFFFFF;

bool ReadLocalFile(const std::string &path, std::vector<std::uint8_t> &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteAll(int fd, const std::vector<std::uint8_t> &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size())
    {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes through a temporary file beside the target and renames it over the target, so that a
// reader never sees a partial copy and a failure leaves nothing behind.
bool WriteFileAtomically(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    std::string temp = path + ".part-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}
} // namespace

std::string UsbLocation::SysfsName() const
{
    if (portNumbers.empty())
        return "usb" + std::to_string(busNumber);
    std::string name = std::to_string(busNumber) + "-";
    for (std::size_t i = 0; i < portNumbers.size(); ++i)
    {
        if (i > 0)
            name += '.';
        name += std::to_string(portNumbers[i]);
    }
    return name;
}

bool operator<(const UsbLocation &a, const UsbLocation &b)
{
    if (a.busNumber != b.busNumber)
        return a.busNumber < b.busNumber;
    return a.portNumbers < b.portNumbers;
}

void SetDeviceSource(DeviceSource source)
{
    std::lock_guard lock(g_sourceMutex);
    g_source = std::move(source);
}

MtpDevice::MtpDevice(UsbLocation location, std::unique_ptr<PtpSession> session, DeviceInfo info)
    : m_location(std::move(location)), m_session(std::move(session)), m_info(std::move(info))
{
}

PtpResult MtpDevice::LastResult() const
{
    std::lock_guard lock(m_mutex);
    return m_last;
}

bool MtpDevice::Check(const PtpResult &r)
{
    m_last = r;
    return r.IsOk();
}

bool MtpDevice::Describe(std::uint32_t handle, MtpStorage &object, ObjectInfo *infoOut)
{
    ObjectInfo info;
    if (!Check(m_session->GetObjectInfo(handle, info)))
        return false;
    MtpStorage o;
    o.storageId = info.storageId;
    o.handle = handle;
    o.name = info.filename;
    o.size = info.objectCompressedSize;
    o.attributes = kAttrCanRead | (info.objectFormat == kFormatAssociation ? kAttrFolder : kAttrFile);
    if (info.protectionStatus == kProtectionNonTransferable)
        o.attributes |= kAttrNotTransferable;
    bool hidden = false;
    const PtpResult h = m_session->GetHidden(handle, hidden);
    // A device without the Hidden property shows everything.
    if (!h.Completed())
        return Check(h);
    if (h.IsOk() && hidden)
        o.attributes |= kAttrHidden;
    object = std::move(o);
    if (infoOut)
        *infoOut = std::move(info);
    return true;
}

bool MtpDevice::Storages(std::vector<MtpStorage> &roots)
{
    std::lock_guard lock(m_mutex);
    m_last = {};
    std::vector<std::uint32_t> ids;
    if (!Check(m_session->GetStorageIds(ids)))
        return false;
    std::vector<MtpStorage> out;
    for (std::uint32_t id : ids)
    {
        StorageInfo info;
        if (!Check(m_session->GetStorageInfo(id, info)))
            return false;
        MtpStorage s;
        s.storageId = id;
        s.name = info.storageDescription;
        s.attributes = kAttrFolder | kAttrCanRead;
        s.size = info.maxCapacity;
        out.push_back(std::move(s));
    }
    roots = std::move(out);
    return true;
}

bool MtpDevice::Children(const MtpStorage &parent, std::vector<MtpStorage> &children)
{
    std::lock_guard lock(m_mutex);
    m_last = {};
    if (!parent.IsFolder())
        return false;
    std::vector<std::uint32_t> handles;
    if (!Check(m_session->GetObjectHandles(parent.storageId, parent.IsRoot() ? kHandleRoot : parent.handle,
                                           handles)))
        return false;
    std::vector<MtpStorage> out;
    for (std::uint32_t h : handles)
    {
        MtpStorage child;
        if (!Describe(h, child))
            return false;
        out.push_back(std::move(child));
    }
    children = std::move(out);
    return true;
}

bool MtpDevice::FindChild(const MtpStorage &parent, std::u16string_view name, MtpStorage &child)
{
    std::lock_guard lock(m_mutex);
    std::vector<MtpStorage> children;
    if (!Children(parent, children))
        return false;
    for (MtpStorage &c : children)
        if (c.name == name)
        {
            child = std::move(c);
            return true;
        }
    return false;
}

bool MtpDevice::Refresh(MtpStorage &object)
{
    std::lock_guard lock(m_mutex);
    m_last = {};
    if (object.IsRoot())
        return true;
    return Describe(object.handle, object);
}

bool MtpDevice::ReadToFile(const MtpStorage &file, const std::string &localPath)
{
    std::lock_guard lock(m_mutex);
    m_last = {};
    if (file.IsRoot())
        return false;
    MtpStorage current;
    ObjectInfo info;
    if (!Describe(file.handle, current, &info) || !current.IsFile())
        return false;
    std::vector<std::uint8_t> bytes;
    if (!Check(m_session->GetObject(file.handle, bytes)))
        return false;
    // A data phase shorter than the object is a failed read, not a shorter file.
    if (info.objectCompressedSize != kUnknownSize && bytes.size() != info.objectCompressedSize)
    {
        m_last.protocolError = true;
        return false;
    }
    return WriteFileAtomically(localPath, bytes);
}

bool MtpDevice::Insert(const MtpStorage &folder, std::u16string_view name, const std::string &localPath,
                       MtpStorage *created)
{
    std::lock_guard lock(m_mutex);
    m_last = {};
    if (!folder.IsFolder() || name.empty())
        return false;
    std::vector<std::uint8_t> bytes;
    if (!ReadLocalFile(localPath, bytes))
        return false;

    std::vector<MtpStorage> children;
    if (!Children(folder, children))
        return false;
    const auto old =
        std::find_if(children.begin(), children.end(), [&](const MtpStorage &c) { return c.name == name; });
    const bool replacing = old != children.end();
    ObjectInfo oldInfo;
    std::vector<std::uint8_t> oldBytes;
    bool oldHidden = false;
    if (replacing)
    {
        if (old->IsFolder())
            return false;
        // The old object is kept in memory first: without its bytes it could not be put back.
        MtpStorage described;
        if (!Describe(old->handle, described, &oldInfo) ||
            !Check(m_session->GetObject(old->handle, oldBytes)))
            return false;
        if (oldInfo.objectCompressedSize != kUnknownSize && oldBytes.size() != oldInfo.objectCompressedSize)
        {
            m_last.protocolError = true;
            return false;
        }
        oldHidden = described.IsHidden();
        if (!Check(m_session->DeleteObject(old->handle)))
            return false;
    }

    const std::uint32_t parentParam = folder.IsRoot() ? kHandleRoot : folder.handle;
    ObjectInfo info;
    info.objectFormat = kFormatUndefined;
    info.parentObject = folder.IsRoot() ? 0 : folder.handle;
    info.filename = std::u16string(name);
    std::uint32_t newHandle = 0;
    const PtpResult sent = m_session->SendObject(folder.storageId, parentParam, info, bytes, newHandle);
    if (!sent.IsOk())
    {
        // What a failed SendObject left behind goes, and the old file comes back.
        if (newHandle != 0)
            m_session->DeleteObject(newHandle);
        if (replacing)
        {
            std::uint32_t restored = 0;
            if (m_session->SendObject(folder.storageId, parentParam, oldInfo, oldBytes, restored).IsOk() &&
                oldHidden)
                m_session->SetHidden(restored, true);
        }
        m_last = sent;
        return false;
    }
    m_last = sent;
    if (created && !Describe(newHandle, *created))
    {
        // The file is on the device; only its description could not be read back.
        created->storageId = folder.storageId;
        created->handle = newHandle;
        created->name = std::u16string(name);
        created->attributes = kAttrFile | kAttrCanRead;
        created->size = bytes.size();
    }
    return true;
}

bool MtpDevice::SetHidden(MtpStorage &object, bool hidden)
{
    std::lock_guard lock(m_mutex);
    m_last = {};
    if (object.IsRoot() || !Check(m_session->SetHidden(object.handle, hidden)))
        return false;
    if (hidden)
        object.attributes |= kAttrHidden;
    else
        object.attributes &= ~kAttrHidden;
    return true;
}

PtpResult MtpDevice::SendVendorOperation(std::uint16_t op, std::span<const std::uint32_t> params,
                                         DataPhase phase, std::vector<std::uint8_t> *data)
{
    std::lock_guard lock(m_mutex);
    m_last = m_session->Transact(op, params, phase, data);
    return m_last;
}

std::vector<std::shared_ptr<MtpDevice>> MtpDeviceManager::EnumerateDevices(std::uint16_t vendorId,
                                                                           std::uint16_t productId)
{
    DeviceSource source;
    {
        std::lock_guard lock(g_sourceMutex);
        source = g_source;
    }
    std::vector<MtpDeviceCandidate> candidates = source ? source() : DiscoverUsbMtpDevices();
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const MtpDeviceCandidate &a, const MtpDeviceCandidate &b) { return a.location < b.location; });

    std::vector<std::shared_ptr<MtpDevice>> devices;
    for (MtpDeviceCandidate &c : candidates)
    {
        if ((vendorId != 0 && c.location.vendorId != vendorId) ||
            (productId != 0 && c.location.productId != productId) || !c.open)
            continue;
        std::unique_ptr<PtpTransport> transport;
        if (c.open(transport) != TransferStatus::Ok || !transport)
            continue; // busy or gone: not available
        auto session = std::make_unique<PtpSession>(std::move(transport));
        DeviceInfo info;
        if (!session->GetDeviceInfo(info).IsOk())
            continue;
        session->OpenSession();
        if (!session->IsOpen())
            continue;
        devices.push_back(
            std::make_shared<MtpDevice>(std::move(c.location), std::move(session), std::move(info)));
    }
    return devices;
}
} // namespace vxmtp
