#include "platform/mtp/PtpSession.h"

#include <algorithm>

namespace vxmtp
{
namespace
{
constexpr std::size_t kReadChunk = 16384;
// Containers left over from an earlier, broken transaction are skipped, but not forever.
constexpr int kMaxStaleContainers = 8;
constexpr int kMaxEmptyTransfers = 3;
} // namespace

PtpSession::PtpSession(std::unique_ptr<PtpTransport> transport, unsigned timeoutMs)
    : m_transport(std::move(transport)), m_timeoutMs(timeoutMs)
{
    m_mps = m_transport ? m_transport->maxPacketSize() : 0;
    if (m_mps == 0)
        m_mps = 512;
    m_chunk = m_mps * std::max<std::size_t>(1, kReadChunk / m_mps);
}

void PtpSession::SetMaxContainerLength(std::size_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_maxContainer = std::max(bytes, kContainerHeaderSize);
}

bool PtpSession::IsOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_open;
}

TransferStatus PtpSession::SendContainer(const std::vector<std::uint8_t> &container)
{
    TransferStatus st = m_transport->bulkOut(container, m_timeoutMs);
    // A transfer that fills its last packet exactly needs a zero-length packet to end it.
    if (st == TransferStatus::Ok && container.size() % m_mps == 0)
        st = m_transport->bulkOut({}, m_timeoutMs);
    return st;
}

bool PtpSession::ReadTransfer(PtpResult &result, std::size_t &got, bool &endedByFullBuffer)
{
    const std::size_t old = m_pending.size();
    m_pending.resize(old + m_chunk);
    got = 0;
    const TransferStatus st =
        m_transport->bulkIn(std::span<std::uint8_t>(m_pending.data() + old, m_chunk), got, m_timeoutMs);
    got = std::min(got, m_chunk);
    m_pending.resize(old + (st == TransferStatus::Ok ? got : 0));
    if (st != TransferStatus::Ok)
    {
        result.transport = st;
        return false;
    }
    endedByFullBuffer = got == m_chunk;
    m_pendingEndsTransfer = !endedByFullBuffer;
    return true;
}

bool PtpSession::ReadContainer(std::vector<std::uint8_t> &container, PtpResult &result)
{
    std::size_t got = 0;
    bool lastFull = false;
    bool readAny = false;
    int empties = 0;
    auto fail = [&] {
        result.protocolError = true;
        m_pending.clear();
        m_pendingEndsTransfer = false;
        return false;
    };
    while (m_pending.size() < kContainerHeaderSize)
    {
        // What is left of a transfer that ended short cannot be continued by the next one.
        if (!m_pending.empty() && m_pendingEndsTransfer)
            return fail();
        if (!ReadTransfer(result, got, lastFull))
            return false;
        readAny = true;
        if (got == 0)
        {
            // Stray zero-length packets before a container are harmless.
            if (m_pending.empty() && ++empties <= kMaxEmptyTransfers)
                continue;
            return fail();
        }
        if (!lastFull && m_pending.size() < kContainerHeaderSize)
            return fail();
    }
    ContainerHeader h;
    if (!DecodeHeader(m_pending, h) || h.length > m_maxContainer)
        return fail();
    while (m_pending.size() < h.length)
    {
        // A transfer ends at a short packet, and a container never spans two transfers that way:
        // the device cut its container short.
        if (m_pendingEndsTransfer)
            return fail();
        if (!ReadTransfer(result, got, lastFull))
        {
            m_pending.clear();
            return false;
        }
        readAny = true;
        if (got == 0)
            return fail();
    }
    container.assign(m_pending.begin(), m_pending.begin() + h.length);
    m_pending.erase(m_pending.begin(), m_pending.begin() + h.length);
    // A container that does not fill its last packet ends its transfer. Bytes behind it came in
    // that same packet: no device sends them, and taken as the next container they could pass
    // for a response the device never gave.
    if (!m_pending.empty() && h.length % m_mps != 0)
        return fail();
    // A container that fills its last packet is followed by a zero-length packet. When our buffer
    // filled up at the container's end that packet is still waiting: consume it. A device that
    // leaves it out sends its next container instead, which is kept.
    if (h.length % m_mps == 0 && m_pending.empty() && readAny && lastFull)
    {
        bool full = false;
        if (!ReadTransfer(result, got, full))
        {
            // Nothing followed: the device left the packet out, and the container stands.
            if (result.transport != TransferStatus::Timeout)
                return false;
            result.transport = TransferStatus::Ok;
        }
    }
    return true;
}

PtpResult PtpSession::Transact(std::uint16_t op, std::span<const std::uint32_t> params, DataPhase phase,
                               std::vector<std::uint8_t> *data)
{
    std::lock_guard lock(m_mutex);
    PtpResult result;
    if (!m_transport || ((phase != DataPhase::None) && !data) || params.size() > kMaxParams)
    {
        result.transport = TransferStatus::Error;
        return result;
    }
    // Operations outside a session and OpenSession itself carry transaction id 0.
    std::uint32_t tid = 0;
    if (m_open && op != kOpOpenSession)
    {
        tid = m_nextTid++;
        if (m_nextTid == 0xFFFFFFFF)
            m_nextTid = 1;
    }
    // Bytes of an earlier, broken exchange must not be taken for this one's.
    m_pending.clear();
    m_pendingEndsTransfer = false;

    result.transport = SendContainer(EncodeParamContainer(kContainerCommand, op, tid, params));
    if (result.transport != TransferStatus::Ok)
        return result;
    if (phase == DataPhase::Out)
    {
        result.transport = SendContainer(EncodeDataContainer(op, tid, *data));
        if (result.transport != TransferStatus::Ok)
            return result;
    }
    if (phase == DataPhase::In)
        data->clear();

    std::vector<std::uint8_t> container;
    int stale = 0;
    bool haveData = false;
    for (;;)
    {
        if (!ReadContainer(container, result))
            return result;
        ContainerHeader h;
        DecodeHeader(container, h);
        if (h.type == kContainerEvent || h.transactionId != tid)
        {
            if (++stale > kMaxStaleContainers)
            {
                result.protocolError = true;
                return result;
            }
            continue;
        }
        if (h.type == kContainerData)
        {
            if (phase != DataPhase::In || haveData || h.code != op)
            {
                result.protocolError = true;
                return result;
            }
            data->assign(container.begin() + kContainerHeaderSize, container.end());
            haveData = true;
            continue;
        }
        if (h.type != kContainerResponse)
        {
            result.protocolError = true;
            return result;
        }
        result.code = h.code;
        result.params = DecodeParams(container);
        // A device that refuses a read answers at once, without a data phase.
        if (phase == DataPhase::In && !haveData && h.code == kRespOk)
            result.protocolError = true;
        return result;
    }
}

PtpResult PtpSession::GetDeviceInfo(DeviceInfo &info)
{
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetDeviceInfo, {}, DataPhase::In, &data);
    if (r.IsOk() && !DecodeDeviceInfo(data, info))
        r.protocolError = true;
    return r;
}

PtpResult PtpSession::OpenSession()
{
    std::lock_guard lock(m_mutex);
    const std::uint32_t sessionId = 1;
    PtpResult r = Transact(kOpOpenSession, std::span(&sessionId, 1), DataPhase::None, nullptr);
    if (r.Completed() && (r.code == kRespOk || r.code == kRespSessionAlreadyOpen))
    {
        m_open = true;
        m_nextTid = 1;
    }
    return r;
}

PtpResult PtpSession::GetStorageIds(std::vector<std::uint32_t> &ids)
{
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetStorageIds, {}, DataPhase::In, &data);
    if (!r.IsOk())
        return r;
    PtpReader reader(data);
    std::vector<std::uint32_t> all;
    if (!reader.U32Array(all))
    {
        r.protocolError = true;
        return r;
    }
    ids.clear();
    for (std::uint32_t id : all)
        if ((id & 0xFFFF) != 0)
            ids.push_back(id);
    return r;
}

PtpResult PtpSession::GetStorageInfo(std::uint32_t storageId, StorageInfo &info)
{
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetStorageInfo, std::span(&storageId, 1), DataPhase::In, &data);
    if (r.IsOk() && !DecodeStorageInfo(data, info))
        r.protocolError = true;
    return r;
}

PtpResult PtpSession::GetObjectHandles(std::uint32_t storageId, std::uint32_t parent,
                                       std::vector<std::uint32_t> &handles)
{
    const std::uint32_t params[] = {storageId, 0, parent};
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetObjectHandles, params, DataPhase::In, &data);
    if (!r.IsOk())
        return r;
    PtpReader reader(data);
    if (!reader.U32Array(handles))
        r.protocolError = true;
    return r;
}

PtpResult PtpSession::GetObjectInfo(std::uint32_t handle, ObjectInfo &info)
{
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetObjectInfo, std::span(&handle, 1), DataPhase::In, &data);
    if (r.IsOk() && !DecodeObjectInfo(data, info))
        r.protocolError = true;
    return r;
}

PtpResult PtpSession::GetObject(std::uint32_t handle, std::vector<std::uint8_t> &bytes)
{
    return Transact(kOpGetObject, std::span(&handle, 1), DataPhase::In, &bytes);
}

PtpResult PtpSession::DeleteObject(std::uint32_t handle)
{
    const std::uint32_t params[] = {handle, 0};
    return Transact(kOpDeleteObject, params, DataPhase::None, nullptr);
}

PtpResult PtpSession::SendObject(std::uint32_t storageId, std::uint32_t parent, ObjectInfo info,
                                 std::span<const std::uint8_t> bytes, std::uint32_t &newHandle)
{
    std::lock_guard lock(m_mutex);
    newHandle = 0;
    info.storageId = storageId;
    // Objects of 4 GiB and more announce the size as unknown.
    info.objectCompressedSize =
        bytes.size() >= 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(bytes.size());
    std::vector<std::uint8_t> data = EncodeObjectInfo(info);
    const std::uint32_t params[] = {storageId, parent};
    PtpResult r = Transact(kOpSendObjectInfo, params, DataPhase::Out, &data);
    if (!r.IsOk())
        return r;
    if (r.params.size() < 3)
    {
        r.protocolError = true;
        return r;
    }
    newHandle = r.params[2];
    data.assign(bytes.begin(), bytes.end());
    return Transact(kOpSendObject, {}, DataPhase::Out, &data);
}

PtpResult PtpSession::GetHidden(std::uint32_t handle, bool &hidden)
{
    const std::uint32_t params[] = {handle, kPropHidden};
    std::vector<std::uint8_t> data;
    PtpResult r = Transact(kOpGetObjectPropValue, params, DataPhase::In, &data);
    if (!r.IsOk())
        return r;
    if (data.empty())
    {
        r.protocolError = true;
        return r;
    }
    // The property is a UINT16; a one-byte answer is read as what it is.
    hidden = data[0] != 0 || (data.size() > 1 && data[1] != 0);
    return r;
}

PtpResult PtpSession::SetHidden(std::uint32_t handle, bool hidden)
{
    const std::uint32_t params[] = {handle, kPropHidden};
    std::vector<std::uint8_t> data = {static_cast<std::uint8_t>(hidden ? 1 : 0), 0};
    return Transact(kOpSetObjectPropValue, params, DataPhase::Out, &data);
}
} // namespace vxmtp
