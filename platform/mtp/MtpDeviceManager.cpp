#include "platform/mtp/MtpDeviceManager.h"

#include "platform/mtp/MtpPause.h"
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

// An interface another program holds (a desktop MTP service probing a new device) is often let go
// within a second; it is tried again a few times before the device counts as absent.
constexpr int kBusyTries = 5;
constexpr unsigned kBusyRetryMs = 250;

bool Lists(const std::vector<std::uint16_t> &codes, std::uint16_t code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

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

std::u16string ReplacementName(std::u16string_view name)
{
    return std::u16string(name) + u".new";
}

bool MtpDevice::RenameSupported(bool &supported)
{
    if (m_renameKnown)
    {
        supported = m_canRename;
        return true;
    }
    supported = false;
    if (Lists(m_info.operationsSupported, kOpSetObjectPropValue) &&
        Lists(m_info.operationsSupported, kOpGetObjectPropDesc))
    {
        const PtpResult r = m_session->PropertySettable(kPropObjectFileName, kFormatUndefined, supported);
        // A device that cannot be asked is not guessed about.
        if (!r.Completed())
            return Check(r);
        supported = r.IsOk() && supported;
    }
    m_renameKnown = true;
    m_canRename = supported;
    return true;
}

bool MtpDevice::FinishReplacement(const MtpStorage &folder, std::u16string_view name,
                                  std::vector<MtpStorage> *children)
{
    std::lock_guard lock(m_mutex);
    m_last = {};
    std::vector<MtpStorage> list;
    if (!Children(folder, list))
        return false;
    const std::u16string temp = ReplacementName(name);
    const auto named = std::find_if(list.begin(), list.end(), [&](const MtpStorage &c) { return c.name == name; });
    const auto moved =
        std::find_if(list.begin(), list.end(), [&](const MtpStorage &c) { return c.name == temp && c.IsFile(); });
    if (named == list.end() && moved != list.end())
    {
        // The old file went only after this one was complete on the device: it is the file now.
        if (!Check(m_session->SetFileName(moved->handle, name)))
            return false;
        moved->name = std::u16string(name);
    }
    if (children)
        *children = std::move(list);
    return true;
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
    if (!FinishReplacement(folder, name, &children))
        return false;
    const std::u16string temp = ReplacementName(name);
    std::vector<MtpStorage> olds;     // every object of the name (a device may hold several)
    std::vector<MtpStorage> leftover; // what an earlier, interrupted replacement left beside them
    for (const MtpStorage &c : children)
    {
        if (c.name == name)
        {
            if (c.IsFolder())
                return false;
            olds.push_back(c);
        }
        else if (c.name == temp)
            leftover.push_back(c);
    }
    const bool replacing = !olds.empty();
    const bool oldHidden = replacing && olds.front().IsHidden();
    for (const MtpStorage &c : leftover)
        if (!Check(m_session->DeleteObject(c.handle)))
            return false;

    // The old file goes only once the new one is whole on the device. Where objects can be renamed,
    // the new one travels under the replacement name and takes the name once the old one is gone, so
    // that the name never stands for a partial object nor for two objects at once; a cut in between
    // leaves the new object alone under the replacement name, which FinishReplacement names.
    bool rename = false;
    if (replacing && !RenameSupported(rename))
        return false;
    const bool viaTemp = replacing && rename;

    const std::uint32_t parentParam = folder.IsRoot() ? kHandleRoot : folder.handle;
    ObjectInfo info;
    info.objectFormat = kFormatUndefined;
    info.parentObject = folder.IsRoot() ? 0 : folder.handle;
    info.filename = viaTemp ? temp : std::u16string(name);
    std::uint32_t newHandle = 0;
    const PtpResult sent = m_session->SendObject(folder.storageId, parentParam, info, bytes, newHandle);
    if (!sent.IsOk())
    {
        // What a failed SendObject left behind goes; the old file was not touched.
        if (newHandle != 0)
            m_session->DeleteObject(newHandle);
        m_last = sent;
        return false;
    }
    if (oldHidden)
        m_session->SetHidden(newHandle, true);

    for (const MtpStorage &old : olds)
    {
        const PtpResult deleted = m_session->DeleteObject(old.handle);
        if (!deleted.IsOk())
        {
            // The old file stays the file: the new one goes again.
            m_session->DeleteObject(newHandle);
            m_last = deleted;
            return false;
        }
    }

    if (viaTemp)
    {
        const PtpResult renamed = m_session->SetFileName(newHandle, name);
        if (!renamed.IsOk())
        {
            m_last = renamed;
            // The name is free now: a device that took the object but not its new name gets the bytes
            // once more under the name, and the copy under the replacement name goes.
            std::uint32_t again = 0;
            info.filename = std::u16string(name);
            const PtpResult resent = m_session->SendObject(folder.storageId, parentParam, info, bytes, again);
            if (!resent.IsOk())
            {
                if (again != 0)
                    m_session->DeleteObject(again);
                return false;
            }
            if (oldHidden)
                m_session->SetHidden(again, true);
            m_session->DeleteObject(newHandle);
            newHandle = again;
        }
    }
    m_last = sent;
    if (created && !Describe(newHandle, *created))
    {
        // The file is on the device; only its description could not be read back.
        created->storageId = folder.storageId;
        created->handle = newHandle;
        created->name = std::u16string(name);
        created->attributes = kAttrFile | kAttrCanRead | (oldHidden ? kAttrHidden : 0);
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
    // Discovery opens only devices whose descriptor carries the IDs asked for.
    std::vector<MtpDeviceCandidate> candidates = source ? source() : DiscoverUsbMtpDevices(vendorId, productId);
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
        TransferStatus opened = c.open(transport);
        for (int tries = 1; opened == TransferStatus::Busy && tries < kBusyTries; ++tries)
        {
            PauseFor(kBusyRetryMs);
            opened = c.open(transport);
        }
        if (opened != TransferStatus::Ok || !transport)
            continue; // still busy, or gone: not available
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
